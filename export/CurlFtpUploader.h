#pragma once

#include "FileUploader.h"

// Uploads by FTP through libcurl: logs in, switches to binary, changes once into the requested
// directory and stores the file there over a passive (PASV) data connection. Then, on a new
// connection into the same directory, it asks the size of the stored file (SIZE, or the
// directory's listing when the server gives no size) and counts the upload as done only when
// that is the local file's size.
class CurlFtpUploader : public FileUploader {
public:
    // How long a server may keep the upload waiting, in seconds: for the connection, for each
    // answer, and for any progress of the data while the file is sent.
    struct Limits {
        int connectSeconds = 15;
        int responseSeconds = 30;
        int stallSeconds = 30;
    };

    CurlFtpUploader();
    explicit CurlFtpUploader(Limits limits);

    void upload(const UploadRequest& request) override;

private:
    Limits limits_;
};
