#pragma once

#include "FileUploader.h"
#include "TransferSettings.h"

#include <QString>

// The upload of the local file under the remote name, as the transfer settings describe it:
// the login, the server (port 21 unless the host is written "host:port"), the change of
// directory to "./" + directory + "/" and the remote name, both as the Big5 bytes the
// receiving side reads. Throws UploadError when Big5 cannot hold the login, the directory or the
// name, rather than sending a mangled one.
UploadRequest transferRequest(const TransferSettings& settings, const QString& localPath,
                              const QString& remoteName);
