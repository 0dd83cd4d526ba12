#pragma once

#include <QSqlDatabase>
#include <QString>

enum class SqlDialect { SQLite, PostgreSQL, SqlServer };

// Parses "sqlite", "postgresql" or "sqlserver"; raises DatabaseError for anything else.
SqlDialect sqlDialectNamed(const QString& name);

// Creates the five tables with their keys and indexes in an empty database.
void createTables(QSqlDatabase& db, SqlDialect dialect);

// Adds a few employees with time-card numbers and one shift definition.
void addDemoRows(QSqlDatabase& db);

// The tables, and the demo rows when asked, in one transaction: all of it or nothing.
void installSchema(QSqlDatabase& db, SqlDialect dialect, bool withDemoRows);
