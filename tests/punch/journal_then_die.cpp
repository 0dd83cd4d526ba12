// A terminal that ends at the worst moment: it journals a shift start and is killed before it
// touches the database. Run in the working directory: journal_then_die EMPLOYEE CARD DATE TIME
#include "PunchJournal.h"

#include <QCoreApplication>

#include <csignal>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() != 5)
        return 2;
    PunchRequest request;
    request.kind = PunchKind::ShiftStart;
    request.employeeNo = arguments[1];
    request.cardNo = arguments[2];
    request.date = arguments[3];
    request.time = arguments[4];
    request.serial = QString(request.time).remove(QLatin1Char(':')) + QStringLiteral("00");
    PunchJournal::ofWorkingDirectory().recordPunch(request, true);
    std::raise(SIGKILL);
    return 0;
}
