#pragma once

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
    RecordQuery clock_ADOQ;
    RecordQuery temp_ADOQ;
    RecordQuery over_ADOQ;

private:
    enum class ShiftPunch { Start, End };
    enum class OvertimePunch { Start, End };

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
    void clock_ADOQAfterInsert();
    void over_ADOQpres_etimeValidate(Field& sender);

    void punchShift(ShiftPunch punch);
    // Opens the query on the current employee's row of the punch date in the table.
    void openRowOfTheDay(RecordQuery& query, const QString& table, const QString& employeeColumn,
                         const QString& dayColumn);
    // The confirmation: the employee's name, the label, the date and the time.
    void confirmPunch(const QString& label, const QString& date, const QString& time);
    void punchOvertime(OvertimePunch punch);

    Connection& connection_;
};
