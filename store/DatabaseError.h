#pragma once

#include <QString>

#include <stdexcept>

// An error raised by the record store or the database engine below it. The text is what the
// user sees in the standard error box, so it is kept as the engine or the store words it.
class DatabaseError : public std::runtime_error {
public:
    explicit DatabaseError(const QString& text)
        : std::runtime_error(text.toStdString())
    {
    }
};
