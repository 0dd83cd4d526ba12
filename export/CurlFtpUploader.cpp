#include "CurlFtpUploader.h"

#include <QFile>
#include <QUrl>

#include <curl/curl.h>

#include <memory>
#include <optional>

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

size_t discard(char*, size_t size, size_t count, void*)
{
    return size * count;
}

size_t appendToBuffer(char* data, size_t size, size_t count, void* buffer)
{
    static_cast<QByteArray*>(buffer)->append(data, qsizetype(size * count));
    return size * count;
}

// The bytes become part of a command line; a line break would end it and start another.
void checkCommandArgument(const QByteArray& bytes, const QString& what)
{
    if (bytes.contains('\r') || bytes.contains('\n') || bytes.contains('\0'))
        throw UploadError(QStringLiteral("The %1 contains a line break.").arg(what));
}

// One FTP connection of its own: it logs in, changes once into the requested directory and then
// does what the caller set on handle() for the path, which is a name in that directory (sent as
// the argument of the command as it stands) or empty for the directory itself.
class FtpConnection {
public:
    FtpConnection(const UploadRequest& request, const CurlFtpUploader::Limits& limits, const QByteArray& path)
        : curl_(curl_easy_init(), &curl_easy_cleanup)
        , quote_(curl_slist_append(nullptr, QByteArray("CWD " + request.changeDirectory).constData()),
                 &curl_slist_free_all)
    {
        if (!curl_ || !quote_)
            throw UploadError(QStringLiteral("Cannot start an FTP transfer."));
        QUrl server;
        server.setScheme(QStringLiteral("ftp"));
        server.setHost(request.host);
        server.setPort(request.port);
        if (!server.isValid() || request.host.isEmpty())
            throw UploadError(QStringLiteral("Invalid FTP server: %1").arg(request.host));
        // curl decodes the percent signs of the path, so every byte reaches the server unchanged.
        url_ = server.toEncoded() + '/' + path.toPercentEncoding();

        CURL* curl = curl_.get();
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText_);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp");
        curl_easy_setopt(curl, CURLOPT_URL, url_.constData());
        curl_easy_setopt(curl, CURLOPT_USERNAME, request.user.constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, request.password.constData());
        // No CWD of curl's own: the one directory change is sent as is after the login.
        curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_NOCWD));
        curl_easy_setopt(curl, CURLOPT_QUOTE, quote_.get());
        curl_easy_setopt(curl, CURLOPT_FTP_USE_EPSV, 0L);
        // No proxy, whatever the environment names.
        curl_easy_setopt(curl, CURLOPT_PROXY, "");
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, long(limits.connectSeconds));
        curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(limits.responseSeconds));
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, long(limits.stallSeconds));
        // Close (and QUIT) at the end of this transfer rather than when the handle goes.
        curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
        // What curl makes of the server's answers (as "Content-Length:" after a SIZE) would go
        // to the standard output.
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &discard);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &discard);
    }

    CURL* handle() const { return curl_.get(); }

    // Throws UploadError with curl's reason when the work fails.
    void perform()
    {
        const CURLcode result = curl_easy_perform(curl_.get());
        if (result != CURLE_OK)
            throw UploadError(QString::fromUtf8(errorText_[0] ? errorText_ : curl_easy_strerror(result)));
    }

private:
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl_;
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> quote_;
    QByteArray url_;
    char errorText_[CURL_ERROR_SIZE] = {};
};

// The size the server gives for the name in answer to SIZE, or nothing when it gives none.
std::optional<qint64> sizeBySizeCommand(const UploadRequest& request, const CurlFtpUploader::Limits& limits)
{
    FtpConnection ftp(request, limits, request.remoteName);
    curl_easy_setopt(ftp.handle(), CURLOPT_NOBODY, 1L);
    try {
        ftp.perform();
    } catch (const UploadError&) {
        return std::nullopt;
    }
    curl_off_t size = -1;
    if (curl_easy_getinfo(ftp.handle(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size) != CURLE_OK || size < 0)
        return std::nullopt;
    return qint64(size);
}

// The size of the name in one line of a directory listing, in the Unix form
// ("-rw-r--r-- 1 owner group SIZE Mon DD HH:MM NAME") or the DOS form ("MM-DD-YY HH:MMPM SIZE NAME").
std::optional<qint64> sizeInListingLine(const QByteArray& line, const QByteArray& name)
{
    const QList<QByteArray> words = line.simplified().split(' ');
    const auto sizeIfNamed = [&](qsizetype sizeWord, qsizetype nameWord) -> std::optional<qint64> {
        if (words.size() <= nameWord || words.mid(nameWord).join(' ') != name)
            return std::nullopt;
        bool isNumber = false;
        const qint64 size = words.at(sizeWord).toLongLong(&isNumber);
        return isNumber ? std::optional(size) : std::nullopt;
    };
    if (line.startsWith('-'))
        return sizeIfNamed(4, 8);
    return sizeIfNamed(2, 3);
}

// The size of the name as the listing of the directory shows it, or nothing when it is not listed.
std::optional<qint64> sizeByListing(const UploadRequest& request, const CurlFtpUploader::Limits& limits)
{
    FtpConnection ftp(request, limits, QByteArray());
    QByteArray listing;
    curl_easy_setopt(ftp.handle(), CURLOPT_WRITEFUNCTION, &appendToBuffer);
    curl_easy_setopt(ftp.handle(), CURLOPT_WRITEDATA, &listing);
    ftp.perform();
    // A name with spaces in a row compares as its words joined by single spaces, as the line.
    const QByteArray name = request.remoteName.simplified();
    for (const QByteArray& line : listing.split('\n')) {
        if (const std::optional<qint64> size = sizeInListingLine(line.trimmed(), name))
            return size;
    }
    return std::nullopt;
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
        throw UploadError(QStringLiteral("Cannot read %1: %2").arg(request.localPath, file.errorString()));
    initCurl();

    {
        FtpConnection ftp(request, limits_, request.remoteName);
        curl_easy_setopt(ftp.handle(), CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(ftp.handle(), CURLOPT_READFUNCTION, &readFromFile);
        curl_easy_setopt(ftp.handle(), CURLOPT_READDATA, &file);
        curl_easy_setopt(ftp.handle(), CURLOPT_INFILESIZE_LARGE, curl_off_t(file.size()));
        ftp.perform();
    }

    // A server that answered the store may still hold less than was sent (a cut connection, a
    // full disk): only a remote file of the local file's size counts as stored.
    std::optional<qint64> remoteSize = sizeBySizeCommand(request, limits_);
    if (!remoteSize)
        remoteSize = sizeByListing(request, limits_);
    if (!remoteSize)
        throw UploadError(QStringLiteral("The server lists no file of the stored name."));
    if (*remoteSize != file.size())
        throw UploadError(QStringLiteral("The server holds %1 bytes of the %2 sent.").arg(*remoteSize).arg(file.size()));
}
