#pragma once

#include "Connection.h"
#include "ConnectionSettings.h"

#include <QObject>

#include <functional>
#include <memory>

class TfrmSetup;

// Owns the database connections. Building it opens the default Access file, then
// DataModuleCreate switches both connections to the database that link.txt names and, when
// that cannot be opened, runs the setup dialog.
class TDataModule1 : public QObject {
    Q_OBJECT
public:
    // Shows the setup dialog modally and returns when it closes.
    using SetupDialogRunner = std::function<void(TDataModule1&)>;

    explicit TDataModule1(SetupDialogRunner runSetupDialog, QObject* parent = nullptr);
    ~TDataModule1() override;

    static QString defaultConnectionString();

    Connection CUSConnection1{QStringLiteral("CUSConnection1")};
    Connection tmpConnection{QStringLiteral("tmpConnection")};
    ConnectionSettings settings;
    // The setup dialog, once it has been shown; it lives as long as the module.
    std::unique_ptr<TfrmSetup> frmSetup;

    // The setup dialog saved new settings: the program is to end once start-up is over.
    void requestEnd() { endRequested_ = true; }
    bool endRequested() const { return endRequested_; }

private:
    void DataModuleCreate();

    SetupDialogRunner runSetupDialog_;
    bool endRequested_ = false;
};
