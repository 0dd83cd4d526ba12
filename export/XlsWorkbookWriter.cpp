#include "XlsWorkbookWriter.h"

#include <QHash>
#include <QIODevice>
#include <QtEndian>

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-utils.h>

#include <algorithm>
#include <iterator>
#include <vector>
#include <memory>

namespace {

enum RecordType : quint16 {
    Bof = 0x0809,
    Eof = 0x000A,
    Codepage = 0x0042,
    Window1 = 0x003D,
    Font = 0x0031,
    Xf = 0x00E0,
    Style = 0x0293,
    BoundSheet = 0x0085,
    Sst = 0x00FC,
    Continue = 0x003C,
    ColInfo = 0x007D,
    Dimensions = 0x0200,
    LabelSst = 0x00FD,
    Window2 = 0x023E,
};

constexpr qsizetype MaxRecordBody = 8224; // the most data one BIFF8 record may carry
constexpr qsizetype MaxColumns = 256;
constexpr qsizetype MaxCellText = 32767;
constexpr qsizetype MaxSheetName = 31;
constexpr qsizetype TextColumns = 8; // A to H

// XF 0 to 14 are the style XFs every workbook carries; the cells use one of the two after them.
constexpr quint16 GeneralXf = 15;
constexpr quint16 TextXf = 16;
constexpr quint16 TextFormat = 49; // the built-in number format "@"

// Excel keeps the Workbook stream of its own files in the compound file's regular sectors, which
// a stream of at least 4096 bytes gets; some readers mishandle the small-stream area. Readers
// ignore the zero bytes that pad a short stream after its last EOF record.
constexpr qsizetype MinStreamSize = 4096;

void putU8(QByteArray& body, quint8 value)
{
    body.append(char(value));
}

void putU16(QByteArray& body, quint16 value)
{
    char raw[2];
    qToLittleEndian(value, raw);
    body.append(raw, sizeof raw);
}

void putU32(QByteArray& body, quint32 value)
{
    char raw[4];
    qToLittleEndian(value, raw);
    body.append(raw, sizeof raw);
}

void putUtf16(QByteArray& body, QStringView text)
{
    for (const QChar ch : text)
        putU16(body, ch.unicode());
}

// A string with an 8-bit character count, stored uncompressed (UTF-16).
void putShortString(QByteArray& body, const QString& text)
{
    putU8(body, quint8(text.size()));
    putU8(body, 0x01);
    putUtf16(body, text);
}

void appendRecord(QByteArray& stream, RecordType type, const QByteArray& body)
{
    putU16(stream, type);
    putU16(stream, quint16(body.size()));
    stream.append(body);
}

void appendBof(QByteArray& stream, quint16 substreamType)
{
    QByteArray body;
    putU16(body, 0x0600); // BIFF8
    putU16(body, substreamType);
    putU16(body, 0x0DBB); // build and year of the Excel 97 release
    putU16(body, 0x07CC);
    putU32(body, 0);
    putU32(body, 0x06); // the oldest BIFF version that reads the file: BIFF8
    appendRecord(stream, Bof, body);
}

void appendFont(QByteArray& stream)
{
    QByteArray body;
    putU16(body, 200);    // 10 points, in twips
    putU16(body, 0);      // not italic, not struck out
    putU16(body, 0x7FFF); // the window text colour
    putU16(body, 400);    // normal weight
    putU16(body, 0);      // neither superscript nor subscript
    putU8(body, 0);       // not underlined
    putU8(body, 0);       // family
    putU8(body, 0);       // character set
    putU8(body, 0);
    putShortString(body, QStringLiteral("Arial"));
    appendRecord(stream, Font, body);
}

// typeAndParent: bit 0 locked, bit 2 style XF, bits 4-15 the parent style (0xFFF for a style).
// usedAttributes: the attribute groups this XF sets itself (0x04 is the number format); in style
// XFs a set bit means the group is ignored.
void appendXf(QByteArray& stream, quint16 format, quint16 typeAndParent, quint8 usedAttributes)
{
    QByteArray body;
    putU16(body, 0); // font
    putU16(body, format);
    putU16(body, typeAndParent);
    putU8(body, 0x20); // general horizontal, bottom vertical alignment
    putU8(body, 0);    // no rotation
    putU8(body, 0);    // no indent
    putU8(body, usedAttributes);
    putU32(body, 0); // no borders
    putU32(body, 0); // no pattern
    putU16(body, 0x20C0); // the system's foreground and background colours
    appendRecord(stream, Xf, body);
}

// The strings of the table, each once, in the order the cells first use them.
struct SharedStrings {
    QStringList unique;
    QHash<QString, quint32> index;
    quint32 total = 0;
};

quint32 addSharedString(SharedStrings& strings, const QString& text)
{
    ++strings.total;
    auto it = strings.index.constFind(text);
    if (it == strings.index.cend()) {
        it = strings.index.insert(text, quint32(strings.unique.size()));
        strings.unique.append(text);
    }
    return it.value();
}

// SST, followed by CONTINUE records when the strings pass the record size limit. A string's
// count and flags share a record with at least its first character; a string that goes on in
// the next record continues there after a repeated flags byte, and is never cut inside a
// surrogate pair (readers decode each record's part on its own).
void appendSst(QByteArray& stream, const SharedStrings& strings)
{
    constexpr quint8 Uncompressed = 0x01;
    QByteArray body;
    putU32(body, strings.total);
    putU32(body, quint32(strings.unique.size()));
    RecordType type = Sst;
    const auto flush = [&] {
        appendRecord(stream, type, body);
        body.clear();
        type = Continue;
    };
    for (const QString& text : strings.unique) {
        if (body.size() + 3 + 4 > MaxRecordBody)
            flush();
        putU16(body, quint16(text.size()));
        putU8(body, Uncompressed);
        qsizetype pos = 0;
        for (;;) {
            qsizetype end = std::min(text.size(), pos + (MaxRecordBody - body.size()) / 2);
            if (end < text.size() && text.at(end - 1).isHighSurrogate())
                --end;
            putUtf16(body, QStringView(text).sliced(pos, end - pos));
            pos = end;
            if (pos == text.size())
                break;
            flush();
            putU8(body, Uncompressed);
        }
    }
    flush();
}

void checkSheetName(const QString& name)
{
    const bool badName = name.isEmpty() || name.size() > MaxSheetName
        || name.startsWith(QLatin1Char('\'')) || name.endsWith(QLatin1Char('\''))
        || std::any_of(name.begin(), name.end(),
                       [](QChar ch) { return QStringLiteral(":\\/?*[]").contains(ch); });
    if (badName)
        throw XlsWriteError(QStringLiteral("The sheet name '%1' is not allowed: a sheet name has 1 "
                                           "to %2 characters, none of : \\ / ? * [ ], and does not "
                                           "begin or end with an apostrophe.")
                                .arg(name)
                                .arg(MaxSheetName));
}

void checkRow(const QStringList& row, qsizetype r)
{
    if (row.size() > MaxColumns)
        throw XlsWriteError(QStringLiteral("An .xls worksheet holds at most %1 columns; row %2 has %3.")
                                .arg(MaxColumns)
                                .arg(r + 1)
                                .arg(row.size()));
    for (qsizetype c = 0; c < row.size(); ++c) {
        if (row.at(c).size() > MaxCellText)
            throw XlsWriteError(QStringLiteral("An .xls cell holds at most %1 characters; the cell "
                                               "in row %2, column %3 has %4.")
                                    .arg(MaxCellText)
                                    .arg(r + 1)
                                    .arg(c + 1)
                                    .arg(row.at(c).size()));
    }
}

// The cell records of the worksheet, read row by row and each row once; fills `strings` with
// the texts they refer to and the extent of the cells. The records are kept in pieces that go
// into the file one by one, each released once it is there.
struct Cells {
    std::vector<QByteArray> records;
    qsizetype firstRow = -1;
    qsizetype endRow = 0;
    qsizetype endColumn = 0;
};

Cells cellsOf(const Worksheet& sheet, SharedStrings& strings)
{
    constexpr qsizetype pieceSize = 64 * 1024;
    const bool textColumns = sheet.textColumnsAtoH();
    const qsizetype rows = sheet.rowCount();
    Cells cells;
    QByteArray body;
    for (qsizetype r = 0; r < rows; ++r) {
        const QStringList row = sheet.row(r);
        checkRow(row, r);
        if (row.isEmpty())
            continue;
        if (cells.firstRow < 0)
            cells.firstRow = r;
        cells.endRow = r + 1;
        cells.endColumn = std::max(cells.endColumn, row.size());
        for (qsizetype c = 0; c < row.size(); ++c) {
            const bool text = textColumns && c < TextColumns;
            body.clear();
            putU16(body, quint16(r));
            putU16(body, quint16(c));
            putU16(body, text ? TextXf : GeneralXf);
            putU32(body, addSharedString(strings, row.at(c)));
            if (cells.records.empty() || cells.records.back().size() + 4 + body.size() > pieceSize) {
                cells.records.emplace_back();
                cells.records.back().reserve(pieceSize);
            }
            appendRecord(cells.records.back(), LabelSst, body);
        }
    }
    return cells;
}

// The worksheet's substream up to its cells, appended to `stream`.
void appendWorksheetHead(QByteArray& stream, const Worksheet& sheet, const Cells& cells)
{
    appendBof(stream, 0x0010);

    if (sheet.textColumnsAtoH()) {
        QByteArray body;
        putU16(body, 0);
        putU16(body, TextColumns - 1);
        putU16(body, 0x0924); // Excel's default width, 1/256 of a character
        putU16(body, TextXf);
        putU16(body, 0);
        putU16(body, 0);
        appendRecord(stream, ColInfo, body);
    }

    QByteArray dimensions;
    putU32(dimensions, quint32(std::max<qsizetype>(cells.firstRow, 0)));
    putU32(dimensions, quint32(cells.endRow));
    putU16(dimensions, 0);
    putU16(dimensions, quint16(cells.endColumn));
    putU16(dimensions, 0);
    appendRecord(stream, Dimensions, dimensions);
}

// The worksheet's substream after its cells.
QByteArray worksheetTail()
{
    QByteArray stream;
    QByteArray window;
    putU16(window, 0x06B6); // grid, headers, zeros, outline symbols shown; the sheet selected
    putU16(window, 0);      // top row
    putU16(window, 0);      // left column
    putU16(window, 64);     // the system's grid line colour
    putU16(window, 0);
    putU16(window, 0); // zoom of the page break preview: default
    putU16(window, 0); // zoom of the normal view: default
    putU32(window, 0);
    appendRecord(stream, Window2, window);

    appendRecord(stream, Eof, {});
    return stream;
}

} // namespace

// The workbook globals followed by the worksheet, as the Workbook stream holds them. The cells
// come first, for the strings the globals list.
XlsWorkbook::XlsWorkbook(const Worksheet& sheet)
{
    checkSheetName(sheet.name());
    if (sheet.rowCount() > xlsMaxRows)
        throw XlsWriteError(QStringLiteral("An .xls worksheet holds at most %1 rows; the table has %2.")
                                .arg(xlsMaxRows)
                                .arg(sheet.rowCount()));
    SharedStrings strings;
    Cells cells = cellsOf(sheet, strings);

    QByteArray& stream = head_;
    appendBof(stream, 0x0005);

    QByteArray codepage;
    putU16(codepage, 1200); // UTF-16
    appendRecord(stream, Codepage, codepage);

    QByteArray window;
    putU16(window, 0);      // position and size of the window, in twips
    putU16(window, 0);
    putU16(window, 0x4000);
    putU16(window, 0x2000);
    putU16(window, 0x0038); // scroll bars and sheet tabs shown
    putU16(window, 0);      // the active sheet
    putU16(window, 0);      // the first visible tab
    putU16(window, 1);      // one sheet selected
    putU16(window, 600);    // tab bar width, per mille
    appendRecord(stream, Window1, window);

    // Font index 4 does not exist in BIFF, so five records give indices 0 to 3 and 5, the
    // minimum Excel expects.
    for (int i = 0; i < 5; ++i)
        appendFont(stream);

    appendXf(stream, 0, 0xFFF5, 0x00); // the Normal style
    for (int i = 1; i < 15; ++i)
        appendXf(stream, 0, 0xFFF5, 0xF4);
    appendXf(stream, 0, 0x0001, 0x00);          // GeneralXf
    appendXf(stream, TextFormat, 0x0001, 0x04); // TextXf

    QByteArray style;
    putU16(style, 0x8000); // built-in style on XF 0
    putU8(style, 0);       // Normal
    putU8(style, 0xFF);
    appendRecord(stream, Style, style);

    QByteArray boundSheet;
    putU32(boundSheet, 0); // the worksheet's offset, set once the globals are complete
    putU8(boundSheet, 0);  // visible
    putU8(boundSheet, 0);  // worksheet
    putShortString(boundSheet, sheet.name());
    const qsizetype sheetOffsetAt = stream.size() + 4;
    appendRecord(stream, BoundSheet, boundSheet);

    appendSst(stream, strings);
    appendRecord(stream, Eof, {});

    qToLittleEndian(quint32(stream.size()), stream.data() + sheetOffsetAt);
    appendWorksheetHead(stream, sheet, cells);
    cells_ = std::move(cells.records);
    tail_ = worksheetTail();
    qsizetype size = head_.size() + tail_.size();
    for (const QByteArray& piece : cells_)
        size += piece.size();
    if (size < MinStreamSize)
        tail_.append(MinStreamSize - size, '\0');
}

namespace {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GsfPtr = std::unique_ptr<T, GObjectUnref>;

// Writes the OLE2 compound file with the workbook's pieces as its one stream, "Workbook", to
// `out`. Each piece is released once the compound file holds it, and the file goes to `out`
// from there.
void writeCompoundFile(QIODevice& out, std::vector<QByteArray> pieces)
{
    static const bool gsfReady = (gsf_init(), true);
    Q_UNUSED(gsfReady);

    const GsfPtr<GsfOutput> sink(gsf_output_memory_new());
    const GsfPtr<GsfOutfile> root(gsf_outfile_msole_new(sink.get()));
    const GsfPtr<GsfOutput> stream(gsf_outfile_new_child(root.get(), "Workbook", FALSE));
    bool written = bool(stream);
    for (QByteArray& piece : pieces) {
        written = written
            && gsf_output_write(stream.get(), size_t(piece.size()), reinterpret_cast<const guint8*>(piece.constData()));
        piece = QByteArray();
    }
    written = written && gsf_output_close(stream.get()) && gsf_output_close(GSF_OUTPUT(root.get()));
    if (!written)
        throw XlsWriteError(QStringLiteral("The .xls file could not be put together in memory."));
    const auto* bytes = reinterpret_cast<const char*>(gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink.get())));
    const qint64 size = qint64(gsf_output_size(sink.get()));
    if (out.write(bytes, size) != size)
        throw XlsWriteError(QStringLiteral("The .xls file could not be written: %1").arg(out.errorString()));
}

} // namespace

void writeXlsWorkbook(QIODevice& out, XlsWorkbook workbook)
{
    std::vector<QByteArray> pieces;
    pieces.reserve(workbook.cells_.size() + 2);
    pieces.push_back(std::move(workbook.head_));
    std::move(workbook.cells_.begin(), workbook.cells_.end(), std::back_inserter(pieces));
    workbook.cells_.clear();
    pieces.push_back(std::move(workbook.tail_));
    writeCompoundFile(out, std::move(pieces));
}

void writeXlsWorkbook(QIODevice& out, const Worksheet& sheet)
{
    writeXlsWorkbook(out, XlsWorkbook(sheet));
}
