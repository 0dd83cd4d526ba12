#pragma once

#include "DatabaseError.h"

#include <QSqlDatabase>
#include <QString>

#include <optional>
#include <utility>

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

    // Runs work(database()). When it fails because the link to the database was lost, the
    // connection is reopened once with the same settings and work runs again; a second
    // failure, or any other error, reaches the caller.
    template <typename Work> auto run(Work&& work) -> decltype(work(std::declval<QSqlDatabase&>()))
    {
        try {
            QSqlDatabase db = database();
            return work(db);
        } catch (const DatabaseError& error) {
            if (error.cause() != DatabaseError::Cause::ConnectionLost)
                throw;
        }
        close();
        QSqlDatabase db = database();
        return work(db);
    }

private:
    void openSqlite(const QString& filePath);
    static void checkSqliteHead(const QString& filePath);
    void openOdbc(const QString& databaseName);
    void failIfNotOpened(const std::optional<QString>& failure);

    QString name_;
    QString qtName_;
    QString connectionString_;
    int loginTimeoutSeconds_ = 15;
    QString heldSqliteFile_; // canonical path, while this connection holds an SQLite file
};
