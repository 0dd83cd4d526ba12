#include "HoursRule.h"

#include <cmath>
#include <optional>

namespace {

// hh * 60 + nn from the first four characters of the time less its ":" separators.
std::optional<int> minutesOf(const QString& time)
{
    QString digits = time;
    digits.remove(QLatin1Char(':'));
    bool hoursOk = false;
    bool minutesOk = false;
    const int hours = digits.mid(0, 2).toInt(&hoursOk);
    const int minutes = digits.mid(2, 2).toInt(&minutesOk);
    if (!hoursOk || !minutesOk)
        return std::nullopt;
    return hours * 60 + minutes;
}

} // namespace

double overtimeHours(const QString& startTime, const QString& endTime)
{
    const std::optional<int> start = minutesOf(startTime);
    const std::optional<int> end = minutesOf(endTime);
    if (!start || !end)
        return 0.0;
    const double halfHours = (*end - *start) / 30.0;
    // std::round takes halves away from zero: 0.5 -> 1, -0.5 -> -1.
    return std::round(halfHours) * 0.5;
}
