#pragma once

#include <QByteArray>
#include <QString>

#include <stdexcept>

// One file to put on an FTP server. The login, the directory and the remote name are bytes
// because they go to the server exactly as given (in Big5, as the receiving side expects).
struct UploadRequest {
    QString host;
    int port = 21;
    QByteArray user;
    QByteArray password;
    QByteArray changeDirectory; // the argument of the one CWD, e.g. "./daily/"
    QByteArray remoteName;      // the name the file is stored under in that directory
    QString localPath;
};

// Any failed upload. The text is what the user sees in the standard error box.
class UploadError : public std::runtime_error {
public:
    explicit UploadError(const QString& text)
        : std::runtime_error(text.toStdString())
    {
    }
};

// Puts a local file on a remote server, replacing a file of the same name.
class FileUploader {
public:
    virtual ~FileUploader() = default;
    // Raises UploadError when the file is not stored in full.
    virtual void upload(const UploadRequest& request) = 0;
};
