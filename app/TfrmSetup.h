#pragma once

#include "Connection.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;
class TDataModule1;

// The database setup dialog: shown when the configured database cannot be opened. It tests
// the entered settings with a connection of its own, saves them to link.txt and ends the
// program, so that the next start uses them.
class TfrmSetup : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSetup(TDataModule1& owner, QWidget* parent = nullptr);
    ~TfrmSetup() override;

    // Creates the dialog as the module's frmSetup and shows it modally.
    static void showFor(TDataModule1& owner);

    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QLineEdit* Edit3;
    QLineEdit* Edit4;
    QPushButton* btbtnCheck;
    QLineEdit* Edit5;
    QLineEdit* Edit6;
    QComboBox* ComboBox1;
    Connection cnnctnTest{QStringLiteral("cnnctnTest")};

private:
    void FormCreate();
    void btbtnCheckClick();

    TDataModule1& owner_;
};
