#pragma once

#include "DatabaseError.h"

class QSqlDatabase;
class QSqlQuery;

// The error of a failed statement or transaction step, with the engine's own text and its
// cause as the record store reads it (busy, link lost). Over ODBC the cause is read from the
// driver's SQLSTATE, which names it whatever language the server speaks.
DatabaseError failureOf(const QSqlQuery& failed);
DatabaseError failureOf(const QSqlDatabase& db);
