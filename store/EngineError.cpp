#include "EngineError.h"

#include <QMetaType>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QSqlResult>
#include <QStringList>
#include <QVariant>

#include <algorithm>

#include <sql.h>
#include <sqlext.h>

namespace {

// SQLite gives its result code; the primary code is its low byte.
constexpr int sqliteBusy = 5;
constexpr int sqliteLocked = 6;
constexpr int sqliteIoError = 10;
constexpr int sqliteCantOpen = 14;

DatabaseError::Cause sqliteCause(int code)
{
    switch (code & 0xff) {
    case sqliteBusy:
    case sqliteLocked:
        return DatabaseError::Cause::Busy;
    case sqliteIoError:
    case sqliteCantOpen:
        return DatabaseError::Cause::ConnectionLost;
    default:
        return DatabaseError::Cause::Other;
    }
}

// Some ODBC drivers give SQLSTATEs, several joined by ';'.
DatabaseError::Cause sqlStateCause(const QStringList& states)
{
    for (const QString& state : states) {
        // Class 08 is a connection exception; 57P01 to 57P03 a server shutting down or starting.
        if (state.startsWith(QLatin1String("08")) || state == QLatin1String("57P01") ||
            state == QLatin1String("57P02") || state == QLatin1String("57P03"))
            return DatabaseError::Cause::ConnectionLost;
        // Serialization failure, deadlock, and PostgreSQL's lock not available.
        if (state == QLatin1String("40001") || state == QLatin1String("40P01") || state == QLatin1String("55P03"))
            return DatabaseError::Cause::Busy;
    }
    return DatabaseError::Cause::Other;
}

// Others give their own numbers, so the servers' and the drivers' wording is read instead.
DatabaseError::Cause textCause(const QString& text)
{
    static const char* const lostLink[] = {
        "server closed the connection unexpectedly",      // PostgreSQL's client library
        "terminating connection due to administrator command",
        "no connection to the server",
        "could not receive data from server",
        "could not send data to server",
        "Communication link failure",                      // SQL Server drivers
    };
    static const char* const busy[] = {
        "deadlock detected",                               // PostgreSQL
        "could not serialize access",
        "canceling statement due to lock timeout",
        "was deadlocked on lock resources",                // SQL Server
        "Lock request time out period exceeded",
    };
    for (const char* phrase : lostLink) {
        if (text.contains(QLatin1String(phrase), Qt::CaseInsensitive))
            return DatabaseError::Cause::ConnectionLost;
    }
    for (const char* phrase : busy) {
        if (text.contains(QLatin1String(phrase), Qt::CaseInsensitive))
            return DatabaseError::Cause::Busy;
    }
    return DatabaseError::Cause::Other;
}

bool isSqlStateList(const QStringList& codes)
{
    return !codes.isEmpty() && std::all_of(codes.begin(), codes.end(), [](const QString& code) {
        return code.size() == 5 && std::all_of(code.begin(), code.end(), [](QChar c) {
            return c.isDigit() || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
        });
    });
}

} // namespace

QString engineText(const QSqlError& error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.text().trimmed();
    return text;
}

DatabaseError::Cause engineCause(const QSqlError& error, const QString& driverName, const QString& sqlState)
{
    const QString code = error.nativeErrorCode().trimmed();
    if (driverName == QLatin1String("QSQLITE"))
        return sqliteCause(code.toInt());
    QStringList codes = sqlState.isEmpty() ? code.toUpper().split(QLatin1Char(';'), Qt::SkipEmptyParts)
                                           : QStringList{sqlState};
    const DatabaseError::Cause byState =
        isSqlStateList(codes) ? sqlStateCause(codes) : DatabaseError::Cause::Other;
    return byState != DatabaseError::Cause::Other ? byState : textCause(engineText(error));
}

namespace {

// The SQLSTATE of the first diagnostic record of a QODBC handle, or empty. The driver keeps
// a failed call's records until the handle's next call.
QString sqlStateOf(const QVariant& handle, SQLSMALLINT handleType)
{
    if (handle.metaType() != QMetaType::fromType<SQLHANDLE>())
        return {};
    const SQLHANDLE odbcHandle = *static_cast<const SQLHANDLE*>(handle.constData());
    if (!odbcHandle)
        return {};
    SQLCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
    SQLINTEGER nativeCode = 0;
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(handleType, odbcHandle, 1, state, &nativeCode, nullptr, 0, &length)))
        return {};
    return QString::fromLatin1(reinterpret_cast<const char*>(state));
}

DatabaseError errorOf(const QSqlError& error, const QSqlDriver* driver, const QVariant& handle, SQLSMALLINT handleType)
{
    const QString driverName = driver && driver->dbmsType() == QSqlDriver::SQLite ? QStringLiteral("QSQLITE")
                                                                                    : QStringLiteral("QODBC");
    const QString state = driverName == QLatin1String("QODBC") ? sqlStateOf(handle, handleType) : QString();
    return DatabaseError(engineText(error), engineCause(error, driverName, state));
}

} // namespace

DatabaseError engineError(const QSqlQuery& failed)
{
    const QSqlResult* result = failed.result();
    return errorOf(failed.lastError(), failed.driver(), result ? result->handle() : QVariant(), SQL_HANDLE_STMT);
}

DatabaseError engineError(const QSqlDatabase& db)
{
    const QSqlDriver* driver = db.driver();
    return errorOf(db.lastError(), driver, driver ? driver->handle() : QVariant(), SQL_HANDLE_DBC);
}
