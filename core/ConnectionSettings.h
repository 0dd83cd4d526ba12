#pragma once

#include <QString>

// The seven values of link.txt, in the order of the file.
struct ConnectionSettings {
    QString engine; // "1" SQL Server, "2" Access
    QString server;
    QString database;
    QString account;
    QString accountPassword;
    QString picturePath;
    QString databaseFolder; // with its trailing separator; empty is the working directory
};

// Every Access file carries this database password.
inline const QString accessDatabasePassword = QStringLiteral("qorlavin");

// The connection the program opens before it reads link.txt: the Access file
// .\database\basedb.mdb under the working directory.
QString DefaultConnectionString();

// Fills the settings from ./link.txt. Throws SettingsFileError ("File not found",
// "List index out of bounds (%d)"), leaving the fields read before the error filled.
void ReadConnectionSettings(ConnectionSettings& settings);

// The OLE DB connection string of the settings; for Access it first sets the fixed password.
// An engine other than "1" or "2" gives the empty string.
QString BuildConnectionString(ConnectionSettings& settings);

// Writes the settings to ./link.txt. Throws SettingsFileError.
void WriteConnectionSettings(const ConnectionSettings& settings);
