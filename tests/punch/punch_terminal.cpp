// Another punch terminal on the same database, for tests of punches that meet each other: it
// punches once and says how that went.
//
//   punch_terminal CONNECTION-STRING KIND EMPLOYEE CARD DATE TIME SERIAL
//
// KIND is ShiftStart, ShiftEnd, OvertimeStart or OvertimeEnd. Once its connection is open it
// prints "ready PID" (the server process of its session on PostgreSQL, 0 on SQLite); on SQLite
// it prints "waiting" when the punch starts to wait for another writer's lock. Then "written",
// or "failed: " and the error's text, with exit code 1.
#include "Connection.h"
#include "PunchRecorder.h"

#include <QCoreApplication>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QTextStream>
#include <QVariant>

#include <sqlite3.h>

#include <cstdio>
#include <exception>

namespace {

constexpr int busyWaitMs = 10000; // as long as the program's own busy time-out

// Waits for a held lock as SQLite's busy time-out does, and says so the first time of each wait.
int sayWhenWaiting(void*, int attempt)
{
    if (attempt == 0) {
        std::fputs("waiting\n", stdout);
        std::fflush(stdout);
    }
    if (attempt >= busyWaitMs)
        return 0;
    sqlite3_sleep(1);
    return 1;
}

PunchKind kindNamed(const QString& name)
{
    if (name == QLatin1String("ShiftEnd"))
        return PunchKind::ShiftEnd;
    if (name == QLatin1String("OvertimeStart"))
        return PunchKind::OvertimeStart;
    if (name == QLatin1String("OvertimeEnd"))
        return PunchKind::OvertimeEnd;
    return PunchKind::ShiftStart;
}

// The server process of the session, or 0 on SQLite, where the busy handler takes its place.
int prepareSession(QSqlDatabase db)
{
    if (db.driver()->dbmsType() == QSqlDriver::SQLite) {
        const QVariant handle = db.driver()->handle();
        sqlite3_busy_handler(*static_cast<sqlite3* const*>(handle.constData()), sayWhenWaiting, nullptr);
        return 0;
    }
    QSqlQuery query(db);
    query.exec(QStringLiteral("SELECT pg_backend_pid()"));
    return query.next() ? query.value(0).toInt() : 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    QTextStream out(stdout);
    if (arguments.size() != 8) {
        out << "usage: punch_terminal CONNECTION-STRING KIND EMPLOYEE CARD DATE TIME SERIAL\n";
        return 2;
    }
    try {
        Connection connection(QStringLiteral("terminal"));
        connection.setConnectionString(arguments.at(1));
        out << "ready " << prepareSession(connection.database()) << Qt::endl;
        PunchRequest request;
        request.kind = kindNamed(arguments.at(2));
        request.employeeNo = arguments.at(3);
        request.cardNo = arguments.at(4);
        request.date = arguments.at(5);
        request.time = arguments.at(6);
        request.serial = arguments.at(7);
        PunchRecorder(connection).record(request);
        out << "written" << Qt::endl;
        return 0;
    } catch (const std::exception& error) {
        out << "failed: " << QString::fromUtf8(error.what()) << Qt::endl;
        return 1;
    }
}
