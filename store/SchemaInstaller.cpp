#include "SchemaInstaller.h"

#include "DatabaseError.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariantList>

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

void createTables(QSqlDatabase& db, SqlDialect dialect)
{
    Q_INIT_RESOURCE(schema);
    const char* file = dialect == SqlDialect::SQLite       ? ":/schema/sqlite.sql"
                       : dialect == SqlDialect::PostgreSQL ? ":/schema/postgresql.sql"
                                                           : ":/schema/sqlserver.sql";
    QFile script(QString::fromLatin1(file));
    if (!script.open(QIODevice::ReadOnly | QIODevice::Text))
        throw DatabaseError(QStringLiteral("The schema script %1 is missing").arg(script.fileName()));
    const QString text = QString::fromUtf8(script.readAll());
    for (const QString& statement : text.split(QStringLiteral("\n;"), Qt::SkipEmptyParts)) {
        QString body;
        for (const QString& line : statement.split(QLatin1Char('\n'))) {
            if (!line.trimmed().startsWith(QStringLiteral("--")))
                body += line + QLatin1Char('\n');
        }
        if (!body.trimmed().isEmpty())
            runStatement(db, body.trimmed());
    }
}

void addDemoRows(QSqlDatabase& db)
{
    const QString employee = QStringLiteral(
        "INSERT INTO employee (emp_no, emp_name, clock_no, pres_lv) VALUES (?, ?, ?, ?)");
    runStatement(db, employee, {QStringLiteral("A001"), QStringLiteral("王小明"), QStringLiteral("1001"), QStringLiteral("A")});
    runStatement(db, employee, {QStringLiteral("A002"), QStringLiteral("陳美玲"), QStringLiteral("1002"), QStringLiteral("B")});
    runStatement(db, employee, {QStringLiteral("A003"), QStringLiteral("林志豪"), QStringLiteral("1003"), QString()});
    runStatement(db, employee, {QStringLiteral("B001"), QStringLiteral("張雅婷"), QStringLiteral("2001"), QString()});
    runStatement(db,
                 QStringLiteral("INSERT INTO pres_sys (comp, class_no, class_item, days, work1, work2, "
                                "rest1, rest2, week1, week2, hours) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                 {QString(QLatin1String("")), QStringLiteral("01"), QStringLiteral("日班"), 5,
                  QStringLiteral("08:00"), QStringLiteral("17:00"), QStringLiteral("12:00"),
                  QStringLiteral("13:00"), QStringLiteral("1"), QStringLiteral("5"), 8.0});
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
