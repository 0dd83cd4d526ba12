#pragma once

#include "DatabaseError.h"

class QSqlDatabase;
class QSqlQuery;

// The error of a failed statement or transaction step, with the engine's own text and what the
// punch may do about it: wait for a busy database (SQLite busy or locked; a serialization
// failure, deadlock or lock time-out of a server) or reopen a lost link (ODBC states of class
// 08 and a server's shutdown of the session). Over ODBC the cause is read from the driver's
// SQLSTATE, which names it in every language the server may speak.
DatabaseError failureOf(const QSqlQuery& failed);
DatabaseError failureOf(const QSqlDatabase& db);
