// The day's job as a site runs it: punchclock-export over a month of 300 employees' shift punches
// (search, staging into ptemp, workbook), as a process of its own, beside the same work done
// directly through SQLite's C API and the same workbook writer. Prints the wall time and the peak
// memory (maximum resident set) of each, the best of a few runs.
//   bench_export_command [RUNS]
// (bench_export_command --direct FROM TO FILE is the direct way, run as a child process.)
#include "ExportStaging.h"
#include "TemporaryWorkingDirectory.h"
#include "TestDatabases.h"
#include "WorkbookFile.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QTextStream>

#include <sqlite3.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <vector>

extern char** environ;

using namespace Qt::StringLiterals;

namespace {

constexpr int employees = 300;
const QDate firstDay(2023, 1, 1);
constexpr int days = 365; // a year of punches, of which the export lists March
const QString from = u"2023/03/01"_s;
const QString to = u"2023/03/31"_s;

void check(int result, sqlite3* db, const char* what)
{
    if (result != SQLITE_OK && result != SQLITE_DONE && result != SQLITE_ROW)
        throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

struct Statement {
    Statement(sqlite3* db, const char* sql)
        : db(db)
    {
        check(sqlite3_prepare_v2(db, sql, -1, &handle, nullptr), db, sql);
    }
    ~Statement() { sqlite3_finalize(handle); }
    void bind(int index, const QByteArray& text)
    {
        check(sqlite3_bind_text(handle, index, text.constData(), int(text.size()), SQLITE_TRANSIENT), db, "bind");
    }
    bool step()
    {
        const int result = sqlite3_step(handle);
        check(result, db, "step");
        return result == SQLITE_ROW;
    }
    void reset() { sqlite3_reset(handle); }
    QString text(int column) const
    {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(handle, column));
        return QString::fromUtf8(bytes, sqlite3_column_bytes(handle, column));
    }

    sqlite3* db;
    sqlite3_stmt* handle = nullptr;
};

struct Database {
    explicit Database(const QString& path)
    {
        check(sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr), db, "open");
        check(sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr), db, "WAL");
    }
    ~Database() { sqlite3_close(db); }
    void exec(const char* sql) { check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), db, sql); }

    sqlite3* db = nullptr;
};

void fillDatabase(const QString& path)
{
    Database database(path);
    database.exec("BEGIN");
    Statement employee(database.db, "INSERT INTO employee (emp_no, emp_name, clock_no) VALUES (?, ?, ?)");
    Statement clock(database.db, "INSERT INTO clock (clock_emp, clock_dat1, clock_dat2, clock_stime2, clock_etime2, "
                                 "clock_no) VALUES (?1, ?2, ?2, '08:00', '17:00', ?3)");
    for (int e = 0; e < employees; ++e) {
        employee.bind(1, u"E%1"_s.arg(e, 4, 10, QLatin1Char('0')).toUtf8());
        employee.bind(2, u"員工%1"_s.arg(e).toUtf8());
        employee.bind(3, u"C%1"_s.arg(e).toUtf8());
        employee.step();
        employee.reset();
    }
    for (int d = 0; d < days; ++d) {
        const QByteArray day = firstDay.addDays(d).toString(u"yyyy/MM/dd"_s).toUtf8();
        for (int e = 0; e < employees; ++e) {
            clock.bind(1, u"E%1"_s.arg(e, 4, 10, QLatin1Char('0')).toUtf8());
            clock.bind(2, day);
            clock.bind(3, u"C%1"_s.arg(e).toUtf8());
            clock.step();
            clock.reset();
        }
    }
    database.exec("COMMIT");
}

QString packed(const QString& text, std::initializer_list<std::pair<int, int>> pieces)
{
    QString result;
    for (const auto& [start, length] : pieces)
        result += text.mid(start, length);
    return result;
}

// The export's work without the program's layers: one statement for the search, the delete and
// a prepared insert in one transaction, and the same workbook writer.
void exportDirectly(const QString& dayFrom, const QString& dayTo, const QString& workbook)
{
    Database database(u"basedb.mdb"_s);
    Statement search(database.db, "select * from clock where clock_dat2 >= ? and clock_dat2 <= ? order by clock_dat2");
    search.bind(1, dayFrom.toUtf8());
    search.bind(2, dayTo.toUtf8());
    const int card = sqlite3_column_count(search.handle);
    int cardColumn = -1, dateColumn = -1, startColumn = -1, endColumn = -1;
    for (int c = 0; c < card; ++c) {
        const QByteArray name = sqlite3_column_name(search.handle, c);
        cardColumn = name == "clock_no" ? c : cardColumn;
        dateColumn = name == "clock_dat2" ? c : dateColumn;
        startColumn = name == "clock_stime2" ? c : startColumn;
        endColumn = name == "clock_etime2" ? c : endColumn;
    }
    SpreadsheetTable table;
    table.rows.append(ExportStaging::sheetHeader());
    while (search.step()) {
        const QString date = packed(search.text(dateColumn), {{0, 4}, {5, 2}, {8, 2}});
        const QString start = search.text(startColumn);
        const QString end = search.text(endColumn);
        if (!start.isEmpty())
            table.rows.append({search.text(cardColumn), date, u"1"_s, packed(start, {{0, 2}, {3, 2}})});
        if (!end.isEmpty())
            table.rows.append({search.text(cardColumn), date, u"2"_s, packed(end, {{0, 2}, {3, 2}})});
    }
    database.exec("BEGIN");
    database.exec("delete from ptemp where P00='卡鐘匯檔'");
    Statement insert(database.db, "insert into ptemp (P00, P01, P02, P03, P04) values ('卡鐘匯檔', ?, ?, ?, ?)");
    for (qsizetype r = 1; r < table.rows.size(); ++r) {
        for (int c = 0; c < 4; ++c)
            insert.bind(c + 1, table.rows[r][c].toUtf8());
        insert.step();
        insert.reset();
    }
    database.exec("COMMIT");
    table.textFormatColumnsAtoH = table.rows.size() > 1;
    saveWorkbook(workbook, table);
}

struct Measured {
    double seconds = 0;
    double peakMiB = 0;
};

// Runs the program to its end in the working directory; its wall time and peak resident memory.
Measured runChild(const QStringList& arguments)
{
    std::vector<QByteArray> bytes;
    for (const QString& argument : arguments)
        bytes.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& argument : bytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const auto started = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("cannot start " + bytes[0].toStdString());
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(bytes[0].toStdString() + " failed");
    return {elapsed.count(), double(usage.ru_maxrss) / 1024.0};
}

Measured best(int runs, const QStringList& arguments)
{
    Measured result{1e9, 1e9};
    for (int run = 0; run < runs; ++run) {
        const Measured one = runChild(arguments);
        result.seconds = std::min(result.seconds, one.seconds);
        result.peakMiB = std::min(result.peakMiB, one.peakMiB);
    }
    return result;
}

QByteArray content(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    try {
        if (arguments.size() == 5 && arguments[1] == u"--direct"_s) {
            exportDirectly(arguments[2], arguments[3], arguments[4]);
            return 0;
        }
        const int runs = arguments.size() > 1 ? std::max(1, arguments[1].toInt()) : 3;
        TemporaryWorkingDirectory work;
        TestDatabases::createSqlite(work.filePath(u"basedb.mdb"_s));
        fillDatabase(work.filePath(u"basedb.mdb"_s));
        QFile link(work.filePath(u"link.txt"_s));
        if (!link.open(QIODevice::WriteOnly) || link.write("2,,,,,,,\r\n") < 0)
            throw std::runtime_error("cannot write link.txt");
        link.close();
        QDir(work.path()).mkdir(u"temp"_s);

        const Measured program =
            best(runs, {QStringLiteral(PUNCHCLOCK_EXPORT_COMMAND), u"--from"_s, from, u"--to"_s, to});
        const Measured direct =
            best(runs, {QCoreApplication::applicationFilePath(), u"--direct"_s, from, to, u"temp/direct.xls"_s});
        if (content(u"temp/卡鐘匯檔.xls"_s) != content(u"temp/direct.xls"_s))
            throw std::runtime_error("the two ways wrote different workbooks");

        QTextStream out(stdout);
        out << "punchclock-export, " << employees << " employees, " << from << " to " << to << " ("
            << employees * 31 << " listed rows, " << employees * 62 << " staged), best of " << runs << " runs\n";
        out << "| measure | program | direct | ratio |\n|---|---|---|---|\n";
        out << QString::asprintf("| wall time | %.2f s | %.2f s | %.1f |\n", program.seconds, direct.seconds,
                                 program.seconds / direct.seconds);
        out << QString::asprintf("| peak memory | %.0f MiB | %.0f MiB | %.1f |\n", program.peakMiB, direct.peakMiB,
                                 program.peakMiB / direct.peakMiB);
    } catch (const std::exception& error) {
        QTextStream(stderr) << "bench_export_command: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
