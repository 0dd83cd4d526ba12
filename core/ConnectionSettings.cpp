#include "ConnectionSettings.h"

#include "SettingsLine.h"

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
