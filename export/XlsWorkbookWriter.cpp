#include "XlsWorkbookWriter.h"

#include <QHash>
#include <QIODevice>
#include <QtEndian>

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-utils.h>

#include <algorithm>
#include <functional>
#include <memory>

// The strings of the table, each once, in the order the cells first use them.
struct XlsSharedStrings {
    QStringList unique;
    QHash<QString, quint32> index;
    quint32 total = 0; // of the cells that use them
};

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

quint32 addSharedString(XlsSharedStrings& strings, const QString& text)
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
void appendSst(QByteArray& stream, const XlsSharedStrings& strings)
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

// What the cells of a worksheet need in the globals before them: the texts they refer to and
// their extent. The worksheet is read row by row and each row once, and checked on the way.
struct CellScan {
    qsizetype firstRow = -1;
    qsizetype endRow = 0;
    qsizetype endColumn = 0;
};

CellScan scanCells(const Worksheet& sheet, XlsSharedStrings& strings)
{
    const qsizetype rows = sheet.rowCount();
    CellScan scan;
    for (qsizetype r = 0; r < rows; ++r) {
        const QStringList row = sheet.row(r);
        checkRow(row, r);
        if (row.isEmpty())
            continue;
        if (scan.firstRow < 0)
            scan.firstRow = r;
        scan.endRow = r + 1;
        scan.endColumn = std::max(scan.endColumn, row.size());
        for (const QString& text : row)
            addSharedString(strings, text);
    }
    return scan;
}

constexpr qsizetype cellRecordSize = 4 + 10;

[[noreturn]] void throwSheetChanged()
{
    throw XlsWriteError(QStringLiteral("The worksheet changed while its workbook was written; the file is not complete."));
}

// The cell records of the worksheet, made from its rows read a second time and handed to
// `write` in pieces of at most 64 KiB, so that the file never waits for all of them in memory.
// Rows that no longer give the texts the first reading found are refused.
void writeCells(const Worksheet& sheet, const XlsSharedStrings& strings, const std::function<void(const QByteArray&)>& write)
{
    constexpr qsizetype pieceSize = 64 * 1024;
    const bool textColumns = sheet.textColumnsAtoH();
    const qsizetype rows = sheet.rowCount();
    QByteArray piece;
    piece.reserve(pieceSize);
    QByteArray body;
    quint32 cells = 0;
    for (qsizetype r = 0; r < rows; ++r) {
        const QStringList row = sheet.row(r);
        for (qsizetype c = 0; c < row.size(); ++c) {
            const auto found = strings.index.constFind(row.at(c));
            if (found == strings.index.cend() || ++cells > strings.total)
                throwSheetChanged();
            const bool text = textColumns && c < TextColumns;
            body.clear();
            putU16(body, quint16(r));
            putU16(body, quint16(c));
            putU16(body, text ? TextXf : GeneralXf);
            putU32(body, found.value());
            if (piece.size() + cellRecordSize > pieceSize) {
                write(piece);
                piece.clear();
            }
            appendRecord(piece, LabelSst, body);
        }
    }
    if (cells != strings.total)
        throwSheetChanged();
    write(piece);
}

// The worksheet's substream up to its cells, appended to `stream`.
void appendWorksheetHead(QByteArray& stream, const Worksheet& sheet, const CellScan& cells)
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
// are scanned first, for the strings the globals list, and made when the file is written.
XlsWorkbook::XlsWorkbook(std::shared_ptr<const Worksheet> sheetToKeep)
    : sheet_(std::move(sheetToKeep))
    , strings_(std::make_unique<XlsSharedStrings>())
{
    const Worksheet& sheet = *sheet_;
    checkSheetName(sheet.name());
    if (sheet.rowCount() > xlsMaxRows)
        throw XlsWriteError(QStringLiteral("An .xls worksheet holds at most %1 rows; the table has %2.")
                                .arg(xlsMaxRows)
                                .arg(sheet.rowCount()));
    XlsSharedStrings& strings = *strings_;
    const CellScan cells = scanCells(sheet, strings);

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
    tail_ = worksheetTail();
    const qsizetype size = head_.size() + qsizetype(strings.total) * cellRecordSize + tail_.size();
    if (size < MinStreamSize)
        tail_.append(MinStreamSize - size, '\0');
}

namespace {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GsfPtr = std::unique_ptr<T, GObjectUnref>;

// A GsfOutput that writes to a QIODevice, so that the compound file goes to the device as it is
// put together instead of being held whole in memory first. The compound file's writer seeks
// back to write its header last. It does not look at every answer of its output, so a refused
// write or seek is noted here as well.
struct DeviceOutput {
    GsfOutput output;
    QIODevice* device;
    bool failed;
};
struct DeviceOutputClass {
    GsfOutputClass output_class;
};

G_DEFINE_TYPE(DeviceOutput, device_output, GSF_OUTPUT_TYPE)

DeviceOutput& deviceOutputOf(GsfOutput* output)
{
    return *reinterpret_cast<DeviceOutput*>(output);
}

gboolean noteFailure(GsfOutput* output, bool done)
{
    deviceOutputOf(output).failed = deviceOutputOf(output).failed || !done;
    return done;
}

gboolean deviceWrite(GsfOutput* output, size_t bytes, const guint8* data)
{
    QIODevice& device = *deviceOutputOf(output).device;
    return noteFailure(output, device.write(reinterpret_cast<const char*>(data), qint64(bytes)) == qint64(bytes));
}

// gsf_output_seek has checked the position and sets the output's offset after this succeeds.
gboolean deviceSeek(GsfOutput* output, gsf_off_t offset, GSeekType whence)
{
    const gsf_off_t base = whence == G_SEEK_SET ? 0 : whence == G_SEEK_CUR ? output->cur_offset : output->cur_size;
    return noteFailure(output, deviceOutputOf(output).device->seek(qint64(base + offset)));
}

// The device stays open: it is the caller's.
gboolean deviceClose(GsfOutput*)
{
    return TRUE;
}

void device_output_class_init(DeviceOutputClass* type)
{
    type->output_class.Write = deviceWrite;
    type->output_class.Seek = deviceSeek;
    type->output_class.Close = deviceClose;
}

void device_output_init(DeviceOutput* output)
{
    output->device = nullptr;
    output->failed = false;
}

GsfPtr<GsfOutput> deviceOutput(QIODevice& device)
{
    auto* output = static_cast<DeviceOutput*>(g_object_new(device_output_get_type(), nullptr));
    output->device = &device;
    return GsfPtr<GsfOutput>(&output->output);
}

} // namespace

XlsWorkbook::XlsWorkbook(XlsWorkbook&&) noexcept = default;
XlsWorkbook& XlsWorkbook::operator=(XlsWorkbook&&) noexcept = default;
XlsWorkbook::~XlsWorkbook() = default;

// Writes the OLE2 compound file with the Workbook stream as its one stream to `out`, the cells
// made as they go into it.
void writeXlsWorkbook(QIODevice& out, XlsWorkbook workbook)
{
    static const bool gsfReady = (gsf_init(), true);
    Q_UNUSED(gsfReady);

    const GsfPtr<GsfOutput> sink = deviceOutput(out);
    const GsfPtr<GsfOutfile> root(gsf_outfile_msole_new(sink.get()));
    const GsfPtr<GsfOutput> stream(gsf_outfile_new_child(root.get(), "Workbook", FALSE));
    bool written = bool(stream);
    const auto write = [&](const QByteArray& piece) {
        written = written
            && gsf_output_write(stream.get(), size_t(piece.size()), reinterpret_cast<const guint8*>(piece.constData()));
    };
    write(workbook.head_);
    writeCells(*workbook.sheet_, *workbook.strings_, write);
    write(workbook.tail_);
    // Closing the compound file closes the output below it too.
    written = written && gsf_output_close(stream.get()) && gsf_output_close(GSF_OUTPUT(root.get()))
        && !deviceOutputOf(sink.get()).failed;
    if (!written)
        throw XlsWriteError(QStringLiteral("The .xls file could not be written: %1").arg(out.errorString()));
}

void writeXlsWorkbook(QIODevice& out, const Worksheet& sheet)
{
    writeXlsWorkbook(out, XlsWorkbook::of(sheet));
}

XlsWorkbook XlsWorkbook::of(const Worksheet& sheet)
{
    // Not owned: the worksheet outlives the call that writes it.
    return XlsWorkbook(std::shared_ptr<const Worksheet>(std::shared_ptr<const Worksheet>(), &sheet));
}
