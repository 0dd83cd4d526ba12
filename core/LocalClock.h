#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

// The local clock, read through one place so that tests can set it.
namespace LocalClock {

QDateTime now();

// Until reset with an empty function, now() asks this one.
void setSource(std::function<QDateTime()> source);

// "yyyy/mm/dd" and "hh:nn" of the local clock: the date and time texts stored in the database.
QString dateText(const QDateTime& moment);
QString timeText(const QDateTime& moment);

} // namespace LocalClock
