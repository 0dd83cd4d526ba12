#include "StagingPacker.h"

namespace StagingPacker {

QString packDate(const QString& date)
{
    return date.mid(0, 4) + date.mid(5, 2) + date.mid(8, 2);
}

QString packTime(const QString& time)
{
    return time.mid(0, 2) + time.mid(3, 2);
}

QString startCode(const QString& kind)
{
    return kind == shiftKind ? QStringLiteral("1") : QStringLiteral("3");
}

QString endCode(const QString& kind)
{
    return kind == shiftKind ? QStringLiteral("2") : QStringLiteral("4");
}

} // namespace StagingPacker
