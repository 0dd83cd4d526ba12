#include "OdbcDataSources.h"

#include <sql.h>
#include <sqlext.h>

#include <array>

bool isOdbcDataSource(const QString& name)
{
    SQLHENV environment = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment)))
        return false;
    SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    bool found = false;
    std::array<SQLCHAR, 256> dsn{};
    std::array<SQLCHAR, 256> description{};
    SQLSMALLINT dsnLength = 0;
    SQLSMALLINT descriptionLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (!found && SQL_SUCCEEDED(SQLDataSources(environment, direction, dsn.data(),
                                                   SQLSMALLINT(dsn.size()), &dsnLength,
                                                   description.data(),
                                                   SQLSMALLINT(description.size()),
                                                   &descriptionLength))) {
        const QString defined = QString::fromLocal8Bit(reinterpret_cast<const char*>(dsn.data()),
                                                       dsnLength);
        found = defined.compare(name, Qt::CaseInsensitive) == 0;
        direction = SQL_FETCH_NEXT;
    }
    SQLFreeHandle(SQL_HANDLE_ENV, environment);
    return found;
}
