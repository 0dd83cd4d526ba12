#include "Connection.h"
#include "DatabaseError.h"
#include "ErrorText.h"
#include "OtherProgram.h"
#include "PunchRecorder.h"
#include "TestDatabases.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

PunchRequest punchOf(PunchKind kind, const QString& time, const QString& serial = u"080000"_s,
                     const QString& employee = u"A001"_s)
{
    PunchRequest request;
    request.kind = kind;
    request.employeeNo = employee;
    request.cardNo = u"1001"_s;
    request.overtimeLevel = u"A"_s;
    request.date = u"2024/05/03"_s;
    request.time = time;
    request.serial = serial;
    return request;
}

void exec(QSqlQuery& query, const QString& statement)
{
    if (!query.exec(statement))
        throw DatabaseError(query.lastError().text() + u"\n"_s + statement);
}

} // namespace

// The punch rules on a real SQLite file and on the test command's PostgreSQL, with other
// terminals as processes of their own (punch_terminal) that meet the punch on the database.
class PunchRecorderTest : public QObject {
    Q_OBJECT

    TestDatabases databases;
    QString connectionString;
    bool sqlite = true;
    std::unique_ptr<OtherProgram> other;

    void engines()
    {
        QTest::addColumn<QString>("engine");
        QTest::newRow("sqlite") << u"sqlite"_s;
        QTest::newRow("postgresql") << u"postgresql"_s;
    }

    // A fresh database of the row's engine, with the shift definitions of a small company.
    bool freshDatabase()
    {
        QFETCH(QString, engine);
        const QString whyNot = TestDatabases::unavailable(engine);
        if (!whyNot.isEmpty()) {
            QTest::qSkip(qPrintable(whyNot), __FILE__, __LINE__);
            return false;
        }
        useFresh(engine);
        return true;
    }

    void useFresh(const QString& engine)
    {
        sqlite = engine == u"sqlite"_s;
        connectionString = databases.fresh(engine);
        other = std::make_unique<OtherProgram>(connectionString);
        other->run(u"INSERT INTO pres_sys (comp, class_no, class_item, work1, work2) "
                   "VALUES ('', '01', '日班', '08:00', '17:00')"_s);
    }

    // Another terminal punching once; it has opened its connection when this returns.
    std::unique_ptr<QProcess> startTerminal(const PunchRequest& punch, const QString& kind, int* serverProcess)
    {
        auto terminal = std::make_unique<QProcess>();
        terminal->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        terminal->start(QStringLiteral(PUNCH_TERMINAL),
                        {connectionString, kind, punch.employeeNo, punch.cardNo, punch.date, punch.time, punch.serial});
        const QString ready = lineOf(*terminal);
        if (!ready.startsWith(u"ready "_s))
            throw DatabaseError(u"the terminal did not start: "_s + ready);
        *serverProcess = ready.mid(6).toInt();
        return terminal;
    }

    // The next line that the terminal prints, or empty when it ends first.
    static QString lineOf(QProcess& terminal)
    {
        while (!terminal.canReadLine()) {
            if (!terminal.waitForReadyRead(-1))
                return QString::fromUtf8(terminal.readAll()).trimmed();
        }
        return QString::fromUtf8(terminal.readLine()).trimmed();
    }

    // Returns once the terminal's punch waits for a lock that another holds: on SQLite the
    // terminal says so, on PostgreSQL the server shows its session waiting.
    void waitUntilBlocked(QProcess& terminal, int serverProcess)
    {
        if (sqlite) {
            QCOMPARE(lineOf(terminal), u"waiting"_s);
            return;
        }
        const QString waiting = u"SELECT count(*) FROM pg_locks WHERE NOT granted AND pid = %1"_s.arg(serverProcess);
        QVERIFY(QTest::qWaitFor([&] { return other->rows(waiting) != QStringList{u"0"_s}; }, 60000));
    }

    static void expectWritten(QProcess& terminal)
    {
        QCOMPARE(lineOf(terminal), u"written"_s);
        QVERIFY(terminal.waitForFinished(-1));
        QCOMPARE(terminal.exitCode(), 0);
    }

    // A writer of another program that holds the lock on the table until it commits.
    struct Writer {
        Connection connection{u"writer"_s};
        QSqlDatabase db;
        QSqlQuery query;

        Writer(const QString& connectionString, bool sqlite, const QString& table)
        {
            connection.setConnectionString(connectionString);
            db = connection.database();
            query = QSqlQuery(db);
            if (sqlite) {
                exec(query, u"BEGIN IMMEDIATE"_s);
            } else {
                db.transaction();
                exec(query, u"LOCK TABLE %1 IN EXCLUSIVE MODE"_s.arg(table));
            }
        }
        void commit()
        {
            query.finish();
            QVERIFY2(db.commit(), qPrintable(db.lastError().text()));
        }
    };

private Q_SLOTS:
    void punchesOfADay_data() { engines(); }
    void punchesOfADay()
    {
        if (!freshDatabase())
            return;
        // A day-row of another employee, and two of A002's day written by some other program:
        // only the first of them is completed.
        other->run(u"INSERT INTO clock (clock_emp, clock_dat1, class_no) VALUES ('A009', '2024/05/03', 'X')"_s);
        other->run(u"INSERT INTO clock (clock_emp, clock_dat1, class_no) VALUES ('A002', '2024/05/03', 'P1')"_s);
        other->run(u"INSERT INTO clock (clock_emp, clock_dat1, class_no) VALUES ('A002', '2024/05/03', 'P2')"_s);
        Connection connection(u"CUSConnection1"_s);
        connection.setConnectionString(connectionString);
        PunchRecorder recorder(connection);

        const PunchWritten written = recorder.record(punchOf(PunchKind::ShiftStart, u"08:05"_s));
        QCOMPARE(punchConfirmation(u"王小明"_s, PunchKind::ShiftStart, written),
                 u"王小明  上班時間：2024/05/03   08:05"_s);
        recorder.record(punchOf(PunchKind::ShiftEnd, u"17:31"_s));
        recorder.record(punchOf(PunchKind::ShiftStart, u"08:07"_s, u"080700"_s, u"A002"_s));
        recorder.record(punchOf(PunchKind::ShiftEnd, u"17:00"_s, u"170000"_s, u"O'Neil"_s));
        QCOMPARE(other->rows(u"SELECT comp, clock_emp, clock_sn, class_no, class_item, clock_dat1, clock_stime1, "
                             "clock_etime1, clock_dat2, clock_stime2, clock_etime2, clock_no FROM clock ORDER BY id"_s),
                 (QStringList{
                     u"NULL|A009|NULL|X|NULL|2024/05/03|NULL|NULL|NULL|NULL|NULL|NULL"_s,
                     u"NULL|A002|NULL|P1|NULL|2024/05/03|NULL|NULL|2024/05/03|08:07|NULL|1001"_s,
                     u"NULL|A002|NULL|P2|NULL|2024/05/03|NULL|NULL|NULL|NULL|NULL|NULL"_s,
                     u"|A001|3|01|日班|2024/05/03|08:00|17:00|2024/05/03|08:05|17:31|1001"_s,
                     u"|O'Neil|3|01|日班|2024/05/03|08:00|17:00|2024/05/03|NULL|17:00|1001"_s,
                 }));

        const PunchWritten end = recorder.record(punchOf(PunchKind::OvertimeEnd, u"17:45"_s, u"174500"_s));
        QCOMPARE(punchConfirmation(u"王小明"_s, PunchKind::OvertimeEnd, end),
                 u"王小明  加班下班時間：2024/05/03   17:45"_s);
        recorder.record(punchOf(PunchKind::OvertimeStart, u"18:00"_s, u"180007"_s));
        recorder.record(punchOf(PunchKind::OvertimeEnd, u"20:10"_s, u"201030"_s));
        QCOMPARE(other->rows(u"SELECT pres_emp, pres_sdate, pres_stime, pres_etime, pres_sn, pres_lv, pres_hour, comp "
                             "FROM pre_over"_s),
                 QStringList{u"A001|2024/05/03|18:00|20:10|201030|A|2|NULL"_s});
    }

    void racingFirstPunchesLeaveOneRow_data() { engines(); }
    void racingFirstPunchesLeaveOneRow()
    {
        if (!freshDatabase())
            return;
        // Both terminals start their punch while a writer holds the table, so that both look
        // for the day's row at the moment it is released.
        Writer writer(connectionString, sqlite, u"pre_over"_s);
        int startSession = 0;
        int endSession = 0;
        const std::unique_ptr<QProcess> start = startTerminal(
            punchOf(PunchKind::OvertimeStart, u"18:00"_s, u"180000"_s), u"OvertimeStart"_s, &startSession);
        const std::unique_ptr<QProcess> end =
            startTerminal(punchOf(PunchKind::OvertimeEnd, u"20:10"_s, u"201000"_s), u"OvertimeEnd"_s, &endSession);
        waitUntilBlocked(*start, startSession);
        waitUntilBlocked(*end, endSession);
        writer.commit();
        expectWritten(*start);
        expectWritten(*end);

        // One row with both times. The row's serial is the one of the punch that committed
        // last: an end after the start works out the hours, a start after the end leaves the
        // end's 0 hours of a day that had no start.
        const QStringList rows = other->rows(u"SELECT pres_stime, pres_etime, pres_sn, pres_hour FROM pre_over"_s);
        QCOMPARE(rows.size(), 1);
        QVERIFY2(rows.first() == u"18:00|20:10|201000|2"_s || rows.first() == u"18:00|20:10|180000|0"_s,
                 qPrintable(rows.first()));
    }

    void racingShiftPunchesLeaveOneRow_data() { engines(); }
    void racingShiftPunchesLeaveOneRow()
    {
        if (!freshDatabase())
            return;
        Writer writer(connectionString, sqlite, u"clock"_s);
        QList<std::shared_ptr<QProcess>> terminals;
        const QStringList times{u"08:01"_s, u"08:02"_s, u"08:03"_s};
        for (const QString& time : times) {
            int session = 0;
            terminals.append(startTerminal(punchOf(PunchKind::ShiftStart, time), u"ShiftStart"_s, &session));
            waitUntilBlocked(*terminals.last(), session);
        }
        writer.commit();
        for (const std::shared_ptr<QProcess>& terminal : std::as_const(terminals))
            expectWritten(*terminal);
        const QStringList rows = other->rows(u"SELECT clock_emp, class_no, clock_stime2 FROM clock"_s);
        QCOMPARE(rows.size(), 1);
        QVERIFY2(times.contains(rows.first().section(QLatin1Char('|'), 2)), qPrintable(rows.first()));
        QVERIFY(rows.first().startsWith(u"A001|01|"_s));
    }

    void blockedPunchIsWrittenOnceTheWriterCommits_data() { engines(); }
    void blockedPunchIsWrittenOnceTheWriterCommits()
    {
        if (!freshDatabase())
            return;
        Writer writer(connectionString, sqlite, u"clock"_s);
        exec(writer.query, u"INSERT INTO clock (clock_emp, clock_dat1) VALUES ('A002', '2024/05/03')"_s);
        int session = 0;
        const std::unique_ptr<QProcess> terminal =
            startTerminal(punchOf(PunchKind::ShiftStart, u"08:05"_s), u"ShiftStart"_s, &session);
        waitUntilBlocked(*terminal, session);
        writer.commit();
        expectWritten(*terminal);
        QCOMPARE(other->rows(u"SELECT clock_emp, clock_stime2 FROM clock ORDER BY id"_s),
                 (QStringList{u"A002|NULL"_s, u"A001|08:05"_s}));
    }

    // A lock that is not given within the session's lock time-out is a busy database: the punch
    // tries again for a few seconds, then reports the engine's text and leaves nothing written.
    void busyDatabaseIsRetriedThenReported()
    {
        SKIP_UNLESS_AVAILABLE(u"postgresql"_s);
        useFresh(u"postgresql"_s);
        Connection connection(u"CUSConnection1"_s);
        connection.setConnectionString(connectionString);
        {
            QSqlQuery query(connection.database());
            exec(query, u"SET lock_timeout = 1"_s);
        }
        PunchRecorder recorder(connection);
        {
            Writer writer(connectionString, sqlite, u"clock"_s);
            const QString error = errorText([&] { recorder.record(punchOf(PunchKind::ShiftStart, u"08:05"_s)); });
            QVERIFY2(error.contains(u"lock timeout"_s), qPrintable(error));
            writer.commit();
        }
        recorder.record(punchOf(PunchKind::ShiftStart, u"08:06"_s));
        QCOMPARE(other->rows(u"SELECT clock_emp, clock_stime2 FROM clock"_s), QStringList{u"A001|08:06"_s});
    }

    // The server ends the punch's session between two punches, as a restart or a network cut
    // does: the next punch reopens the connection and is written, once.
    void punchAfterTheSessionWasEnded()
    {
        SKIP_UNLESS_AVAILABLE(u"postgresql"_s);
        useFresh(u"postgresql"_s);
        Connection connection(u"CUSConnection1"_s);
        connection.setConnectionString(connectionString);
        PunchRecorder recorder(connection);
        recorder.record(punchOf(PunchKind::ShiftStart, u"08:05"_s));
        int session = 0;
        {
            QSqlQuery query(connection.database());
            exec(query, u"SELECT pg_backend_pid()"_s);
            QVERIFY(query.next());
            session = query.value(0).toInt();
        }
        // Returns once the session has ended.
        QCOMPARE(other->rows(u"SELECT pg_terminate_backend(%1, 60000)"_s.arg(session)), QStringList{u"1"_s});
        recorder.record(punchOf(PunchKind::ShiftEnd, u"17:31"_s));
        QCOMPARE(other->rows(u"SELECT clock_emp, clock_stime2, clock_etime2 FROM clock"_s),
                 QStringList{u"A001|08:05|17:31"_s});
    }

    // The test command's PostgreSQL restarts between two punches: the second punch is written
    // without restarting anything else, and nothing is doubled. The restart ends the sessions of
    // every test that runs beside this one, so it runs alone, as a test of its own.
    void punchAfterTheServerRestarted()
    {
        const QString whyNot = TestDatabases::restartUnavailable();
        if (!whyNot.isEmpty())
            QSKIP(qPrintable(whyNot));
        if (qEnvironmentVariableIsEmpty("PUNCHCLOCK_TEST_SERVER_RESTART"))
            QSKIP("restarts the server under the other tests: runs alone as punch_rules_server_restart");
        useFresh(u"postgresql"_s);
        Connection connection(u"CUSConnection1"_s);
        connection.setConnectionString(connectionString);
        PunchRecorder recorder(connection);
        recorder.record(punchOf(PunchKind::ShiftStart, u"08:05"_s));

        TestDatabases::restartPostgres();
        recorder.record(punchOf(PunchKind::ShiftEnd, u"17:31"_s));
        QCOMPARE(OtherProgram(connectionString).rows(u"SELECT clock_emp, clock_stime2, clock_etime2 FROM clock"_s),
                 QStringList{u"A001|08:05|17:31"_s});
    }
};

QTEST_MAIN(PunchRecorderTest)
#include "tst_punch_recorder.moc"
