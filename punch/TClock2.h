#pragma once

#include "JournaledPunches.h"
#include "PunchJournal.h"
#include "PunchRecorder.h"
#include "RecordQuery.h"

#include <QHash>
#include <QWidget>

#include <optional>

class Connection;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTimer;
class QToolButton;

// The punch screen, the program's main window: the employee picks his number, types his card
// number and punches the start or end of his shift or of his overtime.
class TClock2 : public QWidget {
    Q_OBJECT
public:
    explicit TClock2(Connection& connection, QWidget* parent = nullptr);
    ~TClock2() override;

    QComboBox* ComboBox1;
    QLineEdit* Edit3;
    QLineEdit* Edit4;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QToolButton* SpeedButton1;
    QToolButton* SpeedButton2;
    QToolButton* SpeedButton3;
    QToolButton* SpeedButton4;
    QPushButton* Button2;
    QPushButton* Button3;
    QPushButton* Button1;
    QTimer* Timer1;

    RecordQuery emp_ADOQ;

private:
    void FormCreate();
    void Button1Click();
    void Timer1Timer();
    void ComboBox1Change();
    void lookUpEmployee(bool forPunch);
    bool IdentifyEmployee(PunchKind kind);
    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void Button2Click();
    void Button3Click();

    // Identifies the employee, writes the punch through the journal and shows its confirmation.
    void punch(PunchKind kind);
    PunchRequest requestFor(PunchKind kind) const;
    void showJournalFailure(const QString& failure);
    void showRefusedPending(const QStringList& engineTexts);

    // What identifies an employee at a punch.
    struct Employee {
        QString number;
        QString name;
        QString card;
        QString overtimeLevel;
    };
    Employee employeeOfTheRow();

    Connection& connection_;
    PunchRecorder recorder_;
    PunchJournal journal_;
    JournaledPunches punches_;
    // The employee of the number in the list, once looked up; a lookup that failed is done
    // again by the next punch rather than taken for an unknown employee.
    std::optional<Employee> employee_;
    // The employees as last read, by number: while the database cannot be reached, a punch is
    // identified by these and kept in the journal until it can be written.
    QHash<QString, Employee> knownEmployees_;
};
