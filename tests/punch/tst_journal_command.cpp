// punchclock-journal run as a site runs it, in the working directory of the program.
#include "LocalClock.h"
#include "OtherProgram.h"
#include "PunchJournal.h"
#include "TemporaryWorkingDirectory.h"
#include "TestDatabases.h"

#include <QFile>
#include <QProcess>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestJournalCommand : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void replayWritesPendingPunchesOnce();
    void verifyFindsTheChangedLine();
    void showListsAnEmployeesRange();
    void refusesWhatItCannotUse_data();
    void refusesWhatItCannotUse();
};

namespace {

struct Run {
    int status = -1;
    QString output;
};

Run journalCommand(const QStringList& arguments)
{
    QProcess command;
    command.start(QStringLiteral(PUNCHCLOCK_JOURNAL), arguments);
    command.waitForFinished(60000);
    return {command.exitStatus() == QProcess::NormalExit ? command.exitCode() : -1,
            QString::fromUtf8(command.readAllStandardOutput() + command.readAllStandardError())};
}

PunchRequest shiftStart(const QString& employee, const QString& date, const QString& time)
{
    PunchRequest punch;
    punch.employeeNo = employee;
    punch.cardNo = u"1001"_s;
    punch.date = date;
    punch.time = time;
    punch.serial = QString(time).remove(u':') + u"00"_s;
    return punch;
}

PunchJournal workingJournal()
{
    return PunchJournal::ofWorkingDirectory();
}

} // namespace

void TestJournalCommand::replayWritesPendingPunchesOnce()
{
    const TemporaryWorkingDirectory workingDir;
    QVERIFY(QDir().mkpath(u"database"_s));
    OtherProgram other(TestDatabases::createSqlite(workingDir.filePath(u"database/basedb.mdb"_s)));
    PunchJournal journal = workingJournal();
    journal.recordOutcome(journal.recordPunch(shiftStart(u"A001"_s, u"2026/12/09"_s, u"08:00"_s), true),
                          PunchOutcome::Pending, u"no connection"_s);
    journal.recordPunch(shiftStart(u"A002"_s, u"2026/12/09"_s, u"08:01"_s), true);

    const Run listed = journalCommand({u"pending"_s});
    QCOMPARE(listed.status, 0);
    QVERIFY2(listed.output.contains(u"2026/12/09 08:00 A001 上班"_s) && listed.output.contains(u"2 punches not yet written"_s),
             qPrintable(listed.output));
    for (int run = 0; run < 2; ++run)
        QCOMPARE(journalCommand({u"replay"_s}).status, 0);
    QCOMPARE(other.rows(u"SELECT clock_emp, clock_dat1, clock_stime2 FROM clock ORDER BY clock_emp"_s),
             (QStringList{u"A001|2026/12/09|08:00"_s, u"A002|2026/12/09|08:01"_s}));
    QVERIFY(journalCommand({u"pending"_s}).output.contains(u"0 punches not yet written"_s));
}

void TestJournalCommand::verifyFindsTheChangedLine()
{
    const TemporaryWorkingDirectory workingDir;
    LocalClock::setSource([] { return QDateTime(QDate(2026, 11, 30), QTime(17, 0)); });
    PunchJournal journal = workingJournal();
    for (const QString& time : {u"08:00"_s, u"08:01"_s})
        journal.recordOutcome(journal.recordPunch(shiftStart(u"A001"_s, u"2026/11/30"_s, time), true), PunchOutcome::Written);
    LocalClock::setSource({});
    QCOMPARE(journalCommand({u"verify"_s, u"2026-11"_s}).status, 0);

    QFile file(journal.monthFiles().first());
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray text = file.readAll();
    text.replace("time=08:01", "time=07:01");
    file.resize(0);
    file.write(text);
    file.close();
    const Run checked = journalCommand({u"verify"_s});
    QCOMPARE(checked.status, 1);
    QVERIFY2(checked.output.contains(u"broken at line 3"_s), qPrintable(checked.output));
}

void TestJournalCommand::showListsAnEmployeesRange()
{
    const TemporaryWorkingDirectory workingDir;
    PunchJournal journal = workingJournal();
    journal.recordOutcome(journal.recordPunch(shiftStart(u"A001"_s, u"2026/12/01"_s, u"08:00"_s), true), PunchOutcome::Written);
    journal.recordOutcome(journal.recordPunch(shiftStart(u"A001"_s, u"2026/12/02"_s, u"08:03"_s), false), PunchOutcome::WrongCard);
    journal.recordOutcome(journal.recordPunch(shiftStart(u"A002"_s, u"2026/12/02"_s, u"08:04"_s), true), PunchOutcome::Written);
    journal.recordOutcome(journal.recordPunch(shiftStart(u"A001"_s, u"2026/12/05"_s, u"08:05"_s), true), PunchOutcome::Written);

    const Run shown = journalCommand({u"show"_s, u"A001"_s, u"2026/12/01"_s, u"2026/12/02"_s});
    QCOMPARE(shown.status, 0);
    const QStringList lines = shown.output.trimmed().split(u'\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines[0].startsWith(u"2026/12/01 08:00 A001 上班 on "_s) && lines[0].endsWith(u": written"_s), qPrintable(lines[0]));
    QVERIFY2(lines[1].startsWith(u"2026/12/02 08:03 A001 上班 on "_s) && lines[1].endsWith(u"wrong card, not written"_s),
             qPrintable(lines[1]));
    QCOMPARE(lines[2], u"2 punches"_s);
}

void TestJournalCommand::refusesWhatItCannotUse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::newRow("no command") << QStringList() << 2;
    QTest::newRow("unknown command") << QStringList{u"erase"_s} << 2;
    QTest::newRow("bad month") << QStringList{u"verify"_s, u"2026-13"_s} << 2;
    QTest::newRow("month without journal") << QStringList{u"verify"_s, u"2020-01"_s} << 3;
    QTest::newRow("show without employee") << QStringList{u"show"_s} << 2;
    QTest::newRow("show with a bad date") << QStringList{u"show"_s, u"A001"_s, u"2026-12-01"_s, u"2026/12/02"_s} << 2;
    QTest::newRow("replay without database") << QStringList{u"replay"_s} << 3;
}

void TestJournalCommand::refusesWhatItCannotUse()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    const TemporaryWorkingDirectory workingDir;
    const Run run = journalCommand(arguments);
    QCOMPARE(run.status, status);
    QVERIFY(!run.output.isEmpty());
}

QTEST_GUILESS_MAIN(TestJournalCommand)
#include "tst_journal_command.moc"
