#include "EngineFailure.h"

#include <QMetaType>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlResult>
#include <QVariant>

#include <sql.h>
#include <sqlext.h>

namespace {

QString engineText(const QSqlError& error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.text().trimmed();
    return text;
}

// The SQLSTATE of the first diagnostic record of a QODBC handle, or empty.
QString sqlStateOf(const QVariant& handle, SQLSMALLINT handleType)
{
    // QODBC hands its handles out as SQLHANDLE, which is a void*.
    if (handle.metaType() != QMetaType::fromType<void*>() && qstrcmp(handle.typeName(), "SQLHANDLE") != 0)
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

DatabaseError::Cause causeOfSqlState(const QString& state)
{
    static const QStringList busy = {
        QStringLiteral("40001"), // serialization failure; SQL Server's deadlock victim
        QStringLiteral("40P01"), // PostgreSQL: deadlock detected
        QStringLiteral("55P03"), // PostgreSQL: lock not available (lock_timeout)
    };
    static const QStringList sessionEnded = {
        QStringLiteral("57P01"), // PostgreSQL: terminated by an administrator (restart, shutdown)
        QStringLiteral("57P02"), // crash shutdown
        QStringLiteral("57P03"), // cannot connect now (starting up)
    };
    if (busy.contains(state))
        return DatabaseError::Cause::Busy;
    if (state.startsWith(QLatin1String("08")) || sessionEnded.contains(state))
        return DatabaseError::Cause::ConnectionLost;
    return DatabaseError::Cause::Other;
}

DatabaseError::Cause causeOfSqliteCode(const QString& nativeCode)
{
    constexpr int sqliteBusy = 5;
    constexpr int sqliteLocked = 6;
    const int primary = nativeCode.toInt() & 0xff; // extended codes keep the primary in the low byte
    return primary == sqliteBusy || primary == sqliteLocked ? DatabaseError::Cause::Busy : DatabaseError::Cause::Other;
}

DatabaseError failure(const QSqlError& error, const QSqlDriver* driver, const QVariant& odbcHandle,
                      SQLSMALLINT handleType)
{
    DatabaseError::Cause cause = DatabaseError::Cause::Other;
    if (driver && driver->dbmsType() == QSqlDriver::SQLite)
        cause = causeOfSqliteCode(error.nativeErrorCode());
    else
        cause = causeOfSqlState(sqlStateOf(odbcHandle, handleType));
    return DatabaseError(engineText(error), cause);
}

} // namespace

DatabaseError failureOf(const QSqlQuery& failed)
{
    const QSqlResult* result = failed.result();
    return failure(failed.lastError(), failed.driver(), result ? result->handle() : QVariant(), SQL_HANDLE_STMT);
}

DatabaseError failureOf(const QSqlDatabase& db)
{
    const QSqlDriver* driver = db.driver();
    return failure(db.lastError(), driver, driver ? driver->handle() : QVariant(), SQL_HANDLE_DBC);
}
