#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real FTP server on 127.0.0.1 (tests/support/ftp_server.py) serving a fresh temporary folder.
// It records every command line it receives, so that tests can check what a client sent.
class FtpTestServer {
public:
    enum class Behaviour {
        Normal,
        RefuseLogin, // answers every login with 530
        Silent,      // accepts connections and never answers
        // Faults of a transfer that the store command's answer does not show:
        TruncateStored,        // keeps the first half of every stored file, answers 226
        CutDataConnection,     // closes a store's data connection after 512 bytes, answers 226
        RefuseSize,            // answers SIZE with 502: a file's size shows in the listing alone
        RefuseSizeAndTruncate, // both of these
    };

    explicit FtpTestServer(Behaviour behaviour = Behaviour::Normal);
    ~FtpTestServer();
    FtpTestServer(const FtpTestServer&) = delete;
    FtpTestServer& operator=(const FtpTestServer&) = delete;

    // Returns once the server listens, or false with errorString() when it cannot start.
    bool start();
    // Afterwards nothing listens on port() any more.
    void stop();
    QString errorString() const { return errorString_; }

    QString host() const { return QStringLiteral("127.0.0.1"); }
    int port() const { return port_; }
    QString user() const { return QStringLiteral("tester"); }
    QString password() const { return QStringLiteral("secret"); }

    // The folder the user logs into.
    QString rootPath() const;
    // The command lines received so far, without their line ends, in raw bytes.
    QList<QByteArray> commands() const;
    // The content of a file below the root, named by its raw bytes (the names on disk are the
    // bytes the client sent, which need not be UTF-8). Empty when there is no such file.
    QByteArray fileContent(const QByteArray& relativePath) const;

private:
    QString logPath() const;

    Behaviour behaviour_;
    QTemporaryDir dir_;
    QProcess process_;
    int port_ = 0;
    QString errorString_;
};
