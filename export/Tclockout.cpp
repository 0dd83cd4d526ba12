#include "Tclockout.h"

#include "ChineseFont.h"
#include "CurlFtpUploader.h"
#include "DayFileUpload.h"
#include "EventGuard.h"
#include "ExportPaths.h"
#include "ExportProgressDialog.h"
#include "ExportStaging.h"
#include "LocalClock.h"
#include "PunchSearch.h"
#include "RecordQueryModel.h"
#include "SqlText.h"
#include "StagingPacker.h"
#include "Tables.h"
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
const QPoint panelPlace(444, 21);

using StagingPacker::overtimeKind;
using StagingPacker::shiftKind;
// Digits that may be left blank, the separators fixed, "_" for what is not typed yet.
const QString dateMask = QStringLiteral("0000/00/00;_");
const QChar maskBlank = QLatin1Char('_');

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
                 PunchSearch::fields())
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
    QList<RecordQueryModel::Column> stagingColumns;
    for (const ExportStaging::SheetColumn& column : ExportStaging::sheetColumns())
        stagingColumns.append({column.field, column.title});
    DBGrid2 = makeGrid(this, clockexp_ADOQ, stagingColumns);
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
                           + sqlQuoted(ExportStaging::exportTag) + QStringLiteral("'")};

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
    ExportProgressDialog progress(this, progressDelay);
    try {
        PunchSearch::run(clock_ADOQ, kind, dateText(MaskEdit1), dateText(MaskEdit2), progress.step(Button5->text()));
    } catch (const ExportCancelled&) {
        // As after a failed search: the grid empty and the buttons as they were.
        return;
    }
    Button6->setEnabled(true);
    Button2->setEnabled(true);
}

// Stages the listed punches into ptemp: one row per punch time, under the export tag.
void Tclockout::Button1Click(const ExportProgress& progress)
{
    ExportStaging::stage(clock_ADOQ, clockexp_ADOQ, DBComboBox1->currentText(), progress);
}

// The workbook of the staged rows under the staging grid's column titles.
XlsWorkbook Tclockout::stagedWorkbook(const ExportProgress& progress)
{
    QStringList header;
    for (int column = 0; column < DBGrid2->model()->columnCount(); ++column)
        header.append(DBGrid2->model()->headerData(column, Qt::Horizontal).toString());
    return ExportStaging::stagedWorkbook(clockexp_ADOQ, header, progress);
}

// A file that cannot be written is reported and the export ends there; the caller goes on.
void Tclockout::saveReportingFailure(const QString& path, XlsWorkbook workbook)
{
    try {
        saveWorkbook(path, std::move(workbook));
    } catch (const XlsWriteError& error) {
        showMessage(QString::fromUtf8(error.what()), this);
    }
}

void Tclockout::Button6Click()
{
    ExportProgressDialog progress(this, progressDelay);
    const QString path = ExportPaths::workbookPath();
    try {
        Button1Click(progress.step(Button1->text()));
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restoreCursor = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        XlsWorkbook workbook = stagedWorkbook(progress.step(Button6->text()));
        UserDialogs::current().showMessage(this, QStringLiteral("轉檔完成!"),
                                           QStringLiteral("資料輸出發送"),
                                           UserDialogs::Icon::Information);
        saveReportingFailure(path, std::move(workbook));
    } catch (const ExportCancelled&) {
        // The user's own choice: nothing to report, and no file to open.
        return;
    }
    // After a failed save this opens the file an earlier export left, if there is one.
    if (QFileInfo::exists(path))
        UserDialogs::current().openWithDesktop(path);
}

// The day's file, which the upload sends. A cancel reaches the caller as ExportCancelled.
void Tclockout::Button3Click()
{
    ExportProgressDialog progress(this, progressDelay);
    Button1Click(progress.step(Button1->text()));
    saveReportingFailure(ExportPaths::datedWorkbookPath(LocalClock::now()), stagedWorkbook(progress.step(Button2->text())));
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
    try {
        Button3Click();
    } catch (const ExportCancelled&) {
        // Nothing is sent: the file there is not the one asked for.
        return;
    }
    TransferSettings settings;
    ReadTransferSettings(settings);
    // One reading of the clock names both files, so that they cannot name different days.
    const QDateTime today = LocalClock::now();
    try {
        DayFileUpload::send(*IdFTP1, settings, ExportPaths::datedWorkbookPath(today), today);
    } catch (const UploadError&) {
        showMessage(DayFileUpload::failedText, this);
        return;
    }
    showMessage(DayFileUpload::succeededText, this);
}
