#pragma once

#include "DatabaseError.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

// The engine's own wording of an error, as the user sees it.
QString engineText(const QSqlError& error);

// What an engine's error means to the caller: SQLite's busy and locked results and the
// server's serialization failures and deadlocks are Busy; a link the server or the network
// dropped is ConnectionLost. The Qt driver ("QSQLITE", "QODBC") tells how to read the code.
DatabaseError::Cause engineCause(const QSqlError& error, const QString& driverName);

DatabaseError engineError(const QSqlError& error, const QSqlDatabase& db);
