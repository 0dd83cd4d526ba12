#pragma once

#include "ExportProgress.h"
#include "XlsWorkbookWriter.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <stdexcept>

class RecordQuery;

// The staging of the listed punches into ptemp, and the spreadsheet table made from the staged
// rows: one row per punch time under the export tag, with the date and time packed into digits
// and the punch code of the kind.
namespace ExportStaging {

// What P00 holds in every row of the export; rows of ptemp with another P00 are never touched.
inline const QString exportTag = QStringLiteral("卡鐘匯檔");

// The staging fields that become the spreadsheet's columns A to D, with the titles of its header.
struct SheetColumn {
    QString field;
    QString title;
};
const QList<SheetColumn>& sheetColumns();

// A range whose punches do not fit in one worksheet, refused before anything is staged.
class TooManyRows : public std::runtime_error {
public:
    TooManyRows(qsizetype punches, qsizetype sheetRows);
};

// Replaces the export rows of ptemp by the punches listed in `search` (the five clock fields),
// with the punch codes of `kind`, and leaves `staging` open on the new rows in search order, the
// start punch of a listed row before its end punch.
//
// The listed rows are walked first, reporting to `progress`, which may cancel; nothing is
// written until then. A range whose punches and header exceed one worksheet throws TooManyRows,
// before anything is written too. Then the old export rows are deleted and the new ones written
// in one batch. Throws DatabaseError, also when `search` is closed.
void stage(RecordQuery& search, RecordQuery& staging, const QString& kind, const ExportProgress& progress = {});

// The workbook of the staged rows under the header, the first four fields of each row as text
// cells; columns A to H are text columns when there is a data row. `progress` is told of the
// rows as they go into the workbook, and may cancel. The workbook reads the staging query's
// rows again when it is written: they must stay until then.
XlsWorkbook stagedWorkbook(const RecordQuery& staging, const QStringList& header, const ExportProgress& progress = {});

// The titles of sheetColumns(), as the header of stagedWorkbook().
QStringList sheetHeader();

} // namespace ExportStaging
