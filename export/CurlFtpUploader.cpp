#include "CurlFtpUploader.h"

#include <QFile>
#include <QUrl>

#include <curl/curl.h>

#include <memory>

namespace {

void initCurl()
{
    static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (result != CURLE_OK)
        throw UploadError(QString::fromUtf8(curl_easy_strerror(result)));
}

size_t readFromFile(char* buffer, size_t size, size_t count, void* file)
{
    const qint64 read = static_cast<QFile*>(file)->read(buffer, qint64(size * count));
    return read < 0 ? CURL_READFUNC_ABORT : size_t(read);
}

// The bytes become part of a command line; a line break would end it and start another.
void checkCommandArgument(const QByteArray& bytes, const QString& what)
{
    if (bytes.contains('\r') || bytes.contains('\n') || bytes.contains('\0'))
        throw UploadError(QStringLiteral("The %1 contains a line break.").arg(what));
}

} // namespace

CurlFtpUploader::CurlFtpUploader()
    : CurlFtpUploader(Limits{})
{
}

CurlFtpUploader::CurlFtpUploader(Limits limits)
    : limits_(limits)
{
}

void CurlFtpUploader::upload(const UploadRequest& request)
{
    checkCommandArgument(request.changeDirectory, QStringLiteral("remote directory"));
    checkCommandArgument(request.remoteName, QStringLiteral("remote file name"));

    QFile file(request.localPath);
    if (!file.open(QIODevice::ReadOnly))
        throw UploadError(
            QStringLiteral("Cannot read %1: %2").arg(request.localPath, file.errorString()));

    QUrl server;
    server.setScheme(QStringLiteral("ftp"));
    server.setHost(request.host);
    server.setPort(request.port);
    if (!server.isValid() || request.host.isEmpty())
        throw UploadError(QStringLiteral("Invalid FTP server: %1").arg(request.host));
    // curl takes the path as the STOR argument (no CWD of its own, see NOCWD below) after
    // decoding the percent signs, so every byte of the name reaches the server unchanged.
    const QByteArray url = server.toEncoded() + '/' + request.remoteName.toPercentEncoding();

    initCurl();
    const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(),
                                                                   &curl_easy_cleanup);
    if (!curl)
        throw UploadError(QStringLiteral("Cannot start an FTP transfer."));
    // The one directory change, sent as is after the login.
    const std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> quote(
        curl_slist_append(nullptr, QByteArray("CWD " + request.changeDirectory).constData()),
        &curl_slist_free_all);
    char errorText[CURL_ERROR_SIZE] = {};

    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(handle, CURLOPT_URL, url.constData());
    curl_easy_setopt(handle, CURLOPT_USERNAME, request.user.constData());
    curl_easy_setopt(handle, CURLOPT_PASSWORD, request.password.constData());
    curl_easy_setopt(handle, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(handle, CURLOPT_QUOTE, quote.get());
    curl_easy_setopt(handle, CURLOPT_FTP_USE_EPSV, 0L);
    // No proxy, whatever the environment names.
    curl_easy_setopt(handle, CURLOPT_PROXY, "");
    curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(handle, CURLOPT_READFUNCTION, &readFromFile);
    curl_easy_setopt(handle, CURLOPT_READDATA, &file);
    curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE, curl_off_t(file.size()));
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, long(limits_.connectSeconds));
    curl_easy_setopt(handle, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(limits_.responseSeconds));
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, long(limits_.stallSeconds));
    // Close (and QUIT) at the end of this transfer rather than when the handle goes.
    curl_easy_setopt(handle, CURLOPT_FORBID_REUSE, 1L);

    const CURLcode result = curl_easy_perform(handle);
    if (result != CURLE_OK)
        throw UploadError(QString::fromUtf8(errorText[0] ? errorText : curl_easy_strerror(result)));
}
