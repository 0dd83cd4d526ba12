// A Qt generic plugin that the package test loads into the installed program (through
// QT_PLUGIN_PATH and QT_QPA_GENERIC_PLUGINS), so that the program is tested as it is shipped.
// It prints one line for every window that the program shows: "window", the class, the title
// and, for a message box, its text, separated by tabs. A dialog is closed again so that the
// program goes on; the first other window is the main window, and the program ends once its
// event loop runs.
#include <QApplication>
#include <QDialog>
#include <QGenericPlugin>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

class WindowReporter final : public QObject {
public:
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && !event->spontaneous() && watched->isWidgetType())
            report(static_cast<QWidget*>(watched));
        return false;
    }

private:
    void report(QWidget* widget)
    {
        if (!widget->isWindow() || (widget->windowType() != Qt::Window && widget->windowType() != Qt::Dialog))
            return;
        QString line =
            u"window\t"_s + QString::fromLatin1(widget->metaObject()->className()) + u'\t' + widget->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(widget))
            line += u'\t' + box->text();
        std::fputs((line + u'\n').toUtf8().constData(), stdout);
        std::fflush(stdout);
        if (qobject_cast<QDialog*>(widget))
            QTimer::singleShot(0, widget, &QWidget::close);
        else if (!mainWindowShown_) {
            mainWindowShown_ = true;
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
    }

    bool mainWindowShown_ = false;
};

} // namespace

class WindowProbePlugin final : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "WindowProbe.json")

public:
    QObject* create(const QString&, const QString&) override
    {
        // The application deletes the objects of its generic plugins when it ends.
        auto* reporter = new WindowReporter;
        qApp->installEventFilter(reporter);
        return reporter;
    }
};

#include "WindowProbe.moc"
