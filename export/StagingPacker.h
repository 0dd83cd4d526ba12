#pragma once

#include <QString>

// How a listed punch is written into the staging rows of ptemp: the date and the times packed
// into digits, and the punch code that tells a shift from an overtime punch.
namespace StagingPacker {

// The two kinds of the export screen's kind list.
inline const QString shiftKind = QStringLiteral("上班");
inline const QString overtimeKind = QStringLiteral("加班");

// Characters 1 to 4, 6 to 7 and 9 to 10 of the date text: "2024/05/03" becomes "20240503".
// Characters are taken by position and not checked; a shorter text gives a shorter result.
QString packDate(const QString& date);

// Characters 1 to 2 and 4 to 5 of the time text: "08:05" becomes "0805".
QString packTime(const QString& time);

// The codes of the start and the end punch: "1" and "2" for the kind "上班", "3" and "4" for
// any other kind (in practice "加班").
QString startCode(const QString& kind);
QString endCode(const QString& kind);

} // namespace StagingPacker
