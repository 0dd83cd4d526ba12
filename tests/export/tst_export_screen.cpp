#include "Connection.h"
#include "FtpTestServer.h"
#include "LocalClock.h"
#include "OtherProgram.h"
#include "RecordingDialogs.h"
#include "TemporaryWorkingDirectory.h"
#include "TestDatabases.h"
#include "Tclockout.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSqlQuery>
#include <QStringEncoder>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QString shift = u"上班"_s;
const QString overtime = u"加班"_s;

// One listed punch: employee, card (unused for overtime), date, start and end time.
using Punches = QList<QStringList>;
using Rows = QList<QStringList>;

QByteArray big5(const QString& text)
{
    QStringEncoder encoder("Big5");
    const QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        qFatal("not Big5: %s", qPrintable(text));
    return bytes;
}

} // namespace

class TclockoutTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void search_data();
    void search();
    void searchWithoutKind();
    void staging_data();
    void staging();
    void workbook_data();
    void workbook();
    void workbookWithoutTempFolder();
    void rangeBeyondOneSheet_data();
    void rangeBeyondOneSheet();
    void cancelledExport_data();
    void cancelledExport();
    void upload();
    void uploadWithoutUnitOrDirectory();
    void uploadFailure_data();
    void uploadFailure();
    void uploadSettingsError_data();
    void uploadSettingsError();
    void settingsSavedUntouched();
    void settingsReadBack_data();
    void settingsReadBack();

private:
    void addPunches(const QString& kind, const Punches& punches);
    void searchFor(const QString& kind);
    Rows gridRows() const;
    Rows stagedRows();
    void writeSettings(const QByteArray& line);
    void writeSettingsThroughPanel(const QStringList& values);
    QJsonObject readXls(const QString& path);
    void checkMessage(const QString& text, const QString& caption, UserDialogs::Icon icon);

    std::optional<TemporaryWorkingDirectory> work_;
    std::optional<Connection> connection_;
    std::optional<OtherProgram> other_;
    std::optional<RecordingDialogs> dialogs_;
    std::unique_ptr<Tclockout> screen_;
};

void TclockoutTest::init()
{
    LocalClock::setSource([] { return QDateTime(QDate(2024, 5, 31), QTime(10, 0)); });
    work_.emplace();
    connection_.emplace(u"export-test"_s);
    const QString connectionString = TestDatabases::createSqlite(work_->filePath(u"basedb.db"_s));
    connection_->setConnectionString(connectionString);
    other_.emplace(connectionString);
    QVERIFY(QDir(work_->path()).mkdir(u"temp"_s));
    dialogs_.emplace();
    screen_ = std::make_unique<Tclockout>(*connection_, nullptr);
    screen_->show();
    QCOMPARE(dialogs_->takeTexts(), QStringList());
}

void TclockoutTest::cleanup()
{
    screen_.reset();
    dialogs_.reset();
    other_.reset();
    connection_.reset();
    work_.reset();
    LocalClock::setSource({});
}

void TclockoutTest::addPunches(const QString& kind, const Punches& punches)
{
    for (const QStringList& p : punches) {
        if (kind == shift)
            other_->run(u"INSERT INTO clock (clock_emp, clock_no, clock_dat2, clock_stime2, clock_etime2) "
                 "VALUES (?, ?, ?, ?, ?)"_s,
                 {p[0], p[1], p[2], p[3], p[4]});
        else
            other_->run(u"INSERT INTO pre_over (pres_emp, pres_sdate, pres_stime, pres_etime) "
                 "VALUES (?, ?, ?, ?)"_s,
                 {p[0], p[2], p[3], p[4]});
    }
}

void TclockoutTest::searchFor(const QString& kind)
{
    screen_->DBComboBox1->setCurrentText(kind);
    screen_->Button5->click();
}

Rows TclockoutTest::gridRows() const
{
    const QAbstractItemModel* model = screen_->DBGrid1->model();
    Rows rows;
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < model->columnCount(); ++c)
            row.append(model->index(r, c).data().toString());
        rows.append(row);
    }
    return rows;
}

Rows TclockoutTest::stagedRows()
{
    QSqlQuery query = other_->run(u"SELECT P01, P02, P03, P04 FROM ptemp WHERE P00 = '卡鐘匯檔' ORDER BY id"_s);
    Rows rows;
    while (query.next())
        rows.append({query.value(0).toString(), query.value(1).toString(),
                     query.value(2).toString(), query.value(3).toString()});
    return rows;
}

void TclockoutTest::writeSettings(const QByteArray& line)
{
    QFile file(work_->filePath(u"ftp.txt"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(line), line.size());
}

void TclockoutTest::writeSettingsThroughPanel(const QStringList& values)
{
    QLineEdit* edits[] = {screen_->Edit1, screen_->Edit2, screen_->Edit3, screen_->Edit4,
                          screen_->Edit5};
    for (int i = 0; i < values.size(); ++i)
        edits[i]->setText(values[i]);
    screen_->Button7->click();
}

QJsonObject TclockoutTest::readXls(const QString& path)
{
    QProcess reader;
    reader.start(u"/usr/bin/python3"_s,
                 {QStringLiteral(PUNCHCLOCK_SOURCE_DIR "/tests/export/read_xls.py"), path});
    if (!reader.waitForFinished() || reader.exitCode() != 0)
        qFatal("read_xls.py failed: %s", reader.readAllStandardError().constData());
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
}

void TclockoutTest::checkMessage(const QString& text, const QString& caption,
                                 UserDialogs::Icon icon)
{
    QCOMPARE(dialogs_->messages.size(), 1);
    QCOMPARE(dialogs_->messages[0].text, text);
    QCOMPARE(dialogs_->messages[0].caption, caption);
    QCOMPARE(dialogs_->messages[0].icon, icon);
    dialogs_->messages.clear();
}

// ---------------------------------------------------------------------------------------------

void TclockoutTest::search_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("typedToDate"); // empty: the default, today
    QTest::addColumn<QString>("statement");
    QTest::addColumn<Rows>("grid");

    QTest::newRow("shift, this month by default")
        << shift << QString()
        << u"select * from clock \r\n"
           "where clock_dat2 >= '2024/05/01'\r\n"
           "and clock_dat2 <= '2024/05/31'\r\n"
           "order by clock_dat2\r\n"_s
        << Rows{{u"E02"_s, u"C02"_s, u"2024/05/02"_s, u"08:00"_s, u""_s},
                {u"E01"_s, u"C01"_s, u"2024/05/31"_s, u"08:05"_s, u"17:30"_s}};
    QTest::newRow("overtime lists the employee number as card")
        << overtime << QString()
        << u"select pres_emp as clock_emp, pres_emp as clock_no, pres_sdate as clock_dat2, "
           "pres_etime as clock_etime2, pres_stime as clock_stime2 from pre_over \r\n"
           "where pres_sdate >= '2024/05/01'\r\n"
           "and pres_sdate <= '2024/05/31'\r\n"
           "order by pres_sdate\r\n"_s
        << Rows{{u"E07"_s, u"E07"_s, u"2024/05/03"_s, u"18:00"_s, u"20:30"_s}};
    // The blanks sort before every digit: no day of May is listed, and the buttons still open.
    QTest::newRow("partly typed to-date, nothing found")
        << shift << u"202405"_s
        << u"select * from clock \r\n"
           "where clock_dat2 >= '2024/05/01'\r\n"
           "and clock_dat2 <= '2024/05/  '\r\n"
           "order by clock_dat2\r\n"_s
        << Rows{};
}

void TclockoutTest::search()
{
    QFETCH(QString, kind);
    QFETCH(QString, typedToDate);
    QFETCH(QString, statement);
    QFETCH(Rows, grid);
    addPunches(shift, {{u"E01"_s, u"C01"_s, u"2024/05/31"_s, u"08:05"_s, u"17:30"_s},
                       {u"E03"_s, u"C03"_s, u"2024/04/30"_s, u"08:00"_s, u"17:00"_s},
                       {u"E02"_s, u"C02"_s, u"2024/05/02"_s, u"08:00"_s, u""_s}});
    addPunches(overtime, {{u"E07"_s, {}, u"2024/05/03"_s, u"18:00"_s, u"20:30"_s},
                          {u"E07"_s, {}, u"2024/06/01"_s, u"18:00"_s, u"19:00"_s}});
    if (!typedToDate.isEmpty()) {
        screen_->MaskEdit2->clear();
        screen_->MaskEdit2->home(false);
        QTest::keyClicks(screen_->MaskEdit2, typedToDate);
    }

    searchFor(kind);

    QCOMPARE(dialogs_->takeTexts(), QStringList());
    QCOMPARE(screen_->clock_ADOQ.statementText(), statement);
    QCOMPARE(gridRows(), grid);
    const QAbstractItemModel* model = screen_->DBGrid1->model();
    QStringList titles;
    for (int c = 0; c < model->columnCount(); ++c)
        titles.append(model->headerData(c, Qt::Horizontal).toString());
    QCOMPARE(titles, (QStringList{u"員工編號"_s, u"卡號"_s, u"實際上班日期"_s, u"實際上班時間"_s,
                                  u"實際下班時間"_s}));
    QVERIFY(screen_->Button6->isEnabled());
    QVERIFY(screen_->Button2->isEnabled());
}

void TclockoutTest::searchWithoutKind()
{
    screen_->Button5->click();

    checkMessage(u"請指定類別!"_s, u"資料錯誤"_s, UserDialogs::Icon::Error);
    QVERIFY(!screen_->clock_ADOQ.isOpen());
    QVERIFY(!screen_->Button6->isEnabled());
    QVERIFY(!screen_->Button2->isEnabled());
}

void TclockoutTest::staging_data()
{
    QTest::addColumn<QString>("searchedKind");
    QTest::addColumn<QString>("stagedKind"); // the kind list's text when exporting
    QTest::addColumn<Punches>("punches");
    QTest::addColumn<Rows>("staged");

    QTest::newRow("start and end, in search order")
        << shift << shift
        << Punches{{u"E01"_s, u"C01"_s, u"2024/05/03"_s, u"08:05"_s, u"17:30"_s},
                   {u"E02"_s, u"C02"_s, u"2024/05/02"_s, u"07:55"_s, u"16:00"_s}}
        << Rows{{u"C02"_s, u"20240502"_s, u"1"_s, u"0755"_s},
                {u"C02"_s, u"20240502"_s, u"2"_s, u"1600"_s},
                {u"C01"_s, u"20240503"_s, u"1"_s, u"0805"_s},
                {u"C01"_s, u"20240503"_s, u"2"_s, u"1730"_s}};
    QTest::newRow("start without end")
        << shift << shift << Punches{{u"E01"_s, u"C01"_s, u"2024/05/03"_s, u"08:05"_s, {}}}
        << Rows{{u"C01"_s, u"20240503"_s, u"1"_s, u"0805"_s}};
    QTest::newRow("neither time")
        << shift << shift << Punches{{u"E01"_s, u"C01"_s, u"2024/05/03"_s, {}, {}}} << Rows{};
    QTest::newRow("kind changed after the search")
        << shift << overtime
        << Punches{{u"E01"_s, u"C01"_s, u"2024/05/03"_s, u"08:05"_s, u"17:30"_s}}
        << Rows{{u"C01"_s, u"20240503"_s, u"3"_s, u"0805"_s},
                {u"C01"_s, u"20240503"_s, u"4"_s, u"1730"_s}};
    QTest::newRow("overtime")
        << overtime << overtime
        << Punches{{u"E07"_s, {}, u"2024/05/03"_s, u"18:00"_s, u"20:30"_s}}
        << Rows{{u"E07"_s, u"20240503"_s, u"3"_s, u"1800"_s},
                {u"E07"_s, u"20240503"_s, u"4"_s, u"2030"_s}};
    QTest::newRow("empty result") << shift << shift << Punches{} << Rows{};
}

void TclockoutTest::staging()
{
    QFETCH(QString, searchedKind);
    QFETCH(QString, stagedKind);
    QFETCH(Punches, punches);
    QFETCH(Rows, staged);
    addPunches(searchedKind, punches);
    other_->run(u"INSERT INTO ptemp (P00, P01) VALUES ('卡鐘匯檔', 'an earlier export'), "
         "('其他', 'another program''s row')"_s);
    searchFor(searchedKind);
    screen_->DBComboBox1->setCurrentText(stagedKind);

    screen_->Button6->click();

    QCOMPARE(dialogs_->takeTexts(), QStringList{u"轉檔完成!"_s});
    QCOMPARE(stagedRows(), staged);
    QCOMPARE(other_->rows(u"SELECT P01 FROM ptemp WHERE P00 = '其他'"_s), QStringList{u"another program's row"_s});
    QCOMPARE(screen_->clockexp_ADOQ.rowCount(), staged.size());
}

void TclockoutTest::workbook_data()
{
    QTest::addColumn<Punches>("punches");
    QTest::addColumn<Rows>("cells"); // every one a text cell
    QTest::addColumn<QString>("columnFormat"); // of every column A to H; empty for none

    const QStringList header{u"卡號"_s, u"日期"_s, u"代號"_s, u"時間"_s};
    QTest::newRow("two punches")
        << Punches{{u"E01"_s, u"007"_s, u"2024/05/03"_s, u"08:05"_s, u"17:30"_s}}
        << Rows{header, {u"007"_s, u"20240503"_s, u"1"_s, u"0805"_s},
                {u"007"_s, u"20240503"_s, u"2"_s, u"1730"_s}}
        << u"@"_s;
    QTest::newRow("header alone") << Punches{} << Rows{header} << QString();
}

void TclockoutTest::workbook()
{
    QFETCH(Punches, punches);
    QFETCH(Rows, cells);
    QFETCH(QString, columnFormat);
    addPunches(shift, punches);
    searchFor(shift);

    screen_->Button6->click();

    checkMessage(u"轉檔完成!"_s, u"資料輸出發送"_s, UserDialogs::Icon::Information);
    const QString path = work_->path() + u"/temp/卡鐘匯檔.xls"_s;
    QCOMPARE(dialogs_->openedPaths, QStringList{path});
    QVERIFY(!QApplication::overrideCursor());
    const QJsonObject book = readXls(path);
    QCOMPARE(book[u"log"_s].toString(), QString());
    const QJsonObject sheet = book[u"sheets"_s].toArray().first().toObject();
    QCOMPARE(sheet[u"name"_s].toString(), u"Sheet1"_s);
    Rows values;
    for (const QJsonValue& row : sheet[u"rows"_s].toArray()) {
        QStringList rowValues;
        for (const QJsonValue& cell : row.toArray()) {
            QCOMPARE(cell[0].toString(), u"text"_s);
            rowValues.append(cell[1].toString());
        }
        values.append(rowValues);
    }
    QCOMPARE(values, cells);
    const QJsonObject formats = sheet[u"columnFormats"_s].toObject();
    for (int column = 0; column < 8; ++column)
        QCOMPARE(formats[QString::number(column)].toString(), columnFormat);
}

void TclockoutTest::workbookWithoutTempFolder()
{
    QVERIFY(QDir(work_->path()).rmdir(u"temp"_s));
    addPunches(shift, {{u"E01"_s, u"C01"_s, u"2024/05/03"_s, u"08:05"_s, u"17:30"_s}});
    searchFor(shift);

    screen_->Button6->click();

    // The message of the finished conversion comes before the save, then its failure.
    const QStringList texts = dialogs_->takeTexts();
    QCOMPARE(texts.size(), 2);
    QCOMPARE(texts[0], u"轉檔完成!"_s);
    QVERIFY2(texts[1].startsWith(u"Cannot write "_s + work_->path() + u"/temp/卡鐘匯檔.xls: "_s),
             qPrintable(texts[1]));
    QCOMPARE(dialogs_->openedPaths, QStringList());
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(!QDir(work_->path()).exists(u"temp"_s));
}

void TclockoutTest::rangeBeyondOneSheet_data()
{
    QTest::addColumn<int>("punches"); // staged rows; the sheet holds them and the header up to 65536
    QTest::addColumn<QString>("refusal"); // empty: the export is written

    QTest::newRow("sheet full") << 65535 << QString();
    QTest::newRow("one row over")
        << 65536
        << u"The range has 65536 punches, 65537 rows with the header; an .xls worksheet holds at most 65536 "
           "rows. Export a shorter range."_s;
}

// A range whose rows do not fit in one sheet is refused before the staging deletes anything.
void TclockoutTest::rangeBeyondOneSheet()
{
    QFETCH(int, punches);
    QFETCH(QString, refusal);
    other_->run(u"BEGIN"_s);
    for (int row = 0; row < (punches + 1) / 2; ++row) {
        const bool withEnd = 2 * (row + 1) <= punches;
        other_->run(u"INSERT INTO clock (clock_emp, clock_no, clock_dat2, clock_stime2, clock_etime2) "
                     "VALUES ('E01', ?, '2024/05/03', '08:00', ?)"_s,
                    {QString::number(row), withEnd ? u"17:00"_s : QString()});
    }
    other_->run(u"COMMIT"_s);
    other_->run(u"INSERT INTO ptemp (P00, P01) VALUES ('卡鐘匯檔', 'an earlier export')"_s);
    const QString path = work_->path() + u"/temp/卡鐘匯檔.xls"_s;
    QFile earlier(path);
    QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("an earlier workbook") > 0);
    earlier.close();
    searchFor(shift);

    screen_->Button6->click();

    if (refusal.isEmpty()) {
        QCOMPARE(dialogs_->takeTexts(), QStringList{u"轉檔完成!"_s});
        QCOMPARE(other_->rows(u"SELECT count(*) FROM ptemp WHERE P00 = '卡鐘匯檔'"_s),
                 QStringList{QString::number(punches)});
        QCOMPARE(readXls(path)[u"sheets"_s].toArray().first()[u"rows"_s].toArray().size(), punches + 1);
        return;
    }
    checkMessage(refusal, applicationTitle(), UserDialogs::Icon::Error);
    QCOMPARE(other_->rows(u"SELECT P01 FROM ptemp WHERE P00 = '卡鐘匯檔'"_s), QStringList{u"an earlier export"_s});
    QVERIFY(earlier.open(QIODevice::ReadOnly));
    QCOMPARE(earlier.readAll(), "an earlier workbook"_ba);
    QCOMPARE(QDir(work_->path() + u"/temp"_s).entryList(QDir::Files), QStringList{u"卡鐘匯檔.xls"_s});
    QCOMPARE(dialogs_->openedPaths, QStringList());
}

void TclockoutTest::cancelledExport_data()
{
    QTest::addColumn<QString>("cancelledStep"); // the button whose caption the dialog shows at cancel
    QTest::addColumn<bool>("upload");
    QTest::addColumn<bool>("staged"); // the staging was over, in one batch

    QTest::newRow("search") << u"搜尋"_s << false << false;
    QTest::newRow("export, while staging") << u"暫匯"_s << false << false;
    QTest::newRow("export, while making the sheet") << u"匯出Excel"_s << false << true;
    QTest::newRow("upload, while staging") << u"暫匯"_s << true << false;
    QTest::newRow("upload, while making the sheet") << u"上傳檔案"_s << true << true;
}

// Cancel in the progress dialog: no search result, or no workbook, the staging either whole or
// not begun, and no upload.
void TclockoutTest::cancelledExport()
{
    QFETCH(QString, cancelledStep);
    QFETCH(bool, upload);
    QFETCH(bool, staged);
    constexpr int listedRows = 600; // reported in steps of 256 rows: the dialog shows, then handles events
    other_->run(u"BEGIN"_s);
    for (int row = 0; row < listedRows; ++row)
        other_->run(u"INSERT INTO clock (clock_emp, clock_no, clock_dat2, clock_stime2, clock_etime2) "
                     "VALUES ('E01', ?, '2024/05/03', '08:00', '17:00')"_s,
                    {QString::number(row)});
    other_->run(u"COMMIT"_s);
    other_->run(u"INSERT INTO ptemp (P00, P01) VALUES ('卡鐘匯檔', 'an earlier export')"_s);
    FtpTestServer server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    writeSettingsThroughPanel({server.user(), server.password(),
                               server.host() + u":"_s + QString::number(server.port()), QString(), u"A01"_s});
    const bool search = cancelledStep == u"搜尋"_s;
    if (!search)
        searchFor(shift);
    screen_->progressDelay = std::chrono::milliseconds(0);
    // The export runs without an event loop; events are handled only by the shown dialog, as
    // it is told of more rows. The cancel is pressed once the dialog shows the step.
    QString shownStep;
    QTimer presser;
    presser.setInterval(0);
    connect(&presser, &QTimer::timeout, this, [&] {
        auto* dialog = screen_->findChild<QProgressDialog*>();
        if (dialog && dialog->isVisible() && dialog->labelText().startsWith(cancelledStep + u' ')) {
            shownStep = dialog->labelText();
            presser.stop();
            QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
        }
    });
    presser.start();

    if (search)
        searchFor(shift);
    else
        (upload ? screen_->Button2 : screen_->Button6)->click();

    QVERIFY2(!shownStep.isEmpty(), "the dialog never showed the step");
    QCOMPARE(dialogs_->takeTexts(), QStringList());
    QCOMPARE(dialogs_->openedPaths, QStringList());
    QCOMPARE(QDir(work_->path() + u"/temp"_s).entryList(QDir::Files), QStringList());
    QCOMPARE(other_->rows(u"SELECT count(*) FROM ptemp WHERE P00 = '卡鐘匯檔'"_s),
             QStringList{QString::number(staged ? 2 * listedRows : 1)});
    QVERIFY(!server.commands().contains("USER tester"));
    QVERIFY(!QApplication::overrideCursor());
    if (search) {
        QVERIFY(!screen_->clock_ADOQ.isOpen());
        QCOMPARE(gridRows(), Rows());
        QVERIFY(!screen_->Button6->isEnabled());
    }
}

void TclockoutTest::upload()
{
    LocalClock::setSource([] { return QDateTime(QDate(2024, 5, 3), QTime(17, 45)); });
    FtpTestServer server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(QDir(server.rootPath()).mkdir(u"daily"_s));
    writeSettingsThroughPanel({server.user(), server.password(),
                               server.host() + u":"_s + QString::number(server.port()),
                               u"daily"_s, u"A01"_s});
    addPunches(shift, {{u"E01"_s, u"C01"_s, u"2024/05/03"_s, u"08:05"_s, u"17:30"_s}});
    searchFor(shift);
    const QByteArray remoteName = big5(u"A01-卡鐘20240503.xls"_s);
    const auto localFile = [this] {
        QFile file(work_->path() + u"/temp/20240503卡鐘.xls"_s);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };

    screen_->Button2->click();

    QCOMPARE(dialogs_->takeTexts(), QStringList{u"上傳成功"_s});
    const QByteArray first = localFile();
    QVERIFY(!first.isEmpty());
    QCOMPARE(server.fileContent("daily/" + remoteName), first);
    QVERIFY(server.commands().contains("CWD ./daily/"));
    QVERIFY(server.commands().contains("STOR " + remoteName));

    // The second upload of the day sends the same name, and replaces the first file.
    addPunches(shift, {{u"E02"_s, u"C02"_s, u"2024/05/03"_s, u"09:00"_s, u"18:00"_s}});
    searchFor(shift);
    screen_->Button2->click();

    QCOMPARE(dialogs_->takeTexts(), QStringList{u"上傳成功"_s});
    const QByteArray second = localFile();
    QVERIFY(second != first);
    QCOMPARE(server.fileContent("daily/" + remoteName), second);
}

void TclockoutTest::uploadWithoutUnitOrDirectory()
{
    LocalClock::setSource([] { return QDateTime(QDate(2024, 5, 3), QTime(17, 45)); });
    FtpTestServer server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    writeSettingsThroughPanel({server.user(), server.password(),
                               server.host() + u":"_s + QString::number(server.port()), QString(), QString()});
    searchFor(shift);

    screen_->Button2->click();

    QCOMPARE(dialogs_->takeTexts(), QStringList{u"上傳成功"_s});
    QVERIFY(server.commands().contains("CWD .//"));
    QVERIFY(!server.fileContent(big5(u"-卡鐘20240503.xls"_s)).isEmpty());
}

void TclockoutTest::uploadFailure_data()
{
    QTest::addColumn<FtpTestServer::Behaviour>("behaviour");
    QTest::addColumn<bool>("serverUp");
    QTest::addColumn<QString>("directory");

    using B = FtpTestServer::Behaviour;
    QTest::newRow("server down") << B::Normal << false << u"daily"_s;
    QTest::newRow("login refused") << B::RefuseLogin << true << u"daily"_s;
    QTest::newRow("directory missing") << B::Normal << true << u"missing"_s;
    // The server answers the store as complete, but holds less than was sent.
    QTest::newRow("stored file truncated") << B::TruncateStored << true << u"daily"_s;
    QTest::newRow("data connection cut") << B::CutDataConnection << true << u"daily"_s;
}

void TclockoutTest::uploadFailure()
{
    QFETCH(FtpTestServer::Behaviour, behaviour);
    QFETCH(bool, serverUp);
    QFETCH(QString, directory);
    FtpTestServer server(behaviour);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(QDir(server.rootPath()).mkdir(u"daily"_s));
    if (!serverUp)
        server.stop();
    writeSettingsThroughPanel({server.user(), server.password(),
                               server.host() + u":"_s + QString::number(server.port()), directory,
                               u"A01"_s});
    searchFor(shift);

    screen_->Button2->click();

    QCOMPARE(dialogs_->takeTexts(), QStringList{u"傳輸失敗"_s});
}

void TclockoutTest::uploadSettingsError_data()
{
    QTest::addColumn<QByteArray>("line"); // empty: no ftp.txt
    QTest::addColumn<QString>("error");

    QTest::newRow("no file") << QByteArray() << u"File not found."_s;
    QTest::newRow("short line") << "user,secret,\r\n"_ba << u"List index out of bounds (2)"_s;
}

void TclockoutTest::uploadSettingsError()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, error);
    if (!line.isEmpty())
        writeSettings(line);
    searchFor(shift);

    screen_->Button2->click();

    // The settings are read after the day's file is written, before any connection.
    checkMessage(error, applicationTitle(), UserDialogs::Icon::Error);
    QVERIFY(QFile::exists(work_->path() + u"/temp/20240531卡鐘.xls"_s));
}

void TclockoutTest::settingsSavedUntouched()
{
    screen_->Button4->click();

    // Without a file the panel stays shown, so that the settings can be typed and saved.
    checkMessage(u"File not found."_s, applicationTitle(), UserDialogs::Icon::Error);
    QVERIFY(screen_->Panel1->isVisible());
    QCOMPARE(screen_->Panel1->pos(), QPoint(444, 21));
    QCOMPARE(screen_->Edit5->text(), u"Edit1"_s);

    screen_->Button7->click();

    QVERIFY(!screen_->Panel1->isVisible());
    QFile file(work_->filePath(u"ftp.txt"_s));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), "Edit1,Edit1,Edit1,Edit1,Edit1,\r\n"_ba);
    // The password is in plain text: only the owner may read the file.
    QCOMPARE(std::filesystem::status(file.fileName().toStdString()).permissions(),
             std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

void TclockoutTest::settingsReadBack_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QStringList>("edits");
    QTest::addColumn<QString>("error"); // empty: none

    QTest::newRow("quotes, an empty value and Big5")
        << big5(u"o'neil,pa\"ss,,,總公司,\r\n"_s)
        << QStringList{u"o'neil"_s, u"pa\"ss"_s, u""_s, u""_s, u"總公司"_s} << QString();
    QTest::newRow("short line")
        << "user,secret,\r\n"_ba
        << QStringList{u"user"_s, u"secret"_s, u"Edit1"_s, u"Edit1"_s, u"Edit1"_s}
        << u"List index out of bounds (2)"_s;
}

void TclockoutTest::settingsReadBack()
{
    QFETCH(QByteArray, line);
    QFETCH(QStringList, edits);
    QFETCH(QString, error);
    writeSettings(line);

    screen_->Button4->click();

    if (error.isEmpty())
        QCOMPARE(dialogs_->takeTexts(), QStringList());
    else
        checkMessage(error, applicationTitle(), UserDialogs::Icon::Error);
    QVERIFY(screen_->Panel1->isVisible());
    QCOMPARE((QStringList{screen_->Edit1->text(), screen_->Edit2->text(), screen_->Edit3->text(),
                          screen_->Edit4->text(), screen_->Edit5->text()}),
             edits);
}

QTEST_MAIN(TclockoutTest)
#include "tst_export_screen.moc"
