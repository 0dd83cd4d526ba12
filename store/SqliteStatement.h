#pragma once

#include <QByteArray>
#include <QLatin1StringView>
#include <QString>
#include <QVariant>

#include <vector>

class QSqlDatabase;
struct sqlite3;
struct sqlite3_stmt;

// A statement prepared on the SQLite connection below a QSQLITE database, for a write that a
// batch runs once per row. Values are bound by position the way Qt's SQLite driver binds them,
// without the driver's placeholder names and hash made anew for every value. It runs inside
// whatever transaction the database has open. Errors are DatabaseError, with the engine's text
// and its cause as for the driver's own statements.
class SqliteStatement {
public:
    // Whether `db` is open on Qt's SQLite driver, whose handle is the system's SQLite library.
    static bool supports(const QSqlDatabase& db);
    // That library's connection below `db`, or null when `db` is no open SQLite database.
    static sqlite3* handleOf(const QSqlDatabase& db);

    SqliteStatement(const QSqlDatabase& db, const QString& text);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Binds `value` to the parameter at `position` (the first is 0) until it is bound anew.
    void bind(int position, const QVariant& value);
    // Binds a text that must stay where it is until the statement has run; one of ASCII
    // characters only goes to SQLite as it is, without a conversion or a copy.
    void bindLatin1(int position, QLatin1StringView text);
    // Runs the statement with the values bound.
    void run();
    // The rowid of the row the last insert on the connection added, as Qt's driver gives it.
    QVariant lastInsertId() const;

private:
    [[noreturn]] void fail(int code) const;
    void bindUtf8(int position, const QString& text);

    sqlite3* connection_ = nullptr;
    sqlite3_stmt* statement_ = nullptr;
    std::vector<QByteArray> boundTexts_; // the UTF-8 of the texts bound, by position

};
