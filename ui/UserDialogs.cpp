#include "UserDialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

namespace {

class WidgetDialogs final : public UserDialogs {
public:
    void showMessage(QWidget* owner, const QString& text, const QString& caption, Icon icon) override
    {
        QMessageBox box(toBoxIcon(icon), caption, text, QMessageBox::Ok, owner);
        box.exec();
    }

    bool confirm(QWidget* owner, const QString& text, const QString& caption) override
    {
        QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Ok | QMessageBox::Cancel, owner);
        return box.exec() == QMessageBox::Ok;
    }

    void openWithDesktop(const QString& path) override
    {
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }

private:
    static QMessageBox::Icon toBoxIcon(Icon icon)
    {
        switch (icon) {
        case Icon::Information:
            return QMessageBox::Information;
        case Icon::Warning:
            return QMessageBox::Warning;
        case Icon::Error:
            return QMessageBox::Critical;
        case Icon::None:
            break;
        }
        return QMessageBox::NoIcon;
    }
};

UserDialogs*& installed()
{
    static UserDialogs* dialogs = nullptr;
    return dialogs;
}

} // namespace

UserDialogs& UserDialogs::current()
{
    static WidgetDialogs real;
    return installed() ? *installed() : real;
}

void UserDialogs::install(UserDialogs* dialogs)
{
    installed() = dialogs;
}

QString applicationTitle()
{
    return QStringLiteral("打卡");
}

void showMessage(const QString& text, QWidget* owner)
{
    UserDialogs::current().showMessage(owner, text, applicationTitle(), UserDialogs::Icon::None);
}

QString standardErrorText(const QString& text)
{
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        return text + QLatin1Char('.');
    return text;
}

void showStandardError(const QString& text)
{
    UserDialogs::current().showMessage(QApplication::activeWindow(), standardErrorText(text),
                                       applicationTitle(), UserDialogs::Icon::Error);
}
