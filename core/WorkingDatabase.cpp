#include "WorkingDatabase.h"

#include "Connection.h"
#include "ConnectionSettings.h"
#include "SettingsFileError.h"

#include <QFileInfo>

#include <stdexcept>

QString openWorkingDatabase(Connection& connection)
{
    ConnectionSettings settings;
    try {
        ReadConnectionSettings(settings);
    } catch (const SettingsFileError& error) {
        if (QFileInfo::exists(QStringLiteral("link.txt")))
            throw SettingsFileError(QStringLiteral("link.txt: ") + QString::fromUtf8(error.what()));
        connection.setConnectionString(DefaultConnectionString());
        connection.open();
        return QStringLiteral("opened database/basedb.mdb (link.txt: %1)").arg(QString::fromUtf8(error.what()));
    }
    const QString connectionString = BuildConnectionString(settings);
    if (connectionString.isEmpty())
        throw std::runtime_error(
            QStringLiteral("link.txt names the database kind '%1'; 1 is SQL Server, 2 the embedded database")
                .arg(settings.engine)
                .toStdString());
    connection.setConnectionString(connectionString);
    connection.open();
    if (settings.engine == QLatin1String("2"))
        return QStringLiteral("opened ") + settings.databaseFolder + QStringLiteral("basedb.mdb");
    return QStringLiteral("opened ") + settings.database + QStringLiteral(" on ") + settings.server;
}
