#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>

#include <functional>
#include <stdexcept>

class RecordQuery;

// Shows chosen fields of a RecordQuery as table columns, for a grid. An editable model turns
// an edited cell into edit() and a field assignment on the query's row; errors that raises go
// to the error reporter, since they cannot leave the view's event handling.
class RecordQueryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Column {
        QString field;
        QString title;
    };

    RecordQueryModel(RecordQuery& query, QList<Column> columns, QObject* parent = nullptr);

    void setEditable(bool editable) { editable_ = editable; }
    void setErrorReporter(std::function<void(const std::exception&)> reporter) { reportError_ = std::move(reporter); }
    const QList<Column>& columns() const { return columns_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

private:
    int fieldIndex(int column) const;
    void markCurrentRow();
    QString currentMarker() const;

    RecordQuery& query_;
    QList<Column> columns_;
    bool editable_ = false;
    int markedRow_ = -1;
    QString marker_; // as last drawn at markedRow_
    std::function<void(const std::exception&)> reportError_;
};
