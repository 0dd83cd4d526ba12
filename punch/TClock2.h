#pragma once

#include "PunchRecorder.h"
#include "RecordQuery.h"

#include <QWidget>

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
    bool IdentifyEmployee();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void Button2Click();
    void Button3Click();

    // Identifies the employee, writes the punch and shows its confirmation.
    void punch(PunchKind kind);

    Connection& connection_;
    PunchRecorder recorder_;
    // Whether emp_ADOQ holds the row of the employee number in the list: a lookup that failed
    // is done again by the next punch rather than taken for an unknown employee.
    bool employeeLookedUp_ = false;
};
