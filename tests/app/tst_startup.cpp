#include "RecordQuery.h"
#include "RecordingDialogs.h"
#include "TDataModule1.h"
#include "TemporaryWorkingDirectory.h"
#include "TestDatabases.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

// What building the data module does with the default file, link.txt and the database it names.
class StartupTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TemporaryWorkingDirectory> dir;
    std::unique_ptr<RecordingDialogs> dialogs;
    int setupDialogRuns = 0;

    void createDatabase(const QString& folder)
    {
        QVERIFY(QDir(dir->path()).mkpath(folder));
        TestDatabases::createSqlite(dir->filePath(folder + u"/basedb.mdb"_s), true);
    }
    void writeLinkFile(const QByteArray& line)
    {
        QFile file(dir->filePath(u"link.txt"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(line + "\r\n");
    }
    std::unique_ptr<TDataModule1> startUp()
    {
        return std::make_unique<TDataModule1>([this](TDataModule1&) { ++setupDialogRuns; });
    }
    static int employees(Connection& connection)
    {
        RecordQuery query(u"check"_s, connection, RecordQuery::WriteMode::Immediate);
        query.sql() = {u"select * from employee"_s};
        query.open();
        return query.rowCount();
    }

private Q_SLOTS:
    void init()
    {
        dir = std::make_unique<TemporaryWorkingDirectory>();
        dialogs = std::make_unique<RecordingDialogs>();
        setupDialogRuns = 0;
    }
    void cleanup()
    {
        dialogs.reset();
        dir.reset();
    }

    void noLinkFileWorksOnTheDefaultFile()
    {
        createDatabase(u"database"_s);
        auto module = startUp();
        QCOMPARE(dialogs->takeTexts(), QStringList{u"File not found."_s});
        QCOMPARE(setupDialogRuns, 0);
        QVERIFY(module->CUSConnection1.isOpen());
        QCOMPARE(module->CUSConnection1.connectionString(), TDataModule1::defaultConnectionString());
        QCOMPARE(employees(module->CUSConnection1), 4);
    }

    void shortLinkFileWorksOnTheDefaultFile()
    {
        createDatabase(u"database"_s);
        writeLinkFile("2,a,b,");
        auto module = startUp();
        QCOMPARE(dialogs->takeTexts(), QStringList{u"List index out of bounds (3)"_s});
        QVERIFY(module->CUSConnection1.isOpen());
        QCOMPARE(setupDialogRuns, 0);
    }

    void neitherDefaultFileNorLinkFile()
    {
        auto module = startUp();
        const QString missing = QDir::toNativeSeparators(dir->filePath(u"database/basedb.mdb"_s));
        QCOMPARE(dialogs->takeTexts(),
                 (QStringList{u"Could not find file '%1'."_s.arg(missing), u"File not found."_s}));
        QVERIFY(!module->CUSConnection1.isOpen());
        QVERIFY(!QFile::exists(missing));
        // Every database operation then tries the default file again and reports the engine.
        QVERIFY_THROWS_EXCEPTION(std::exception, employees(module->CUSConnection1));
    }

    void configuredDatabaseOpensWithoutTheDefaultFile()
    {
        createDatabase(u"data"_s);
        writeLinkFile("2,host,attend,sa,,pic/,data/,");
        auto module = startUp();
        QCOMPARE(dialogs->messages.size(), 1); // the default file is missing
        QVERIFY(module->CUSConnection1.isOpen());
        QVERIFY(module->tmpConnection.isOpen());
        QCOMPARE(module->CUSConnection1.connectionString(),
                 u"Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=qorlavin;User ID=admin;"
                 "Data Source=data/basedb.mdb;Persist Security Info=True"_s);
        QCOMPARE(module->settings.accountPassword, u"qorlavin"_s);
        QCOMPARE(employees(module->CUSConnection1), 4);
        QCOMPARE(setupDialogRuns, 0);
    }

    void demoWorkingDirectoryStartsCleanly()
    {
        QProcess make;
        make.start(u"bash"_s, {QStringLiteral(PUNCHCLOCK_SOURCE_DIR "/scripts/make-demo-dir"),
                               QStringLiteral(PUNCHCLOCK_BINARY_DIR), dir->path()});
        QVERIFY(make.waitForFinished());
        QCOMPARE(make.exitCode(), 0);
        auto module = startUp();
        QCOMPARE(dialogs->takeTexts(), QStringList{});
        QVERIFY(module->CUSConnection1.isOpen());
        QCOMPARE(employees(module->CUSConnection1), 4);
        QVERIFY(QFileInfo(dir->filePath(u"temp"_s)).isDir());
    }

    void unopenableDatabaseRunsTheSetupDialog_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("access folder without its separator") << QByteArray("2,h,d,sa,,,data,");
        QTest::newRow("sql server that refuses") << QByteArray("1,127.0.0.1,1,attend,sa,,,,");
        QTest::newRow("unknown engine") << QByteArray("3,h,d,sa,,,data/,");
    }
    void unopenableDatabaseRunsTheSetupDialog()
    {
        QFETCH(QByteArray, line);
        createDatabase(u"database"_s);
        createDatabase(u"data"_s);
        writeLinkFile(line);
        auto module = startUp();
        QCOMPARE(dialogs->takeTexts(), QStringList{});
        QCOMPARE(setupDialogRuns, 1);
        QVERIFY(!module->CUSConnection1.isOpen());
        QVERIFY(!module->endRequested());
    }

    void defaultConnectionString()
    {
        QCOMPARE(TDataModule1::defaultConnectionString(),
                 u"Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data Source=.\\database\\basedb.mdb;"
                 "Mode=Share Deny None;Extended Properties=\"\";Persist Security Info=False;"
                 "Jet OLEDB:System database=\"\";Jet OLEDB:Registry Path=\"\";Jet OLEDB:Database Password=qorlavin;"
                 "Jet OLEDB:Engine Type=5;Jet OLEDB:Database Locking Mode=1;Jet OLEDB:Global Partial Bulk Ops=2;"
                 "Jet OLEDB:Global Bulk Transactions=1;Jet OLEDB:New Database Password=\"\";"
                 "Jet OLEDB:Create System Database=False;Jet OLEDB:Encrypt Database=False;"
                 "Jet OLEDB:Don't Copy Locale on Compact=False;Jet OLEDB:Compact Without Replica Repair=False;"
                 "Jet OLEDB:SFP=False"_s);
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
