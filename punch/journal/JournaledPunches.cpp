#include "JournaledPunches.h"

JournaledPunches::JournaledPunches(PunchJournal& journal, Writer writer)
    : journal_(journal)
    , writer_(std::move(writer))
{
}

bool JournaledPunches::isOutage(const DatabaseError& error)
{
    switch (error.cause()) {
    case DatabaseError::Cause::ConnectionLost:
    case DatabaseError::Cause::Unanswered:
    case DatabaseError::Cause::Unreachable:
    case DatabaseError::Cause::Busy:
        return true;
    default:
        return false;
    }
}

// A journal that cannot be written must not keep the punch from the database.
QString JournaledPunches::tryToJournal(const std::function<void()>& step)
{
    try {
        step();
    } catch (const JournalError& error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

QString JournaledPunches::refuseWrongCard(const PunchRequest& request)
{
    return tryToJournal([&] { journal_.recordOutcome(journal_.recordPunch(request, false), PunchOutcome::WrongCard); });
}

JournaledPunches::Punch JournaledPunches::punch(const PunchRequest& request)
{
    Punch result;
    QString id;
    result.journalFailure = tryToJournal([&] { id = journal_.recordPunch(request, true); });
    // The punches an outage left come first; this one is not among them.
    std::vector<JournalPunch> earlier;
    if (!id.isEmpty()) {
        result.journalFailure = tryToJournal([&] {
            if (!pending_)
                pending_ = journal_.pending();
            forget(id);
            earlier = *pending_;
        });
    }
    const auto settle = [&](PunchOutcome outcome, const QString& text) {
        if (!id.isEmpty())
            recordOutcome(id, outcome, text, &result.journalFailure);
    };
    try {
        result.refusedPending = replay(std::move(earlier), &result.journalFailure);
        result.written = writer_(request);
        settle(PunchOutcome::Written, {});
    } catch (const DatabaseError& error) {
        const QString text = QString::fromUtf8(error.what());
        result.failure = error;
        result.keptForLater = !id.isEmpty() && isOutage(error);
        if (result.keptForLater && pending_)
            pending_->push_back({id, {}, request, true, PunchOutcome::Pending, text});
        settle(result.keptForLater ? PunchOutcome::Pending : PunchOutcome::Refused, text);
    }
    return result;
}

QStringList JournaledPunches::replayPending()
{
    pending_ = journal_.pending();
    return replay(*pending_, nullptr);
}

void JournaledPunches::recordOutcome(const QString& id, PunchOutcome outcome, const QString& text,
                                     QString* journalFailure)
{
    if (!journalFailure) {
        journal_.recordOutcome(id, outcome, text);
        return;
    }
    const QString failure = tryToJournal([&] { journal_.recordOutcome(id, outcome, text); });
    if (journalFailure->isEmpty())
        *journalFailure = failure;
}

void JournaledPunches::forget(const QString& id)
{
    if (pending_)
        std::erase_if(*pending_, [&](const JournalPunch& pending) { return pending.id == id; });
}

// The punches are the caller's own copy: forgetting shortens the list they may come from.
QStringList JournaledPunches::replay(std::vector<JournalPunch> punches, QString* journalFailure)
{
    QStringList refused;
    for (const JournalPunch& punch : punches) {
        try {
            writer_(punch.request);
        } catch (const DatabaseError& error) {
            if (isOutage(error))
                throw;
            refused.append(QString::fromUtf8(error.what()));
            recordOutcome(punch.id, PunchOutcome::Refused, refused.last(), journalFailure);
            forget(punch.id);
            continue;
        }
        recordOutcome(punch.id, PunchOutcome::Written, {}, journalFailure);
        forget(punch.id);
    }
    return refused;
}
