#include "ConnectionSettings.h"

#include "SettingsLine.h"

#include <QStringList>

namespace {

const QString linkFile = QStringLiteral("./link.txt");

// Blanks and control characters at both ends do not count as a password.
bool isBlank(const QString& text)
{
    for (QChar ch : text) {
        if (ch.unicode() > u' ')
            return false;
    }
    return true;
}

} // namespace

QString DefaultConnectionString()
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

void ReadConnectionSettings(ConnectionSettings& settings)
{
    SettingsLine::assign(SettingsLine::values(SettingsLine::readFirstLine(linkFile)),
                         {&settings.engine, &settings.server, &settings.database, &settings.account,
                          &settings.accountPassword, &settings.picturePath, &settings.databaseFolder});
}

QString BuildConnectionString(ConnectionSettings& settings)
{
    if (settings.engine == QLatin1String("1")) {
        QString text = QStringLiteral("Provider=SQLOLEDB.1;");
        if (!isBlank(settings.accountPassword))
            text += QStringLiteral("Password=") + settings.accountPassword + QLatin1Char(';');
        text += QStringLiteral("Persist Security Info=True;") + QStringLiteral(";User ID=") + settings.account +
                QStringLiteral(";Initial Catalog=") + settings.database + QStringLiteral(";Data Source=") +
                settings.server + QLatin1Char(';');
        return text;
    }
    if (settings.engine == QLatin1String("2")) {
        settings.accountPassword = accessDatabasePassword;
        return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;") + QStringLiteral("Jet OLEDB:Database Password=") +
               settings.accountPassword + QLatin1Char(';') + QStringLiteral("User ID=admin;Data Source=") +
               settings.databaseFolder + QStringLiteral("basedb.mdb;Persist Security Info=True");
    }
    return {};
}

void WriteConnectionSettings(const ConnectionSettings& settings)
{
    SettingsLine::write(linkFile, {settings.engine, settings.server, settings.database, settings.account,
                                   settings.accountPassword, settings.picturePath, settings.databaseFolder});
}
