#include "EngineFailure.h"

#include "EngineError.h"

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

// Qt's ODBC driver passes the driver's own error number on, not the SQLSTATE; the handle still
// holds it until its next call, so the error is read with it.
DatabaseError failure(const QSqlError& error, const QSqlDriver* driver, const QVariant& handle, SQLSMALLINT handleType)
{
    const QString driverName =
        driver && driver->dbmsType() == QSqlDriver::SQLite ? QStringLiteral("QSQLITE") : QStringLiteral("QODBC");
    const QString state = driverName == QLatin1String("QODBC") ? sqlStateOf(handle, handleType) : QString();
    const QSqlError withState =
        state.isEmpty() ? error : QSqlError(error.driverText(), error.databaseText(), error.type(), state);
    return DatabaseError(engineText(error), engineCause(withState, driverName));
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
