#include "FtpTestServer.h"

#include <QDir>
#include <QFile>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {
constexpr int startMilliseconds = 30000;
constexpr int cutDataAfterBytes = 512;
}

FtpTestServer::FtpTestServer(Behaviour behaviour)
    : behaviour_(behaviour)
{
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Qt cannot remove files whose names are not UTF-8, such as the Big5 names clients store.
    dir_.setAutoRemove(false);
}

FtpTestServer::~FtpTestServer()
{
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(QFile::encodeName(dir_.path()).toStdString(), ignored);
}

bool FtpTestServer::start()
{
    if (!dir_.isValid() || !QDir(dir_.path()).mkdir(QStringLiteral("root"))) {
        errorString_ = QStringLiteral("Cannot make the server's folder: %1").arg(dir_.errorString());
        return false;
    }
    QStringList arguments{QStringLiteral(FTP_SERVER_SCRIPT),
                          QStringLiteral("--root"), rootPath(),
                          QStringLiteral("--log"), logPath(),
                          QStringLiteral("--user"), user(),
                          QStringLiteral("--password"), password()};
    if (behaviour_ == Behaviour::RefuseLogin)
        arguments << QStringLiteral("--refuse-login");
    if (behaviour_ == Behaviour::Silent)
        arguments << QStringLiteral("--silent");
    if (behaviour_ == Behaviour::TruncateStored || behaviour_ == Behaviour::RefuseSizeAndTruncate)
        arguments << QStringLiteral("--truncate-stored");
    if (behaviour_ == Behaviour::RefuseSize || behaviour_ == Behaviour::RefuseSizeAndTruncate)
        arguments << QStringLiteral("--refuse-size");
    if (behaviour_ == Behaviour::CutDataConnection)
        arguments << QStringLiteral("--cut-data-after") << QString::number(cutDataAfterBytes);
    // The Debian python, which has pyftpdlib.
    process_.start(QStringLiteral("/usr/bin/python3"), arguments);

    // The first line of output is the port, printed once the server listens.
    while (!process_.canReadLine()) {
        if (!process_.waitForReadyRead(startMilliseconds)) {
            errorString_ = QStringLiteral("The FTP server did not start: %1").arg(process_.errorString());
            return false;
        }
    }
    bool ok = false;
    port_ = process_.readLine().trimmed().toInt(&ok);
    if (!ok) {
        errorString_ = QStringLiteral("The FTP server printed no port.");
        return false;
    }
    return true;
}

void FtpTestServer::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    // The server ends when its input closes.
    process_.closeWriteChannel();
    if (!process_.waitForFinished(startMilliseconds)) {
        process_.kill();
        process_.waitForFinished();
    }
}

QString FtpTestServer::rootPath() const
{
    return dir_.filePath(QStringLiteral("root"));
}

QString FtpTestServer::logPath() const
{
    return dir_.filePath(QStringLiteral("commands.log"));
}

QList<QByteArray> FtpTestServer::commands() const
{
    QFile log(logPath());
    if (!log.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = log.readAll().split('\n');
    lines.removeLast(); // after the last line end
    return lines;
}

QByteArray FtpTestServer::fileContent(const QByteArray& relativePath) const
{
    const QByteArray path = QFile::encodeName(rootPath()) + '/' + relativePath;
    std::ifstream file(path.constData(), std::ios::binary);
    return QByteArray::fromStdString(
        std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()));
}
