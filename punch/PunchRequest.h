#pragma once

#include <QString>

#include <optional>

// The four punch buttons.
enum class PunchKind { ShiftStart, ShiftEnd, OvertimeStart, OvertimeEnd };

// One punch of an identified employee, with the date and time the screen showed when it was
// pressed. Everything a punch writes comes from here, so a punch kept while the database was
// away is written later exactly as it would have been at once.
struct PunchRequest {
    PunchKind kind = PunchKind::ShiftStart;
    QString employeeNo;
    QString cardNo;        // the card number typed, which matched the employee's clock_no
    QString overtimeLevel; // the employee's pres_lv
    QString date;          // DateText "yyyy/mm/dd"
    QString time;          // TimeText "hh:nn"
    QString serial;        // the local time "hhmmss" when pressed: pres_sn of an overtime punch
};

// The caption of the punch's button, as the confirmation and the journal word it.
QString punchKindText(PunchKind kind);
std::optional<PunchKind> punchKindFromText(const QString& text);
