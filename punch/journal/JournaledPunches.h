#pragma once

#include "DatabaseError.h"
#include "PunchJournal.h"
#include "PunchRecorder.h"

#include <functional>
#include <optional>
#include <vector>

// Punches that reach the database through the journal: each punch is journalled before the
// database is touched, the punches that an outage left pending are written first, in the order
// they were made and by the same rules, and the outcome of each is journalled.
//
// A pending punch written twice (the process ended between its write and the journal's word of
// it) changes nothing the second time: it sets the same times into the same day-row, before any
// later punch is written.
class JournaledPunches {
public:
    using Writer = std::function<PunchWritten(const PunchRequest&)>;

    JournaledPunches(PunchJournal& journal, Writer writer);

    // Whether a failed write is kept for later: the database could not be reached, or stayed
    // busy longer than a punch waits. Nothing in the punch itself was refused.
    static bool isOutage(const DatabaseError& error);

    // Journals a punch whose card did not match; it is never written. Returns the journal's
    // failure, or empty.
    QString refuseWrongCard(const PunchRequest& request);

    struct Punch {
        QString journalFailure; // the journal could not be written; the database write went on
        std::optional<PunchWritten> written;
        std::optional<DatabaseError> failure;
        bool keptForLater = false; // the failure left the punch pending in the journal
        QStringList refusedPending; // the engine's texts of pending punches the database refused
    };
    // Journals the punch, writes what is pending, then the punch itself.
    Punch punch(const PunchRequest& request);

    // Writes the pending punches. Returns the engine's texts of those the database refused,
    // which are not tried again; raises the DatabaseError of one that could not reach the
    // database, which stays pending with those after it, and JournalError.
    QStringList replayPending();

private:
    QString tryToJournal(const std::function<void()>& step);
    // An outcome that cannot be journalled goes to journalFailure (the first one kept), or is
    // raised when there is none: a punch under way goes on without its journal.
    QStringList replay(std::vector<JournalPunch> punches, QString* journalFailure);
    void recordOutcome(const QString& id, PunchOutcome outcome, const QString& text, QString* journalFailure);
    void forget(const QString& id);

    PunchJournal& journal_;
    Writer writer_;
    // The pending punches as this terminal knows them: read from the journal once, then kept
    // up to date, so that a punch does not read the month's file again.
    std::optional<std::vector<JournalPunch>> pending_;
};
