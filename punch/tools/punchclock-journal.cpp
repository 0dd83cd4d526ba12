// punchclock-journal: the punch journal of the working directory, for the person who looks
// after the clock and for an inspector.
//   verify [YYYY-MM]            checks the chain of a month's file (default: every month)
//   pending                     lists the punches not yet written to the database
//   replay                      writes them now, by the rules of a live punch
//   show EMPLOYEE [FROM TO]     the employee's punches of a range (YYYY/MM/DD), to the minute
// Exit status: 0 done; 1 a chain is broken, or punches are left unwritten; 2 the arguments
// cannot be used; 3 the journal or the database cannot be read or written.
#include "Connection.h"
#include "DatabaseError.h"
#include "JournaledPunches.h"
#include "PunchJournal.h"
#include "PunchRecorder.h"
#include "SettingsFileError.h"
#include "WorkingDatabase.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace {

enum ExitStatus { done = 0, unsound = 1, badArguments = 2, cannotWork = 3 };

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

QString outcomeText(const JournalPunch& punch)
{
    if (!punch.outcome)
        return QStringLiteral("outcome unknown (the terminal stopped before it)");
    switch (*punch.outcome) {
    case PunchOutcome::Written:
        return QStringLiteral("written");
    case PunchOutcome::Refused:
        return QStringLiteral("refused: ") + QString(punch.outcomeText).replace(QLatin1Char('\n'), QLatin1Char(' '));
    case PunchOutcome::WrongCard:
        return QStringLiteral("wrong card, not written");
    case PunchOutcome::Pending:
        return QStringLiteral("pending: ") + QString(punch.outcomeText).replace(QLatin1Char('\n'), QLatin1Char(' '));
    }
    return {};
}

QString describe(const JournalPunch& punch)
{
    return QStringLiteral("%1 %2 %3 %4 on %5: %6")
        .arg(punch.request.date, punch.request.time, punch.request.employeeNo, punchKindText(punch.request.kind),
             punch.host, outcomeText(punch));
}

int verify(const PunchJournal& journal, const QStringList& arguments)
{
    QStringList files = journal.monthFiles();
    if (!arguments.isEmpty()) {
        const QString month = arguments.first();
        if (arguments.size() > 1 || !QDate::fromString(month + QStringLiteral("-01"), QStringLiteral("yyyy-MM-dd")).isValid()) {
            err() << "verify takes one month, written YYYY-MM\n";
            return badArguments;
        }
        const QString path = journal.folder().filePath(month + QStringLiteral(".log"));
        if (!QFileInfo::exists(path)) {
            err() << "there is no journal of " << month << " (" << path << ")\n";
            return cannotWork;
        }
        files = {path};
    }
    int status = done;
    for (const QString& file : files) {
        const JournalCheck check = PunchJournal::check(file);
        if (check.brokenLine == 0) {
            out() << file << ": " << check.lines << " lines, the chain holds\n";
        } else {
            out() << file << ": broken at line " << check.brokenLine << ": " << check.reason << "\n";
            status = unsound;
        }
    }
    return status;
}

int pending(const PunchJournal& journal)
{
    const std::vector<JournalPunch> punches = journal.pending();
    for (const JournalPunch& punch : punches)
        out() << describe(punch) << "\n";
    out() << punches.size() << " punches not yet written\n";
    return done;
}

int replay(PunchJournal& journal)
{
    Connection connection(QStringLiteral("CUSConnection1"));
    out() << openWorkingDatabase(connection) << "\n";
    PunchRecorder recorder(connection);
    JournaledPunches punches(journal, [&](const PunchRequest& request) { return recorder.record(request); });
    const std::size_t before = journal.pending().size();
    const QStringList refused = punches.replayPending();
    for (const QString& text : refused)
        err() << "refused by the database: " << text << "\n";
    out() << before - refused.size() << " punches written, " << refused.size() << " refused\n";
    return refused.isEmpty() ? done : unsound;
}

int show(const PunchJournal& journal, const QStringList& arguments)
{
    if (arguments.size() != 1 && arguments.size() != 3) {
        err() << "show takes an employee number, and may take a range FROM TO written YYYY/MM/DD\n";
        return badArguments;
    }
    QString from;
    QString to;
    if (arguments.size() == 3) {
        for (const QString& date : {arguments[1], arguments[2]}) {
            if (!QDate::fromString(date, QStringLiteral("yyyy/MM/dd")).isValid()) {
                err() << "not a date written YYYY/MM/DD: " << date << "\n";
                return badArguments;
            }
        }
        from = arguments[1];
        to = arguments[2];
    }
    int shown = 0;
    for (const JournalPunch& punch : journal.punches()) {
        // The texts "yyyy/MM/dd" sort as the dates do.
        if (punch.request.employeeNo != arguments[0] || (!from.isEmpty() && (punch.request.date < from || punch.request.date > to)))
            continue;
        out() << describe(punch) << "\n";
        ++shown;
    }
    out() << shown << " punches\n";
    return done;
}

int usage()
{
    err() << "usage: punchclock-journal verify [YYYY-MM] | pending | replay | show EMPLOYEE [FROM TO]\n";
    return badArguments;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QStringList arguments = application.arguments().mid(1);
    if (arguments.isEmpty())
        return usage();
    const QString command = arguments.takeFirst();
    PunchJournal journal = PunchJournal::ofWorkingDirectory();
    try {
        if (command == QLatin1String("verify"))
            return verify(journal, arguments);
        if (!arguments.isEmpty() && command != QLatin1String("show"))
            return usage();
        if (command == QLatin1String("pending"))
            return pending(journal);
        if (command == QLatin1String("replay"))
            return replay(journal);
        if (command == QLatin1String("show"))
            return show(journal, arguments);
    } catch (const DatabaseError& error) {
        err() << "the database: " << error.what() << "\n";
        return cannotWork;
    } catch (const std::exception& error) {
        err() << error.what() << "\n";
        return cannotWork;
    }
    return usage();
}
