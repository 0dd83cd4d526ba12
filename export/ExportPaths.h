#pragma once

#include <QDateTime>
#include <QString>

// The names of the export files: both local files lie in the folder temp under the working
// directory, which the export expects to exist and never creates.
namespace ExportPaths {

// The working directory + "/temp/卡鐘匯檔.xls": the file of "匯出Excel".
QString workbookPath();

// The working directory + "/temp/" + yyyymmdd + "卡鐘.xls": the day's file, which the upload sends.
QString datedWorkbookPath(const QDateTime& day);

// unit + "-卡鐘" + yyyymmdd + ".xls": the name the day's file is stored under on the server.
QString remoteName(const QString& unit, const QDateTime& day);

} // namespace ExportPaths
