#include "ExportStaging.h"

#include "RecordQuery.h"
#include "SqlText.h"
#include "StagingPacker.h"


namespace ExportStaging {

namespace {

// The fields of the listing that a staged punch is made from.
struct ListedPunch {
    explicit ListedPunch(RecordQuery& search)
        : card(search.fieldByName(QStringLiteral("clock_no")))
        , date(search.fieldByName(QStringLiteral("clock_dat2")))
        , start(search.fieldByName(QStringLiteral("clock_stime2")))
        , end(search.fieldByName(QStringLiteral("clock_etime2")))
    {
    }
    Field& card;
    Field& date;
    Field& start;
    Field& end;
};

// How many punch times the listed rows hold, walking them with `progress`, which may cancel.
qsizetype punchCount(RecordQuery& search, const ExportProgress& progress)
{
    const ListedPunch listed(search);
    qsizetype punches = 0;
    qsizetype done = 0;
    search.first();
    while (!search.eof()) {
        punches += (listed.start.asString().isEmpty() ? 0 : 1) + (listed.end.asString().isEmpty() ? 0 : 1);
        reportProgress(progress, ++done, search.rowCount());
        search.next();
    }
    return punches;
}

// The staged rows under the header as a worksheet, read from the staging query's rows as the
// writer asks for them. The writer reads them twice, for the texts and then for the cells:
// the progress is told of the first reading, as the file's work then only remains.
class StagedSheet : public Worksheet {
public:
    StagedSheet(const RecordQuery& staging, const QStringList& header, const ExportProgress& progress)
        : staging_(staging)
        , header_(header)
        , progress_(progress)
    {
    }

    QString name() const override { return QStringLiteral("Sheet1"); }
    // Digit strings stay text; a file with the header alone keeps general columns.
    bool textColumnsAtoH() const override { return staging_.rowCount() > 0; }
    qsizetype rowCount() const override { return staging_.rowCount() + 1; }
    QStringList row(qsizetype index) const override
    {
        if (index == 0)
            return header_;
        const int stagedRow = int(index - 1);
        QStringList cells;
        cells.reserve(columns_);
        for (int field = 0; field < columns_; ++field)
            cells.append(staging_.textAt(stagedRow, field));
        if (index > reported_) {
            reported_ = index;
            reportProgress(progress_, index, staging_.rowCount());
        }
        return cells;
    }

private:
    const RecordQuery& staging_;
    const QStringList header_;
    const ExportProgress progress_;
    mutable qsizetype reported_ = 0;
    const int columns_ = int(sheetColumns().size());
};

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
    const qsizetype punches = punchCount(search, progress);
    if (punches + 1 > xlsMaxRows)
        throw TooManyRows(punches, xlsMaxRows);

    const QString tagCondition = QStringLiteral("  where P00='") + sqlQuoted(exportTag) + QStringLiteral("'");
    staging.close();
    staging.sql() = {QStringLiteral("delete  from ptemp "), tagCondition};
    staging.execSql();
    staging.close();
    staging.sql() = {QStringLiteral("select * from ptemp "), tagCondition};
    staging.open();
    // The grids of the staging show the rows once they are all written, not row by row.
    const RecordQuery::HeldSignals oneUpdate(staging);
    staging.reserve(int(punches));

    Field& tag = staging.fieldByName(QStringLiteral("P00"));
    Field& card = staging.fieldByName(QStringLiteral("P01"));
    Field& date = staging.fieldByName(QStringLiteral("P02"));
    Field& code = staging.fieldByName(QStringLiteral("P03"));
    Field& time = staging.fieldByName(QStringLiteral("P04"));
    const QString startCode = StagingPacker::startCode(kind);
    const QString endCode = StagingPacker::endCode(kind);
    // The staged rows are made straight from the listing, which nothing changes meanwhile: a
    // second copy of every punch would only raise the peak memory of the export.
    const ListedPunch listed(search);
    const auto stagePunch = [&](const QString& cardText, const QString& packedDate, const QString& punchCode,
                                const QString& punchTime) {
        staging.append();
        tag.setAsString(exportTag);
        card.setAsString(cardText);
        date.setAsString(packedDate);
        code.setAsString(punchCode);
        time.setAsString(StagingPacker::packTime(punchTime));
    };
    search.first();
    while (!search.eof()) {
        const QString cardText = listed.card.asString();
        const QString packedDate = StagingPacker::packDate(listed.date.asString());
        const QString startText = listed.start.asString();
        const QString endText = listed.end.asString();
        if (!startText.isEmpty())
            stagePunch(cardText, packedDate, startCode, startText);
        if (!endText.isEmpty())
            stagePunch(cardText, packedDate, endCode, endText);
        search.next();
    }
    staging.updateBatch();
}

XlsWorkbook stagedWorkbook(const RecordQuery& staging, const QStringList& header, const ExportProgress& progress)
{
    return XlsWorkbook(std::make_shared<StagedSheet>(staging, header, progress));
}

} // namespace ExportStaging
