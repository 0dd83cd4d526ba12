#pragma once

#include <QString>

// The five values of ftp.txt, in the order of the file.
struct TransferSettings {
    QString user;
    QString password; // kept in plain text
    QString host;     // "host", or "host:port" for a server that does not listen on 21
    QString directory; // below the login directory
    QString unit;      // the first part of the remote file name
};

// Fills the settings from ./ftp.txt. Throws SettingsFileError ("File not found",
// "List index out of bounds (%d)"), leaving the fields read before the error filled.
void ReadTransferSettings(TransferSettings& settings);

// Writes the settings to ./ftp.txt. Throws SettingsFileError.
void WriteTransferSettings(const TransferSettings& settings);
