#include "TClock2.h"

#include "ChineseFont.h"
#include "Connection.h"
#include "DatabaseError.h"
#include "EventGuard.h"
#include "LocalClock.h"
#include "PasswordField.h"
#include "SqlText.h"
#include "TabOrder.h"
#include "Tables.h"
#include "Tclockcus.h"
#include "Tclockout.h"
#include "UserDialogs.h"

#include <QComboBox>
#include <QCompleter>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>

namespace {

const QColor skyBlue(166, 202, 240);
const QColor silver(192, 192, 192);
constexpr int refreshIntervalMs = 500;

QLineEdit* makeField(QWidget* parent, QRect place, bool readOnly)
{
    auto* edit = new QLineEdit(parent);
    edit->setGeometry(place);
    edit->setReadOnly(readOnly);
    return edit;
}

QToolButton* makePunchButton(QWidget* parent, const QString& caption, QRect place)
{
    auto* button = new QToolButton(parent);
    button->setText(caption);
    button->setGeometry(place);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

void addCaption(QWidget* parent, const QString& text, QRect place, int pixelSize, Qt::Alignment alignment)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(place);
    label->setFont(chineseFont(pixelSize));
    label->setAlignment(alignment);
}

} // namespace

TClock2::TClock2(Connection& connection, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint)
    , emp_ADOQ(QStringLiteral("emp_ADOQ"), connection, RecordQuery::WriteMode::Immediate, Tables::employee().mid(0, 41))
    , connection_(connection)
    , recorder_(connection)
    , journal_(PunchJournal::ofWorkingDirectory())
    , punches_(journal_, [this](const PunchRequest& request) { return recorder_.record(request); })
{
    setWindowTitle(QStringLiteral("打卡"));
    setFixedSize(480, 286);
    setFont(chineseFont(16));
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, skyBlue);
    setPalette(colours);

    // The title and the captions, drawn where the background picture carries them.
    addCaption(this, QStringLiteral("員工差勤打卡"), {0, 20, 480, 40}, 28, Qt::AlignCenter);
    addCaption(this, QStringLiteral("請選擇員工編號"), {8, 83, 132, 24}, 16, Qt::AlignRight | Qt::AlignVCenter);
    addCaption(this, QStringLiteral("請輸入卡號"), {8, 144, 132, 24}, 16, Qt::AlignRight | Qt::AlignVCenter);
    addCaption(this, QStringLiteral("今天日期"), {320, 88, 121, 22}, 16, Qt::AlignLeft | Qt::AlignVCenter);
    addCaption(this, QStringLiteral("現在時間"), {320, 152, 121, 22}, 16, Qt::AlignLeft | Qt::AlignVCenter);

    ComboBox1 = new QComboBox(this);
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->completer()->setCompletionMode(QCompleter::InlineCompletion);
    // Inline completion keeps the letters as typed: completing "a0" to "a001" would look up a
    // number that no item holds.
    ComboBox1->completer()->setCaseSensitivity(Qt::CaseSensitive);
    ComboBox1->setGeometry(144, 83, 105, 24);
    Edit3 = makeField(this, {144, 112, 105, 24}, true);
    QPalette nameColours = Edit3->palette();
    nameColours.setColor(QPalette::Base, silver);
    Edit3->setPalette(nameColours);
    Edit4 = makeField(this, {144, 144, 105, 24}, false);
    showAsStars(Edit4);
    Edit1 = makeField(this, {320, 112, 121, 24}, true);
    Edit2 = makeField(this, {320, 176, 121, 24}, true);
    SpeedButton1 = makePunchButton(this, punchKindText(PunchKind::ShiftStart), {72, 192, 75, 26});
    SpeedButton2 = makePunchButton(this, punchKindText(PunchKind::ShiftEnd), {160, 192, 77, 26});
    SpeedButton3 = makePunchButton(this, punchKindText(PunchKind::OvertimeStart), {72, 224, 75, 26});
    SpeedButton4 = makePunchButton(this, punchKindText(PunchKind::OvertimeEnd), {160, 224, 77, 26});
    Button2 = new QPushButton(QStringLiteral("設定員工"), this);
    Button2->setGeometry(296, 248, 75, 25);
    Button3 = new QPushButton(QStringLiteral("匯出檔案"), this);
    Button3->setGeometry(392, 248, 75, 25);
    Button1 = new QPushButton(this);
    Button1->setGeometry(448, 272, 75, 25);
    Button1->setVisible(false);
    Timer1 = new QTimer(this);
    Timer1->setInterval(refreshIntervalMs);

    chainTabOrder({Edit1, Edit2, Button1, Edit4, ComboBox1, Edit3, Button2, Button3});

    connect(Button1, &QPushButton::clicked, this, guarded([this] { Button1Click(); }));
    connect(Timer1, &QTimer::timeout, this, guarded([this] { Timer1Timer(); }));
    connect(ComboBox1, &QComboBox::editTextChanged, this, guarded([this] { ComboBox1Change(); }));
    connect(SpeedButton1, &QToolButton::clicked, this, guarded([this] { SpeedButton1Click(); }));
    connect(SpeedButton2, &QToolButton::clicked, this, guarded([this] { SpeedButton2Click(); }));
    connect(SpeedButton3, &QToolButton::clicked, this, guarded([this] { SpeedButton3Click(); }));
    connect(SpeedButton4, &QToolButton::clicked, this, guarded([this] { SpeedButton4Click(); }));
    connect(Button2, &QPushButton::clicked, this, guarded([this] { Button2Click(); }));
    connect(Button3, &QPushButton::clicked, this, guarded([this] { Button3Click(); }));

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    runGuarded([this] { FormCreate(); });
    Timer1->start();
}

TClock2::~TClock2() = default;

void TClock2::FormCreate()
{
    emp_ADOQ.close();
    emp_ADOQ.sql() = {QStringLiteral("select * from employee"), QStringLiteral("order by emp_no")};
    emp_ADOQ.open();
    emp_ADOQ.first();
    {
        // Filling the list is no change of its text: no lookup runs, and the text stays empty.
        const QSignalBlocker quiet(ComboBox1);
        while (!emp_ADOQ.eof()) {
            ComboBox1->addItem(emp_ADOQ.fieldByName(QStringLiteral("emp_no")).asString());
            const Employee known = employeeOfTheRow();
            knownEmployees_.insert(known.number, known);
            emp_ADOQ.next();
        }
        ComboBox1->setCurrentIndex(-1);
        ComboBox1->setEditText(QString());
    }
    Button1->click();
    // The database answers: what an outage left in the journal is written now.
    showRefusedPending(punches_.replayPending());
}

void TClock2::Button1Click()
{
    Edit1->setText(LocalClock::dateText(LocalClock::now()));
    Edit2->setText(LocalClock::timeText(LocalClock::now()));
}

void TClock2::Timer1Timer()
{
    Button1->click();
}

void TClock2::ComboBox1Change()
{
    lookUpEmployee(false);
}

void TClock2::lookUpEmployee(bool forPunch)
{
    // Until the lookup succeeds, no name of an earlier employee stays on the screen.
    employee_.reset();
    Edit3->clear();
    emp_ADOQ.close();
    emp_ADOQ.sql() = {QStringLiteral("select * from employee"),
                      QStringLiteral("where emp_no='") + sqlQuoted(ComboBox1->currentText()) + QStringLiteral("'")};
    try {
        emp_ADOQ.open();
        employee_ = employeeOfTheRow();
        if (!employee_->number.isEmpty())
            knownEmployees_.insert(employee_->number, *employee_);
    } catch (const DatabaseError& error) {
        if (!JournaledPunches::isOutage(error))
            throw;
        // While the number is being typed, its beginnings are no employees: the punch says
        // why it cannot identify one.
        const auto known = knownEmployees_.constFind(ComboBox1->currentText());
        if (known == knownEmployees_.constEnd()) {
            if (forPunch)
                throw;
            return;
        }
        employee_ = *known;
    }
    Edit3->setText(employee_->name);
}

TClock2::Employee TClock2::employeeOfTheRow()
{
    const auto column = [this](const char* name) { return emp_ADOQ.fieldByName(QString::fromLatin1(name)).asString(); };
    return {column("emp_no"), column("emp_name"), column("clock_no"), column("pres_lv")};
}

bool TClock2::IdentifyEmployee(PunchKind kind)
{
    if (Edit4->text().isEmpty()) {
        showMessage(QStringLiteral("請選擇輸入卡號！"), this);
        return false;
    }
    Button1->click();
    if (ComboBox1->currentText().isEmpty()) {
        showMessage(QStringLiteral("請選擇員工編號！"), this);
        return false;
    }
    // A failed lookup raises its error again here, instead of failing the card comparison.
    if (!employee_)
        lookUpEmployee(true);
    if (Edit4->text() != employee_->card) {
        showJournalFailure(punches_.refuseWrongCard(requestFor(kind)));
        showMessage(QStringLiteral("卡號有誤！請重新輸入刷卡卡號！"), this);
        return false;
    }
    return true;
}

void TClock2::SpeedButton1Click()
{
    punch(PunchKind::ShiftStart);
}

void TClock2::SpeedButton2Click()
{
    punch(PunchKind::ShiftEnd);
}

void TClock2::SpeedButton3Click()
{
    punch(PunchKind::OvertimeStart);
}

void TClock2::SpeedButton4Click()
{
    punch(PunchKind::OvertimeEnd);
}

void TClock2::punch(PunchKind kind)
{
    if (!IdentifyEmployee(kind))
        return;
    const JournaledPunches::Punch outcome = punches_.punch(requestFor(kind));
    showJournalFailure(outcome.journalFailure);
    showRefusedPending(outcome.refusedPending);
    if (outcome.failure && !outcome.keptForLater)
        throw *outcome.failure;
    if (outcome.failure) {
        showStandardError(QString::fromUtf8(outcome.failure->what()));
        showMessage(QStringLiteral("已記錄於本機，資料庫恢復後補登"), this);
        return;
    }
    showMessage(punchConfirmation(employee_->name, kind, *outcome.written), this);
}

PunchRequest TClock2::requestFor(PunchKind kind) const
{
    PunchRequest request;
    request.kind = kind;
    request.employeeNo = employee_->number;
    request.cardNo = Edit4->text();
    request.overtimeLevel = employee_->overtimeLevel;
    request.date = Edit1->text();
    request.time = Edit2->text();
    request.serial = LocalClock::now().toString(QStringLiteral("HHmmss"));
    return request;
}

void TClock2::showJournalFailure(const QString& failure)
{
    if (!failure.isEmpty())
        showMessage(QStringLiteral("打卡記錄無法寫入本機日誌：") + failure, this);
}

// Punches kept during an outage that the database refused once it was back.
void TClock2::showRefusedPending(const QStringList& engineTexts)
{
    for (const QString& text : engineTexts)
        showStandardError(text);
}

void TClock2::Button2Click()
{
    auto* screen = new Tclockcus(connection_, this);
    screen->show();
}

void TClock2::Button3Click()
{
    auto* screen = new Tclockout(connection_, this);
    screen->show();
}
