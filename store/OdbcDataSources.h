#pragma once

#include <QString>

// Whether an ODBC data source of that name is defined in the user's or the system's odbc.ini.
bool isOdbcDataSource(const QString& name);
