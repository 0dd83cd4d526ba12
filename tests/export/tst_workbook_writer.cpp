#include "XlsWorkbookWriter.h"

#include <QBuffer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int ProcessTimeoutMs = 180000;

SpreadsheetTable punchExport()
{
    SpreadsheetTable table;
    table.rows = {
        {QStringLiteral("卡號"), QStringLiteral("日期"), QStringLiteral("代號"), QStringLiteral("時間")},
        {QStringLiteral("1001"), QStringLiteral("20240503"), QStringLiteral("1"), QStringLiteral("0805")},
        {QStringLiteral("00042"), QStringLiteral("20240503"), QStringLiteral("2"), QStringLiteral("1730")},
    };
    table.textFormatColumnsAtoH = true;
    return table;
}

// Enough distinct strings, some of them longer than a whole record, that the shared string table
// runs through many CONTINUE records, cutting strings of Chinese text and of characters outside
// the BMP (surrogate pairs) at record boundaries.
SpreadsheetTable manyStrings()
{
    SpreadsheetTable table;
    table.rows.append({QStringLiteral("卡號"), QStringLiteral("日期"), QStringLiteral("代號"), QStringLiteral("時間")});
    for (int i = 0; i < 3000; ++i)
        table.rows.append({QString::number(100000 + i), QStringLiteral("2024%1").arg(i, 4, 10, QLatin1Char('0')),
                           QStringLiteral("員工%1").arg(i), QStringLiteral("%1").arg(i % 1440, 4, 10, QLatin1Char('0'))});
    table.rows.append({QStringLiteral("打卡").repeated(10000), QStringLiteral("𠀋").repeated(10000),
                       QStringLiteral("x") + QStringLiteral("𠀋").repeated(9000)});
    table.textFormatColumnsAtoH = true;
    return table;
}

SpreadsheetTable fullSheet()
{
    SpreadsheetTable table;
    for (int i = 0; i < 65536; ++i)
        table.rows.append({QString::number(i), QStringLiteral("20240503"), QStringLiteral("1"), QStringLiteral("0805")});
    table.textFormatColumnsAtoH = true;
    return table;
}

void writeFile(const QString& path, const SpreadsheetTable& table)
{
    QSaveFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    writeXlsWorkbook(file, table);
    QVERIFY(file.commit());
}

// What tests/export/read_xls.py (xlrd) makes of the file; an empty object when the script failed.
QJsonObject readWithXlrd(const QString& path)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(PUNCHCLOCK_SOURCE_DIR "/tests/export/read_xls.py"), path});
    if (!python.waitForFinished(ProcessTimeoutMs) || python.exitStatus() != QProcess::NormalExit
        || python.exitCode() != 0) {
        qWarning().noquote() << python.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

} // namespace

Q_DECLARE_METATYPE(SpreadsheetTable)

class XlsWorkbookWriterTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsBackAsTextCells_data();
    void readsBackAsTextCells();
    void refusesWhatAnXlsCannotHold_data();
    void refusesWhatAnXlsCannotHold();
    void failedWriteThrows();
    void changedWorksheetIsRefused_data();
    void changedWorksheetIsRefused();
    void opensInLibreOffice();

private:
    QTemporaryDir dir_;
};

void XlsWorkbookWriterTest::readsBackAsTextCells_data()
{
    QTest::addColumn<SpreadsheetTable>("table");

    QTest::newRow("punch export, columns A-H as text") << punchExport();

    SpreadsheetTable headerOnly = punchExport();
    headerOnly.rows.resize(1);
    headerOnly.textFormatColumnsAtoH = false;
    QTest::newRow("header only, general format") << headerOnly;

    SpreadsheetTable wide;
    wide.sheetName = QStringLiteral("打卡 2024");
    QStringList all256;
    for (int c = 0; c < 256; ++c)
        all256.append(QStringLiteral("%1").arg(c, 3, 10, QLatin1Char('0')));
    wide.rows = {{QStringLiteral("A"), QString(), QStringLiteral("𠀋")}, {}, all256};
    wide.textFormatColumnsAtoH = true;
    QTest::newRow("256 columns, an empty row, an empty text") << wide;

    QTest::newRow("shared strings past one record") << manyStrings();
    QTest::newRow("65536 rows") << fullSheet();
}

void XlsWorkbookWriterTest::readsBackAsTextCells()
{
    QFETCH(SpreadsheetTable, table);
    const QString path = dir_.filePath(QStringLiteral("table.xls"));
    writeFile(path, table);
    if (QTest::currentTestFailed())
        return;

    const QJsonObject book = readWithXlrd(path);
    QVERIFY(!book.isEmpty());
    QCOMPARE(book.value(QStringLiteral("log")).toString(), QString());
    const QJsonArray sheets = book.value(QStringLiteral("sheets")).toArray();
    QCOMPARE(sheets.size(), 1);
    const QJsonObject sheet = sheets.at(0).toObject();
    QCOMPARE(sheet.value(QStringLiteral("name")).toString(), table.sheetName);

    // Compared whole, so that a failure names the first row that differs.
    QList<QStringList> types, values, formats, expectedTypes, expectedFormats;
    for (const QJsonValue& row : sheet.value(QStringLiteral("rows")).toArray()) {
        QStringList& rowTypes = types.emplaceBack();
        QStringList& rowValues = values.emplaceBack();
        QStringList& rowFormats = formats.emplaceBack();
        for (const QJsonValue& cell : row.toArray()) {
            rowTypes.append(cell[0].toString());
            rowValues.append(cell[1].toString());
            rowFormats.append(cell[2].toString());
        }
    }
    for (const QStringList& row : std::as_const(table.rows)) {
        expectedTypes.append(QStringList(row.size(), QStringLiteral("text")));
        QStringList& rowFormats = expectedFormats.emplaceBack();
        for (qsizetype c = 0; c < row.size(); ++c)
            rowFormats.append(table.textFormatColumnsAtoH && c < 8 ? QStringLiteral("@") : QStringLiteral("General"));
    }
    QCOMPARE(values, table.rows);
    QCOMPARE(types, expectedTypes);
    QCOMPARE(formats, expectedFormats);

    QJsonObject expectedColumns;
    if (table.textFormatColumnsAtoH) {
        for (int c = 0; c < 8; ++c)
            expectedColumns.insert(QString::number(c), QStringLiteral("@"));
    }
    QCOMPARE(sheet.value(QStringLiteral("columnFormats")).toObject(), expectedColumns);
}

void XlsWorkbookWriterTest::refusesWhatAnXlsCannotHold_data()
{
    QTest::addColumn<SpreadsheetTable>("table");

    SpreadsheetTable rows;
    rows.rows = QList<QStringList>(65537, {QStringLiteral("1")});
    QTest::newRow("65537 rows") << rows;

    SpreadsheetTable columns;
    columns.rows = {QStringList(257, QStringLiteral("1"))};
    QTest::newRow("257 columns") << columns;

    SpreadsheetTable longText;
    longText.rows = {{QString(32768, QLatin1Char('x'))}};
    QTest::newRow("32768 characters in a cell") << longText;

    SpreadsheetTable longName;
    longName.sheetName = QString(32, QLatin1Char('s'));
    QTest::newRow("32-character sheet name") << longName;

    SpreadsheetTable slashName;
    slashName.sheetName = QStringLiteral("2024/05");
    QTest::newRow("sheet name with a slash") << slashName;
}

void XlsWorkbookWriterTest::refusesWhatAnXlsCannotHold()
{
    QFETCH(SpreadsheetTable, table);
    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QVERIFY_THROWS_EXCEPTION(XlsWriteError, writeXlsWorkbook(buffer, table));
    QCOMPARE(buffer.size(), 0);
}

void XlsWorkbookWriterTest::failedWriteThrows()
{
    QFile full(QStringLiteral("/dev/full"));
    QVERIFY(full.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    try {
        writeXlsWorkbook(full, punchExport());
        QFAIL("writing to a full device did not throw");
    } catch (const XlsWriteError& error) {
        QVERIFY2(QString::fromUtf8(error.what()).contains(full.errorString()), error.what());
    }
}

// The cells are made from the rows read a second time, when the file is written: rows that
// differ from the first reading would refer to texts the file does not hold.
void XlsWorkbookWriterTest::changedWorksheetIsRefused_data()
{
    QTest::addColumn<int>("change");
    QTest::newRow("a cell's text") << 0;
    QTest::newRow("a row more") << 1;
    QTest::newRow("a row less") << 2;
}

void XlsWorkbookWriterTest::changedWorksheetIsRefused()
{
    QFETCH(int, change);
    const auto table = std::make_shared<SpreadsheetTable>(punchExport());
    XlsWorkbook workbook(table);
    if (change == 0)
        table->rows[1][0] = QStringLiteral("a text not read before");
    else if (change == 1)
        table->rows.append(table->rows.at(1));
    else
        table->rows.removeLast();
    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QVERIFY_THROWS_EXCEPTION(XlsWriteError, writeXlsWorkbook(buffer, std::move(workbook)));
}

void XlsWorkbookWriterTest::opensInLibreOffice()
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        QSKIP("soffice is not installed");
    const QString path = dir_.filePath(QStringLiteral("punch.xls"));
    writeFile(path, punchExport());
    if (QTest::currentTestFailed())
        return;

    QProcess office;
    office.start(soffice, {QStringLiteral("-env:UserInstallation=file://") + dir_.filePath(QStringLiteral("profile")),
                           QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                           QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"), QStringLiteral("--outdir"),
                           dir_.path(), path});
    QVERIFY(office.waitForFinished(ProcessTimeoutMs));
    QCOMPARE(office.exitCode(), 0);

    QFile csv(dir_.filePath(QStringLiteral("punch.csv")));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(csv.readAll()).remove(QLatin1Char('\r')),
             QStringLiteral("卡號,日期,代號,時間\n1001,20240503,1,0805\n00042,20240503,2,1730\n"));
}

QTEST_GUILESS_MAIN(XlsWorkbookWriterTest)
#include "tst_workbook_writer.moc"
