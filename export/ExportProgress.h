#pragma once

#include <QtGlobal>

#include <functional>
#include <stdexcept>

// Told how many of a step's rows are done, and of how many (0 while that is not known yet), so
// that a screen or a terminal can show how far the work has come; the answer false asks for the
// work to stop.
using ExportProgress = std::function<bool(qsizetype done, qsizetype total)>;

// The work stopped because its progress asked it to. Whatever the step had begun is undone:
// nothing of it was written.
class ExportCancelled : public std::runtime_error {
public:
    ExportCancelled()
        : std::runtime_error("The export was cancelled.")
    {
    }
};

// Reports one more row to the progress, if any, and raises ExportCancelled when it asks to stop.
// Only every 256th row is reported, and the last when the total is known, so that a display
// costs little per row.
inline void reportProgress(const ExportProgress& progress, qsizetype done, qsizetype total)
{
    constexpr qsizetype reportEvery = 256;
    if (progress && (done % reportEvery == 0 || done == total) && !progress(done, total))
        throw ExportCancelled();
}
