#pragma once

#include "DatabaseError.h"

#include <QSqlError>
#include <QString>

class QSqlDatabase;
class QSqlQuery;

// The engine's own wording of an error, as the user sees it.
QString engineText(const QSqlError& error);

// What an engine's error means to the caller: SQLite's busy and locked results and the
// servers' serialization failures, deadlocks and lock time-outs are Busy; a link the server
// or the network dropped is ConnectionLost. The Qt driver ("QSQLITE", "QODBC") tells how to
// read the code; over ODBC the SQLSTATE, when known, names the cause in every language the
// server may speak, and the servers' English wording stands in for it otherwise.
DatabaseError::Cause engineCause(const QSqlError& error, const QString& driverName, const QString& sqlState = {});

// The error of a failed statement, or of a failed step of the connection (a transaction's
// begin or commit), with its text and cause.
DatabaseError engineError(const QSqlQuery& failed);
DatabaseError engineError(const QSqlDatabase& db);
