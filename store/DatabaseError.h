#pragma once

#include <QString>

#include <stdexcept>

// An error raised by the record store or the database engine below it. The text is what the
// user sees in the standard error box, so it is kept as the engine or the store words it.
class DatabaseError : public std::runtime_error {
public:
    // What the caller may do about it: a lost link is worth one reopening, a busy database
    // is worth waiting for; a server that did not answer in time is not asked again by the
    // same operation (the link is closed, the next operation opens it anew); a database that
    // could not be opened at all is Unreachable; anything else ends the operation.
    enum class Cause { Other, ConnectionLost, Busy, Unanswered, Unreachable };

    explicit DatabaseError(const QString& text, Cause cause = Cause::Other)
        : std::runtime_error(text.toStdString())
        , cause_(cause)
    {
    }

    Cause cause() const { return cause_; }

private:
    Cause cause_;
};
