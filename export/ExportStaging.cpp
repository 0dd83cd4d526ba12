#include "ExportStaging.h"

#include "RecordQuery.h"
#include "SqlText.h"
#include "StagingPacker.h"

#include <vector>

namespace ExportStaging {

namespace {

struct StagedPunch {
    QString card;
    QString date;
    QString code;
    QString time;
};

// One row per punch time of the listed rows, in search order.
std::vector<StagedPunch> punchesOf(RecordQuery& search, const QString& kind, const ExportProgress& progress)
{
    Field& card = search.fieldByName(QStringLiteral("clock_no"));
    Field& date = search.fieldByName(QStringLiteral("clock_dat2"));
    Field& start = search.fieldByName(QStringLiteral("clock_stime2"));
    Field& end = search.fieldByName(QStringLiteral("clock_etime2"));
    const QString startCode = StagingPacker::startCode(kind);
    const QString endCode = StagingPacker::endCode(kind);
    std::vector<StagedPunch> punches;
    punches.reserve(std::size_t(search.rowCount()) * 2);
    qsizetype done = 0;
    search.first();
    while (!search.eof()) {
        const QString cardText = card.asString();
        const QString packedDate = StagingPacker::packDate(date.asString());
        const QString startText = start.asString();
        const QString endText = end.asString();
        if (!startText.isEmpty())
            punches.push_back({cardText, packedDate, startCode, StagingPacker::packTime(startText)});
        if (!endText.isEmpty())
            punches.push_back({cardText, packedDate, endCode, StagingPacker::packTime(endText)});
        reportProgress(progress, ++done, search.rowCount());
        search.next();
    }
    return punches;
}

} // namespace

const QList<SheetColumn>& sheetColumns()
{
    static const QList<SheetColumn> columns{{QStringLiteral("P01"), QStringLiteral("卡號")},
                                            {QStringLiteral("P02"), QStringLiteral("日期")},
                                            {QStringLiteral("P03"), QStringLiteral("代號")},
                                            {QStringLiteral("P04"), QStringLiteral("時間")}};
    return columns;
}

QStringList sheetHeader()
{
    QStringList titles;
    for (const SheetColumn& column : sheetColumns())
        titles.append(column.title);
    return titles;
}

TooManyRows::TooManyRows(qsizetype punches, qsizetype sheetRows)
    : std::runtime_error(QStringLiteral("The range has %1 punches, %2 rows with the header; an .xls worksheet "
                                        "holds at most %3 rows. Export a shorter range.")
                             .arg(punches)
                             .arg(punches + 1)
                             .arg(sheetRows)
                             .toStdString())
{
}

void stage(RecordQuery& search, RecordQuery& staging, const QString& kind, const ExportProgress& progress)
{
    const std::vector<StagedPunch> punches = punchesOf(search, kind, progress);
    if (qsizetype(punches.size()) + 1 > xlsMaxRows)
        throw TooManyRows(qsizetype(punches.size()), xlsMaxRows);

    const QString tagCondition = QStringLiteral("  where P00='") + sqlQuoted(exportTag) + QStringLiteral("'");
    staging.close();
    staging.sql() = {QStringLiteral("delete  from ptemp "), tagCondition};
    staging.execSql();
    staging.close();
    staging.sql() = {QStringLiteral("select * from ptemp "), tagCondition};
    staging.open();

    Field& tag = staging.fieldByName(QStringLiteral("P00"));
    Field& card = staging.fieldByName(QStringLiteral("P01"));
    Field& date = staging.fieldByName(QStringLiteral("P02"));
    Field& code = staging.fieldByName(QStringLiteral("P03"));
    Field& time = staging.fieldByName(QStringLiteral("P04"));
    for (const StagedPunch& punch : punches) {
        staging.append();
        tag.setAsString(exportTag);
        card.setAsString(punch.card);
        date.setAsString(punch.date);
        code.setAsString(punch.code);
        time.setAsString(punch.time);
    }
    staging.updateBatch();
}

SpreadsheetTable stagedTable(RecordQuery& staging, const QStringList& header, const ExportProgress& progress)
{
    const int columns = int(sheetColumns().size());
    SpreadsheetTable table;
    table.sheetName = QStringLiteral("Sheet1");
    table.rows.reserve(staging.rowCount() + 1);
    table.rows.append(header);
    qsizetype done = 0;
    staging.first();
    while (!staging.eof()) {
        QStringList row;
        row.reserve(columns);
        for (int field = 0; field < columns; ++field)
            row.append(staging.field(field).asString());
        table.rows.append(row);
        reportProgress(progress, ++done, staging.rowCount());
        staging.next();
    }
    // Digit strings stay text; a file with the header alone keeps general columns.
    table.textFormatColumnsAtoH = table.rows.size() > 1;
    return table;
}

} // namespace ExportStaging
