#pragma once

#include <QDir>
#include <QString>

#include <functional>

class ConnectionString;

// What the database layer needs to reach the database that an OLE DB connection string names:
// the Jet provider becomes an SQLite file, SQLOLEDB becomes SQL Server through ODBC.
struct EngineSettings {
    enum class Engine { SQLite, Odbc };

    Engine engine = Engine::SQLite;
    QString driver;       // the Qt SQL driver
    QString databaseName; // what the driver is given as the database name
    QString filePath;     // SQLite only: the absolute path of the database file
};

// Tells whether a name is an ODBC data source defined for this user or system.
using DataSourceLookup = std::function<bool(const QString& name)>;

// Chooses the engine for a connection string. Relative file paths are taken from workingDir.
// Raises DatabaseError for an empty or unknown provider.
EngineSettings engineSettingsFor(const ConnectionString& connection, const QDir& workingDir,
                                 const DataSourceLookup& isDataSource);

// A value written into an ODBC connection string so that ';', '{' and '}' stay part of it.
QString odbcBraced(const QString& value);
