#include "WorkbookFile.h"

#include <QDir>
#include <QSaveFile>

namespace {

[[noreturn]] void failWriting(const QSaveFile& file)
{
    throw XlsWriteError(QStringLiteral("Cannot write %1: %2")
                            .arg(QDir::toNativeSeparators(file.fileName()), file.errorString()));
}

} // namespace

void saveWorkbook(const QString& path, const SpreadsheetTable& table)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        failWriting(file);
    writeXlsWorkbook(file, table);
    if (!file.commit())
        failWriting(file);
}
