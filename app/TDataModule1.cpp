#include "TDataModule1.h"

#include "EventGuard.h"
#include "TfrmSetup.h"

#include <QStringList>

TDataModule1::TDataModule1(SetupDialogRunner runSetupDialog, QObject* parent)
    : QObject(parent)
    , runSetupDialog_(std::move(runSetupDialog))
{
    CUSConnection1.setConnectionString(defaultConnectionString());
    // The default connection is opened while the module is built; a site without the default
    // file sees the engine's message and goes on.
    runGuarded([this] { CUSConnection1.open(); });
    runGuarded([this] { DataModuleCreate(); });
}

TDataModule1::~TDataModule1() = default;

QString TDataModule1::defaultConnectionString()
{
    return DefaultConnectionString();
}

void TDataModule1::DataModuleCreate()
{
    ReadConnectionSettings(settings);
    const QString configured = BuildConnectionString(settings);
    CUSConnection1.close();
    tmpConnection.close();
    CUSConnection1.setConnectionString(configured);
    tmpConnection.setConnectionString(configured);
    try {
        CUSConnection1.open();
        tmpConnection.open();
    } catch (const std::exception&) {
        // The engine's message is not shown: the setup dialog asks for better settings.
        if (runSetupDialog_)
            runSetupDialog_(*this);
    }
}
