#include "PunchSearch.h"

#include "RecordQuery.h"
#include "SqlText.h"
#include "StagingPacker.h"
#include "Tables.h"

#include <QScopeGuard>

namespace PunchSearch {

FieldDefs fields()
{
    return Tables::only(Tables::clock(),
                        {QStringLiteral("clock_emp"), QStringLiteral("clock_no"), QStringLiteral("clock_dat2"),
                         QStringLiteral("clock_stime2"), QStringLiteral("clock_etime2")});
}

QStringList statement(const QString& kind, const QString& from, const QString& to)
{
    const QString quotedFrom = sqlQuoted(from);
    const QString quotedTo = sqlQuoted(to);
    if (kind == StagingPacker::shiftKind)
        return {QStringLiteral("select * from clock "),
                QStringLiteral("where clock_dat2 >= '") + quotedFrom + QStringLiteral("'"),
                QStringLiteral("and clock_dat2 <= '") + quotedTo + QStringLiteral("'"),
                QStringLiteral("order by clock_dat2")};
    return {QStringLiteral("select pres_emp as clock_emp, pres_emp as clock_no, pres_sdate as "
                           "clock_dat2, pres_etime as clock_etime2, pres_stime as clock_stime2 "
                           "from pre_over "),
            QStringLiteral("where pres_sdate >= '") + quotedFrom + QStringLiteral("'"),
            QStringLiteral("and pres_sdate <= '") + quotedTo + QStringLiteral("'"),
            QStringLiteral("order by pres_sdate")};
}

void run(RecordQuery& query, const QString& kind, const QString& from, const QString& to,
         const ExportProgress& progress)
{
    query.close();
    query.sql() = statement(kind, from, to);
    if (progress)
        query.setReadProgress([&progress](int rowsRead) { reportProgress(progress, rowsRead, 0); });
    const auto forgetProgress = qScopeGuard([&query] { query.setReadProgress({}); });
    query.open();
}

} // namespace PunchSearch
