#pragma once

#include "PunchRequest.h"

#include <QString>
#include <QVariantList>

#include <memory>

class Connection;
class QSqlDatabase;

// What the confirmation of a punch shows besides the employee's name: the date and the time
// that the punch wrote into the employee's row of the day.
struct PunchWritten {
    QString date;
    QString time;
};

// The confirmation: the employee's name, two blanks, the punch's label, the date, three blanks
// and the time, e.g. "王小明  上班時間：2024/05/03   08:05".
QString punchConfirmation(const QString& employeeName, PunchKind kind, const PunchWritten& written);

// Writes punches into the employee's row of the day: shift punches into clock (a new row takes
// its planned half from the first shift definition of pres_sys), overtime punches into pre_over
// (an end works out the overtime hours). The lookup of the row and its append or edit form one
// write transaction that holds the lock from the lookup to the commit, so that terminals punching
// the same employee at the same moment leave one row with both punches, in commit order. A busy
// database is waited for; a lost connection is reopened once.
class PunchRecorder {
public:
    explicit PunchRecorder(Connection& connection);
    ~PunchRecorder();
    PunchRecorder(const PunchRecorder&) = delete;
    PunchRecorder& operator=(const PunchRecorder&) = delete;

    // Raises DatabaseError with the engine's text when the punch cannot be written; nothing of
    // it is then stored.
    PunchWritten record(const PunchRequest& request);

private:
    class Statements;
    // The employee's row of the day as the lookup found it.
    struct DayRow {
        bool found = false;
        QVariantList location; // binds the edit to the row found
        QString startTime;     // pres_stime of an overtime row
    };

    PunchWritten recordOnce(QSqlDatabase& db, const PunchRequest& request);
    static DayRow findDayRow(QSqlDatabase& db, Statements& statement, const PunchRequest& request);
    static void writeShift(QSqlDatabase& db, Statements& statement, const PunchRequest& request, const DayRow& row);
    static void writeOvertime(QSqlDatabase& db, Statements& statement, const PunchRequest& request, const DayRow& row);
    Statements& statementsFor(QSqlDatabase& db);
    static void rollBack(QSqlDatabase& db, Statements& statement) noexcept;

    Connection& connection_;
    std::unique_ptr<Statements> statements_;
};
