#pragma once

#include <QString>
#include <QTemporaryDir>
#include <QtTest>

// Fresh databases with the punch clock's five tables, for tests that run against SQLite and
// PostgreSQL alike. Engines are named as the schema names them: "sqlite" or "postgresql".
//
// SQLite databases are new files. PostgreSQL is the database punchclock of the server that
// tests/support/postgres-server started, reached through the ODBC data source named by
// PUNCHCLOCK_TEST_DSN. Test processes that ctest runs side by side share it, so from its first
// fresh PostgreSQL database until it is destroyed, an object holds a lock on the server that
// keeps the PostgreSQL tests of other processes waiting.
class TestDatabases {
public:
    TestDatabases();
    ~TestDatabases();
    TestDatabases(const TestDatabases&) = delete;
    TestDatabases& operator=(const TestDatabases&) = delete;

    // Creates the SQLite file (which must not exist) and returns the connection string of it.
    static QString createSqlite(const QString& filePath, bool demoRows = false);

    // Why tests of the engine cannot run here, or empty when they can.
    static QString unavailable(const QString& engine);

    // Why the test server cannot be restarted here (scripts/test names its folder in
    // PUNCHCLOCK_TEST_SERVICES), or empty when it can. Tests that restart it run alone.
    static QString restartUnavailable();
    // Stops the test server as an administrator would (fast) and starts it again; every link
    // to it is cut.
    static void restartPostgres();

    // Returns the connection string of a database that has the five tables and nothing else:
    // for SQLite a new file in a temporary folder, for PostgreSQL the database punchclock
    // with every table dropped and the five created anew.
    QString fresh(const QString& engine, bool demoRows = false);

private:
    QString freshPostgres(bool demoRows);

    QTemporaryDir sqliteFolder_;
    int sqliteFiles_ = 0;
    bool holdsServerLock_ = false;
};

// Skips the current test when the engine cannot be reached here, saying why.
#define SKIP_UNLESS_AVAILABLE(engine)                                                                                  \
    do {                                                                                                               \
        const QString whyNot = TestDatabases::unavailable(engine);                                                     \
        if (!whyNot.isEmpty())                                                                                         \
            QSKIP(qPrintable(whyNot));                                                                                 \
    } while (false)
