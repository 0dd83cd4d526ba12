#pragma once

#include <QString>

// The overtime hours between a start and an end time "hh:nn": the minutes between them in
// half hours, rounded to the nearest whole half hour with halves away from zero, as hours.
// An end before the start gives negative hours; a time that cannot be read gives 0.
double overtimeHours(const QString& startTime, const QString& endTime);
