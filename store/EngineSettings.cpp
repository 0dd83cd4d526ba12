#include "EngineSettings.h"

#include "ConnectionString.h"
#include "DatabaseError.h"

namespace {

const QString jetProvider = QStringLiteral("Microsoft.Jet.OLEDB.4.0");
const QString sqlServerProvider = QStringLiteral("SQLOLEDB.1");

EngineSettings sqliteSettings(const ConnectionString& connection, const QDir& workingDir)
{
    QString source = connection.value(QStringLiteral("Data Source"));
    source.replace(QLatin1Char('\\'), QLatin1Char('/'));
    EngineSettings settings;
    settings.engine = EngineSettings::Engine::SQLite;
    settings.driver = QStringLiteral("QSQLITE");
    settings.filePath = QDir::cleanPath(workingDir.absoluteFilePath(source));
    settings.databaseName = settings.filePath;
    return settings;
}

// Appends KEY=value; for a non-empty value.
void addOdbcPair(QString& text, const QString& key, const QString& value)
{
    if (!value.isEmpty())
        text += key + QLatin1Char('=') + odbcBraced(value) + QLatin1Char(';');
}

EngineSettings odbcSettings(const ConnectionString& connection, const DataSourceLookup& isDataSource)
{
    const QString source = connection.value(QStringLiteral("Data Source")).trimmed();
    const QString catalog = connection.value(QStringLiteral("Initial Catalog"));
    const QString user = connection.value(QStringLiteral("User ID"));
    const QString password = connection.value(QStringLiteral("Password"));

    EngineSettings settings;
    settings.engine = EngineSettings::Engine::Odbc;
    settings.driver = QStringLiteral("QODBC");
    QString text;
    if (!source.isEmpty() && isDataSource && isDataSource(source)) {
        // Qt's ODBC driver puts "DSN=" before a string that names no driver or server itself.
        text = source + QLatin1Char(';');
    } else {
        text = QStringLiteral("DRIVER={FreeTDS};");
        QString host = source;
        QString port;
        const qsizetype comma = source.indexOf(QLatin1Char(','));
        if (comma >= 0) {
            host = source.left(comma).trimmed();
            port = source.mid(comma + 1).trimmed();
        }
        text += QStringLiteral("SERVER=") + odbcBraced(host) + QLatin1Char(';');
        addOdbcPair(text, QStringLiteral("PORT"), port);
        // A fixed protocol version: left to choose, FreeTDS falls back to the Sybase protocol
        // after a silent server's time-out and then waits on it without end. A site that
        // needs another version defines an ODBC data source.
        text += QStringLiteral("TDS_Version=7.4;ClientCharset=UTF-8;");
    }
    addOdbcPair(text, QStringLiteral("DATABASE"), catalog);
    addOdbcPair(text, QStringLiteral("UID"), user);
    addOdbcPair(text, QStringLiteral("PWD"), password);
    settings.databaseName = text;
    return settings;
}

} // namespace

QString odbcBraced(const QString& value)
{
    static const QString special = QStringLiteral(";{}=");
    bool needsBraces = value != value.trimmed();
    for (QChar ch : value)
        needsBraces = needsBraces || special.contains(ch);
    if (!needsBraces)
        return value;
    QString escaped = value;
    escaped.replace(QLatin1Char('}'), QStringLiteral("}}"));
    return QLatin1Char('{') + escaped + QLatin1Char('}');
}

EngineSettings engineSettingsFor(const ConnectionString& connection, const QDir& workingDir,
                                 const DataSourceLookup& isDataSource)
{
    const QString provider = connection.value(QStringLiteral("Provider")).trimmed();
    if (provider.compare(jetProvider, Qt::CaseInsensitive) == 0)
        return sqliteSettings(connection, workingDir);
    if (provider.compare(sqlServerProvider, Qt::CaseInsensitive) == 0)
        return odbcSettings(connection, isDataSource);
    if (provider.isEmpty())
        throw DatabaseError(QStringLiteral("The connection string names no provider"));
    throw DatabaseError(QStringLiteral("Provider cannot be found: %1").arg(provider));
}
