#include "ExportProgressDialog.h"

ExportProgressDialog::ExportProgressDialog(QWidget* owner, std::chrono::milliseconds showAfter)
    : dialog_(owner)
{
    dialog_.setWindowModality(Qt::WindowModal);
    dialog_.setCancelButtonText(QStringLiteral("取消"));
    dialog_.setMinimumDuration(int(showAfter.count()));
    // One dialog for every step of the export: it stays until the export is over, and a cancel
    // pressed at a step's last row still counts.
    dialog_.setAutoReset(false);
    dialog_.setAutoClose(false);
}

ExportProgress ExportProgressDialog::step(const QString& caption)
{
    return [this, caption](qsizetype done, qsizetype total) {
        dialog_.setMaximum(int(total));
        dialog_.setLabelText(QStringLiteral("%1 %2 / %3").arg(caption).arg(done).arg(total));
        // A shown modal dialog handles the events here, the cancel button's press among them.
        dialog_.setValue(int(done));
        return !dialog_.wasCanceled();
    };
}
