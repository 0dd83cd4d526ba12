#include "Connection.h"
#include "FtpTestServer.h"
#include "LocalClock.h"
#include "OtherProgram.h"
#include "RecordingDialogs.h"
#include "Tclockout.h"
#include "TemporaryWorkingDirectory.h"
#include "TestDatabases.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStringEncoder>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QString shift = u"上班"_s;
const QString overtime = u"加班"_s;
const QString command = QStringLiteral(PUNCHCLOCK_BINARY_DIR "/export/punchclock-export");

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("Cannot write %s", qPrintable(path));
}

QByteArray big5(const QString& text)
{
    QStringEncoder encoder("Big5");
    return encoder.encode(text);
}

} // namespace

// punchclock-export run as a program of its own in a working directory with link.txt, ftp.txt,
// temp/ and an SQLite database, beside the export screen on the same database.
class ExportCommandTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void sameFilesAndRowsAsTheScreen_data();
    void sameFilesAndRowsAsTheScreen();
    void uploadChecksTheStoredFile_data();
    void uploadChecksTheStoredFile();
    void failedStep_data();
    void failedStep();
    void failedUploadIsRetried();
    void progressOnATerminal();

private:
    Run runCommand(const QStringList& arguments, const QString& program = command);
    QStringList exportRows();
    void addPunches();
    void writeTransferSettings(const FtpTestServer& server, const QString& unit);

    std::optional<TemporaryWorkingDirectory> work_;
    QString connectionString_;
    std::optional<OtherProgram> other_;
};

void ExportCommandTest::init()
{
    work_.emplace();
    connectionString_ = TestDatabases::createSqlite(work_->filePath(u"basedb.mdb"_s));
    other_.emplace(connectionString_);
    // The embedded database, in the working directory.
    writeFile(work_->filePath(u"link.txt"_s), "2,,,,,,,\r\n");
    QVERIFY(QDir(work_->path()).mkdir(u"temp"_s));
    addPunches();
}

void ExportCommandTest::cleanup()
{
    other_.reset();
    work_.reset();
}

void ExportCommandTest::addPunches()
{
    const QList<QStringList> shifts{{u"E01"_s, u"C01"_s, u"2024/05/03"_s, u"08:05"_s, u"17:30"_s},
                                    {u"E02"_s, u"007"_s, u"2024/05/02"_s, u"07:55"_s, u""_s},
                                    {u"E03"_s, u"C03"_s, u"2024/05/02"_s, u""_s, u""_s},
                                    {u"E01"_s, u"C01"_s, u"2024/04/30"_s, u"08:00"_s, u"17:00"_s}};
    for (const QStringList& p : shifts)
        other_->run(u"INSERT INTO clock (clock_emp, clock_no, clock_dat2, clock_stime2, clock_etime2) "
                    "VALUES (?, ?, ?, ?, ?)"_s,
                    {p[0], p[1], p[2], p[3], p[4]});
    other_->run(u"INSERT INTO pre_over (pres_emp, pres_sdate, pres_stime, pres_etime) "
                "VALUES ('E07', '2024/05/03', '18:00', '20:30')"_s);
    other_->run(u"INSERT INTO ptemp (P00, P01) VALUES ('卡鐘匯檔', 'an earlier export'), ('其他', 'kept')"_s);
}

Run ExportCommandTest::runCommand(const QStringList& arguments, const QString& program)
{
    QProcess process;
    process.setWorkingDirectory(work_->path());
    process.start(program, arguments);
    if (!process.waitForFinished(120000))
        qFatal("punchclock-export did not finish");
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

QStringList ExportCommandTest::exportRows()
{
    return other_->rows(u"SELECT P00, P01, P02, P03, P04 FROM ptemp ORDER BY id"_s);
}

void ExportCommandTest::writeTransferSettings(const FtpTestServer& server, const QString& unit)
{
    writeFile(work_->filePath(u"ftp.txt"_s),
              big5(QStringList{server.user(), server.password(),
                               server.host() + u":"_s + QString::number(server.port()), u"daily"_s, unit, QString()}
                       .join(u',') +
                   u"\r\n"_s));
}

// ---------------------------------------------------------------------------------------------

void ExportCommandTest::sameFilesAndRowsAsTheScreen_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("stagedRows");

    QTest::newRow("shift") << shift << 3;
    QTest::newRow("overtime") << overtime << 2;
}

void ExportCommandTest::sameFilesAndRowsAsTheScreen()
{
    QFETCH(QString, kind);
    QFETCH(int, stagedRows);
    const QString workbook = work_->filePath(u"temp/卡鐘匯檔.xls"_s);
    QStringList screenRows;
    QByteArray screenBook;
    {
        LocalClock::setSource([] { return QDateTime(QDate(2024, 5, 31), QTime(10, 0)); });
        Connection connection(u"CUSConnection1"_s);
        RecordingDialogs dialogs;
        connection.setConnectionString(connectionString_);
        Tclockout screen(connection, nullptr);
        screen.DBComboBox1->setCurrentText(kind);
        screen.Button5->click();
        screen.Button6->click();
        QCOMPARE(dialogs.takeTexts(), QStringList{u"轉檔完成!"_s});
        screenRows = exportRows();
        screenBook = readFile(workbook);
        LocalClock::setSource({});
    }
    QVERIFY(QFile::remove(workbook));
    other_->run(u"DELETE FROM ptemp WHERE P00 = '卡鐘匯檔'"_s);

    const Run run = runCommand({u"--from"_s, u"2024/05/01"_s, u"--to"_s, u"2024/05/31"_s, u"--kind"_s, kind});

    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(exportRows(), screenRows);
    QCOMPARE(screenRows.size(), stagedRows + 1); // and the row of another program
    QVERIFY(!screenBook.isEmpty());
    QCOMPARE(readFile(workbook), screenBook);
    // One line per step, and nothing of the progress, which shows on a terminal only.
    const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    QStringList steps;
    for (const QString& line : lines)
        steps.append(line.section(u':', 0, 0));
    QCOMPARE(steps, (QStringList{u"database"_s, u"search"_s, u"staging"_s, u"workbook"_s}));
    QVERIFY2(lines[2].contains(u"%1 rows into ptemp"_s.arg(stagedRows)), qPrintable(lines[2]));
    QVERIFY(!run.out.contains(u'\r'));
}

void ExportCommandTest::uploadChecksTheStoredFile_data()
{
    QTest::addColumn<FtpTestServer::Behaviour>("behaviour");
    QTest::addColumn<int>("exitCode");

    using B = FtpTestServer::Behaviour;
    QTest::newRow("stored whole") << B::Normal << 0;
    QTest::newRow("stored file truncated") << B::TruncateStored << 1;
    QTest::newRow("data connection cut") << B::CutDataConnection << 1;
}

void ExportCommandTest::uploadChecksTheStoredFile()
{
    QFETCH(FtpTestServer::Behaviour, behaviour);
    QFETCH(int, exitCode);
    FtpTestServer server(behaviour);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(QDir(server.rootPath()).mkdir(u"daily"_s));
    writeTransferSettings(server, u"總公司"_s);

    const Run run =
        runCommand({u"--from"_s, u"2024/05/01"_s, u"--to"_s, u"2024/05/31"_s, u"--upload"_s, u"--unit"_s, u"A01"_s});

    QCOMPARE(run.exitCode, exitCode);
    // The day's file under the unit of the command line, as "上傳檔案" names them.
    const QString day = QDate::currentDate().toString(u"yyyyMMdd"_s);
    const QByteArray local = readFile(work_->filePath(u"temp/"_s + day + u"卡鐘.xls"_s));
    QVERIFY(!local.isEmpty());
    const QByteArray remote = server.fileContent("daily/" + big5(u"A01-卡鐘"_s + day + u".xls"_s));
    if (exitCode == 0) {
        QCOMPARE(run.err, QString());
        QVERIFY2(run.out.endsWith(u"upload: 上傳成功: A01-卡鐘"_s + day + u".xls in ./daily/\n"_s),
                 qPrintable(run.out));
        QCOMPARE(remote, local);
    } else {
        QVERIFY2(run.err.startsWith(u"punchclock-export: upload failed: 傳輸失敗: "_s), qPrintable(run.err));
        QVERIFY(!run.out.contains(u"上傳成功"_s));
        QVERIFY(remote.size() < local.size());
    }
}

void ExportCommandTest::failedStep_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error"); // the beginning of the standard error
    QTest::addColumn<bool>("staged");   // the export rows of ptemp were replaced

    const QStringList upload{u"--upload"_s};
    QTest::newRow("no database") << u"no database"_s << QStringList() << 1 << u"punchclock-export: database failed: "_s
                                 << false;
    QTest::newRow("no temp folder") << u"no temp"_s << QStringList() << 1
                                    << u"punchclock-export: workbook failed: Cannot write "_s << true;
    QTest::newRow("FTP login refused") << u"login refused"_s << upload << 1
                                       << u"punchclock-export: upload failed: 傳輸失敗: "_s << true;
    QTest::newRow("no ftp.txt") << u"no ftp.txt"_s << upload << 1
                                << u"punchclock-export: settings failed: ftp.txt: File not found"_s << false;
    QTest::newRow("bad date") << QString() << QStringList{u"--from"_s, u"2024/5/1"_s} << 2
                              << u"punchclock-export: --from takes a date written YYYY/MM/DD"_s << false;
    QTest::newRow("unit without upload") << QString() << QStringList{u"--unit"_s, u"A01"_s} << 2
                                         << u"punchclock-export: --unit belongs to --upload"_s << false;
}

void ExportCommandTest::failedStep()
{
    QFETCH(QString, fault);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    QFETCH(bool, staged);
    FtpTestServer server(fault == u"login refused"_s ? FtpTestServer::Behaviour::RefuseLogin
                                                     : FtpTestServer::Behaviour::Normal);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(QDir(server.rootPath()).mkdir(u"daily"_s));
    if (fault != u"no ftp.txt"_s)
        writeTransferSettings(server, u"A01"_s);
    if (fault == u"no database"_s)
        QVERIFY(QFile::remove(work_->filePath(u"link.txt"_s))); // and no database/basedb.mdb
    if (fault == u"no temp"_s)
        QVERIFY(QDir(work_->path()).rmdir(u"temp"_s));
    const QStringList before = exportRows();

    const Run run = runCommand(QStringList{u"--from"_s, u"2024/05/01"_s, u"--to"_s, u"2024/05/31"_s} + arguments);

    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.startsWith(error), qPrintable(run.err));
    QCOMPARE(exportRows() != before, staged);
}

// A failed upload is tried again as often as --retries says, and no more.
void ExportCommandTest::failedUploadIsRetried()
{
    FtpTestServer server(FtpTestServer::Behaviour::RefuseLogin);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    writeTransferSettings(server, u"A01"_s);

    const Run run = runCommand({u"--upload"_s, u"--retries"_s, u"2"_s, u"--retry-pause"_s, u"0"_s});

    QCOMPARE(run.exitCode, 1);
    QCOMPARE(server.commands().count("USER tester"), 3);
    QCOMPARE(run.out.count(u"upload: try "_s), 2);
    QVERIFY2(run.out.contains(u"upload: try 2 failed ("_s), qPrintable(run.out));
}

// On a terminal (here script(1)'s) a step's rows show on its line until the step line replaces them.
void ExportCommandTest::progressOnATerminal()
{
    const QString line = QStringList{command, u"--from"_s, u"2024/05/01"_s, u"--to"_s, u"2024/05/31"_s}.join(u' ');

    const Run run = runCommand({u"-qec"_s, line, u"/dev/null"_s}, u"/usr/bin/script"_s);

    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains(u"\rstaging: 3 of 3 rows\r\033[Kstaging: 3 rows into ptemp"_s), qPrintable(run.out));
    QVERIFY2(run.out.contains(u"\rworkbook: 3 of 3 rows\r\033[Kworkbook: "_s), qPrintable(run.out));
}

QTEST_MAIN(ExportCommandTest)
#include "tst_export_command.moc"
