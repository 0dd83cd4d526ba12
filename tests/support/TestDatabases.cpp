#include "TestDatabases.h"

#include "Connection.h"
#include "DatabaseError.h"
#include "SchemaInstaller.h"

#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <memory>

namespace {

const char dsnVariable[] = "PUNCHCLOCK_TEST_DSN";
const char servicesVariable[] = "PUNCHCLOCK_TEST_SERVICES";

QString postgresConnectionString()
{
    return QStringLiteral("Provider=SQLOLEDB.1;Data Source=%1;Initial Catalog=punchclock;User ID=postgres;")
        .arg(qEnvironmentVariable(dsnVariable));
}

void run(QSqlDatabase& db, const QString& statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement))
        throw DatabaseError(query.lastError().text() + QStringLiteral("\n") + statement);
}

// A session-level advisory lock, held by a connection of its own: the server lets it go when
// the connection closes, also when the process dies. One per process, shared by all objects
// that use PostgreSQL, so that two of them in one process never wait for each other.
struct ServerLock {
    std::unique_ptr<Connection> connection;
    int users = 0;
};

ServerLock& serverLock()
{
    static ServerLock lock;
    return lock;
}

void acquireServerLock()
{
    ServerLock& lock = serverLock();
    if (lock.users++ > 0)
        return;
    try {
        lock.connection = std::make_unique<Connection>(QStringLiteral("test-lock"));
        lock.connection->setConnectionString(postgresConnectionString());
        QSqlDatabase db = lock.connection->database();
        // Waiting for the other processes' tests takes longer than any statement may.
        run(db, QStringLiteral("SET statement_timeout = 0"));
        run(db, QStringLiteral("SELECT pg_advisory_lock(20240101)"));
    } catch (...) {
        lock.connection.reset();
        lock.users = 0;
        throw;
    }
}

void releaseServerLock()
{
    ServerLock& lock = serverLock();
    if (--lock.users == 0)
        lock.connection.reset();
}

} // namespace

TestDatabases::TestDatabases() = default;

TestDatabases::~TestDatabases()
{
    if (holdsServerLock_)
        releaseServerLock();
}

QString TestDatabases::createSqlite(const QString& filePath, bool demoRows)
{
    if (QFileInfo::exists(filePath))
        throw DatabaseError(QStringLiteral("%1 exists already").arg(filePath));
    const QString name = QStringLiteral("test-sqlite-create");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(filePath);
        try {
            if (!db.open())
                throw DatabaseError(db.lastError().text());
            installSchema(db, SqlDialect::SQLite, demoRows);
        } catch (...) {
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            throw;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1").arg(filePath);
}

QString TestDatabases::unavailable(const QString& engine)
{
    if (engine == QLatin1String("postgresql") && qEnvironmentVariableIsEmpty(dsnVariable)) {
        return QStringLiteral("%1 is not set: the PostgreSQL tests need the server that "
                              "scripts/test starts (tests/support/postgres-server start DIR, "
                              "then ODBCINI=DIR/odbc.ini %1=punchclock_test)")
            .arg(QLatin1String(dsnVariable));
    }
    return {};
}

QString TestDatabases::restartUnavailable()
{
    const QString whyNot = unavailable(QStringLiteral("postgresql"));
    if (!whyNot.isEmpty())
        return whyNot;
    if (qEnvironmentVariableIsEmpty(servicesVariable))
        return QStringLiteral("%1 is not set: scripts/test names the test server's folder there")
            .arg(QLatin1String(servicesVariable));
    return {};
}

void TestDatabases::restartPostgres()
{
    QProcess restart;
    restart.setProcessChannelMode(QProcess::MergedChannels);
    restart.start(QStringLiteral(PUNCHCLOCK_SOURCE_DIR "/tests/support/postgres-server"),
                  {QStringLiteral("restart"), qEnvironmentVariable(servicesVariable)});
    if (!restart.waitForFinished(120000) || restart.exitStatus() != QProcess::NormalExit || restart.exitCode() != 0)
        throw DatabaseError(QStringLiteral("restarting the test server failed: ") +
                            QString::fromUtf8(restart.readAll()));
}

QString TestDatabases::fresh(const QString& engine, bool demoRows)
{
    if (sqlDialectNamed(engine) == SqlDialect::PostgreSQL)
        return freshPostgres(demoRows);
    if (!sqliteFolder_.isValid())
        throw DatabaseError(QStringLiteral("cannot make a temporary folder: %1").arg(sqliteFolder_.errorString()));
    return createSqlite(sqliteFolder_.filePath(QStringLiteral("test%1.db").arg(++sqliteFiles_)), demoRows);
}

QString TestDatabases::freshPostgres(bool demoRows)
{
    const QString whyNot = unavailable(QStringLiteral("postgresql"));
    if (!whyNot.isEmpty())
        throw DatabaseError(whyNot);
    if (!holdsServerLock_) {
        acquireServerLock();
        holdsServerLock_ = true;
    }
    const QString connectionString = postgresConnectionString();
    Connection connection(QStringLiteral("test-reset"));
    connection.setConnectionString(connectionString);
    QSqlDatabase db = connection.database();
    run(db, QStringLiteral("DROP SCHEMA public CASCADE"));
    run(db, QStringLiteral("CREATE SCHEMA public"));
    installSchema(db, SqlDialect::PostgreSQL, demoRows);
    return connectionString;
}
