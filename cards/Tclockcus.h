#pragma once

#include "RecordQuery.h"

#include <QWidget>

class Connection;
class DatasetGrid;
class QToolButton;
class RecordQueryModel;

// The card assignment screen: a grid of the employees in which their time-card numbers (and
// numbers and names) are edited, rows added and deleted, and all changes saved together.
class Tclockcus : public QWidget {
    Q_OBJECT
public:
    Tclockcus(Connection& connection, QWidget* parent);
    ~Tclockcus() override;

    QToolButton* sbinsert;
    QToolButton* sbdelete;
    QToolButton* sbpost;
    RecordQuery emp_adoq;
    RecordQueryModel* DataSource1;
    DatasetGrid* DBGrid1;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void sbinsertClick();
    void sbdeleteClick();
    void sbpostClick();

    bool placed_ = false;
};
