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
    return QStringList{
        QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0"),
        QStringLiteral("User ID=Admin"),
        QStringLiteral("Data Source=.\\database\\basedb.mdb"),
        QStringLiteral("Mode=Share Deny None"),
        QStringLiteral("Extended Properties=\"\""),
        QStringLiteral("Persist Security Info=False"),
        QStringLiteral("Jet OLEDB:System database=\"\""),
        QStringLiteral("Jet OLEDB:Registry Path=\"\""),
        QStringLiteral("Jet OLEDB:Database Password=") + accessDatabasePassword,
        QStringLiteral("Jet OLEDB:Engine Type=5"),
        QStringLiteral("Jet OLEDB:Database Locking Mode=1"),
        QStringLiteral("Jet OLEDB:Global Partial Bulk Ops=2"),
        QStringLiteral("Jet OLEDB:Global Bulk Transactions=1"),
        QStringLiteral("Jet OLEDB:New Database Password=\"\""),
        QStringLiteral("Jet OLEDB:Create System Database=False"),
        QStringLiteral("Jet OLEDB:Encrypt Database=False"),
        QStringLiteral("Jet OLEDB:Don't Copy Locale on Compact=False"),
        QStringLiteral("Jet OLEDB:Compact Without Replica Repair=False"),
        QStringLiteral("Jet OLEDB:SFP=False"),
    }
        .join(QLatin1Char(';'));
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
