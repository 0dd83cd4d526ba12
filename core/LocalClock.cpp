#include "LocalClock.h"

namespace LocalClock {

namespace {
std::function<QDateTime()>& source()
{
    static std::function<QDateTime()> current;
    return current;
}
} // namespace

QDateTime now()
{
    return source() ? source()() : QDateTime::currentDateTime();
}

void setSource(std::function<QDateTime()> newSource)
{
    source() = std::move(newSource);
}

QString dateText(const QDateTime& moment)
{
    return moment.toString(QStringLiteral("yyyy/MM/dd"));
}

QString timeText(const QDateTime& moment)
{
    return moment.toString(QStringLiteral("HH:mm"));
}

} // namespace LocalClock
