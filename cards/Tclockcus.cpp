#include "Tclockcus.h"

#include "ChineseFont.h"
#include "DatasetGrid.h"
#include "EventGuard.h"
#include "RecordQueryModel.h"
#include "Tables.h"

#include <QHeaderView>
#include <QStyle>
#include <QToolButton>

namespace {

const QColor moneyGreen(192, 220, 192);
constexpr int cellTextLimit = 50;

QToolButton* makeButton(QWidget* parent, const QString& caption, const QString& hint, QStyle::StandardPixmap picture,
                        QRect place)
{
    auto* button = new QToolButton(parent);
    button->setText(caption);
    button->setToolTip(hint);
    button->setIcon(parent->style()->standardIcon(picture));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setFocusPolicy(Qt::NoFocus);
    button->setFont(chineseFont(15));
    button->setGeometry(place);
    return button;
}

} // namespace

Tclockcus::Tclockcus(Connection& connection, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , emp_adoq(QStringLiteral("emp_adoq"), connection, RecordQuery::WriteMode::Batch, Tables::employee())
{
    setWindowTitle(QStringLiteral("clockcus"));
    resize(400, 308);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, moneyGreen);
    setPalette(colours);

    sbinsert = makeButton(this, QStringLiteral("新增"), QStringLiteral("ALT+A "), QStyle::SP_FileDialogNewFolder,
                          {8, 10, 60, 25});
    sbdelete = makeButton(this, QStringLiteral("刪除"), QStringLiteral("ALT+D"), QStyle::SP_TrashIcon, {75, 10, 60, 25});
    sbpost = makeButton(this, QStringLiteral("存檔"), QStringLiteral("ALT+S"), QStyle::SP_DialogSaveButton,
                        {140, 10, 60, 25});

    DataSource1 = new RecordQueryModel(emp_adoq,
                                       {{QStringLiteral("emp_no"), QStringLiteral("員工編號")},
                                        {QStringLiteral("emp_name"), QStringLiteral("員工名稱")},
                                        {QStringLiteral("clock_no"), QStringLiteral("卡號")}},
                                       this);
    DataSource1->setEditable(true);
    DBGrid1 = new DatasetGrid(emp_adoq, *DataSource1, cellTextLimit, this);
    DBGrid1->setFont(chineseFont(16));
    DBGrid1->horizontalHeader()->setFont(chineseFont(16));
    DBGrid1->setGeometry(8, 48, 369, 209);
    DBGrid1->setColumnWidth(0, 88);
    DBGrid1->setColumnWidth(1, 94);
    DBGrid1->setColumnWidth(2, 162);

    connect(sbinsert, &QToolButton::clicked, this, guarded([this] { sbinsertClick(); }));
    connect(sbdelete, &QToolButton::clicked, this, guarded([this] { sbdeleteClick(); }));
    connect(sbpost, &QToolButton::clicked, this, guarded([this] { sbpostClick(); }));

    runGuarded([this] { FormCreate(); });
}

Tclockcus::~Tclockcus()
{
    // The grid and its model work on emp_adoq, a member, which is gone before the window's
    // children are: they go first. An open cell editor is dropped, not written into the row.
    DBGrid1->discardOpenEditor();
    delete DBGrid1;
    delete DataSource1;
}

void Tclockcus::showEvent(QShowEvent* event)
{
    if (!placed_ && parentWidget()) {
        move(parentWidget()->frameGeometry().center() - rect().center());
        placed_ = true;
    }
    QWidget::showEvent(event);
}

void Tclockcus::FormCreate()
{
    emp_adoq.close();
    emp_adoq.sql().clear();
    emp_adoq.sql().append(QStringLiteral("select * from employee "));
    emp_adoq.open();
}

void Tclockcus::sbinsertClick()
{
    DBGrid1->commitOpenEditor();
    emp_adoq.append();
}

void Tclockcus::sbdeleteClick()
{
    DBGrid1->discardOpenEditor();
    emp_adoq.remove();
}

void Tclockcus::sbpostClick()
{
    DBGrid1->commitOpenEditor();
    emp_adoq.post();
    emp_adoq.updateBatch();
    DBGrid1->viewport()->update();
}
