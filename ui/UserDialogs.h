#pragma once

#include <QString>

class QWidget;

// Every modal message box and the desktop's "open" go through here, so that tests can record
// them instead of blocking on them.
class UserDialogs {
public:
    enum class Icon { None, Information, Warning, Error };

    virtual ~UserDialogs() = default;

    // A modal box with one OK button.
    virtual void showMessage(QWidget* owner, const QString& text, const QString& caption, Icon icon) = 0;
    // A modal question with OK and Cancel; true for OK.
    virtual bool confirm(QWidget* owner, const QString& text, const QString& caption) = 0;
    // Opens a file in the application the desktop associates with it.
    virtual void openWithDesktop(const QString& path) = 0;

    // The dialogs in use: real message boxes unless a test installed its own.
    static UserDialogs& current();
    static void install(UserDialogs* dialogs); // nullptr restores the real ones
};

// The program's title, shown as the caption of its plain messages and error boxes.
QString applicationTitle();

// A plain message under the program's title with one OK button.
void showMessage(const QString& text, QWidget* owner = nullptr);

// The standard error box: the error's own text, with a "." added when the text ends in a
// character that sorts after "."; an error icon and the program's title.
void showStandardError(const QString& text);
QString standardErrorText(const QString& text);
