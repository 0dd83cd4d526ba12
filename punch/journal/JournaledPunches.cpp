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
    std::vector<JournalPunch> earlier;
    if (!id.isEmpty()) {
        result.journalFailure = tryToJournal([&] { earlier = journal_.pending(); });
        std::erase_if(earlier, [&](const JournalPunch& pending) { return pending.id == id; });
    }
    const auto settle = [&](PunchOutcome outcome, const QString& text) {
        if (id.isEmpty())
            return;
        const QString failure = tryToJournal([&] { journal_.recordOutcome(id, outcome, text); });
        if (result.journalFailure.isEmpty())
            result.journalFailure = failure;
    };
    try {
        result.refusedPending = replay(earlier);
        result.written = writer_(request);
        settle(PunchOutcome::Written, {});
    } catch (const DatabaseError& error) {
        result.failure = error;
        result.keptForLater = !id.isEmpty() && isOutage(error);
        settle(result.keptForLater ? PunchOutcome::Pending : PunchOutcome::Refused, QString::fromUtf8(error.what()));
    }
    return result;
}

QStringList JournaledPunches::replayPending()
{
    return replay(journal_.pending());
}

QStringList JournaledPunches::replay(const std::vector<JournalPunch>& pending)
{
    QStringList refused;
    for (const JournalPunch& punch : pending) {
        try {
            writer_(punch.request);
        } catch (const DatabaseError& error) {
            if (isOutage(error))
                throw;
            refused.append(QString::fromUtf8(error.what()));
            journal_.recordOutcome(punch.id, PunchOutcome::Refused, refused.last());
            continue;
        }
        journal_.recordOutcome(punch.id, PunchOutcome::Written);
    }
    return refused;
}
