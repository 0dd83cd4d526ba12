#include "DayFileUpload.h"

#include "ExportPaths.h"
#include "TransferRequest.h"

#include <thread>

namespace DayFileUpload {

void send(FileUploader& uploader, const TransferSettings& settings, const QString& localPath, const QDateTime& day,
          const Retries& retries, const FailedTry& failedTry)
{
    // A name that cannot go to the server in Big5 fails the transfer like any other cause.
    const UploadRequest request = transferRequest(settings, localPath, ExportPaths::remoteName(settings.unit, day));
    for (int attempt = 1;; ++attempt) {
        try {
            uploader.upload(request);
            return;
        } catch (const UploadError& error) {
            if (attempt > retries.count)
                throw;
            if (failedTry)
                failedTry(attempt, error);
            std::this_thread::sleep_for(retries.pause);
        }
    }
}

} // namespace DayFileUpload
