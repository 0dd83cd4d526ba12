#pragma once

#include <QPointer>
#include <QTableView>

#include <functional>

class RecordQuery;
class RecordQueryModel;

// An editable grid over a RecordQuery, working as a data grid does: the current cell follows
// the query's current row, leaving a changed row posts it, Esc abandons the row's changes,
// Insert adds a row above, Down on the last row appends one, Ctrl+Delete deletes the row
// after a question. Text cells take at most the given number of characters.
class DatasetGrid : public QTableView {
    Q_OBJECT
public:
    DatasetGrid(RecordQuery& query, RecordQueryModel& model, int maxTextLength, QWidget* parent = nullptr);

    // Writes the text of an open cell editor into the row, as a button that never takes the
    // focus needs before it works on the row.
    void commitOpenEditor();
    // Closes an open cell editor, dropping what it holds.
    void discardOpenEditor();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void followQueryRow();
    void rowLeft(const QModelIndex& current);

    RecordQuery& query_;
    QPointer<QWidget> editor_;
    bool following_ = false;
};
