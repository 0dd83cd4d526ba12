// Connection strings, the engine they choose, and what opening an SQLite file refuses.
#include "Connection.h"
#include "ConnectionString.h"
#include "EngineError.h"
#include "EngineSettings.h"
#include "RecordQuery.h"
#include "ErrorText.h"
#include "TemporaryWorkingDirectory.h"
#include "TestDatabases.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <cstdio>

class TestConnection : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parse_data();
    void parse();
    void engineSettings_data();
    void engineSettings();
    void openSqliteFile_data();
    void openSqliteFile();
    void anotherProgramReadingTheFileLosesNoWrites();
    void replacedFileIsOpenedAgain();
    void engineCause_data();
    void engineCause();
};

namespace {

// Runs SQL through Python's own SQLite in a process of its own, as another program would,
// and returns what it printed.
QString inAnotherProcess(const QString& filePath, const QString& script)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import sqlite3, sys\ndb = sqlite3.connect(sys.argv[1])\n") + script +
                      QStringLiteral("\ndb.close()\n"),
                  filePath});
    if (!python.waitForFinished(60000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0)
        return QStringLiteral("failed: ") + QString::fromUtf8(python.readAllStandardError());
    return QString::fromUtf8(python.readAllStandardOutput()).trimmed();
}

} // namespace

void TestConnection::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("value");

    const QString quoted = QStringLiteral(R"(Password="say ""hi"";x";User ID=u)");
    QTest::newRow("plain") << QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\db\\a.mdb")
                           << QStringLiteral("Data Source") << true << QStringLiteral("C:\\db\\a.mdb");
    QTest::newRow("key in other case") << QStringLiteral("PROVIDER=SQLOLEDB.1") << QStringLiteral("provider") << true
                                       << QStringLiteral("SQLOLEDB.1");
    QTest::newRow("spaces around") << QStringLiteral("  data source =  a.db  ; x=1") << QStringLiteral("Data Source")
                                   << true << QStringLiteral("a.db");
    QTest::newRow("quoted with doubled quotes and ;")
        << quoted << QStringLiteral("password") << true << QStringLiteral(R"(say "hi";x)");
    QTest::newRow("key after quoted value") << quoted << QStringLiteral("User ID") << true << QStringLiteral("u");
    QTest::newRow("empty quoted value") << QStringLiteral(R"(Password="";User ID=u)") << QStringLiteral("Password")
                                        << true << QString();
    QTest::newRow("empty pieces") << QStringLiteral(";;Provider=X;;Data Source=y;;") << QStringLiteral("Data Source")
                                  << true << QStringLiteral("y");
    QTest::newRow("piece without =") << QStringLiteral("junk;Provider=X;more junk") << QStringLiteral("Provider")
                                     << true << QStringLiteral("X");
    QTest::newRow("= inside value") << QStringLiteral("Password=a=b;User ID=u") << QStringLiteral("Password") << true
                                    << QStringLiteral("a=b");
    QTest::newRow("absent key") << QStringLiteral("Provider=X") << QStringLiteral("Password") << false << QString();
}

void TestConnection::parse()
{
    QFETCH(QString, text);
    QFETCH(QString, key);
    QFETCH(bool, present);
    QFETCH(QString, value);

    const ConnectionString parsed = ConnectionString::parse(text);
    QCOMPARE(parsed.contains(key), present);
    QCOMPARE(parsed.value(key), value);
}

void TestConnection::engineSettings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("sqlite");
    QTest::addColumn<QString>("target"); // the file path for SQLite, else the ODBC connection string
    QTest::addColumn<QString>("error");

    const QString jet = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=");
    const QString sql = QStringLiteral("Provider=SQLOLEDB.1;Data Source=");
    QTest::newRow("jet, backslashes") << jet + QStringLiteral("data\\punch.mdb") << true
                                      << QStringLiteral("/srv/clock/data/punch.mdb") << QString();
    QTest::newRow("jet, slashes") << jet + QStringLiteral("data/punch.mdb") << true
                                  << QStringLiteral("/srv/clock/data/punch.mdb") << QString();
    QTest::newRow("jet, parent folder") << jet + QStringLiteral("..\\shared\\punch.mdb") << true
                                        << QStringLiteral("/srv/shared/punch.mdb") << QString();
    QTest::newRow("jet, absolute") << jet + QStringLiteral("/var/db/punch.db") << true
                                   << QStringLiteral("/var/db/punch.db") << QString();
    QTest::newRow("jet, quoted and lower case")
        << QStringLiteral(R"(provider=microsoft.jet.oledb.4.0;data source="my;punch.mdb")") << true
        << QStringLiteral("/srv/clock/my;punch.mdb") << QString();
    QTest::newRow("sqloledb, host and port")
        << sql + QStringLiteral("db.example.com,1433;Initial Catalog=punch;User ID=sa;Password=secret") << false
        << QStringLiteral("DRIVER={FreeTDS};SERVER=db.example.com;PORT=1433;TDS_Version=7.4;ClientCharset=UTF-8;"
                          "DATABASE=punch;UID=sa;PWD=secret;")
        << QString();
    QTest::newRow("sqloledb, host only") << sql + QStringLiteral("dbhost;Initial Catalog=punch") << false
                                         << QStringLiteral(
                                                "DRIVER={FreeTDS};SERVER=dbhost;TDS_Version=7.4;ClientCharset=UTF-8;"
                                                "DATABASE=punch;")
                                         << QString();
    QTest::newRow("sqloledb, password with ; and }")
        << sql + QStringLiteral(R"(dbhost;User ID=sa;Password="a;b}c")") << false
        << QStringLiteral("DRIVER={FreeTDS};SERVER=dbhost;TDS_Version=7.4;ClientCharset=UTF-8;UID=sa;PWD={a;b}}c};")
        << QString();
    QTest::newRow("sqloledb, defined data source")
        << sql + QStringLiteral("Clock_DSN;Initial Catalog=punch;User ID=sa") << false
        << QStringLiteral("Clock_DSN;DATABASE=punch;UID=sa;") << QString();
    QTest::newRow("no provider") << QStringLiteral("Data Source=punch.mdb") << false << QString()
                                 << QStringLiteral("The connection string names no provider");
    QTest::newRow("unknown provider") << QStringLiteral("Provider=MSDASQL;Data Source=x") << false << QString()
                                      << QStringLiteral("Provider cannot be found: MSDASQL");
}

void TestConnection::engineSettings()
{
    QFETCH(QString, text);
    QFETCH(bool, sqlite);
    QFETCH(QString, target);
    QFETCH(QString, error);

    const auto isDataSource = [](const QString& name) {
        return name.compare(QStringLiteral("clock_dsn"), Qt::CaseInsensitive) == 0;
    };
    EngineSettings settings;
    QCOMPARE(errorText([&] {
                 settings =
                     engineSettingsFor(ConnectionString::parse(text), QDir(QStringLiteral("/srv/clock")), isDataSource);
             }),
             error);
    if (!error.isEmpty())
        return;
    QCOMPARE(settings.engine == EngineSettings::Engine::SQLite, sqlite);
    QCOMPARE(sqlite ? settings.filePath : settings.databaseName, target);
}

void TestConnection::openSqliteFile_data()
{
    QTest::addColumn<QString>("file"); // none, sqlite (a database made by SQLite) or the bytes of content
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error"); // %1 stands for the file's absolute path
    QTest::addColumn<QString>("name");  // relative to the working directory

    const QByteArray accessHead =
        QByteArray::fromHex("00010000") + QByteArrayLiteral("Standard Jet DB") + QByteArray(200, '\0');
    QTest::newRow("missing file") << QStringLiteral("none") << QByteArray()
                                  << QStringLiteral("Could not find file '%1'.") << QStringLiteral("data/punch.mdb");
    QTest::newRow("access file") << QStringLiteral("bytes") << accessHead
                                 << QStringLiteral("'%1' is a Microsoft Access database; this program reads the "
                                                   "database as an SQLite file")
                                 << QStringLiteral("data/punch.mdb");
    QTest::newRow("text file") << QStringLiteral("bytes") << QByteArrayLiteral("Employees:\nA001 王小明\n")
                               << QStringLiteral("'%1' is not an SQLite database file")
                               << QStringLiteral("data/punch.mdb");
    QTest::newRow("empty file") << QStringLiteral("bytes") << QByteArray()
                                << QStringLiteral("'%1' is not an SQLite database file")
                                << QStringLiteral("database/basedb.mdb");
    QTest::newRow("sqlite file") << QStringLiteral("sqlite") << QByteArray() << QString()
                                 << QStringLiteral("data/punch.mdb");
    QTest::newRow("sqlite file, name with URL characters")
        << QStringLiteral("sqlite") << QByteArray() << QString() << QStringLiteral("打卡 資料/#1 100%20?.db");
}

void TestConnection::openSqliteFile()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    QFETCH(QString, name);

    // The file lies in a folder below the working directory and is named relative to it, with
    // the backslashes of a Windows path.
    const TemporaryWorkingDirectory workingDir;
    const QString path = workingDir.filePath(name);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    if (file == QLatin1String("sqlite")) {
        TestDatabases::createSqlite(path);
    } else if (file == QLatin1String("bytes")) {
        QFile written(path);
        QVERIFY(written.open(QIODevice::WriteOnly));
        written.write(content);
    }

    {
        Connection connection(QStringLiteral("test"));
        connection.setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
                                       QString(name).replace(QLatin1Char('/'), QLatin1Char('\\')));
        QCOMPARE(errorText([&] { connection.open(); }), error.isEmpty() ? error : error.arg(path));
        QCOMPARE(connection.isOpen(), error.isEmpty());
    }

    // Opening neither creates a database nor touches a file it refuses.
    QCOMPARE(QFile::exists(path), file != QLatin1String("none"));
    if (file == QLatin1String("bytes")) {
        QFile read(path);
        QVERIFY(read.open(QIODevice::ReadOnly));
        QCOMPARE(read.readAll(), content);
    }
}

// The program holds two connections on the file (the main one and the spare one). Another
// program that opens, reads and closes the file in between must not take itself for the last
// user: what the program writes afterwards reaches the file for everyone.
void TestConnection::anotherProgramReadingTheFileLosesNoWrites()
{
    const TemporaryWorkingDirectory workingDir;
    const QString path = workingDir.filePath(QStringLiteral("database/basedb.mdb"));
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    const QString connectionString = TestDatabases::createSqlite(path);

    Connection main(QStringLiteral("CUSConnection1"));
    Connection spare(QStringLiteral("tmpConnection"));
    main.setConnectionString(connectionString);
    spare.setConnectionString(connectionString);
    main.open();
    spare.open();
    auto write = [](Connection& connection, const QString& employee) {
        QSqlQuery query(connection.database());
        QVERIFY2(query.exec(QStringLiteral("insert into clock (clock_emp) values ('%1')").arg(employee)),
                 qPrintable(query.lastError().text()));
    };
    write(main, QStringLiteral("A001"));

    QCOMPARE(inAnotherProcess(path, QStringLiteral("print(db.execute('select count(*) from clock').fetchone()[0])")),
             QStringLiteral("1"));
    write(main, QStringLiteral("A002"));
    write(spare, QStringLiteral("A003"));

    QCOMPARE(inAnotherProcess(path, QStringLiteral("print(','.join(r[0] for r in db.execute("
                                                   "'select clock_emp from clock order by clock_emp')))\n"
                                                   "print(db.execute('pragma integrity_check').fetchone()[0])")),
             QStringLiteral("A001,A002,A003\nok"));
}

// A file put back from a copy while the program runs: what the program reads and writes next is
// the file that is there now, not the one it had open.
void TestConnection::replacedFileIsOpenedAgain()
{
    const TemporaryWorkingDirectory workingDir;
    const QString path = workingDir.filePath(QStringLiteral("basedb.mdb"));
    Connection connection(QStringLiteral("CUSConnection1"));
    connection.setConnectionString(TestDatabases::createSqlite(path));
    RecordQuery employees(QStringLiteral("emp_ADOQ"), connection, RecordQuery::WriteMode::Immediate);
    employees.sql() = {QStringLiteral("select * from employee")};
    employees.open();
    QCOMPARE(employees.rowCount(), 0);
    employees.close();

    const QString copy = workingDir.filePath(QStringLiteral("copy.mdb"));
    TestDatabases::createSqlite(copy, true);
    QVERIFY(std::rename(QFile::encodeName(copy).constData(), QFile::encodeName(path).constData()) == 0);

    employees.open();
    QCOMPARE(employees.rowCount(), 4);
}

void TestConnection::engineCause_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("nativeCode");
    QTest::addColumn<QString>("text");
    QTest::addColumn<DatabaseError::Cause>("cause");
    using Cause = DatabaseError::Cause;
    const QString sqlite = QStringLiteral("QSQLITE");
    const QString odbc = QStringLiteral("QODBC");
    const QString none;
    QTest::newRow("SQLite busy") << sqlite << QStringLiteral("5") << QStringLiteral("database is locked") << Cause::Busy;
    QTest::newRow("SQLite busy snapshot") << sqlite << QStringLiteral("517") << none << Cause::Busy;
    QTest::newRow("SQLite table locked") << sqlite << QStringLiteral("6") << none << Cause::Busy;
    QTest::newRow("SQLite disk I/O error") << sqlite << QStringLiteral("10") << none << Cause::ConnectionLost;
    QTest::newRow("SQLite constraint") << sqlite << QStringLiteral("19") << none << Cause::Other;
    QTest::newRow("link failure state") << odbc << QStringLiteral("08S01") << none << Cause::ConnectionLost;
    QTest::newRow("server shut down state") << odbc << QStringLiteral("57P01") << none << Cause::ConnectionLost;
    QTest::newRow("serialization state") << odbc << QStringLiteral("40001") << none << Cause::Busy;
    QTest::newRow("several states") << odbc << QStringLiteral("01000;08S01") << none << Cause::ConnectionLost;
    QTest::newRow("unique violation state") << odbc << QStringLiteral("23505") << none << Cause::Other;
    // The PostgreSQL driver gives its own numbers: its wording tells.
    QTest::newRow("server restarted")
        << odbc << QStringLiteral("1")
        << QStringLiteral("FATAL:  terminating connection due to administrator command\nserver closed the "
                          "connection unexpectedly")
        << Cause::ConnectionLost;
    QTest::newRow("deadlock") << odbc << QStringLiteral("7") << QStringLiteral("ERROR: deadlock detected") << Cause::Busy;
    QTest::newRow("a number SQLite would call busy")
        << odbc << QStringLiteral("5") << QStringLiteral("ERROR: relation \"x\" does not exist") << Cause::Other;
}

void TestConnection::engineCause()
{
    QFETCH(QString, driver);
    QFETCH(QString, nativeCode);
    QFETCH(QString, text);
    QFETCH(DatabaseError::Cause, cause);
    QCOMPARE(::engineCause(QSqlError(QStringLiteral("driver text"), text, QSqlError::StatementError, nativeCode),
                           driver),
             cause);
}

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
