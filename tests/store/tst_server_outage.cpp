// A database server that goes away or stops answering while the program has it open: the next
// operation opens the link anew, and a server that does not answer ends the operation in time.
// These tests restart or freeze the shared test server, so CTest runs them alone.
#include "Connection.h"
#include "DatabaseError.h"
#include "RecordQuery.h"
#include "Tables.h"
#include "TestDatabases.h"

#include <QSqlQuery>
#include <QtTest>

#include <optional>
#include <signal.h>

class TestServerOutage : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void restartedServerIsOpenedAgain();
    void frozenServerEndsTheOperation();
};

namespace {

int rowCount(const QString& connectionString, const QString& statement)
{
    Connection check(QStringLiteral("check"));
    check.setConnectionString(connectionString);
    QSqlQuery query(check.database());
    if (!query.exec(statement) || !query.next())
        throw DatabaseError(QStringLiteral("cannot count: ") + statement);
    return query.value(0).toInt();
}

// Stops a server process, as a host that hangs does, and lets it go on when the test ends.
class FrozenProcess {
public:
    explicit FrozenProcess(qint64 pid)
        : pid_(pid)
    {
        QVERIFY2(::kill(pid_t(pid_), SIGSTOP) == 0, "cannot stop the server process");
    }
    ~FrozenProcess() { ::kill(pid_t(pid_), SIGCONT); }

private:
    qint64 pid_;
};

} // namespace

void TestServerOutage::init()
{
    const QString whyNot = TestDatabases::restartUnavailable();
    if (!whyNot.isEmpty())
        QSKIP(qPrintable(whyNot));
}

void TestServerOutage::restartedServerIsOpenedAgain()
{
    TestDatabases databases;
    const QString connectionString = databases.fresh(QStringLiteral("postgresql"), true);
    Connection connection(QStringLiteral("terminal"));
    connection.setConnectionString(connectionString);
    RecordQuery clock(QStringLiteral("clock_ADOQ"), connection, RecordQuery::WriteMode::Immediate, Tables::clock());
    clock.sql() = {QStringLiteral("select * from clock where clock_emp='A001'")};
    clock.open();

    TestDatabases::restartPostgres();

    // The first operation after the restart, a write, meets the dead link: it is written once.
    clock.append();
    clock.fieldByName(QStringLiteral("clock_emp")).setAsString(QStringLiteral("A001"));
    clock.fieldByName(QStringLiteral("clock_dat1")).setAsString(QStringLiteral("2026/12/10"));
    clock.post();
    QCOMPARE(rowCount(connectionString, QStringLiteral("select count(*) from clock")), 1);

    // And a read.
    TestDatabases::restartPostgres();
    clock.close();
    clock.open();
    QCOMPARE(clock.rowCount(), 1);
}

void TestServerOutage::frozenServerEndsTheOperation()
{
    TestDatabases databases;
    const QString connectionString = databases.fresh(QStringLiteral("postgresql"), true);
    Connection connection(QStringLiteral("terminal"));
    connection.setConnectionString(connectionString);
    connection.setStatementTimeoutSeconds(1);
    QSqlQuery pid(connection.database());
    QVERIFY(pid.exec(QStringLiteral("select pg_backend_pid()")) && pid.next());
    const qint64 serverProcess = pid.value(0).toLongLong();
    pid = QSqlQuery();

    RecordQuery employees(QStringLiteral("emp_ADOQ"), connection, RecordQuery::WriteMode::Immediate);
    employees.sql() = {QStringLiteral("select * from employee")};
    std::optional<DatabaseError::Cause> cause;
    {
        const FrozenProcess frozen(serverProcess);
        try {
            employees.open();
        } catch (const DatabaseError& error) {
            cause = error.cause();
        }
    }
    QCOMPARE(cause, std::optional(DatabaseError::Cause::Unanswered));
    QVERIFY(!connection.isOpen());

    // The server process that hung is no more the connection's: the next operation opens anew.
    employees.open();
    QCOMPARE(employees.rowCount(), 4);
}

QTEST_GUILESS_MAIN(TestServerOutage)
#include "tst_server_outage.moc"
