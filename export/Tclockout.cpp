#include "Tclockout.h"

#include "ChineseFont.h"
#include "CurlFtpUploader.h"
#include "EventGuard.h"
#include "ExportPaths.h"
#include "LocalClock.h"
#include "RecordQueryModel.h"
#include "SqlText.h"
#include "StagingPacker.h"
#include "Tables.h"
#include "TransferRequest.h"
#include "TransferSettings.h"
#include "UserDialogs.h"
#include "WorkbookFile.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTableView>

namespace {

const QColor lightGreen(192, 220, 192);
const QColor skyBlue(166, 202, 240);
constexpr int fontPixels = 13;
constexpr int exportColumns = 4; // card number, date, punch code, time
const QPoint panelPlace(444, 21);

using StagingPacker::overtimeKind;
using StagingPacker::shiftKind;
const QString exportTag = QStringLiteral("卡鐘匯檔");
// Digits that may be left blank, the separators fixed, "_" for what is not typed yet.
const QString dateMask = QStringLiteral("0000/00/00;_");
const QChar maskBlank = QLatin1Char('_');

const QString searchFields[] = {QStringLiteral("clock_emp"), QStringLiteral("clock_no"),
                                QStringLiteral("clock_dat2"), QStringLiteral("clock_stime2"),
                                QStringLiteral("clock_etime2")};

FieldDefs searchFieldDefs()
{
    return Tables::only(Tables::clock(),
                        QStringList(std::begin(searchFields), std::end(searchFields)));
}

void colour(QWidget* widget, const QColor& background)
{
    widget->setAutoFillBackground(true);
    QPalette colours = widget->palette();
    colours.setColor(QPalette::Window, background);
    widget->setPalette(colours);
}

QLineEdit* makeDateEdit(QWidget* parent, QRect place)
{
    auto* edit = new QLineEdit(parent);
    edit->setInputMask(dateMask);
    edit->setGeometry(place);
    return edit;
}

QPushButton* makeButton(QWidget* parent, const QString& caption, QRect place)
{
    auto* button = new QPushButton(caption, parent);
    button->setGeometry(place);
    return button;
}

QTableView* makeGrid(QWidget* parent, RecordQuery& query, QList<RecordQueryModel::Column> columns)
{
    auto* grid = new QTableView(parent);
    grid->setModel(new RecordQueryModel(query, std::move(columns), grid));
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    return grid;
}

// A date edit's text as the search puts it into the SQL: always ten characters, the separators
// kept and a space in every position not typed.
QString dateText(const QLineEdit* edit)
{
    QString text = edit->displayText();
    text.replace(maskBlank, QLatin1Char(' '));
    return text;
}

} // namespace

Tclockout::Tclockout(Connection& connection, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , clock_ADOQ(QStringLiteral("clock_ADOQ"), connection, RecordQuery::WriteMode::Batch,
                 searchFieldDefs())
    , clockexp_ADOQ(QStringLiteral("clockexp_ADOQ"), connection, RecordQuery::WriteMode::Batch,
                    Tables::ptemp())
    , IdFTP1(std::make_unique<CurlFtpUploader>())
{
    setWindowTitle(QStringLiteral("打卡資料匯出"));
    resize(716, 460);
    setFont(chineseFont(fontPixels));
    colour(this, lightGreen);

    MaskEdit1 = makeDateEdit(this, {16, 16, 89, 24});
    Label8 = new QLabel(QStringLiteral("到"), this);
    Label8->setGeometry(109, 16, 20, 24);
    Label8->setAlignment(Qt::AlignCenter);
    MaskEdit2 = makeDateEdit(this, {132, 16, 89, 24});
    DBComboBox1 = new QComboBox(this);
    DBComboBox1->addItems({shiftKind, overtimeKind});
    DBComboBox1->setCurrentIndex(-1);
    DBComboBox1->setGeometry(232, 16, 81, 24);
    Button5 = makeButton(this, QStringLiteral("搜尋"), {324, 16, 75, 25});
    Button6 = makeButton(this, QStringLiteral("匯出Excel"), {16, 48, 75, 25});
    Button6->setEnabled(false);
    Button2 = makeButton(this, QStringLiteral("上傳檔案"), {100, 48, 75, 25});
    Button2->setEnabled(false);
    Button4 = makeButton(this, QStringLiteral("傳輸設定"), {184, 48, 75, 25});

    // The fields' display labels, but for the card number, which has none of its own.
    QList<RecordQueryModel::Column> resultColumns;
    for (const FieldDef& def : clock_ADOQ.fieldDefs()) {
        const bool card = def.name == QLatin1String("clock_no");
        resultColumns.append({def.name, card ? QStringLiteral("卡號") : def.label});
    }
    DBGrid1 = makeGrid(this, clock_ADOQ, resultColumns);
    DBGrid1->setGeometry(16, 84, 684, 360);

    // The staging grid is never shown: its column titles are the spreadsheet's header.
    DBGrid2 = makeGrid(this, clockexp_ADOQ,
                       {{QStringLiteral("P01"), QStringLiteral("卡號")},
                        {QStringLiteral("P02"), QStringLiteral("日期")},
                        {QStringLiteral("P03"), QStringLiteral("代號")},
                        {QStringLiteral("P04"), QStringLiteral("時間")}});
    DBGrid2->setVisible(false);
    Button1 = makeButton(this, QStringLiteral("暫匯"), {432, 48, 75, 25});
    Button1->setVisible(false);
    Button3 = makeButton(this, QStringLiteral("暫匯"), {516, 48, 75, 25});
    Button3->setVisible(false);

    Panel1 = new QFrame(this);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setGeometry(QRect(panelPlace, QSize(257, 212)));
    colour(Panel1, skyBlue);
    const auto panelRow = [this](int row, const QString& caption) {
        const int top = 12 + 32 * row;
        auto* label = new QLabel(caption, Panel1);
        label->setGeometry(12, top, 40, 24);
        auto* edit = new QLineEdit(QStringLiteral("Edit1"), Panel1);
        edit->setGeometry(56, top, 185, 24);
        return edit;
    };
    Edit1 = panelRow(0, QStringLiteral("帳號"));
    Edit2 = panelRow(1, QStringLiteral("密碼"));
    Edit3 = panelRow(2, QStringLiteral("主機"));
    Edit4 = panelRow(3, QStringLiteral("目錄"));
    Edit5 = panelRow(4, QStringLiteral("單位"));
    Button7 = makeButton(Panel1, QStringLiteral("確定"), {91, 176, 75, 25});
    Panel1->setVisible(false);

    connect(Button5, &QPushButton::clicked, this, guarded([this] { Button5Click(); }));
    connect(Button6, &QPushButton::clicked, this, guarded([this] { Button6Click(); }));
    connect(Button2, &QPushButton::clicked, this, guarded([this] { Button2Click(); }));
    connect(Button4, &QPushButton::clicked, this, guarded([this] { Button4Click(); }));
    connect(Button7, &QPushButton::clicked, this, guarded([this] { Button7Click(); }));
    connect(Button1, &QPushButton::clicked, this, guarded([this] { Button1Click(); }));
    connect(Button3, &QPushButton::clicked, this, guarded([this] { Button3Click(); }));

    clock_ADOQ.sql() = {QStringLiteral("select * from clock")};
    clockexp_ADOQ.sql() = {QStringLiteral("select  P00,P01,P02,P03,P04  from ptemp  where P00='")
                           + sqlQuoted(exportTag) + QStringLiteral("'")};

    // Centred on the punch screen that owns it.
    if (const QWidget* owner = parentWidget())
        move(owner->frameGeometry().center() - rect().center());
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    runGuarded([this] { FormCreate(); });
}

Tclockout::~Tclockout()
{
    // The grids' models read clock_ADOQ and clockexp_ADOQ, members that are gone before the
    // window's children are: the grids go first.
    delete DBGrid1;
    delete DBGrid2;
}

void Tclockout::FormCreate()
{
    const QDateTime now = LocalClock::now();
    MaskEdit1->setText(now.toString(QStringLiteral("yyyy/MM/'01'")));
    MaskEdit2->setText(LocalClock::dateText(now));
}

void Tclockout::Button5Click()
{
    const QString kind = DBComboBox1->currentText();
    if (kind.isEmpty()) {
        UserDialogs::current().showMessage(this, QStringLiteral("請指定類別!"),
                                           QStringLiteral("資料錯誤"), UserDialogs::Icon::Error);
        return;
    }
    const QString from = sqlQuoted(dateText(MaskEdit1));
    const QString to = sqlQuoted(dateText(MaskEdit2));
    clock_ADOQ.close();
    if (kind == shiftKind) {
        clock_ADOQ.sql() = {QStringLiteral("select * from clock "),
                            QStringLiteral("where clock_dat2 >= '") + from + QStringLiteral("'"),
                            QStringLiteral("and clock_dat2 <= '") + to + QStringLiteral("'"),
                            QStringLiteral("order by clock_dat2")};
    } else {
        clock_ADOQ.sql() = {
            QStringLiteral("select pres_emp as clock_emp, pres_emp as clock_no, pres_sdate as "
                           "clock_dat2, pres_etime as clock_etime2, pres_stime as clock_stime2 "
                           "from pre_over "),
            QStringLiteral("where pres_sdate >= '") + from + QStringLiteral("'"),
            QStringLiteral("and pres_sdate <= '") + to + QStringLiteral("'"),
            QStringLiteral("order by pres_sdate")};
    }
    clock_ADOQ.open();
    Button6->setEnabled(true);
    Button2->setEnabled(true);
}

// Stages the listed punches into ptemp: one row per punch time, under the export tag.
void Tclockout::Button1Click()
{
    const QString tagCondition =
        QStringLiteral("  where P00='") + sqlQuoted(exportTag) + QStringLiteral("'");
    clockexp_ADOQ.close();
    clockexp_ADOQ.sql() = {QStringLiteral("delete  from ptemp "), tagCondition};
    clockexp_ADOQ.execSql();
    clockexp_ADOQ.close();
    clockexp_ADOQ.sql() = {QStringLiteral("select * from ptemp "), tagCondition};
    clockexp_ADOQ.open();
    // The staging grid shows the rows once they are all written, not row by row.
    const RecordQuery::HeldSignals oneUpdate(clockexp_ADOQ);

    const QString kind = DBComboBox1->currentText();
    const auto text = [this](const char* field) {
        return clock_ADOQ.fieldByName(QString::fromLatin1(field)).asString();
    };
    clock_ADOQ.first();
    while (!clock_ADOQ.eof()) {
        const QString card = text("clock_no");
        const QString date = StagingPacker::packDate(text("clock_dat2"));
        const QString start = text("clock_stime2");
        const QString end = text("clock_etime2");
        if (!start.isEmpty())
            appendStagingRow(card, date, StagingPacker::startCode(kind),
                             StagingPacker::packTime(start));
        if (!end.isEmpty())
            appendStagingRow(card, date, StagingPacker::endCode(kind),
                             StagingPacker::packTime(end));
        clock_ADOQ.next();
    }
    clockexp_ADOQ.updateBatch();
}

void Tclockout::appendStagingRow(const QString& card, const QString& date, const QString& code,
                                 const QString& time)
{
    clockexp_ADOQ.append();
    clockexp_ADOQ.fieldByName(QStringLiteral("P00")).setAsString(exportTag);
    clockexp_ADOQ.fieldByName(QStringLiteral("P01")).setAsString(card);
    clockexp_ADOQ.fieldByName(QStringLiteral("P02")).setAsString(date);
    clockexp_ADOQ.fieldByName(QStringLiteral("P03")).setAsString(code);
    clockexp_ADOQ.fieldByName(QStringLiteral("P04")).setAsString(time);
}

// The staged rows under the staging grid's column titles, from the first four fields.
SpreadsheetTable Tclockout::stagedTable()
{
    SpreadsheetTable table;
    table.sheetName = QStringLiteral("Sheet1");
    QStringList header;
    for (int column = 0; column < exportColumns; ++column)
        header.append(DBGrid2->model()->headerData(column, Qt::Horizontal).toString());
    table.rows.append(header);
    clockexp_ADOQ.first();
    while (!clockexp_ADOQ.eof()) {
        QStringList row;
        for (int field = 0; field < exportColumns; ++field)
            row.append(clockexp_ADOQ.field(field).asString());
        table.rows.append(row);
        clockexp_ADOQ.next();
    }
    // Digit strings stay text; a file with the header alone keeps general columns.
    table.textFormatColumnsAtoH = table.rows.size() > 1;
    return table;
}

// A file that cannot be written is reported and the export ends there; the caller goes on.
void Tclockout::saveReportingFailure(const QString& path, const SpreadsheetTable& table)
{
    try {
        saveWorkbook(path, table);
    } catch (const XlsWriteError& error) {
        showMessage(QString::fromUtf8(error.what()), this);
    }
}

void Tclockout::Button6Click()
{
    Button1Click();
    const QString path = ExportPaths::workbookPath();
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restoreCursor = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        const SpreadsheetTable table = stagedTable();
        UserDialogs::current().showMessage(this, QStringLiteral("轉檔完成!"),
                                           QStringLiteral("資料輸出發送"),
                                           UserDialogs::Icon::Information);
        saveReportingFailure(path, table);
    }
    // After a failed save this opens the file an earlier export left, if there is one.
    if (QFileInfo::exists(path))
        UserDialogs::current().openWithDesktop(path);
}

// The day's file, which the upload sends.
void Tclockout::Button3Click()
{
    Button1Click();
    saveReportingFailure(ExportPaths::datedWorkbookPath(LocalClock::now()), stagedTable());
}

TransferSettings Tclockout::panelSettings() const
{
    return {Edit1->text(), Edit2->text(), Edit3->text(), Edit4->text(), Edit5->text()};
}

void Tclockout::showOnPanel(const TransferSettings& settings)
{
    Edit1->setText(settings.user);
    Edit2->setText(settings.password);
    Edit3->setText(settings.host);
    Edit4->setText(settings.directory);
    Edit5->setText(settings.unit);
}

void Tclockout::Button4Click()
{
    Panel1->move(panelPlace);
    Panel1->show();
    // A short line fills the edits before its missing value, then the error is shown.
    TransferSettings settings = panelSettings();
    try {
        ReadTransferSettings(settings);
    } catch (...) {
        showOnPanel(settings);
        throw;
    }
    showOnPanel(settings);
}

void Tclockout::Button7Click()
{
    WriteTransferSettings(panelSettings());
    Panel1->hide();
}

void Tclockout::Button2Click()
{
    Button3Click();
    TransferSettings settings;
    ReadTransferSettings(settings);
    // One reading of the clock names both files, so that they cannot name different days.
    const QDateTime today = LocalClock::now();
    try {
        // A name that cannot go to the server in Big5 fails the transfer like any other cause.
        IdFTP1->upload(transferRequest(settings, ExportPaths::datedWorkbookPath(today),
                                       ExportPaths::remoteName(settings.unit, today)));
    } catch (const UploadError&) {
        showMessage(QStringLiteral("傳輸失敗"), this);
        return;
    }
    showMessage(QStringLiteral("上傳成功"), this);
}
