#pragma once

#include "DatabaseError.h"
#include "LinkDeadline.h"

#include <QSqlDatabase>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

// A database connection configured by an OLE DB connection string (see EngineSettings). It is
// opened explicitly or by the first query that needs it, and never creates a database.
class Connection {
public:
    // The name shows in nothing the user sees; it keeps Qt's connections of several
    // Connection objects apart.
    explicit Connection(const QString& name);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const QString& name() const { return name_; }

    // Only while closed.
    void setConnectionString(const QString& text);
    const QString& connectionString() const { return connectionString_; }

    // How long opening may wait for a server's login answer.
    void setLoginTimeoutSeconds(int seconds) { loginTimeoutSeconds_ = seconds; }

    // Raises DatabaseError with the engine's message when the database cannot be opened.
    void open();
    void close();
    bool isOpen() const;

    // The open database, opening it first when it is closed.
    QSqlDatabase database();

    // How long one operation (see run) may wait for a database server before its link is
    // given up. A SQLite file waits for other writers by its own busy time-out instead.
    void setStatementTimeoutSeconds(int seconds) { statementTimeoutSeconds_ = seconds; }
    int statementTimeoutSeconds() const { return statementTimeoutSeconds_; }

    // The engine's product name: "SQLite", or what the ODBC driver reports ("PostgreSQL",
    // "Microsoft SQL Server"). Opens the connection.
    QString dbmsName();

    // Runs work(database()) as one operation. When it fails because the link to the database
    // was lost (the engine says so, or the server no longer answers a ping after an error),
    // or the SQLite file was replaced since it was opened, the connection is reopened once
    // with the same settings and work runs again; a second failure, or any other error,
    // reaches the caller. A server that does not answer within the statement time-out ends
    // the operation with Cause::Unanswered. Operations run inside another one are part of it:
    // only the outermost reopens.
    template <typename Work> auto run(Work&& work) -> decltype(work(std::declval<QSqlDatabase&>()))
    {
        if (operationDepth_ > 0) {
            QSqlDatabase db = database();
            return work(db);
        }
        closeIfFileReplaced();
        try {
            return attempt(work);
        } catch (const DatabaseError& error) {
            if (!worthReopening(error))
                throw;
        }
        close();
        return attempt(work);
    }

private:
    template <typename Work> auto attempt(Work& work) -> decltype(work(std::declval<QSqlDatabase&>()))
    {
        QSqlDatabase db = database();
        const Operation operation(*this);
        try {
            return work(db);
        } catch (const DatabaseError&) {
            if (operation.deadline && operation.deadline->expired())
                throw unanswered();
            throw;
        }
    }

    // Counts the operations under way and bounds the outermost one's wait for a server.
    struct Operation {
        explicit Operation(Connection& connection);
        ~Operation();
        Connection& connection;
        std::optional<LinkDeadline> deadline;
    };

    bool worthReopening(const DatabaseError& error);
    bool answersPing();
    void closeIfFileReplaced();
    DatabaseError unanswered();
    void applyServerTimeouts();

    void openSqlite(const QString& filePath);
    static void checkSqliteHead(const QString& filePath);
    void openOdbc(const QString& databaseName);
    void failIfNotOpened(const std::optional<QString>& failure);

    QString name_;
    QString qtName_;
    QString connectionString_;
    int loginTimeoutSeconds_ = 15;
    int statementTimeoutSeconds_ = 10;
    QString heldSqliteFile_; // canonical path, while this connection holds an SQLite file
    QString sqlitePath_;     // as opened, to notice the file being replaced
    std::pair<quint64, quint64> sqliteFileId_; // device and inode of the file opened
    std::vector<OpenSocket> linkSockets_;      // of the ODBC driver's link to its server
    QString dbmsName_;
    int operationDepth_ = 0;
};
