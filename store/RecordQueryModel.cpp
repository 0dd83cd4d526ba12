#include "RecordQueryModel.h"

#include "RecordQuery.h"

RecordQueryModel::RecordQueryModel(RecordQuery& query, QList<Column> columns, QObject* parent)
    : QAbstractTableModel(parent)
    , query_(query)
    , columns_(std::move(columns))
{
    connect(&query_, &RecordQuery::rowsChanged, this, [this] {
        beginResetModel();
        endResetModel();
        markedRow_ = query_.currentRow();
        marker_ = currentMarker();
    });
    connect(&query_, &RecordQuery::rowAboutToBeInserted, this, [this](int row) { beginInsertRows({}, row, row); });
    connect(&query_, &RecordQuery::rowInserted, this, [this] {
        endInsertRows();
        markCurrentRow();
    });
    connect(&query_, &RecordQuery::rowAboutToBeRemoved, this, [this](int row) { beginRemoveRows({}, row, row); });
    connect(&query_, &RecordQuery::rowRemoved, this, [this] {
        endRemoveRows();
        markCurrentRow();
    });
    // Setting a field changes its row only; the marker moves or changes when a row is posted.
    connect(&query_, &RecordQuery::rowChanged, this, [this](int row) {
        Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
        if (markedRow_ != query_.currentRow() || marker_ != currentMarker())
            markCurrentRow();
    });
}

// Redraws the row marker where it was and where the current row now is.
void RecordQueryModel::markCurrentRow()
{
    const int last = rowCount() - 1;
    for (int row : {markedRow_, query_.currentRow()}) {
        if (row >= 0 && row <= last)
            Q_EMIT headerDataChanged(Qt::Vertical, row, row);
    }
    markedRow_ = query_.currentRow();
    marker_ = currentMarker();
}

QString RecordQueryModel::currentMarker() const
{
    return query_.state() == RecordQuery::State::Insert ? QStringLiteral("*") : QStringLiteral("▶");
}

int RecordQueryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !query_.isOpen() ? 0 : query_.rowCount();
}

int RecordQueryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(columns_.size());
}

int RecordQueryModel::fieldIndex(int column) const
{
    const QString& name = columns_.at(column).field;
    const FieldDefs& defs = query_.fieldDefs();
    for (int i = 0; i < defs.size(); ++i) {
        if (defs.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QVariant RecordQueryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const int field = fieldIndex(index.column());
    return field < 0 ? QVariant() : QVariant(query_.textAt(index.row(), field));
}

QVariant RecordQueryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section < columns_.size() ? QVariant(columns_.at(section).title) : QVariant();
    // The narrow column at the left marks the current row, and a row being added.
    return section == query_.currentRow() ? currentMarker() : QString();
}

Qt::ItemFlags RecordQueryModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags result = QAbstractTableModel::flags(index);
    if (editable_ && index.isValid())
        result |= Qt::ItemIsEditable;
    return result;
}

bool RecordQueryModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!editable_ || role != Qt::EditRole || !index.isValid())
        return false;
    const int field = fieldIndex(index.column());
    if (field < 0 || query_.textAt(index.row(), field) == value.toString())
        return false;
    try {
        query_.moveTo(index.row());
        query_.edit();
        query_.field(field).setAsString(value.toString());
    } catch (const std::exception& e) {
        if (reportError_)
            reportError_(e);
        return false;
    }
    return true;
}
