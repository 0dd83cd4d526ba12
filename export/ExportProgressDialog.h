#pragma once

#include "ExportProgress.h"

#include <QElapsedTimer>
#include <QProgressDialog>
#include <QString>

#include <chrono>

class QWidget;

// The rows done of an export's steps in a window-modal progress dialog with a cancel button. It
// shows only once the work has gone on for `showAfter`, so that a short export shows nothing.
class ExportProgressDialog {
public:
    ExportProgressDialog(QWidget* owner, std::chrono::milliseconds showAfter);

    // The progress of one step, shown under its caption; it asks to stop once cancel is pressed.
    ExportProgress step(const QString& caption);

private:
    QProgressDialog dialog_;
    std::chrono::milliseconds showAfter_;
    QElapsedTimer running_;
};
