#include "PunchRecorder.h"

#include "Connection.h"
#include "DatabaseError.h"
#include "EngineError.h"
#include "HoursRule.h"
#include "Tables.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>

#include <algorithm>
#include <array>
#include <chrono>
#include <optional>

namespace {

// Where the engines' SQL differs: how a transaction takes its lock, how a row is found again.
enum class Engine { SQLite, PostgreSQL, SqlServer };

// The engine by the product name that the connection reports.
Engine engineNamed(const QString& dbmsName)
{
    if (dbmsName == QLatin1String("SQLite"))
        return Engine::SQLite;
    if (dbmsName == QLatin1String("PostgreSQL"))
        return Engine::PostgreSQL;
    if (dbmsName == QLatin1String("Microsoft SQL Server"))
        return Engine::SqlServer;
    throw DatabaseError(
        QStringLiteral("Punches are written to SQLite, PostgreSQL or SQL Server databases, not to %1").arg(dbmsName));
}

// How long a punch keeps retrying while the database is busy, in all.
constexpr std::chrono::milliseconds busyPatience{5000};
constexpr std::chrono::milliseconds firstPause{5};
constexpr std::chrono::milliseconds longestPause{100};

// A table that holds one row per employee and day, and the query name under which the punch
// screen has always reported its missing columns.
struct DayTable {
    QString name;
    QString queryName;
    QString employeeColumn;
    QString dayColumn;
};

const DayTable& shiftTable()
{
    static const DayTable table{QStringLiteral("clock"), QStringLiteral("clock_ADOQ"), QStringLiteral("clock_emp"),
                                QStringLiteral("clock_dat1")};
    return table;
}

const DayTable& overtimeTable()
{
    static const DayTable table{QStringLiteral("pre_over"), QStringLiteral("over_ADOQ"), QStringLiteral("pres_emp"),
                                QStringLiteral("pres_sdate")};
    return table;
}

enum class Statement {
    Begin,
    Commit,
    Rollback,
    LockDay,
    FindShiftRow,
    FirstShiftDefinition,
    FirstEndOfShiftDefinition,
    AppendShiftStart,
    AppendShiftEnd,
    EditShiftStart,
    EditShiftEnd,
    FindOvertimeRow,
    AppendOvertimeStart,
    AppendOvertimeEnd,
    EditOvertimeStart,
    EditOvertimeEnd,
};
constexpr std::size_t statementCount = std::size_t(Statement::EditOvertimeEnd) + 1;

bool isShift(PunchKind kind)
{
    return kind == PunchKind::ShiftStart || kind == PunchKind::ShiftEnd;
}

bool isStart(PunchKind kind)
{
    return kind == PunchKind::ShiftStart || kind == PunchKind::OvertimeStart;
}

QString shiftTimeColumn(bool start)
{
    return start ? QStringLiteral("clock_stime2") : QStringLiteral("clock_etime2");
}

QString overtimeTimeColumn(bool start)
{
    return start ? QStringLiteral("pres_stime") : QStringLiteral("pres_etime");
}

// The columns that each write sets, in the order in which the punch has always assigned them.
QStringList appendedShiftColumns(bool start)
{
    return {QStringLiteral("comp"),         QStringLiteral("clock_emp"),    QStringLiteral("clock_sn"),
            QStringLiteral("class_no"),     QStringLiteral("class_item"),   QStringLiteral("clock_dat1"),
            QStringLiteral("clock_stime1"), QStringLiteral("clock_etime1"), QStringLiteral("clock_dat2"),
            shiftTimeColumn(start),         QStringLiteral("clock_no")};
}

QStringList editedShiftColumns(bool start)
{
    QStringList columns{QStringLiteral("clock_dat2"), shiftTimeColumn(start)};
    if (start)
        columns.append(QStringLiteral("clock_no")); // the end of a shift keeps the card of its start
    return columns;
}

QStringList overtimeColumns(bool start)
{
    QStringList columns{QStringLiteral("pres_sdate"), overtimeTimeColumn(start)};
    if (!start)
        columns.append(QStringLiteral("pres_hour"));
    columns += {QStringLiteral("pres_sn"), QStringLiteral("pres_emp"), QStringLiteral("pres_lv")};
    return columns;
}

QString placeholders(qsizetype count)
{
    QStringList marks;
    marks.fill(QStringLiteral("?"), count);
    return marks.join(QStringLiteral(", "));
}

QString whereDayRow(const DayTable& table)
{
    return QStringLiteral(" WHERE ") + table.employeeColumn + QStringLiteral(" = ? AND ") + table.dayColumn +
           QStringLiteral(" = ?");
}

// The first row of the employee's day, locked against every other writer until the commit,
// with the engine's means of finding it again in front of the columns asked for: SQLite's
// rowid, PostgreSQL's ctid (stable while the row is locked). On SQL Server the same lookup
// finds it again under the locks that it holds.
QString findText(Engine engine, const DayTable& table, const QString& columns)
{
    const QString where = whereDayRow(table);
    const QString more = columns.isEmpty() ? QString() : QStringLiteral(", ") + columns;
    switch (engine) {
    case Engine::SQLite:
        return QStringLiteral("SELECT rowid") + more + QStringLiteral(" FROM ") + table.name + where +
               QStringLiteral(" LIMIT 1");
    case Engine::PostgreSQL:
        return QStringLiteral("SELECT ctid") + more + QStringLiteral(" FROM ") + table.name + where +
               QStringLiteral(" LIMIT 1 FOR UPDATE");
    default:
        return QStringLiteral("SELECT TOP (1) ") + (columns.isEmpty() ? table.employeeColumn : columns) +
               QStringLiteral(" FROM ") + table.name + QStringLiteral(" WITH (UPDLOCK, HOLDLOCK)") + where;
    }
}

QString editText(Engine engine, const DayTable& table, const QStringList& columns)
{
    const QString assignments = columns.join(QStringLiteral(" = ?, ")) + QStringLiteral(" = ?");
    switch (engine) {
    case Engine::SQLite:
        return QStringLiteral("UPDATE ") + table.name + QStringLiteral(" SET ") + assignments +
               QStringLiteral(" WHERE rowid = ?");
    case Engine::PostgreSQL:
        return QStringLiteral("UPDATE ") + table.name + QStringLiteral(" SET ") + assignments +
               QStringLiteral(" WHERE ctid = CAST(? AS tid)");
    default:
        return QStringLiteral("UPDATE TOP (1) ") + table.name + QStringLiteral(" SET ") + assignments +
               whereDayRow(table);
    }
}

QString appendText(const DayTable& table, const QStringList& columns)
{
    return QStringLiteral("INSERT INTO ") + table.name + QStringLiteral(" (") + columns.join(QStringLiteral(", ")) +
           QStringLiteral(") VALUES (") + placeholders(columns.size()) + QStringLiteral(")");
}

// The first shift definition; the end of a shift takes only one of the company without a code.
QString definitionText(Engine engine, bool endOfShift)
{
    const QString columns = QStringLiteral("class_no, class_item, work1, work2 FROM pres_sys");
    const QString condition = endOfShift ? QStringLiteral(" WHERE comp = ''") : QString();
    if (engine == Engine::SqlServer)
        return QStringLiteral("SELECT TOP (1) ") + columns + condition;
    return QStringLiteral("SELECT ") + columns + condition + QStringLiteral(" LIMIT 1");
}

// Text columns hold the empty text, never NULL, for every value a punch writes.
QString nonNull(const QString& text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

// A whole number given as text, as an integer column takes it: empty text is no value.
QVariant integerValue(const QString& text)
{
    if (text.isEmpty())
        return QVariant(QMetaType(QMetaType::Int));
    bool ok = false;
    const int number = text.trimmed().toInt(&ok);
    if (!ok)
        throw DatabaseError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return number;
}

void execute(QSqlQuery& query, const QVariantList& values)
{
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    if (!query.exec())
        throw engineError(query);
}

} // namespace

QString punchConfirmation(const QString& employeeName, PunchKind kind, const PunchWritten& written)
{
    return employeeName + QStringLiteral("  ") + punchKindText(kind) + QStringLiteral("時間：") + written.date +
           QStringLiteral("   ") + written.time;
}

// The punch's statements on one open database, each prepared when first needed and kept for
// every later punch on that database.
class PunchRecorder::Statements {
public:
    Statements(const QSqlDatabase& db, Engine engine)
        : engine_(engine)
        , driver_(db.driver())
    {
    }

    // Whether these statements were prepared on that database, which is still open.
    bool belongTo(const QSqlDatabase& db) const { return !driver_.isNull() && driver_ == db.driver(); }
    Engine engine() const { return engine_; }

    QSqlQuery& operator()(QSqlDatabase& db, Statement statement)
    {
        std::optional<QSqlQuery>& slot = prepared_.at(std::size_t(statement));
        if (!slot) {
            checkColumns(db, statement);
            QSqlQuery query(db);
            query.setForwardOnly(true);
            if (!query.prepare(textOf(statement)))
                throw engineError(query);
            slot = std::move(query);
        }
        return *slot;
    }

private:
    QString textOf(Statement statement) const
    {
        switch (statement) {
        case Statement::Begin:
            // Takes the write lock at once: a deferred transaction that read first could not
            // take it later without failing.
            return QStringLiteral("BEGIN IMMEDIATE");
        case Statement::Commit:
            return QStringLiteral("COMMIT");
        case Statement::Rollback:
            return QStringLiteral("ROLLBACK");
        case Statement::LockDay:
            // The day may have no row to lock yet: punches of one employee, table and day
            // take this lock first, so only one of them can find no row and append it.
            return QStringLiteral("SELECT pg_advisory_xact_lock(hashtext(?), hashtext(?))");
        case Statement::FindShiftRow:
            return findText(engine_, shiftTable(), QString());
        case Statement::FirstShiftDefinition:
            return definitionText(engine_, false);
        case Statement::FirstEndOfShiftDefinition:
            return definitionText(engine_, true);
        case Statement::AppendShiftStart:
            return appendText(shiftTable(), appendedShiftColumns(true));
        case Statement::AppendShiftEnd:
            return appendText(shiftTable(), appendedShiftColumns(false));
        case Statement::EditShiftStart:
            return editText(engine_, shiftTable(), editedShiftColumns(true));
        case Statement::EditShiftEnd:
            return editText(engine_, shiftTable(), editedShiftColumns(false));
        case Statement::FindOvertimeRow:
            return findText(engine_, overtimeTable(), QStringLiteral("pres_stime"));
        case Statement::AppendOvertimeStart:
            return appendText(overtimeTable(), overtimeColumns(true));
        case Statement::AppendOvertimeEnd:
            return appendText(overtimeTable(), overtimeColumns(false));
        case Statement::EditOvertimeStart:
            return editText(engine_, overtimeTable(), overtimeColumns(true));
        case Statement::EditOvertimeEnd:
            return editText(engine_, overtimeTable(), overtimeColumns(false));
        }
        return {};
    }

    // The punch screen has always declared every column of the tables it reads, so a table
    // that lacks one stops the punch with the same words as before. A table that is missing
    // altogether is left to the engine to name.
    void checkColumns(QSqlDatabase& db, Statement statement)
    {
        QString table;
        QString queryName;
        FieldDefs columns;
        switch (statement) {
        case Statement::FindShiftRow:
            table = shiftTable().name;
            queryName = shiftTable().queryName;
            columns = Tables::clock();
            break;
        case Statement::FirstShiftDefinition:
        case Statement::FirstEndOfShiftDefinition:
            table = QStringLiteral("pres_sys");
            queryName = QStringLiteral("temp_ADOQ");
            columns = Tables::presSys();
            break;
        case Statement::FindOvertimeRow:
            table = overtimeTable().name;
            queryName = overtimeTable().queryName;
            columns = Tables::preOver();
            break;
        default:
            return;
        }
        if (checkedTables_.contains(table))
            return;
        const QSqlRecord record = db.record(table);
        if (!record.isEmpty()) {
            for (const FieldDef& column : std::as_const(columns)) {
                if (!record.contains(column.name))
                    throw DatabaseError(QStringLiteral("%1: Field '%2' not found").arg(queryName, column.name));
            }
        }
        checkedTables_.insert(table);
    }

    Engine engine_;
    QPointer<QSqlDriver> driver_;
    std::array<std::optional<QSqlQuery>, statementCount> prepared_;
    QSet<QString> checkedTables_;
};

PunchRecorder::PunchRecorder(Connection& connection)
    : connection_(connection)
{
}

PunchRecorder::~PunchRecorder() = default;

PunchWritten PunchRecorder::record(const PunchRequest& request)
{
    const QDeadlineTimer patience(busyPatience);
    std::chrono::milliseconds pause = firstPause;
    for (;;) {
        try {
            return connection_.run([&](QSqlDatabase& db) { return recordOnce(db, request); });
        } catch (const DatabaseError& error) {
            if (error.cause() != DatabaseError::Cause::Busy || patience.hasExpired())
                throw;
        }
        // Terminals that met each other wait unequal times, so that they do not meet again.
        const auto jitter = std::chrono::milliseconds(QRandomGenerator::global()->bounded(int(pause.count()) + 1));
        QThread::msleep(static_cast<unsigned long>((pause + jitter).count()));
        pause = std::min(pause * 2, longestPause);
    }
}

PunchRecorder::Statements& PunchRecorder::statementsFor(QSqlDatabase& db)
{
    if (!statements_ || !statements_->belongTo(db))
        statements_ = std::make_unique<Statements>(db, engineNamed(connection_.dbmsName()));
    return *statements_;
}

// Ends a failed transaction. The failure is what the caller hears of; a rollback that fails as
// well (the link is gone) has nothing to add, as the server drops the transaction by itself.
void PunchRecorder::rollBack(QSqlDatabase& db, Statements& statement) noexcept
{
    try {
        if (statement.engine() == Engine::SQLite)
            statement(db, Statement::Rollback).exec();
        else
            db.rollback();
    } catch (const DatabaseError&) {
    }
}

PunchWritten PunchRecorder::recordOnce(QSqlDatabase& db, const PunchRequest& request)
{
    Statements& statement = statementsFor(db);
    const bool sqlite = statement.engine() == Engine::SQLite;
    try {
        if (sqlite)
            execute(statement(db, Statement::Begin), {});
        else if (!db.transaction())
            throw engineError(db);
        try {
            if (isShift(request.kind))
                writeShift(db, statement, request, findDayRow(db, statement, request));
            else
                writeOvertime(db, statement, request, findDayRow(db, statement, request));
            if (sqlite)
                execute(statement(db, Statement::Commit), {});
            else if (!db.commit())
                throw engineError(db);
        } catch (...) {
            rollBack(db, statement);
            throw;
        }
    } catch (const DatabaseError& error) {
        // A busy database leaves the statements as good as they were; after any other failure
        // (a changed table, a lost link) the next punch prepares them anew.
        if (error.cause() != DatabaseError::Cause::Busy)
            statements_.reset();
        throw;
    }
    return {request.date, request.time};
}

PunchRecorder::DayRow PunchRecorder::findDayRow(QSqlDatabase& db, Statements& statement, const PunchRequest& request)
{
    const bool shift = isShift(request.kind);
    if (statement.engine() == Engine::PostgreSQL) {
        QSqlQuery& lock = statement(db, Statement::LockDay);
        const DayTable& table = shift ? shiftTable() : overtimeTable();
        execute(lock, {table.name + QLatin1Char('/') + request.employeeNo, request.date});
        lock.finish();
    }
    const QVariantList day{request.employeeNo, request.date};
    QSqlQuery& find = statement(db, shift ? Statement::FindShiftRow : Statement::FindOvertimeRow);
    execute(find, day);
    DayRow row;
    row.found = find.next();
    if (row.found) {
        // How the edit finds the row again: by what the lookup read in front, or on SQL
        // Server by the same condition under the locks that the lookup took.
        const bool sqlServer = statement.engine() == Engine::SqlServer;
        row.location = sqlServer ? day : QVariantList{find.value(0)};
        if (!shift)
            row.startTime = find.value(sqlServer ? 0 : 1).toString();
    }
    find.finish();
    return row;
}

void PunchRecorder::writeShift(QSqlDatabase& db, Statements& statement, const PunchRequest& request, const DayRow& row)
{
    const bool start = isStart(request.kind);
    if (row.found) {
        QVariantList values{nonNull(request.date), nonNull(request.time)};
        if (start)
            values.append(nonNull(request.cardNo));
        execute(statement(db, start ? Statement::EditShiftStart : Statement::EditShiftEnd), values + row.location);
        return;
    }
    // A new day-row takes its planned half from the first shift definition.
    QSqlQuery& definition =
        statement(db, start ? Statement::FirstShiftDefinition : Statement::FirstEndOfShiftDefinition);
    execute(definition, {});
    const bool defined = definition.next();
    const auto planned = [&](int column) { return nonNull(defined ? definition.value(column).toString() : QString()); };
    const QVariantList values{QStringLiteral(""),
                              nonNull(request.employeeNo),
                              integerValue(request.date.mid(8, 2)),
                              planned(0),
                              planned(1),
                              nonNull(request.date),
                              planned(2),
                              planned(3),
                              nonNull(request.date),
                              nonNull(request.time),
                              nonNull(request.cardNo)};
    definition.finish();
    execute(statement(db, start ? Statement::AppendShiftStart : Statement::AppendShiftEnd), values);
}

void PunchRecorder::writeOvertime(QSqlDatabase& db, Statements& statement, const PunchRequest& request,
                                  const DayRow& row)
{
    const bool start = isStart(request.kind);
    QVariantList values{nonNull(request.date), nonNull(request.time)};
    // The hours are worked out when the end is written, from the start the row has by then.
    if (!start)
        values.append(overtimeHours(row.startTime, request.time));
    values += {integerValue(request.serial), nonNull(request.employeeNo), nonNull(request.overtimeLevel)};
    const Statement write = row.found ? (start ? Statement::EditOvertimeStart : Statement::EditOvertimeEnd)
                                      : (start ? Statement::AppendOvertimeStart : Statement::AppendOvertimeEnd);
    execute(statement(db, write), values + row.location);
}
