#include "ExportProgressDialog.h"

#include <QCoreApplication>

#include <limits>

ExportProgressDialog::ExportProgressDialog(QWidget* owner, std::chrono::milliseconds showAfter)
    : dialog_(owner)
    , showAfter_(showAfter)
{
    dialog_.setWindowModality(Qt::WindowModal);
    dialog_.setCancelButtonText(QStringLiteral("取消"));
    // Shown by step() alone, also while the count of rows is not known, which the dialog's own
    // estimate needs.
    dialog_.setMinimumDuration(std::numeric_limits<int>::max());
    // One dialog for every step of the export: it stays until the export is over, and a cancel
    // pressed at a step's last row still counts.
    dialog_.setAutoReset(false);
    dialog_.setAutoClose(false);
    running_.start();
}

ExportProgress ExportProgressDialog::step(const QString& caption)
{
    return [this, caption](qsizetype done, qsizetype total) {
        if (total > 0) {
            dialog_.setRange(0, int(total));
            dialog_.setValue(int(done));
            dialog_.setLabelText(QStringLiteral("%1 %2 / %3").arg(caption).arg(done).arg(total));
        } else {
            dialog_.setRange(0, 0); // busy
            dialog_.setLabelText(QStringLiteral("%1 %2").arg(caption).arg(done));
        }
        if (!dialog_.isVisible() && running_.elapsed() >= showAfter_.count())
            dialog_.show();
        // The work runs outside the event loop: here the dialog is drawn and its cancel heard.
        if (dialog_.isVisible())
            QCoreApplication::processEvents();
        return !dialog_.wasCanceled();
    };
}
