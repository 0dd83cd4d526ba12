#pragma once

#include "FieldDef.h"

#include <QString>
#include <QStringList>

class RecordQuery;

// The search of the punches of a date range: the shift punches of clock or the overtime punches
// of pre_over, both listed under the five clock fields, so that the staging reads either alike.
namespace PunchSearch {

// clock_emp, clock_no, clock_dat2, clock_stime2 and clock_etime2, as the result declares them.
FieldDefs fields();

// The statement's lines for the kind ("上班" lists clock, any other kind pre_over) and the two
// date texts, which go in as given: dates are compared as text, both bounds included.
QStringList statement(const QString& kind, const QString& from, const QString& to);

// Closes the query, gives it the statement and opens it. Throws DatabaseError.
void run(RecordQuery& query, const QString& kind, const QString& from, const QString& to);

} // namespace PunchSearch
