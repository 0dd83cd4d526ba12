#include "TransferRequest.h"


#include <QStringEncoder>

namespace {

constexpr int ftpPort = 21;
constexpr int highestPort = 65535;

QByteArray big5(const QString& text)
{
    QStringEncoder encoder("Big5");
    const QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        throw UploadError(
            QStringLiteral("'%1' holds characters that Big5 cannot store").arg(text));
    return bytes;
}

// "host:port" names a server on another port; a text with no port, or with more than one
// colon (an IPv6 address), is the host alone.
void setServer(UploadRequest& request, const QString& text)
{
    request.host = text;
    request.port = ftpPort;
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon <= 0 || text.indexOf(QLatin1Char(':'), colon + 1) >= 0)
        return;
    bool isNumber = false;
    const int port = text.mid(colon + 1).toInt(&isNumber);
    if (!isNumber || port <= 0 || port > highestPort)
        return;
    request.host = text.left(colon);
    request.port = port;
}

} // namespace

UploadRequest transferRequest(const TransferSettings& settings, const QString& localPath,
                              const QString& remoteName)
{
    UploadRequest request;
    setServer(request, settings.host);
    request.user = big5(settings.user);
    request.password = big5(settings.password);
    request.changeDirectory = big5(QStringLiteral("./") + settings.directory + QStringLiteral("/"));
    request.remoteName = big5(remoteName);
    request.localPath = localPath;
    return request;
}
