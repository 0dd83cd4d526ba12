#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <stdexcept>

class QIODevice;

// One worksheet of text cells, as it goes into an Excel 97-2003 workbook.
struct SpreadsheetTable {
    QString sheetName = QStringLiteral("Sheet1");
    QList<QStringList> rows;            // every cell is a text cell; row 0 is row 1 of the sheet
    bool textFormatColumnsAtoH = false; // columns A to H carry the number format "@" (text)
};

// The most rows one .xls worksheet holds, the header row included.
constexpr qsizetype xlsMaxRows = 65536;

// A table that an .xls file cannot hold, or a device that refused the bytes. The text is what
// the user sees in the standard error box.
class XlsWriteError : public std::runtime_error {
public:
    explicit XlsWriteError(const QString& text)
        : std::runtime_error(text.toStdString())
    {
    }
};

// Writes `table` as a whole .xls file (BIFF8 in an OLE2 compound file) to `out`, an open device
// such as a QSaveFile. The table is checked before anything is written, so a table that does not
// fit leaves `out` untouched.
void writeXlsWorkbook(QIODevice& out, const SpreadsheetTable& table);
