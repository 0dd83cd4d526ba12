#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <stdexcept>

class QIODevice;

// One worksheet of text cells, as it goes into an Excel 97-2003 workbook. The writer reads the
// rows in order, once for their texts and once more for the cells, so that rows kept elsewhere
// (a query's, say) need no table of their own.
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

struct XlsSharedStrings;

// A workbook of a worksheet, ready to be written as an .xls file: the worksheet has been read
// once and checked, so that one that does not fit throws XlsWriteError before anything is
// written. Its cells are made from the worksheet's rows, read again, as the file is written:
// the worksheet must then give the same rows.
class XlsWorkbook {
public:
    explicit XlsWorkbook(std::shared_ptr<const Worksheet> sheet);
    // A workbook of a worksheet that the caller keeps until the workbook is written.
    static XlsWorkbook of(const Worksheet& sheet);
    XlsWorkbook(XlsWorkbook&&) noexcept;
    XlsWorkbook& operator=(XlsWorkbook&&) noexcept;
    ~XlsWorkbook();

private:
    friend void writeXlsWorkbook(QIODevice& out, XlsWorkbook workbook);
    std::shared_ptr<const Worksheet> sheet_;
    std::unique_ptr<XlsSharedStrings> strings_;
    QByteArray head_; // the globals, then the worksheet up to its cells
    QByteArray tail_; // the worksheet after its cells
};

// Writes the workbook as a whole .xls file (BIFF8 in an OLE2 compound file) to `out`, an open
// device such as a QSaveFile that can seek. The file goes to `out` as it is put together, its
// cells made on the way: a worksheet that no longer gives the rows it gave when the workbook
// was made throws XlsWriteError, as does a device that refuses the bytes, and leaves a part of
// a file in `out` (which a QSaveFile not committed then drops).
void writeXlsWorkbook(QIODevice& out, XlsWorkbook workbook);
// The same for a worksheet, made into a workbook first; one that does not fit leaves `out`
// untouched.
void writeXlsWorkbook(QIODevice& out, const Worksheet& sheet);
