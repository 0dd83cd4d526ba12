#include "DatasetGrid.h"

#include "EventGuard.h"
#include "RecordQuery.h"
#include "RecordQueryModel.h"
#include "UserDialogs.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyledItemDelegate>

namespace {

// Cell editors that take no more than the column's width of text.
class LimitedTextDelegate : public QStyledItemDelegate {
public:
    LimitedTextDelegate(int maxLength, std::function<void(QWidget*)> opened, QObject* parent)
        : QStyledItemDelegate(parent)
        , maxLength_(maxLength)
        , opened_(std::move(opened))
    {
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            line->setMaxLength(maxLength_);
        opened_(editor);
        return editor;
    }

private:
    int maxLength_;
    std::function<void(QWidget*)> opened_;
};

} // namespace

DatasetGrid::DatasetGrid(RecordQuery& query, RecordQueryModel& model, int maxTextLength, QWidget* parent)
    : QTableView(parent)
    , query_(query)
{
    setModel(&model);
    auto* delegate = new LimitedTextDelegate(maxTextLength, [this](QWidget* editor) { editor_ = editor; }, this);
    setItemDelegate(delegate);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
                    QAbstractItemView::EditKeyPressed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setFixedWidth(14);

    model.setErrorReporter([](const std::exception& error) { showStandardError(QString::fromUtf8(error.what())); });
    connect(&model, &QAbstractItemModel::modelReset, this, [this] { followQueryRow(); });
    connect(&model, &QAbstractItemModel::rowsInserted, this, [this] { followQueryRow(); });
    connect(&model, &QAbstractItemModel::rowsRemoved, this, [this] { followQueryRow(); });
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            guarded([this](const QModelIndex& current, const QModelIndex&) { rowLeft(current); }));
    // Esc in a cell editor abandons the whole row, not only the cell.
    connect(delegate, &QAbstractItemDelegate::closeEditor, this,
            guarded([this](QWidget*, QAbstractItemDelegate::EndEditHint hint) {
                if (hint == QAbstractItemDelegate::RevertModelCache)
                    query_.cancel();
            }));
}

void DatasetGrid::followQueryRow()
{
    if (!query_.isOpen() || query_.rowCount() == 0)
        return;
    following_ = true;
    const int column = std::max(0, currentIndex().column());
    setCurrentIndex(model()->index(query_.currentRow(), column));
    following_ = false;
}

void DatasetGrid::rowLeft(const QModelIndex& current)
{
    if (following_ || !current.isValid())
        return;
    query_.moveTo(current.row());
    // Leaving an empty new row removes it, which can leave the grid one row off the query's.
    if (currentIndex().row() != query_.currentRow())
        followQueryRow();
}

void DatasetGrid::commitOpenEditor()
{
    if (editor_ && state() == QAbstractItemView::EditingState) {
        QWidget* editor = editor_;
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void DatasetGrid::discardOpenEditor()
{
    if (editor_ && state() == QAbstractItemView::EditingState)
        closeEditor(editor_, QAbstractItemDelegate::NoHint);
}

void DatasetGrid::keyPressEvent(QKeyEvent* event)
{
    const bool editing = state() == QAbstractItemView::EditingState;
    if (!editing && event->key() == Qt::Key_Escape) {
        runGuarded([this] { query_.cancel(); });
        return;
    }
    if (!editing && event->key() == Qt::Key_Insert && event->modifiers() == Qt::NoModifier) {
        runGuarded([this] { query_.insert(); });
        return;
    }
    // Down from the last row, also from its open cell editor, appends a row; a new row that
    // was left empty gets none below it.
    if (event->key() == Qt::Key_Down && query_.isOpen() &&
        (query_.rowCount() == 0 || currentIndex().row() == query_.rowCount() - 1)) {
        runGuarded([this] {
            commitOpenEditor();
            if (query_.state() != RecordQuery::State::Insert || query_.isModified())
                query_.append();
        });
        return;
    }
    if (!editing && event->key() == Qt::Key_Delete && event->modifiers() == Qt::ControlModifier) {
        runGuarded([this] {
            if (UserDialogs::current().confirm(this, QStringLiteral("Delete record?"), applicationTitle()))
                query_.remove();
        });
        return;
    }
    QTableView::keyPressEvent(event);
}
