#include "ConnectionSettings.h"
#include "ErrorText.h"
#include "SettingsLine.h"
#include "TemporaryWorkingDirectory.h"

#include <QFile>
#include <QStringEncoder>
#include <QTest>

#include <filesystem>

using namespace Qt::StringLiterals;

// The settings line of link.txt and the connection strings made from it.
class SettingsLineTest : public QObject {
    Q_OBJECT

    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    static QByteArray readFile(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private Q_SLOTS:
    void values_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("values");
        QTest::newRow("every value with its comma") << u"2,SERVER,attend,"_s << QStringList{u"2"_s, u"SERVER"_s, u"attend"_s};
        QTest::newRow("empty values") << u",,x,"_s << QStringList{QString(), QString(), u"x"_s};
        QTest::newRow("quotes stay") << u"a'b,\"c\","_s << QStringList{u"a'b"_s, u"\"c\""_s};
        QTest::newRow("the last value without its comma loses a character") << u"a,bcd"_s << QStringList{u"a"_s, u"bc"_s};
        QTest::newRow("empty line") << QString() << QStringList{};
    }
    void values()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, values);
        QCOMPARE(SettingsLine::values(line), values);
    }

    void readingLinkFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("access line, later lines ignored")
            << QByteArray("2,SERVER,attend,sa,qorlavin,D:\\pic\\,D:\\data\\,\r\n1,x,y,z,w,v,u,\r\n") << QString()
            << QStringList{u"2"_s, u"SERVER"_s, u"attend"_s, u"sa"_s, u"qorlavin"_s, u"D:\\pic\\"_s, u"D:\\data\\"_s};
        QTest::newRow("a comma inside a value moves the rest on")
            << QByteArray("1,host,da,ta,sa,pw,pic,\r\n") << QString()
            << QStringList{u"1"_s, u"host"_s, u"da"_s, u"ta"_s, u"sa"_s, u"pw"_s, u"pic"_s};
        QTest::newRow("too few pieces keep what was read")
            << QByteArray("1,host,db,\r\n") << u"List index out of bounds (3)"_s
            << QStringList{u"1"_s, u"host"_s, u"db"_s, QString(), QString(), QString(), QString()};
        QTest::newRow("empty file") << QByteArray() << u"List index out of bounds (0)"_s << QStringList(7);
        QTest::newRow("Big5 text") << QByteArray(QStringEncoder("Big5").encode(u"2,主機,資料庫,sa,,圖檔\\,資料\\,\r\n"_s))
                                   << QString()
                                   << QStringList{u"2"_s, u"主機"_s, u"資料庫"_s, u"sa"_s, QString(), u"圖檔\\"_s, u"資料\\"_s};
    }
    void readingLinkFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, error);
        QFETCH(QStringList, fields);
        TemporaryWorkingDirectory dir;
        writeFile(dir.filePath(u"link.txt"_s), file);
        ConnectionSettings settings;
        QCOMPARE(errorText([&] { ReadConnectionSettings(settings); }), error);
        QCOMPARE((QStringList{settings.engine, settings.server, settings.database, settings.account,
                              settings.accountPassword, settings.picturePath, settings.databaseFolder}),
                 fields);
    }

    void missingLinkFile()
    {
        TemporaryWorkingDirectory dir;
        ConnectionSettings settings;
        QCOMPARE(errorText([&] { ReadConnectionSettings(settings); }), u"File not found"_s);
    }

    void writingRoundTrips()
    {
        TemporaryWorkingDirectory dir;
        writeFile(dir.filePath(u"link.txt"_s), "old line\r\nsecond line\r\n");
        const ConnectionSettings written{u"1"_s, u"主機"_s, QString(), u"sa"_s, u"p'w\""_s, u"C:\\pic\\"_s, QString()};
        WriteConnectionSettings(written);
        QCOMPARE(readFile(dir.filePath(u"link.txt"_s)),
                 QStringEncoder("Big5").encode(u"1,主機,,sa,p'w\",C:\\pic\\,,\r\n"_s));
        ConnectionSettings read;
        ReadConnectionSettings(read);
        QCOMPARE(read.server, written.server);
        QCOMPARE(read.accountPassword, written.accountPassword);
        QCOMPARE(read.databaseFolder, QString());
    }

    void writtenFileIsPrivate_data()
    {
        QTest::addColumn<bool>("replacing");
        QTest::newRow("new file") << false;
        QTest::newRow("replacing a file that all may read") << true;
    }
    void writtenFileIsPrivate()
    {
        QFETCH(bool, replacing);
        TemporaryWorkingDirectory dir;
        const std::filesystem::path path = dir.filePath(u"link.txt"_s).toStdString();
        if (replacing) {
            writeFile(dir.filePath(u"link.txt"_s), "old line\r\n");
            std::filesystem::permissions(path, std::filesystem::perms(0644));
        }
        WriteConnectionSettings({u"1"_s, u"host"_s, u"attend"_s, u"sa"_s, u"secret"_s, QString(), QString()});
        QCOMPARE(std::filesystem::status(path).permissions(),
                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        QCOMPARE(readFile(dir.filePath(u"link.txt"_s)), QByteArray("1,host,attend,sa,secret,,,\r\n"));
    }

    void textBig5CannotHoldIsRefused()
    {
        TemporaryWorkingDirectory dir;
        writeFile(dir.filePath(u"link.txt"_s), "2,a,b,c,d,e,f,\r\n");
        const ConnectionSettings settings{u"2"_s, u"😀"_s, QString(), QString(), QString(), QString(), QString()};
        QVERIFY(!errorText([&] { WriteConnectionSettings(settings); }).isEmpty());
        QCOMPARE(readFile(dir.filePath(u"link.txt"_s)), QByteArray("2,a,b,c,d,e,f,\r\n"));
    }

    void connectionStrings_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("expected");
        QTest::newRow("access") << u"2"_s << u"typed"_s << u"D:\\data\\"_s
                                << u"Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=qorlavin;User ID=admin;"
                                   "Data Source=D:\\data\\basedb.mdb;Persist Security Info=True"_s;
        QTest::newRow("access folder without separator") << u"2"_s << QString() << u"D:\\data"_s
                                << u"Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=qorlavin;User ID=admin;"
                                   "Data Source=D:\\databasedb.mdb;Persist Security Info=True"_s;
        QTest::newRow("sql server without password") << u"1"_s << QString() << QString()
                                << u"Provider=SQLOLEDB.1;Persist Security Info=True;;User ID=sa;Initial Catalog=attend;"
                                   "Data Source=SERVER;"_s;
        QTest::newRow("sql server with blanks as password") << u"1"_s << u" \t "_s << QString()
                                << u"Provider=SQLOLEDB.1;Persist Security Info=True;;User ID=sa;Initial Catalog=attend;"
                                   "Data Source=SERVER;"_s;
        QTest::newRow("sql server with password") << u"1"_s << u" pw "_s << QString()
                                << u"Provider=SQLOLEDB.1;Password= pw ;Persist Security Info=True;;User ID=sa;"
                                   "Initial Catalog=attend;Data Source=SERVER;"_s;
        QTest::newRow("other engine") << u"3"_s << QString() << QString() << QString();
    }
    void connectionStrings()
    {
        QFETCH(QString, engine);
        QFETCH(QString, password);
        QFETCH(QString, folder);
        QFETCH(QString, expected);
        ConnectionSettings settings{engine, u"SERVER"_s, u"attend"_s, u"sa"_s, password, QString(), folder};
        QCOMPARE(BuildConnectionString(settings), expected);
        if (engine == u"2"_s)
            QCOMPARE(settings.accountPassword, u"qorlavin"_s);
    }
};

QTEST_GUILESS_MAIN(SettingsLineTest)
#include "tst_settings_line.moc"
