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

    const QList<QByteArray> expected{"USER tester", "PASS secret", "PWD", "CWD " + directory,
                                     "PASV", "TYPE I", "STOR " + remoteName_, "QUIT"};
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

QTEST_GUILESS_MAIN(CurlFtpUploaderTest)
#include "tst_ftp_uploader.moc"
