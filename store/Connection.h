#pragma once

#include <QSqlDatabase>
#include <QString>

#include <optional>

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

private:
    void openSqlite(const QString& filePath);
    void openOdbc(const QString& databaseName);
    void failIfNotOpened(const std::optional<QString>& failure);

    QString name_;
    QString qtName_;
    QString connectionString_;
    int loginTimeoutSeconds_ = 15;
};
