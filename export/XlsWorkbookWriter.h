#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <stdexcept>
#include <vector>

class QIODevice;

// One worksheet of text cells, as it goes into an Excel 97-2003 workbook. The writer reads each
// row once, in order, so that rows kept elsewhere (a query's, say) need no table of their own.
class Worksheet {
public:
    virtual ~Worksheet() = default;
    virtual QString name() const = 0;
    virtual bool textColumnsAtoH() const = 0; // columns A to H carry the number format "@" (text)
    virtual qsizetype rowCount() const = 0;
    virtual QStringList row(qsizetype index) const = 0; // row 0 is row 1 of the sheet
};

// A worksheet held as a table.
struct SpreadsheetTable : Worksheet {
    QString sheetName = QStringLiteral("Sheet1");
    QList<QStringList> rows;            // every cell is a text cell; row 0 is row 1 of the sheet
    bool textFormatColumnsAtoH = false; // columns A to H carry the number format "@" (text)

    QString name() const override { return sheetName; }
    bool textColumnsAtoH() const override { return textFormatColumnsAtoH; }
    qsizetype rowCount() const override { return rows.size(); }
    QStringList row(qsizetype index) const override { return rows.at(index); }
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

// A workbook made in memory from a worksheet, ready to be written as an .xls file: the BIFF8
// Workbook stream, about as large as the file, its cells in pieces. The worksheet is checked as it is read, so that
// one that does not fit throws XlsWriteError before anything is written.
class XlsWorkbook {
public:
    explicit XlsWorkbook(const Worksheet& sheet);

private:
    friend void writeXlsWorkbook(QIODevice& out, XlsWorkbook workbook);
    QByteArray head_;              // the globals, then the worksheet up to its cells
    std::vector<QByteArray> cells_; // the cell records
    QByteArray tail_;              // the rest of the worksheet
};

// Writes the workbook as a whole .xls file (BIFF8 in an OLE2 compound file) to `out`, an open
// device such as a QSaveFile. The workbook's memory goes as the file is put together.
void writeXlsWorkbook(QIODevice& out, XlsWorkbook workbook);
// The same for a worksheet, made into a workbook first; one that does not fit leaves `out`
// untouched.
void writeXlsWorkbook(QIODevice& out, const Worksheet& sheet);
