#pragma once

#include "FileUploader.h"
#include "TransferSettings.h"

#include <QDateTime>
#include <QString>

#include <chrono>
#include <functional>

// The upload of the day's export file as "上傳檔案" makes it: the file stored as
// unit + "-卡鐘" + yyyymmdd + ".xls" in "./" + directory + "/" on the server of the settings.
namespace DayFileUpload {

// What the user is told of the upload, whatever the cause of a failure.
inline const QString succeededText = QStringLiteral("上傳成功");
inline const QString failedText = QStringLiteral("傳輸失敗");

// How often a failed upload is tried again, and how long to wait before each new try.
struct Retries {
    int count = 0;
    std::chrono::seconds pause{0};
};

// Told of each failed try before the pause that follows it: the try's number from 1, and why.
using FailedTry = std::function<void(int attempt, const UploadError& error)>;

// Sends `localPath` under the day's remote name. A failed try is tried again as `retries` says;
// throws the UploadError of the last try when none stored the file in full.
void send(FileUploader& uploader, const TransferSettings& settings, const QString& localPath, const QDateTime& day,
          const Retries& retries = {}, const FailedTry& failedTry = {});

} // namespace DayFileUpload
