#pragma once

#include <QLineEdit>

// A field that shows each character typed as "*", whatever the style's own mask character is.
inline void showAsStars(QLineEdit* edit)
{
    edit->setEchoMode(QLineEdit::Password);
    edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
}
