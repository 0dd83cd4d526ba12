#pragma once

#include "ExportProgress.h"
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

// Closes the query, gives it the statement and opens it, reporting the rows read to `progress`
// (with a total of 0: the count is not known before the end). Throws DatabaseError, or
// ExportCancelled when the progress asks to stop; the query is then closed.
void run(RecordQuery& query, const QString& kind, const QString& from, const QString& to,
         const ExportProgress& progress = {});

} // namespace PunchSearch
