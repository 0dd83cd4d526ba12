#pragma once

#include "XlsWorkbookWriter.h"

#include <QString>

// Writes the workbook (or the worksheet, made into one) as an .xls file at the path, replacing
// a file that is there. The file changes only when the whole workbook is written: a failure
// leaves the earlier file, or none. Throws XlsWriteError, also when the file cannot be written
// (its folder missing, say).
void saveWorkbook(const QString& path, XlsWorkbook workbook);
void saveWorkbook(const QString& path, const Worksheet& sheet);
