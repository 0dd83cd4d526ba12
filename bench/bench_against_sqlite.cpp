// What a user waits for, done by the program through its screens and done directly through
// SQLite's C API on the same file (WAL as the program sets it, each statement prepared once,
// a batch in one transaction), printed side by side as one table with the ratio.
//   build/bench/bench_against_sqlite [--quick]
// --quick leaves out the largest clock tables and repeats less.
#include "Connection.h"
#include "PunchRecorder.h"
#include "LocalClock.h"
#include "RecordingDialogs.h"
#include "TClock2.h"
#include "Tclockout.h"
#include "TemporaryWorkingDirectory.h"
#include "TestDatabases.h"
#include "WorkbookFile.h"
#include "XlsWorkbookWriter.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int employees = 300;
const QDate firstDay(2023, 1, 1);
const QString exportTag = u"卡鐘匯檔"_s;

// ---------------------------------------------------------------------------------------------
// The direct way: SQLite's C API.

class Statement {
public:
    Statement(sqlite3* db, const char* sql)
    {
        if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement_, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string(sqlite3_errmsg(db)) + ": " + sql);
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int position, const std::string& text)
    {
        sqlite3_bind_text(statement_, position, text.data(), int(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bind(int position, sqlite3_int64 number)
    {
        sqlite3_bind_int64(statement_, position, number);
        return *this;
    }
    // True while there is a row; the statement is reset after the last one.
    bool step()
    {
        const int result = sqlite3_step(statement_);
        if (result == SQLITE_ROW)
            return true;
        sqlite3_reset(statement_);
        if (result != SQLITE_DONE)
            throw std::runtime_error(sqlite3_errmsg(sqlite3_db_handle(statement_)));
        return false;
    }
    void run()
    {
        while (step()) {
        }
    }
    void reset() { sqlite3_reset(statement_); }
    std::string text(int column) const
    {
        const auto* value = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
        return value ? std::string(value, std::size_t(sqlite3_column_bytes(statement_, column))) : std::string();
    }
    sqlite3_int64 number(int column) const { return sqlite3_column_int64(statement_, column); }
    int column(const char* name) const
    {
        for (int c = 0; c < sqlite3_column_count(statement_); ++c) {
            if (qstricmp(sqlite3_column_name(statement_, c), name) == 0)
                return c;
        }
        throw std::runtime_error(std::string("no column ") + name);
    }
    // Every column of the row as text, as a program that reads whole rows does.
    std::vector<std::string> row() const
    {
        std::vector<std::string> values;
        for (int c = 0; c < sqlite3_column_count(statement_); ++c)
            values.push_back(text(c));
        return values;
    }

private:
    sqlite3_stmt* statement_ = nullptr;
};

class DirectDatabase {
public:
    explicit DirectDatabase(const QString& path)
    {
        if (sqlite3_open_v2(path.toUtf8().constData(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open " + path.toStdString());
        sqlite3_busy_timeout(db_, 10000);
        exec("PRAGMA journal_mode=WAL");
    }
    ~DirectDatabase() { sqlite3_close_v2(db_); }
    DirectDatabase(const DirectDatabase&) = delete;
    DirectDatabase& operator=(const DirectDatabase&) = delete;

    void exec(const char* sql)
    {
        char* error = nullptr;
        if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string text = error ? error : "error";
            sqlite3_free(error);
            throw std::runtime_error(text + ": " + sql);
        }
    }
    sqlite3* handle() const { return db_; }

private:
    sqlite3* db_ = nullptr;
};

std::string utf8(const QString& text)
{
    return text.toStdString();
}

std::string dayText(const QDate& day)
{
    return utf8(day.toString(u"yyyy/MM/dd"_s));
}

std::string employeeNumber(int e)
{
    return utf8(u"E%1"_s.arg(e, 4, 10, QLatin1Char('0')));
}

std::string cardNumber(int e)
{
    return utf8(u"C%1"_s.arg(e));
}

// 300 employees with cards, and the one shift definition.
void addEmployees(DirectDatabase& db)
{
    db.exec("BEGIN");
    Statement insert(db.handle(), "INSERT INTO employee (emp_no, emp_name, clock_no) VALUES (?, ?, ?)");
    for (int e = 0; e < employees; ++e) {
        insert.bind(1, employeeNumber(e)).bind(2, utf8(u"員工%1"_s.arg(e))).bind(3, cardNumber(e)).run();
    }
    db.exec("INSERT INTO pres_sys (comp, class_no, class_item, work1, work2) "
            "VALUES ('', '01', '日班', '08:00', '17:00')");
    db.exec("COMMIT");
}

// One shift row for each employee and day from the first day on: rows first to last - 1.
void addClockRows(DirectDatabase& db, const QDate& first, long long firstRow, long long lastRow)
{
    db.exec("BEGIN");
    Statement insert(db.handle(), "INSERT INTO clock (comp, clock_emp, clock_sn, class_no, class_item, clock_dat1, "
                                  "clock_stime1, clock_etime1, clock_dat2, clock_stime2, clock_etime2, clock_no) "
                                  "VALUES ('', ?, ?, '01', '日班', ?, '08:00', '17:00', ?, '08:00', '17:00', ?)");
    std::string day;
    for (long long row = firstRow; row < lastRow; ++row) {
        const int e = int(row % employees);
        if (e == 0 || day.empty())
            day = dayText(first.addDays(row / employees));
        insert.bind(1, employeeNumber(e)).bind(2, sqlite3_int64(std::stoi(day.substr(8, 2))));
        insert.bind(3, day).bind(4, day).bind(5, cardNumber(e)).run();
    }
    db.exec("COMMIT");
}

// ---------------------------------------------------------------------------------------------
// Measuring

double seconds(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e9;
}

// The shortest of some runs, which least shows what else the machine was doing.
double bestSeconds(int runs, const std::function<void()>& work)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, seconds(work));
    return best;
}

long statusKiB(const char* key)
{
    // Read as a stream: the kernel gives /proc files no size, which QFile::readAll relies on.
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return 0;
    std::array<char, 256> line{};
    long kib = 0;
    const std::size_t length = std::strlen(key);
    while (std::fgets(line.data(), int(line.size()), status)) {
        if (std::strncmp(line.data(), key, length) == 0)
            kib = std::atol(line.data() + length);
    }
    std::fclose(status);
    return kib;
}

// How much the resident size rose above where it was, at its highest during the work.
double peakMiB(const std::function<void()>& work)
{
    malloc_trim(0); // what earlier steps freed goes back, so that it cannot hide this step's growth
    if (std::FILE* clear = std::fopen("/proc/self/clear_refs", "w")) { // "5": the high-water mark anew
        std::fputs("5", clear);
        std::fclose(clear);
    }
    const long before = statusKiB("VmRSS:");
    work();
    return double(statusKiB("VmHWM:") - before) / 1024.0;
}

struct Line {
    QString step;
    QString program;
    QString direct;
    double ratio;
};

std::vector<Line> table;

QString ms(double s)
{
    return s < 0.01 ? QString::number(s * 1000, 'f', 3) + u" ms"_s : QString::number(s * 1000, 'f', 0) + u" ms"_s;
}

void report(const QString& step, const QString& program, const QString& direct, double ratio)
{
    table.push_back({step, program, direct, ratio});
    std::fprintf(stderr, "  %s: %s / %s\n", qPrintable(step), qPrintable(program), qPrintable(direct));
}

// ---------------------------------------------------------------------------------------------
// The export: listing, staging into ptemp and the workbook

// An export screen of its own, listing the shift punches.
struct ExportScreen {
    explicit ExportScreen(const QString& connectionString)
    {
        connection.setConnectionString(connectionString);
        screen.DBComboBox1->setCurrentIndex(0);
    }
    void setRange(const QDate& from, const QDate& to)
    {
        screen.MaskEdit1->setText(from.toString(u"yyyy/MM/dd"_s));
        screen.MaskEdit2->setText(to.toString(u"yyyy/MM/dd"_s));
    }

    Connection connection{u"CUSConnection1"_s};
    RecordingDialogs dialogs;
    Tclockout screen{connection, nullptr};
};

struct Listed {
    std::string card, date, start, end;
};

// The search's statement, with its values bound instead of written in.
std::vector<Listed> listDirect(DirectDatabase& db, const QDate& from, const QDate& to)
{
    Statement select(db.handle(), "select * from clock where clock_dat2 >= ? and clock_dat2 <= ? order by clock_dat2");
    select.bind(1, dayText(from)).bind(2, dayText(to));
    std::vector<Listed> rows;
    if (!select.step())
        return rows;
    const int card = select.column("clock_no");
    const int date = select.column("clock_dat2");
    const int start = select.column("clock_stime2");
    const int end = select.column("clock_etime2");
    do {
        rows.push_back({select.text(card), select.text(date), select.text(start), select.text(end)});
    } while (select.step());
    return rows;
}

using Staged = std::array<std::string, 4>;

// What the staging does: the old rows of the tag go, the tag's rows are read again (none), and
// every punch time becomes a row, all of them in one transaction.
std::vector<Staged> stageDirect(DirectDatabase& db, const std::vector<Listed>& rows)
{
    const std::string tag = utf8(exportTag);
    Statement(db.handle(), "delete  from ptemp   where P00=?").bind(1, tag).run();
    Statement(db.handle(), "select * from ptemp   where P00=?").bind(1, tag).run();
    std::vector<Staged> staged;
    db.exec("BEGIN");
    Statement insert(db.handle(), "INSERT INTO ptemp (P00,P01,P02,P03,P04) VALUES (?,?,?,?,?)");
    const auto stage = [&](const Listed& row, const char* code, const std::string& time) {
        const std::string date = row.date.substr(0, 4) + row.date.substr(5, 2) + row.date.substr(8, 2);
        const std::string packed = time.substr(0, 2) + time.substr(3, 2);
        insert.bind(1, tag).bind(2, row.card).bind(3, date).bind(4, code).bind(5, packed).run();
        staged.push_back({row.card, date, code, packed});
    };
    for (const Listed& row : rows) {
        if (!row.start.empty())
            stage(row, "1", row.start);
        if (!row.end.empty())
            stage(row, "2", row.end);
    }
    db.exec("COMMIT");
    return staged;
}

void exportDirect(DirectDatabase& db, const QDate& from, const QDate& to, const QString& path)
{
    const std::vector<Staged> staged = stageDirect(db, listDirect(db, from, to));
    SpreadsheetTable table;
    table.sheetName = u"Sheet1"_s;
    table.rows.append({u"卡號"_s, u"日期"_s, u"代號"_s, u"時間"_s});
    for (const Staged& row : staged) {
        table.rows.append({QString::fromStdString(row[0]), QString::fromStdString(row[1]),
                           QString::fromStdString(row[2]), QString::fromStdString(row[3])});
    }
    table.textFormatColumnsAtoH = table.rows.size() > 1;
    saveWorkbook(path, table);
}

void benchExport(const QString& path, const QString& connectionString, int runs)
{
    DirectDatabase db(path);
    ExportScreen program(connectionString);
    // A first small export loads what any export needs once (plugins, fonts, the file writer).
    program.setRange(firstDay, firstDay);
    program.screen.Button5->click();
    program.screen.Button6->click();
    exportDirect(db, firstDay, firstDay, u"temp/direct.xls"_s);

    for (int months : {1, 3, 12}) {
        const QDate last = firstDay.addMonths(months).addDays(-1);
        program.setRange(firstDay, last);
        program.screen.Button5->click();
        const std::vector<Listed> listed = listDirect(db, firstDay, last);
        const int expected = int(listed.size()) * 2;
        const double mine = bestSeconds(runs, [&] { program.screen.Button1->click(); });
        const double direct = bestSeconds(runs, [&] { stageDirect(db, listed); });
        const bool complete = program.screen.clockexp_ADOQ.rowCount() == expected;
        const QString step = u"staging into `ptemp`, %1 month%2 (%3k rows)"_s.arg(months)
                                 .arg(months > 1 ? u"s"_s : QString())
                                 .arg(expected / 1000.0, 0, 'f', 1);
        // A range that no worksheet holds is refused before anything is staged: the program's
        // figure is then the time to refuse, which has no direct counterpart.
        if (expected + 1 > xlsMaxRows) {
            const QStringList shown = program.dialogs.takeTexts();
            const bool refused = !shown.isEmpty() && shown.last().contains(QString::number(xlsMaxRows));
            report(step,
                   refused ? u"refused in %1 (more punches than a sheet's %2 rows)"_s.arg(ms(mine)).arg(xlsMaxRows)
                           : u"%1 rows staged"_s.arg(program.screen.clockexp_ADOQ.rowCount()),
                   u"%1 s"_s.arg(direct, 0, 'f', 3), std::nan(""));
            continue;
        }
        report(step,
               complete ? u"%1 s"_s.arg(mine, 0, 'f', 3)
                        : u"%1 rows staged"_s.arg(program.screen.clockexp_ADOQ.rowCount()),
               u"%1 s"_s.arg(direct, 0, 'f', 3), mine / direct);
    }

    // Memory is counted from a screen that holds no rows, as after its start.
    program.screen.clock_ADOQ.close();
    program.screen.clockexp_ADOQ.close();
    const QDate march(2023, 3, 1);
    const QDate marchEnd(2023, 3, 31);
    // The screen's search and export of its range.
    const auto exportRange = [&] {
        program.screen.Button5->click();
        program.screen.Button6->click();
    };
    struct ExportMemory {
        double program = 0;
        double direct = 0;
        int listedRows = 0;
    };
    const auto exportMemory = [&](const QDate& last) {
        program.setRange(march, last);
        // The least of the runs: what the allocator kept from earlier steps varies from run to run.
        ExportMemory measured{1e9, 1e9, 0};
        for (int run = 0; run < runs; ++run) {
            program.screen.clock_ADOQ.close();
            program.screen.clockexp_ADOQ.close();
            measured.program = std::min(measured.program, peakMiB(exportRange));
            measured.direct =
                std::min(measured.direct, peakMiB([&] { exportDirect(db, march, last, u"temp/direct.xls"_s); }));
        }
        measured.listedRows = program.screen.clock_ADOQ.rowCount();
        return measured;
    };
    const ExportMemory quarter = exportMemory(QDate(2023, 5, 31));
    const ExportMemory month = exportMemory(marchEnd);

    program.setRange(march, marchEnd);
    const auto exportMonthDirect = [&] { exportDirect(db, march, marchEnd, u"temp/direct.xls"_s); };
    const int listedRows = month.listedRows;
    const double mine = bestSeconds(runs, exportRange);
    const double direct = bestSeconds(runs, exportMonthDirect);
    report(u"whole month export (search, staging, workbook; %1 punches listed)"_s.arg(listedRows),
           u"%1 s"_s.arg(mine, 0, 'f', 3), u"%1 s"_s.arg(direct, 0, 'f', 3), mine / direct);
    report(u"its peak memory above the size before"_s,
           u"%1 MiB (%2 B a listed row)"_s.arg(month.program, 0, 'f', 1)
               .arg(month.program * 1048576 / listedRows, 0, 'f', 0),
           u"%1 MiB"_s.arg(month.direct, 0, 'f', 1), month.program / month.direct);
    // What a listed row more adds: the growth of the peak from one month to three, which leaves
    // out what any export needs once (SQLite's page cache, the file writer's buffers).
    const int addedRows = quarter.listedRows - month.listedRows;
    const double perRow = (quarter.program - month.program) * 1048576 / addedRows;
    const double directPerRow = (quarter.direct - month.direct) * 1048576 / addedRows;
    report(u"growth of that peak a listed row, 1 to 3 months (%1 rows more)"_s.arg(addedRows),
           u"%1 B"_s.arg(perRow, 0, 'f', 0), u"%1 B"_s.arg(directPerRow, 0, 'f', 0), perRow / directPerRow);

    const QDate yearEnd = firstDay.addYears(1).addDays(-1);
    program.setRange(firstDay, yearEnd);
    program.screen.clock_ADOQ.close();
    const double searchMemory = peakMiB([&] { program.screen.Button5->click(); });
    const double directSearchMemory = peakMiB([&] { listDirect(db, firstDay, yearEnd); });
    report(u"12-month search, peak memory (%1 rows)"_s.arg(program.screen.clock_ADOQ.rowCount()),
           u"%1 MiB"_s.arg(searchMemory, 0, 'f', 1), u"%1 MiB"_s.arg(directSearchMemory, 0, 'f', 1),
           searchMemory / directSearchMemory);
}

// ---------------------------------------------------------------------------------------------
// Punches

// A punch screen of its own, with employee E0150 and his card chosen.
struct PunchScreen {
    explicit PunchScreen(const QString& connectionString)
    {
        connection.setConnectionString(connectionString);
        screen = std::make_unique<TClock2>(connection); // it reads the employees when made
        screen->ComboBox1->setEditText(u"E0150"_s);
        screen->Edit4->setText(u"C150"_s);
    }

    Connection connection{u"CUSConnection1"_s};
    RecordingDialogs dialogs;
    std::unique_ptr<TClock2> screen;
};

// The punch's statements, each prepared once: the row of the day, the shift definition, the new
// row; the end of the shift updates the row of the day found by its key or rowid.
class DirectPunch {
public:
    DirectPunch(DirectDatabase& db, const char* locator)
        : rowOfDay_(db.handle(), (std::string("select ") + (std::string(locator) == "rowid" ? "rowid, " : "") +
                                  "* from clock where clock_emp=? and clock_dat1 = ?")
                                     .c_str())
        , shift_(db.handle(), "select * from pres_sys ")
        , insert_(db.handle(), "INSERT INTO clock (comp,clock_emp,clock_sn,class_no,class_item,clock_dat1,"
                               "clock_stime1,clock_etime1,clock_dat2,clock_stime2,clock_no) "
                               "VALUES (?,?,?,?,?,?,?,?,?,?,?)")
        , update_(db.handle(), (std::string("UPDATE clock SET clock_dat2 = ?, clock_etime2 = ? WHERE ") + locator +
                                " = ? AND clock_dat2 = ? AND clock_etime2 IS NULL")
                                   .c_str())
        , db_(db.handle())
        , locator_(locator)
    {
    }

    void start(const std::string& employee, const std::string& card, const std::string& day, const std::string& time)
    {
        rowOfDay_.bind(1, employee).bind(2, day);
        if (rowOfDay_.step()) {
            rowOfDay_.reset();
            return; // the benchmark starts each shift on a new day
        }
        shift_.step();
        const std::vector<std::string> shift = shift_.row();
        shift_.reset();
        insert_.bind(1, std::string()).bind(2, employee).bind(3, sqlite3_int64(std::stoi(day.substr(8, 2))));
        insert_.bind(4, shift[shift_.column("class_no")]).bind(5, shift[shift_.column("class_item")]);
        insert_.bind(6, day).bind(7, shift[shift_.column("work1")]).bind(8, shift[shift_.column("work2")]);
        insert_.bind(9, day).bind(10, time).bind(11, card).run();
    }

    void end(const std::string& employee, const std::string& day, const std::string& time)
    {
        rowOfDay_.bind(1, employee).bind(2, day);
        if (!rowOfDay_.step())
            throw std::runtime_error("no row of the day");
        const std::vector<std::string> row = rowOfDay_.row();
        const sqlite3_int64 id = rowOfDay_.number(rowOfDay_.column(locator_.c_str()));
        const std::string date = row[rowOfDay_.column("clock_dat2")];
        rowOfDay_.reset();
        update_.bind(1, day).bind(2, time).bind(3, id).bind(4, date).run();
        if (sqlite3_changes(db_) != 1)
            throw std::runtime_error("the row of the day was not updated");
    }

private:
    Statement rowOfDay_;
    Statement shift_;
    Statement insert_;
    Statement update_;
    sqlite3* db_;
    std::string locator_;
};

// The punch journal's work done directly: a line for the punch appended and flushed to the disk
// before the database is touched, a line for its outcome appended after, as long as the
// program's lines, without their checksum chain.
class DirectJournal {
public:
    explicit DirectJournal(const QString& path)
        : file_(::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644))
    {
        if (file_ < 0)
            throw std::runtime_error("cannot open " + utf8(path));
    }
    ~DirectJournal() { ::close(file_); }
    DirectJournal(const DirectJournal&) = delete;
    DirectJournal& operator=(const DirectJournal&) = delete;

    void punch(const std::string& employee, const std::string& day, const std::string& time)
    {
        append("2024-01-01 08:00:00 punch id=bench-0000000000000001 host=bench emp=" + employee +
               " kind=上班 date=" + day + " time=" + time +
               " serial=080000 card=matched cardno=C150 level= prev=0123456789abcdef\n");
        if (::fdatasync(file_) != 0)
            throw std::runtime_error("cannot flush the direct journal");
    }
    void outcome() { append("2024-01-01 08:00:00 outcome id=bench-0000000000000001 result=written prev=0123456789abcdef\n"); }

private:
    void append(const std::string& line)
    {
        if (::write(file_, line.data(), line.size()) != ssize_t(line.size()))
            throw std::runtime_error("cannot write the direct journal");
    }

    int file_;
};

QDateTime punchTime(const QDate& day, bool end)
{
    return QDateTime(day, end ? QTime(17, 30) : QTime(8, 0));
}

QDateTime benchNow;

// The program's press of "上班" (or, with `end`, "下班") on the day.
using ProgramPress = std::function<void(const QDate& day, bool end)>;

// Mean seconds of a press, of the program and directly: "上班" then "下班" on each of the days, the
// program on one day and the direct way on the next; only "下班" counts unless startsTimed. The
// direct way journals each punch when `journal` is given.
std::pair<double, double> punchSeconds(const ProgramPress& press, const QString& path, const char* locator,
                                       const QDate& firstPunchDay, int days, bool startsTimed,
                                       DirectJournal* journal)
{
    DirectDatabase db(path);
    DirectPunch direct(db, locator);
    const auto directPress = [&](const std::string& day, const std::string& time, const std::function<void()>& sql) {
        if (journal)
            journal->punch("E0150", day, time);
        sql();
        if (journal)
            journal->outcome();
    };
    double mine = 0;
    double theirs = 0;
    int presses = 0;
    for (int d = 0; d < days; ++d) {
        const QDate day = firstPunchDay.addDays(2 * d);
        const std::string directDay = dayText(day.addDays(1));
        const double start = seconds([&] { press(day, false); });
        mine += seconds([&] { press(day, true); });
        const double directStart = seconds([&] {
            directPress(directDay, "08:00", [&] { direct.start("E0150", "C150", directDay, "08:00"); });
        });
        theirs += seconds([&] { directPress(directDay, "17:30", [&] { direct.end("E0150", directDay, "17:30"); }); });
        if (startsTimed) {
            mine += start;
            theirs += directStart;
        }
        presses += startsTimed ? 2 : 1;
    }
    return {mine / presses, theirs / presses};
}

// Presses of the punch screen's buttons, each confirmed, journalled and written, against the
// same SQL and a journal line flushed the same way.
std::pair<double, double> screenPunchSeconds(const QString& path, const QString& connectionString, const char* locator,
                                             const QDate& firstPunchDay, int days, bool startsTimed)
{
    PunchScreen program(connectionString);
    DirectJournal journal(QFileInfo(path).dir().filePath(u"direct-journal.log"_s));
    const auto press = [&](const QDate& day, bool end) {
        benchNow = punchTime(day, end);
        (end ? program.screen->SpeedButton2 : program.screen->SpeedButton1)->click();
    };
    const auto result = punchSeconds(press, path, locator, firstPunchDay, days, startsTimed, &journal);
    if (program.dialogs.messages.size() != 2 * days) {
        const QString first = program.dialogs.messages.isEmpty() ? QString() : program.dialogs.messages.first().text;
        throw std::runtime_error("the punch screen did not confirm every punch: " + utf8(first));
    }
    return result;
}

// The punch rules alone (PunchRecorder, no screen, no journal) against the same SQL alone.
std::pair<double, double> recorderPunchSeconds(const QString& path, const QString& connectionString,
                                               const QDate& firstPunchDay, int days)
{
    Connection connection(u"recorder"_s);
    connection.setConnectionString(connectionString);
    PunchRecorder recorder(connection);
    const auto press = [&](const QDate& day, bool end) {
        recorder.record({end ? PunchKind::ShiftEnd : PunchKind::ShiftStart, u"E0150"_s, u"C150"_s, QString(),
                         day.toString(u"yyyy/MM/dd"_s), end ? u"17:30"_s : u"08:00"_s,
                         end ? u"173000"_s : u"080000"_s});
    };
    return punchSeconds(press, path, "id", firstPunchDay, days, true, nullptr);
}

// Employees, the shift and a clock of the given numbers of rows, one after another; the
// indexes are built anew after each filling, which is quicker than keeping them up row by row.
void benchIndexedPunches(QDir dir, const std::vector<long long>& sizes, int days)
{
    const QString path = dir.filePath(u"indexed.db"_s);
    const QString connectionString = TestDatabases::createSqlite(path);
    DirectDatabase db(path);
    addEmployees(db);
    long long rows = 0;
    QDate punchDay(2024, 1, 1); // each size punches on days of its own
    for (long long size : sizes) {
        db.exec("DROP INDEX clock_emp_day; DROP INDEX clock_actual_day");
        addClockRows(db, QDate(1970, 1, 1), rows, size);
        rows = size;
        db.exec("CREATE INDEX clock_emp_day ON clock (clock_emp, clock_dat1); "
                "CREATE INDEX clock_actual_day ON clock (clock_dat2); PRAGMA wal_checkpoint(TRUNCATE)");
        const QString rowsText = size >= 1000000 ? u"%1M"_s.arg(size / 1000000) : u"%1k"_s.arg(size / 1000);
        const auto [mine, direct] = screenPunchSeconds(path, connectionString, "id", punchDay, days, true);
        punchDay = punchDay.addDays(2 * days);
        report(u"one punch, indexed `clock` of %1 rows"_s.arg(rowsText), ms(mine), ms(direct), mine / direct);
        const auto [rules, sql] = recorderPunchSeconds(path, connectionString, punchDay, days);
        punchDay = punchDay.addDays(2 * days);
        report(u"its punch rules alone, without screen and journal"_s, ms(rules), ms(sql), rules / sql);
    }
}

void benchKeylessPunch(QDir dir, long long size, int days)
{
    const QString path = dir.filePath(u"keyless.db"_s);
    const QString connectionString = TestDatabases::createSqlite(path);
    DirectDatabase db(path);
    addEmployees(db);
    db.exec("DROP TABLE clock; CREATE TABLE clock (comp varchar(50), clock_emp varchar(50), clock_sn integer, "
            "class_no varchar(50), class_item varchar(50), clock_dat1 varchar(50), clock_stime1 varchar(50), "
            "clock_etime1 varchar(50), clock_dat2 varchar(50), clock_stime2 varchar(50), clock_etime2 varchar(50), "
            "abs_no varchar(50), insu_no varchar(50), clock_account integer, ven_no integer, clock_no varchar(50), "
            "pres_hour float)");
    addClockRows(db, QDate(2000, 1, 1), 0, size);
    db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
    const auto [mine, direct] = screenPunchSeconds(path, connectionString, "rowid", QDate(2024, 1, 1), days, false);
    report(u"\"下班\" on a `clock` of %1M rows without keys or indexes"_s.arg(size / 1000000), ms(mine), ms(direct),
           mine / direct);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool quick = app.arguments().contains(u"--quick"_s);
    const int runs = quick ? 1 : 3;
    try {
        const TemporaryWorkingDirectory dir;
        QDir(dir.path()).mkdir(u"temp"_s);
        LocalClock::setSource([] { return benchNow; });
        benchNow = QDateTime(QDate(2024, 1, 15), QTime(8, 0));

        std::fprintf(stderr, "export on a year of %d employees' punches\n", employees);
        const QString path = dir.filePath(u"basedb.mdb"_s);
        const QString connectionString = TestDatabases::createSqlite(path);
        {
            DirectDatabase db(path);
            addEmployees(db);
            addClockRows(db, firstDay, 0, (long long)(firstDay.daysTo(firstDay.addYears(1))) * employees);
            db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
        }
        benchExport(path, connectionString, runs);

        std::fprintf(stderr, "punches\n");
        std::vector<long long> sizes{10000, 100000, 1000000};
        if (!quick)
            sizes.push_back(5000000);
        benchIndexedPunches(QDir(dir.path()), sizes, quick ? 20 : 100);
        benchKeylessPunch(QDir(dir.path()), 1000000, quick ? 2 : 5);
        LocalClock::setSource({});
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }

    std::printf("| step | program | direct | ratio |\n|---|---|---|---|\n");
    for (const Line& line : table) {
        const QString ratio = std::isnan(line.ratio) ? u"—"_s : QString::number(line.ratio, 'f', 2);
        std::printf("| %s | %s | %s | %s |\n", qPrintable(line.step), qPrintable(line.program),
                    qPrintable(line.direct), qPrintable(ratio));
    }
    return 0;
}
