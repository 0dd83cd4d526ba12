#include "SchemaInstaller.h"

#include "DatabaseError.h"

#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariantList>

#include <sql.h>
#include <sqlext.h>

#include <array>

namespace {

void runStatement(QSqlDatabase& db, const QString& text, const QVariantList& bindings = {})
{
    QSqlQuery query(db);
    bool ok = query.prepare(text);
    for (const QVariant& value : bindings)
        query.addBindValue(value);
    ok = ok && query.exec();
    if (!ok)
        throw DatabaseError(query.lastError().text() + QStringLiteral("\n") + text);
}

} // namespace

SqlDialect sqlDialectNamed(const QString& name)
{
    if (name == QLatin1String("sqlite"))
        return SqlDialect::SQLite;
    if (name == QLatin1String("postgresql"))
        return SqlDialect::PostgreSQL;
    if (name == QLatin1String("sqlserver"))
        return SqlDialect::SqlServer;
    throw DatabaseError(QStringLiteral("Unknown SQL dialect '%1' (sqlite, postgresql, sqlserver)").arg(name));
}

// The statements of the dialect's schema script, without their comment lines. Outside the
// unnamed namespace, as Q_INIT_RESOURCE declares a function of the global one.
static QStringList schemaStatements(SqlDialect dialect)
{
    Q_INIT_RESOURCE(schema);
    const char* file = dialect == SqlDialect::SQLite       ? ":/schema/sqlite.sql"
                       : dialect == SqlDialect::PostgreSQL ? ":/schema/postgresql.sql"
                                                           : ":/schema/sqlserver.sql";
    QFile script(QString::fromLatin1(file));
    if (!script.open(QIODevice::ReadOnly | QIODevice::Text))
        throw DatabaseError(QStringLiteral("The schema script %1 is missing").arg(script.fileName()));
    const QString text = QString::fromUtf8(script.readAll());
    QStringList statements;
    for (const QString& statement : text.split(QStringLiteral("\n;"), Qt::SkipEmptyParts)) {
        QString body;
        for (const QString& line : statement.split(QLatin1Char('\n'))) {
            if (!line.trimmed().startsWith(QStringLiteral("--")))
                body += line + QLatin1Char('\n');
        }
        if (!body.trimmed().isEmpty())
            statements.append(body.trimmed());
    }
    return statements;
}

namespace {

// Index name -> its columns in order.
using TableIndexes = QMap<QString, QStringList>;

TableIndexes sqliteIndexes(QSqlDatabase& db, const QString& table)
{
    QSqlQuery query(db);
    bool ok = query.prepare(QStringLiteral("SELECT il.name, ii.name FROM pragma_index_list(?) AS il, "
                                           "pragma_index_info(il.name) AS ii ORDER BY il.seq, ii.seqno"));
    query.addBindValue(table);
    if (!ok || !query.exec())
        throw DatabaseError(query.lastError().text());
    TableIndexes indexes;
    while (query.next())
        indexes[query.value(0).toString()].append(query.value(1).toString());
    return indexes;
}

SQLHDBC odbcHandle(QSqlDatabase& db)
{
    return *static_cast<const SQLHDBC*>(db.driver()->handle().constData());
}

QString odbcText(SQLHSTMT statement, SQLUSMALLINT column)
{
    std::array<SQLCHAR, 256> text{};
    SQLLEN length = 0;
    if (!SQL_SUCCEEDED(SQLGetData(statement, column, SQL_C_CHAR, text.data(), SQLLEN(text.size()), &length)) ||
        length == SQL_NULL_DATA)
        return {};
    return QString::fromUtf8(reinterpret_cast<const char*>(text.data()));
}

// The engine's own catalog of the table's indexes, as ODBC's SQLStatistics gives it.
TableIndexes odbcIndexes(QSqlDatabase& db, const QString& table)
{
    SQLHSTMT statement = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, odbcHandle(db), &statement)))
        throw DatabaseError(QStringLiteral("Cannot read the indexes of %1").arg(table));
    QByteArray name = table.toUtf8();
    TableIndexes indexes;
    if (SQL_SUCCEEDED(SQLStatistics(statement, nullptr, 0, nullptr, 0, reinterpret_cast<SQLCHAR*>(name.data()), SQL_NTS,
                                    SQL_INDEX_ALL, SQL_QUICK))) {
        constexpr SQLUSMALLINT indexNameColumn = 6;
        constexpr SQLUSMALLINT columnNameColumn = 9;
        // Rows come ordered by index name and position; the table's own statistics row has no name.
        while (SQL_SUCCEEDED(SQLFetch(statement))) {
            const QString index = odbcText(statement, indexNameColumn);
            if (!index.isEmpty())
                indexes[index].append(odbcText(statement, columnNameColumn));
        }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, statement);
    return indexes;
}

bool startsWithColumns(const QStringList& columns, const QStringList& leading)
{
    if (columns.size() < leading.size())
        return false;
    for (qsizetype i = 0; i < leading.size(); ++i) {
        if (columns.at(i).compare(leading.at(i), Qt::CaseInsensitive) != 0)
            return false;
    }
    return true;
}

} // namespace

void createTables(QSqlDatabase& db, SqlDialect dialect)
{
    for (const QString& statement : schemaStatements(dialect))
        runStatement(db, statement);
}

QList<SchemaIndex> schemaIndexes(SqlDialect dialect)
{
    static const QRegularExpression createIndex(QStringLiteral("^CREATE INDEX (\\w+) ON (\\w+) \\(([^)]*)\\)$"));
    QList<SchemaIndex> indexes;
    for (const QString& statement : schemaStatements(dialect)) {
        const QRegularExpressionMatch match = createIndex.match(statement);
        if (!match.hasMatch())
            continue;
        QStringList columns;
        for (const QString& column : match.captured(3).split(QLatin1Char(',')))
            columns.append(column.trimmed());
        indexes.append({match.captured(1), match.captured(2), columns});
    }
    return indexes;
}

SqlDialect sqlDialectOf(QSqlDatabase& db)
{
    if (db.driverName() == QLatin1String("QSQLITE"))
        return SqlDialect::SQLite;
    std::array<SQLCHAR, 128> name{};
    SQLSMALLINT length = 0;
    SQLGetInfo(odbcHandle(db), SQL_DBMS_NAME, name.data(), SQLSMALLINT(name.size()), &length);
    const QString engine = QString::fromUtf8(reinterpret_cast<const char*>(name.data()));
    if (engine == QLatin1String("PostgreSQL"))
        return SqlDialect::PostgreSQL;
    if (engine == QLatin1String("Microsoft SQL Server"))
        return SqlDialect::SqlServer;
    throw DatabaseError(QStringLiteral("The punch clock has no schema for the engine '%1'").arg(engine));
}

QString existingIndexFor(QSqlDatabase& db, const SchemaIndex& index)
{
    const TableIndexes indexes =
        sqlDialectOf(db) == SqlDialect::SQLite ? sqliteIndexes(db, index.table) : odbcIndexes(db, index.table);
    for (auto it = indexes.cbegin(); it != indexes.cend(); ++it) {
        if (it.key().compare(index.name, Qt::CaseInsensitive) == 0 || startsWithColumns(it.value(), index.columns))
            return it.key();
    }
    return {};
}

QStringList addMissingIndexes(QSqlDatabase& db)
{
    const QList<SchemaIndex> indexes = schemaIndexes(sqlDialectOf(db));
    QStringList report;
    if (!db.transaction())
        throw DatabaseError(db.lastError().text());
    try {
        for (const SchemaIndex& index : indexes) {
            const QString definition =
                QStringLiteral("%1 ON %2 (%3)").arg(index.name, index.table, index.columns.join(QStringLiteral(", ")));
            const QString existing = existingIndexFor(db, index);
            if (!existing.isEmpty()) {
                report.append(QStringLiteral("%1: present as %2").arg(definition, existing));
                continue;
            }
            runStatement(db, QStringLiteral("CREATE INDEX ") + definition);
            report.append(QStringLiteral("%1: added").arg(definition));
        }
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!db.commit())
        throw DatabaseError(db.lastError().text());
    return report;
}

void addDemoRows(QSqlDatabase& db)
{
    const QString employee =
        QStringLiteral("INSERT INTO employee (emp_no, emp_name, clock_no, pres_lv) VALUES (?, ?, ?, ?)");
    runStatement(db, employee,
                 {QStringLiteral("A001"), QStringLiteral("王小明"), QStringLiteral("1001"), QStringLiteral("A")});
    runStatement(db, employee,
                 {QStringLiteral("A002"), QStringLiteral("陳美玲"), QStringLiteral("1002"), QStringLiteral("B")});
    runStatement(db, employee, {QStringLiteral("A003"), QStringLiteral("林志豪"), QStringLiteral("1003"), QString()});
    runStatement(db, employee, {QStringLiteral("B001"), QStringLiteral("張雅婷"), QStringLiteral("2001"), QString()});
    runStatement(db,
                 QStringLiteral("INSERT INTO pres_sys (comp, class_no, class_item, days, work1, work2, "
                                "rest1, rest2, week1, week2, hours) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                 {QString(QLatin1String("")), QStringLiteral("01"), QStringLiteral("日班"), 5, QStringLiteral("08:00"),
                  QStringLiteral("17:00"), QStringLiteral("12:00"), QStringLiteral("13:00"), QStringLiteral("1"),
                  QStringLiteral("5"), 8.0});
}

void installSchema(QSqlDatabase& db, SqlDialect dialect, bool withDemoRows)
{
    if (!db.transaction())
        throw DatabaseError(db.lastError().text());
    try {
        createTables(db, dialect);
        if (withDemoRows)
            addDemoRows(db);
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!db.commit())
        throw DatabaseError(db.lastError().text());
}
