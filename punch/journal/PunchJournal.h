#pragma once

#include "PunchRequest.h"

#include <QDir>
#include <QString>

#include <optional>
#include <stdexcept>
#include <vector>

// The journal could not be written or read; the text says what and why.
class JournalError : public std::runtime_error {
public:
    explicit JournalError(const QString& text)
        : std::runtime_error(text.toStdString())
    {
    }
};

// What became of a journalled punch.
enum class PunchOutcome {
    Written,   // in the database
    Refused,   // the database refused it; never tried again
    WrongCard, // the card number did not match; never written
    Pending,   // the database could not be reached; written when it is back
};

// A punch as the journal holds it, with the outcome last recorded for it.
struct JournalPunch {
    QString id;
    QString host;
    PunchRequest request;
    bool cardMatched = true;
    std::optional<PunchOutcome> outcome; // none: the process ended before the outcome was known
    QString outcomeText;
};

// Where a month's file stops following its own chain, if it does.
struct JournalCheck {
    int lines = 0;      // read up to the break
    int brokenLine = 0; // 1-based, the line changed or the last before a removal; 0 when whole
    QString reason;
};

// The local record of every punch: one append-only file a month (journal/yyyy-MM.log, by the
// local time of writing), one line a punch and one a known outcome, UTF-8. Each line ends with
// the checksum of the line before it (the first line of a file with zeros), so that a line
// changed or removed afterwards breaks the chain. A punch's line is synced to the disk before
// the call returns: a punch journalled is kept whatever happens next. An outcome's line is
// written at once but not waited for.
//
// A line reads, for example:
//   2026-12-10 08:01:02 punch id=door1-20261210080102123-4711 host=door1 emp=A001 kind=上班
//     date=2026/12/10 time=08:01 serial=080102 card=matched cardno=1001 level=1 prev=…
//   2026-12-10 08:01:02 outcome id=door1-20261210080102123-4711 result=written prev=…
// Values escape '%', blanks, '=' and line ends as %XX.
class PunchJournal {
public:
    explicit PunchJournal(const QDir& folder);
    // The journal/ folder of the working directory, where the program and its commands keep it.
    static PunchJournal ofWorkingDirectory();

    const QDir& folder() const { return folder_; }

    // Returns the punch's id. Throws JournalError.
    QString recordPunch(const PunchRequest& request, bool cardMatched);
    void recordOutcome(const QString& id, PunchOutcome outcome, const QString& text = {});

    // The punches not yet written nor given up, in the order they were made. Punches made
    // before the last one that was written were all tried before it, so only the files from
    // the one holding that last write on are read.
    std::vector<JournalPunch> pending() const;

    // Every punch of the months' files, oldest first, with its outcome.
    std::vector<JournalPunch> punches() const;

    // The month files, oldest first.
    QStringList monthFiles() const;
    static JournalCheck check(const QString& filePath);

private:
    // A durable line is on the disk when the call returns.
    void append(const QString& type, const QList<std::pair<QString, QString>>& values, bool durable);

    QDir folder_;
};
