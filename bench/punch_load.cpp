// Load harness of the punch rules: N terminal processes punching M times each on one database,
// half of their days on employees that every terminal punches, half on employees of their own.
// It prints the punches written and expected, the day-rows expected, found, doubled and missing,
// the errors, and the punch latency (p50, p99) and throughput. On SQLite it then compares one
// terminal's punches with the same statements run directly through SQLite's C API.
//
//   punch_load [--terminals N] [--punches M] [--dsn DSN]
//
// Without --dsn it runs on a new SQLite file. --dsn names an ODBC data source of PostgreSQL
// whose database punchclock it empties and fills: only the throw-away server of the tests, e.g.
//   tests/support/postgres-server start /tmp/load
//   ODBCINI=/tmp/load/odbc.ini build/bench/punch_load --dsn punchclock_test
//   tests/support/postgres-server stop /tmp/load
#include "Connection.h"
#include "OtherProgram.h"
#include "PunchRecorder.h"
#include "TestDatabases.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTime>

#include <sqlite3.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int sharedEmployees = 5;
constexpr int punchesPerDay = 4;

// Punch number `index` of terminal `terminal`: each day a start and end of shift and of
// overtime; even days on the shared employees, odd days on the terminal's own.
PunchRequest punchOf(int terminal, int index)
{
    static const PunchKind kinds[punchesPerDay] = {PunchKind::ShiftStart, PunchKind::OvertimeStart,
                                                   PunchKind::OvertimeEnd, PunchKind::ShiftEnd};
    const int day = index / punchesPerDay;
    PunchRequest request;
    request.kind = kinds[index % punchesPerDay];
    request.employeeNo =
        day % 2 == 0 ? u"S%1"_s.arg(day % sharedEmployees) : u"T%1-%2"_s.arg(terminal).arg(day % sharedEmployees);
    request.cardNo = u"C"_s + request.employeeNo;
    request.overtimeLevel = u"A"_s;
    request.date = QDate(2024, 1, 1).addDays(day).toString(u"yyyy/MM/dd"_s);
    const QTime time = QTime(8, 0).addSecs(60 * ((index % punchesPerDay) * 150 + terminal));
    request.time = time.toString(u"HH:mm"_s);
    request.serial = time.toString(u"HHmmss"_s);
    return request;
}

bool isShift(PunchKind kind)
{
    return kind == PunchKind::ShiftStart || kind == PunchKind::ShiftEnd;
}

// One terminal: punches, then prints "latencies" and every punch's time in nanoseconds,
// "errors" and their number, and the first error's text.
int runTerminal(const QString& connectionString, int terminal, int punches)
{
    QTextStream out(stdout);
    Connection connection(u"CUSConnection1"_s);
    connection.setConnectionString(connectionString);
    PunchRecorder recorder(connection);
    std::vector<qint64> latencies;
    int errors = 0;
    QString firstError;
    // A terminal opens its connection once, at start, before its first punch.
    try {
        connection.open();
    } catch (const std::exception& error) {
        errors = punches;
        firstError = u"opening: "_s + QString::fromUtf8(error.what()).simplified();
        punches = 0;
    }
    for (int i = 0; i < punches; ++i) {
        QElapsedTimer clock;
        clock.start();
        try {
            recorder.record(punchOf(terminal, i));
            latencies.push_back(clock.nsecsElapsed());
        } catch (const std::exception& error) {
            if (errors++ == 0)
                firstError = QString::fromUtf8(error.what()).simplified() + u" #"_s + QString::number(i);
        }
    }
    out << "latencies";
    for (qint64 latency : latencies)
        out << ' ' << latency;
    out << "\nerrors " << errors << "\nfirst-error " << firstError << Qt::endl;
    return 0;
}

struct DayRows {
    int found = 0;
    int doubled = 0; // rows beyond the first of an employee's day
    int missing = 0;
};

DayRows checkDayRows(OtherProgram& database, int terminals, int punches)
{
    QSet<QString> expected;
    for (int t = 0; t < terminals; ++t) {
        for (int i = 0; i < punches; ++i) {
            const PunchRequest request = punchOf(t, i);
            expected.insert((isShift(request.kind) ? u"clock|"_s : u"pre_over|"_s) + request.employeeNo + u"|"_s +
                            request.date);
        }
    }
    DayRows rows;
    QSet<QString> present;
    const QStringList groups =
        database.rows(u"SELECT 'clock', clock_emp, clock_dat1, count(*) FROM clock GROUP BY clock_emp, clock_dat1 "
                      "UNION ALL SELECT 'pre_over', pres_emp, pres_sdate, count(*) FROM pre_over "
                      "GROUP BY pres_emp, pres_sdate"_s);
    for (const QString& group : groups) {
        const int count = group.section(QLatin1Char('|'), 3).toInt();
        rows.found += count;
        rows.doubled += count - 1;
        present.insert(group.section(QLatin1Char('|'), 0, 2));
    }
    for (const QString& day : std::as_const(expected))
        rows.missing += present.contains(day) ? 0 : 1;
    return rows;
}

qint64 percentile(std::vector<qint64>& sorted, double fraction)
{
    if (sorted.empty())
        return 0;
    return sorted.at(std::min(sorted.size() - 1, std::size_t(fraction * double(sorted.size()))));
}

QString milliseconds(qint64 nanoseconds)
{
    return QString::number(double(nanoseconds) / 1e6, 'f', 2) + u" ms"_s;
}

void runLoad(QTextStream& out, const QString& program, const QString& connectionString, int terminals, int punches)
{
    OtherProgram(connectionString)
        .run(
            u"INSERT INTO pres_sys (comp, class_no, class_item, work1, work2) VALUES ('', '01', '日班', '08:00', '17:00')"_s);
    std::vector<std::unique_ptr<QProcess>> processes;
    QElapsedTimer wall;
    wall.start();
    for (int t = 0; t < terminals; ++t) {
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(program, {u"--terminal"_s, QString::number(t), QString::number(punches), connectionString});
        processes.push_back(std::move(process));
    }
    std::vector<qint64> latencies;
    int errors = 0;
    QString firstError;
    for (const auto& process : processes) {
        process->waitForFinished(-1);
        const QStringList lines = QString::fromUtf8(process->readAllStandardOutput()).split(QLatin1Char('\n'));
        for (const QString& line : lines) {
            if (line.startsWith(u"latencies"_s)) {
                for (const QString& value : line.mid(9).split(QLatin1Char(' '), Qt::SkipEmptyParts))
                    latencies.push_back(value.toLongLong());
            } else if (line.startsWith(u"errors "_s)) {
                errors += line.mid(7).toInt();
            } else if (line.startsWith(u"first-error "_s) && firstError.isEmpty()) {
                firstError = line.mid(12);
            }
        }
        if (process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0)
            ++errors;
    }
    const qint64 elapsed = wall.nsecsElapsed();
    std::sort(latencies.begin(), latencies.end());
    OtherProgram database(connectionString);
    const DayRows rows = checkDayRows(database, terminals, punches);

    out << "terminals x punches:  " << terminals << " x " << punches << '\n'
        << "punches written:      " << latencies.size() << '\n'
        << "punches expected:     " << terminals * punches << '\n'
        << "day-rows found:       " << rows.found << '\n'
        << "duplicate day-rows:   " << rows.doubled << '\n'
        << "missing day-rows:     " << rows.missing << '\n'
        << "errors:               " << errors
        << (firstError.isEmpty() ? QString() : u" (first: "_s + firstError + u")"_s) << '\n'
        << "latency p50 / p99:    " << milliseconds(percentile(latencies, 0.50)) << " / "
        << milliseconds(percentile(latencies, 0.99)) << '\n'
        << "throughput:           " << QString::number(double(latencies.size()) / (double(elapsed) / 1e9), 'f', 0)
        << " punches/s" << Qt::endl;
}

// The punch's statements run directly through SQLite's C API, as the baseline of one punch.
class DirectPunch {
public:
    explicit DirectPunch(const QString& path)
    {
        sqlite3_open_v2(path.toUtf8().constData(), &db_, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(db_, 10000);
        sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        const char* texts[] = {
            "BEGIN IMMEDIATE",
            "COMMIT",
            "SELECT rowid FROM clock WHERE clock_emp = ? AND clock_dat1 = ? LIMIT 1",
            "SELECT class_no, class_item, work1, work2 FROM pres_sys LIMIT 1",
            "INSERT INTO clock (comp, clock_emp, clock_sn, class_no, class_item, clock_dat1, clock_stime1, "
            "clock_etime1, clock_dat2, clock_stime2, clock_no) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
            "UPDATE clock SET clock_dat2 = ?, clock_stime2 = ?, clock_no = ? WHERE rowid = ?",
        };
        for (const char* text : texts) {
            sqlite3_stmt* statement = nullptr;
            sqlite3_prepare_v2(db_, text, -1, &statement, nullptr);
            statements_.push_back(statement);
        }
    }
    ~DirectPunch()
    {
        for (sqlite3_stmt* statement : statements_)
            sqlite3_finalize(statement);
        sqlite3_close(db_);
    }

    // A start of shift: the day's row is found, appended with the first shift definition, or edited.
    void punch(const PunchRequest& request)
    {
        const QByteArray employee = request.employeeNo.toUtf8();
        const QByteArray date = request.date.toUtf8();
        const QByteArray time = request.time.toUtf8();
        const QByteArray card = request.cardNo.toUtf8();
        step(statements_[0]);
        sqlite3_stmt* find = statements_[2];
        bindText(find, 1, employee);
        bindText(find, 2, date);
        const bool found = sqlite3_step(find) == SQLITE_ROW;
        const sqlite3_int64 rowid = found ? sqlite3_column_int64(find, 0) : 0;
        sqlite3_reset(find);
        if (!found) {
            sqlite3_stmt* definition = statements_[3];
            const bool defined = sqlite3_step(definition) == SQLITE_ROW;
            QByteArray planned[4];
            for (int c = 0; c < 4; ++c) {
                const unsigned char* text = defined ? sqlite3_column_text(definition, c) : nullptr;
                planned[c] = text ? QByteArray(reinterpret_cast<const char*>(text)) : QByteArray("");
            }
            sqlite3_reset(definition);
            sqlite3_stmt* append = statements_[4];
            bindText(append, 1, "");
            bindText(append, 2, employee);
            sqlite3_bind_int(append, 3, request.date.mid(8, 2).toInt());
            bindText(append, 4, planned[0]);
            bindText(append, 5, planned[1]);
            bindText(append, 6, date);
            bindText(append, 7, planned[2]);
            bindText(append, 8, planned[3]);
            bindText(append, 9, date);
            bindText(append, 10, time);
            bindText(append, 11, card);
            step(append);
        } else {
            sqlite3_stmt* edit = statements_[5];
            bindText(edit, 1, date);
            bindText(edit, 2, time);
            bindText(edit, 3, card);
            sqlite3_bind_int64(edit, 4, rowid);
            step(edit);
        }
        step(statements_[1]);
    }

private:
    static void bindText(sqlite3_stmt* statement, int index, const QByteArray& text)
    {
        sqlite3_bind_text(statement, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    }
    static void step(sqlite3_stmt* statement)
    {
        sqlite3_step(statement);
        sqlite3_reset(statement);
    }

    sqlite3* db_ = nullptr;
    std::vector<sqlite3_stmt*> statements_;
};

// Starts of shift of one terminal on a file of its own, half of them appending a day-row.
void compareWithDirectSql(QTextStream& out, const QString& folder, int punches)
{
    const auto requestOf = [](int i) {
        PunchRequest request = punchOf(0, (i / 2) * punchesPerDay);
        request.time = i % 2 == 0 ? u"08:00"_s : u"08:01"_s;
        return request;
    };
    const auto freshFile = [&](const QString& name) {
        const QString path = folder + u"/"_s + name;
        const QString connectionString = TestDatabases::createSqlite(path);
        OtherProgram(connectionString)
            .run(
                u"INSERT INTO pres_sys (comp, class_no, class_item, work1, work2) VALUES ('', '01', '日班', '08:00', '17:00')"_s);
        return std::make_pair(path, connectionString);
    };

    const auto [recorderPath, recorderConnection] = freshFile(u"recorder.db"_s);
    Connection connection(u"CUSConnection1"_s);
    connection.setConnectionString(recorderConnection);
    PunchRecorder recorder(connection);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < punches; ++i)
        recorder.record(requestOf(i));
    const qint64 recorderTime = clock.nsecsElapsed();

    const auto [directPath, directConnection] = freshFile(u"direct.db"_s);
    DirectPunch direct(directPath);
    clock.restart();
    for (int i = 0; i < punches; ++i)
        direct.punch(requestOf(i));
    const qint64 directTime = clock.nsecsElapsed();

    out << "one terminal, " << punches << " starts of shift on SQLite:\n"
        << "  PunchRecorder:      " << milliseconds(recorderTime / punches) << " per punch\n"
        << "  SQLite C API:       " << milliseconds(directTime / punches) << " per punch\n"
        << "  ratio:              " << QString::number(double(recorderTime) / double(directTime), 'f', 2) << Qt::endl;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QStringList arguments = application.arguments();
    if (arguments.size() == 5 && arguments.at(1) == u"--terminal"_s)
        return runTerminal(arguments.at(4), arguments.at(2).toInt(), arguments.at(3).toInt());

    int terminals = 8;
    int punches = 500;
    QString dsn;
    for (int i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments.at(i) == u"--terminals"_s)
            terminals = arguments.at(i + 1).toInt();
        else if (arguments.at(i) == u"--punches"_s)
            punches = arguments.at(i + 1).toInt();
        else if (arguments.at(i) == u"--dsn"_s)
            dsn = arguments.at(i + 1);
    }
    QTextStream out(stdout);
    try {
        QTemporaryDir folder;
        if (!dsn.isEmpty()) {
            qputenv("PUNCHCLOCK_TEST_DSN", dsn.toUtf8());
            TestDatabases databases;
            out << "PostgreSQL through ODBC (" << dsn << ")" << Qt::endl;
            runLoad(out, application.applicationFilePath(), databases.fresh(u"postgresql"_s), terminals, punches);
            return 0;
        }
        out << "SQLite file" << Qt::endl;
        runLoad(out, application.applicationFilePath(), TestDatabases::createSqlite(folder.filePath(u"load.db"_s)),
                terminals, punches);
        compareWithDirectSql(out, folder.path(), punches);
        return 0;
    } catch (const std::exception& error) {
        out << "failed: " << QString::fromUtf8(error.what()) << Qt::endl;
        return 1;
    }
}
