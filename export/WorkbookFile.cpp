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

void saveWorkbook(const QString& path, XlsWorkbook workbook)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        failWriting(file);
    writeXlsWorkbook(file, std::move(workbook));
    if (!file.commit())
        failWriting(file);
}

void saveWorkbook(const QString& path, const Worksheet& sheet)
{
    saveWorkbook(path, XlsWorkbook::of(sheet));
}
