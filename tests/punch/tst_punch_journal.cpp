// The local journal of punches: what it keeps, what it reports as still to be written, and
// how a line changed afterwards shows.
#include "LocalClock.h"
#include "PunchJournal.h"
#include "TemporaryWorkingDirectory.h"

#include <QFile>
#include <QtTest>

class TestPunchJournal : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void keepsEveryPunchWithItsOutcome();
    void pendingLeavesOutSettledPunches();
    void changedLineBreaksTheChain_data();
    void changedLineBreaksTheChain();
    void unwritableFolderIsReported();
};

namespace {

PunchRequest request(const QString& employee, PunchKind kind, const QString& time)
{
    PunchRequest punch;
    punch.kind = kind;
    punch.employeeNo = employee;
    punch.cardNo = QStringLiteral("10 01"); // a blank must survive the line's escaping
    punch.overtimeLevel = QStringLiteral("1");
    punch.date = QStringLiteral("2026/12/10");
    punch.time = time;
    punch.serial = QString(time).remove(QLatin1Char(':')) + QStringLiteral("00");
    return punch;
}

QByteArrayList fileLines(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QByteArrayList lines = file.readAll().split('\n');
    lines.removeLast();
    return lines;
}

void writeLines(const QString& path, const QByteArrayList& lines)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    for (const QByteArray& line : lines)
        file.write(line + '\n');
}

} // namespace

void TestPunchJournal::init()
{
    LocalClock::setSource([] { return QDateTime(QDate(2026, 12, 10), QTime(8, 1, 2)); });
}

void TestPunchJournal::cleanup()
{
    LocalClock::setSource({});
}

void TestPunchJournal::keepsEveryPunchWithItsOutcome()
{
    const TemporaryWorkingDirectory workingDir;
    PunchJournal journal(QDir(workingDir.filePath(QStringLiteral("journal"))));
    const QString first = journal.recordPunch(request(QStringLiteral("A001"), PunchKind::ShiftStart, QStringLiteral("08:01")), true);
    journal.recordOutcome(first, PunchOutcome::Written);
    const QString second = journal.recordPunch(request(QStringLiteral("A001"), PunchKind::ShiftStart, QStringLiteral("08:05")), true);
    journal.recordOutcome(second, PunchOutcome::Refused, QStringLiteral("ERROR: value too long\nfor type"));

    QCOMPARE(journal.monthFiles(), QStringList{workingDir.filePath(QStringLiteral("journal/2026-12.log"))});
    const std::vector<JournalPunch> punches = journal.punches();
    QCOMPARE(punches.size(), std::size_t(2));
    QVERIFY(first != second);
    // The second "上班" of the day is on record beside the first, with its own time.
    QCOMPARE(punches[0].request.time, QStringLiteral("08:01"));
    QCOMPARE(punches[1].request.time, QStringLiteral("08:05"));
    QCOMPARE(punches[1].request.cardNo, QStringLiteral("10 01"));
    QCOMPARE(punches[1].request.serial, QStringLiteral("080500"));
    QCOMPARE(punches[1].request.kind, PunchKind::ShiftStart);
    QCOMPARE(punches[0].outcome, std::optional(PunchOutcome::Written));
    QCOMPARE(punches[1].outcome, std::optional(PunchOutcome::Refused));
    QCOMPARE(punches[1].outcomeText, QStringLiteral("ERROR: value too long\nfor type"));
    // One line a punch and one an outcome, readable as they are.
    const QByteArrayList lines = fileLines(journal.monthFiles().first());
    QCOMPARE(lines.size(), 4);
    QVERIFY2(lines[0].startsWith("2026-12-10 08:01:02 punch id="), lines[0].constData());
    QVERIFY(QString::fromUtf8(lines[0]).contains(QStringLiteral(" emp=A001 kind=上班 date=2026/12/10 time=08:01 ")));
    QCOMPARE(PunchJournal::check(journal.monthFiles().first()).brokenLine, 0);
}

void TestPunchJournal::pendingLeavesOutSettledPunches()
{
    const TemporaryWorkingDirectory workingDir;
    PunchJournal journal(QDir(workingDir.filePath(QStringLiteral("journal"))));
    const auto punch = [&](const QString& employee, bool matched) {
        return journal.recordPunch(request(employee, PunchKind::OvertimeEnd, QStringLiteral("18:00")), matched);
    };
    journal.recordOutcome(punch(QStringLiteral("A001"), true), PunchOutcome::Written);
    journal.recordOutcome(punch(QStringLiteral("A002"), false), PunchOutcome::WrongCard);
    journal.recordOutcome(punch(QStringLiteral("A003"), true), PunchOutcome::Pending, QStringLiteral("no connection"));
    punch(QStringLiteral("B001"), true); // the process ended before the outcome was known
    journal.recordOutcome(punch(QStringLiteral("A001"), true), PunchOutcome::Refused, QStringLiteral("refused"));

    QStringList pending;
    for (const JournalPunch& p : journal.pending())
        pending.append(p.request.employeeNo);
    QCOMPARE(pending, (QStringList{QStringLiteral("A003"), QStringLiteral("B001")}));
}

void TestPunchJournal::changedLineBreaksTheChain_data()
{
    QTest::addColumn<int>("editedLine");
    QTest::addColumn<bool>("removed");
    QTest::addColumn<int>("brokenLine");
    QTest::newRow("first line changed") << 1 << false << 1;
    QTest::newRow("middle line changed") << 3 << false << 3;
    QTest::newRow("middle line removed") << 3 << true << 2;
    QTest::newRow("first line removed") << 1 << true << 1;
}

void TestPunchJournal::changedLineBreaksTheChain()
{
    QFETCH(int, editedLine);
    QFETCH(bool, removed);
    QFETCH(int, brokenLine);
    const TemporaryWorkingDirectory workingDir;
    PunchJournal journal(QDir(workingDir.filePath(QStringLiteral("journal"))));
    for (const QString& time : {QStringLiteral("08:00"), QStringLiteral("12:00"), QStringLiteral("13:00")})
        journal.recordOutcome(journal.recordPunch(request(QStringLiteral("A001"), PunchKind::ShiftStart, time), true),
                              PunchOutcome::Written);
    const QString path = journal.monthFiles().first();
    QByteArrayList lines = fileLines(path);
    if (removed)
        lines.removeAt(editedLine - 1);
    else
        lines[editedLine - 1].replace("time=", "time=0");
    writeLines(path, lines);

    const JournalCheck check = PunchJournal::check(path);
    QCOMPARE(check.brokenLine, brokenLine);
    QVERIFY(!check.reason.isEmpty());
}

void TestPunchJournal::unwritableFolderIsReported()
{
    const TemporaryWorkingDirectory workingDir;
    // A file where the folder should be: nothing can be written below it, also for root.
    QFile blocker(workingDir.filePath(QStringLiteral("journal")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    PunchJournal journal(QDir(workingDir.filePath(QStringLiteral("journal"))));
    QString error;
    try {
        journal.recordPunch(request(QStringLiteral("A001"), PunchKind::ShiftStart, QStringLiteral("08:00")), true);
    } catch (const JournalError& e) {
        error = QString::fromUtf8(e.what());
    }
    QVERIFY2(error.contains(workingDir.filePath(QStringLiteral("journal"))), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestPunchJournal)
#include "tst_punch_journal.moc"
