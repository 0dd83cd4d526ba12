#include "ExportPaths.h"

#include <QDir>

namespace ExportPaths {

namespace {

QString exportFolder()
{
    return QDir::currentPath() + QStringLiteral("/temp/");
}

QString dayDigits(const QDateTime& day)
{
    return day.toString(QStringLiteral("yyyyMMdd"));
}

} // namespace

QString workbookPath()
{
    return exportFolder() + QStringLiteral("卡鐘匯檔.xls");
}

QString datedWorkbookPath(const QDateTime& day)
{
    return exportFolder() + dayDigits(day) + QStringLiteral("卡鐘.xls");
}

QString remoteName(const QString& unit, const QDateTime& day)
{
    return unit + QStringLiteral("-卡鐘") + dayDigits(day) + QStringLiteral(".xls");
}

} // namespace ExportPaths
