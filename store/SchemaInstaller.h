#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

enum class SqlDialect { SQLite, PostgreSQL, SqlServer };

// Parses "sqlite", "postgresql" or "sqlserver"; raises DatabaseError for anything else.
SqlDialect sqlDialectNamed(const QString& name);

// Creates the five tables with their keys and indexes in an empty database.
void createTables(QSqlDatabase& db, SqlDialect dialect);

// Adds a few employees with time-card numbers and one shift definition.
void addDemoRows(QSqlDatabase& db);

// The tables, and the demo rows when asked, in one transaction: all of it or nothing.
void installSchema(QSqlDatabase& db, SqlDialect dialect, bool withDemoRows);

// An index that the schema script creates.
struct SchemaIndex {
    QString name;
    QString table;
    QStringList columns;
};

// The indexes of the dialect's schema script, in its order.
QList<SchemaIndex> schemaIndexes(SqlDialect dialect);

// The dialect of an open database: by its driver, and for ODBC by the engine's own name.
SqlDialect sqlDialectOf(QSqlDatabase& db);

// Which index of the schema a table has already: one of the same name, or one whose columns
// start with the same columns in the same order (a site's own index serves the lookups as well).
// Empty when the table has none of them.
QString existingIndexFor(QSqlDatabase& db, const SchemaIndex& index);

// Creates those indexes of the schema that the database lacks, in one transaction, and returns
// what it did, one line an index. It changes no table and no row; a second run adds nothing.
QStringList addMissingIndexes(QSqlDatabase& db);
