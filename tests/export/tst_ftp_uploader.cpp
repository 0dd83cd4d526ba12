#include "CurlFtpUploader.h"
#include "FtpTestServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class CurlFtpUploaderTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void storesTheFileUnderItsBig5Name_data();
    void storesTheFileUnderItsBig5Name();
    void replacesAnExistingFile();
    void failureThrows_data();
    void failureThrows();
    void storedSizeIsChecked_data();
    void storedSizeIsChecked();

private:
    QString writeLocalFile(const QString& name, const QByteArray& content);
    UploadRequest request(const FtpTestServer& server, const QByteArray& directory,
                          const QString& localPath) const;

    QTemporaryDir local_;
    QByteArray remoteName_;
};

void CurlFtpUploaderTest::initTestCase()
{
    QVERIFY(local_.isValid());
    QStringEncoder big5("Big5");
    QVERIFY(big5.isValid());
    remoteName_ = big5.encode(u"A01-卡鐘20240503.xls"_s);
    QVERIFY(!big5.hasError());
}

QString CurlFtpUploaderTest::writeLocalFile(const QString& name, const QByteArray& content)
{
    QFile file(local_.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("Cannot write %s", qPrintable(file.fileName()));
    return file.fileName();
}

UploadRequest CurlFtpUploaderTest::request(const FtpTestServer& server, const QByteArray& directory,
                                           const QString& localPath) const
{
    UploadRequest request;
    request.host = server.host();
    request.port = server.port();
    request.user = server.user().toLatin1();
    request.password = server.password().toLatin1();
    request.changeDirectory = directory;
    request.remoteName = remoteName_;
    request.localPath = localPath;
    return request;
}

void CurlFtpUploaderTest::storesTheFileUnderItsBig5Name_data()
{
    QTest::addColumn<QByteArray>("directory");
    QTest::addColumn<QByteArray>("storedIn");

    QTest::newRow("folder") << "./daily/"_ba << "daily/"_ba;
    QTest::newRow("no folder") << ".//"_ba << ""_ba;
}

void CurlFtpUploaderTest::storesTheFileUnderItsBig5Name()
{
    QFETCH(QByteArray, directory);
    QFETCH(QByteArray, storedIn);
    FtpTestServer server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(QDir(server.rootPath()).mkdir(u"daily"_s));
    // Bytes of every value, so that a text-mode transfer or a truncation shows.
    QByteArray content;
    for (int i = 0; i < 70000; ++i)
        content += char(i % 256);

    CurlFtpUploader().upload(request(server, directory, writeLocalFile(u"local.xls"_s, content)));

    // The store, then the question of the stored size on a connection of its own.
    const QList<QByteArray> expected{"USER tester", "PASS secret", "PWD", "CWD " + directory, "PASV", "TYPE I",
                                     "STOR " + remoteName_, "QUIT", "USER tester", "PASS secret", "PWD",
                                     "CWD " + directory, "TYPE I", "SIZE " + remoteName_, "REST 0", "QUIT"};
    QCOMPARE(server.commands(), expected);
    QCOMPARE(server.fileContent(storedIn + remoteName_), content);
}

void CurlFtpUploaderTest::replacesAnExistingFile()
{
    FtpTestServer server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(QDir(server.rootPath()).mkdir(u"daily"_s));
    CurlFtpUploader uploader;

    uploader.upload(request(server, "./daily/", writeLocalFile(u"first"_s, "the longer first file")));
    uploader.upload(request(server, "./daily/", writeLocalFile(u"second"_s, "second")));

    QCOMPARE(server.fileContent("daily/" + remoteName_), "second"_ba);
}

void CurlFtpUploaderTest::failureThrows_data()
{
    QTest::addColumn<FtpTestServer::Behaviour>("behaviour");
    QTest::addColumn<bool>("serverUp");
    QTest::addColumn<QByteArray>("directory");
    QTest::addColumn<bool>("localFileExists");

    using B = FtpTestServer::Behaviour;
    QTest::newRow("server down") << B::Normal << false << "./daily/"_ba << true;
    QTest::newRow("login refused") << B::RefuseLogin << true << "./daily/"_ba << true;
    QTest::newRow("directory missing") << B::Normal << true << "./missing/"_ba << true;
    QTest::newRow("local file missing") << B::Normal << true << "./daily/"_ba << false;
    QTest::newRow("silent server") << B::Silent << true << "./daily/"_ba << true;
    QTest::newRow("line break in directory")
        << B::Normal << true << "./daily/\r\nDELE other"_ba << true;
}

void CurlFtpUploaderTest::failureThrows()
{
    QFETCH(FtpTestServer::Behaviour, behaviour);
    QFETCH(bool, serverUp);
    QFETCH(QByteArray, directory);
    QFETCH(bool, localFileExists);
    FtpTestServer server(behaviour);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(QDir(server.rootPath()).mkdir(u"daily"_s));
    if (!serverUp)
        server.stop();
    const QString localPath = localFileExists ? writeLocalFile(u"local.xls"_s, "content")
                                              : local_.filePath(u"absent.xls"_s);
    CurlFtpUploader uploader({.connectSeconds = 2, .responseSeconds = 2, .stallSeconds = 2});

    QElapsedTimer timer;
    timer.start();
    QVERIFY_THROWS_EXCEPTION(UploadError, uploader.upload(request(server, directory, localPath)));
    // A dead server must not keep the upload waiting for long.
    QVERIFY(timer.elapsed() < 30000);
}

void CurlFtpUploaderTest::storedSizeIsChecked_data()
{
    QTest::addColumn<FtpTestServer::Behaviour>("behaviour");
    QTest::addColumn<bool>("stored"); // the whole file is on the server
    QTest::addColumn<QByteArray>("sizeQuestion"); // the command whose answer gave the size

    using B = FtpTestServer::Behaviour;
    QTest::newRow("whole file, by SIZE") << B::Normal << true << "SIZE "_ba + remoteName_;
    QTest::newRow("whole file, by the listing") << B::RefuseSize << true << "LIST"_ba;
    QTest::newRow("truncated, by SIZE") << B::TruncateStored << false << "SIZE "_ba + remoteName_;
    QTest::newRow("truncated, by the listing") << B::RefuseSizeAndTruncate << false << "LIST"_ba;
    QTest::newRow("data connection cut") << B::CutDataConnection << false << QByteArray();
}

// The server answers every store as complete; only the size it then gives tells.
void CurlFtpUploaderTest::storedSizeIsChecked()
{
    QFETCH(FtpTestServer::Behaviour, behaviour);
    QFETCH(bool, stored);
    QFETCH(QByteArray, sizeQuestion);
    FtpTestServer server(behaviour);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(QDir(server.rootPath()).mkdir(u"daily"_s));
    const QByteArray content(5000, 'x');
    // Another file of the full size, which a listing must not take for the stored one.
    QFile other(server.rootPath() + u"/daily/A01-other.xls"_s);
    QVERIFY(other.open(QIODevice::WriteOnly) && other.write(content) == content.size());
    other.close();
    const UploadRequest upload = request(server, "./daily/", writeLocalFile(u"local.xls"_s, content));

    if (stored) {
        CurlFtpUploader().upload(upload);
        QCOMPARE(server.fileContent("daily/" + remoteName_), content);
    } else {
        QVERIFY_THROWS_EXCEPTION(UploadError, CurlFtpUploader().upload(upload));
        QVERIFY(server.fileContent("daily/" + remoteName_).size() < content.size());
    }
    if (!sizeQuestion.isEmpty())
        QVERIFY(server.commands().contains(sizeQuestion));
}

QTEST_GUILESS_MAIN(CurlFtpUploaderTest)
#include "tst_ftp_uploader.moc"
