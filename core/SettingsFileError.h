#pragma once

#include <QString>

#include <stdexcept>

// A settings file that cannot be read or written; the text is shown as it stands.
class SettingsFileError : public std::runtime_error {
public:
    explicit SettingsFileError(const QString& text)
        : std::runtime_error(text.toStdString())
    {
    }
};
