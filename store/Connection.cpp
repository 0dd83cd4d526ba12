#include "Connection.h"

#include "ConnectionString.h"
#include "DatabaseError.h"
#include "EngineError.h"
#include "EngineSettings.h"
#include "FileSystemKind.h"
#include "OdbcDataSources.h"
#include "SqliteStatement.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <algorithm>
#include <optional>

#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <sys/stat.h>

namespace {

QAtomicInt connectionCounter;

// The SQLite files that connections of this process hold open, each with the number of its
// connections. Closing any descriptor of a file drops every POSIX lock that the process holds
// on it, SQLite's included, after which another program may take itself for the file's last
// user and delete the WAL under the open connections: a held file is never opened otherwise.
QHash<QString, int>& heldSqliteFiles()
{
    static QHash<QString, int> files;
    return files;
}

// How long a statement waits for another connection's lock on an SQLite file.
constexpr int sqliteBusyWaitMs = 10000;

// Waits for a held SQLite lock in steps of one millisecond. SQLite's own busy time-out sleeps
// longer the longer it has waited (up to 100 ms a step), so under load a writer that has waited
// long keeps losing the lock to newcomers until its time-out ends; equal steps give every
// waiting terminal the same chance.
int waitInEqualSteps(void*, int attempt)
{
    if (attempt >= sqliteBusyWaitMs)
        return 0;
    sqlite3_sleep(1);
    return 1;
}

// Jet and ACE write their engine name at byte 4 of every Access file.
bool isAccessFile(const QByteArray& head)
{
    const QByteArray name = head.mid(4, 15);
    return name == QByteArrayLiteral("Standard Jet DB") || name == QByteArrayLiteral("Standard ACE DB");
}

// The device and inode of the file, or none when it is not there.
std::pair<quint64, quint64> fileIdentity(const QString& path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {0, 0};
    return {quint64(status.st_dev), quint64(status.st_ino)};
}

QString odbcDbmsName(const QSqlDatabase& db)
{
    const QVariant handle = db.driver()->handle();
    if (handle.metaType() != QMetaType::fromType<SQLHANDLE>())
        return {};
    const SQLHANDLE connection = *static_cast<const SQLHANDLE*>(handle.constData());
    SQLCHAR name[128] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(connection, SQL_DBMS_NAME, name, sizeof name, &length)))
        return {};
    return QString::fromUtf8(reinterpret_cast<const char*>(name));
}

// The link's sockets are those that opening it added.
std::vector<OpenSocket> socketsAdded(const std::vector<OpenSocket>& before, const std::vector<OpenSocket>& after)
{
    std::vector<OpenSocket> added;
    for (const OpenSocket& socket : after) {
        if (std::find(before.begin(), before.end(), socket) == before.end())
            added.push_back(socket);
    }
    return added;
}

// The client's own watch gives the server's statement time-out this long to speak first, so
// that a merely slow statement ends with the server's error and keeps its link.
constexpr int deadlineGraceSeconds = 5;

} // namespace

Connection::Connection(const QString& name)
    : name_(name)
    , qtName_(QStringLiteral("%1#%2").arg(name).arg(connectionCounter.fetchAndAddRelaxed(1)))
{
}

Connection::~Connection()
{
    close();
    if (QSqlDatabase::contains(qtName_))
        QSqlDatabase::removeDatabase(qtName_);
}

void Connection::setConnectionString(const QString& text)
{
    if (isOpen())
        throw DatabaseError(QStringLiteral("Operation is not allowed when the object is open"));
    connectionString_ = text;
}

bool Connection::isOpen() const
{
    return QSqlDatabase::contains(qtName_) && QSqlDatabase::database(qtName_, false).isOpen();
}

void Connection::close()
{
    if (!QSqlDatabase::contains(qtName_))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(qtName_, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(qtName_);
    linkSockets_.clear();
    dbmsName_.clear();
    if (!heldSqliteFile_.isEmpty()) {
        if (--heldSqliteFiles()[heldSqliteFile_] == 0)
            heldSqliteFiles().remove(heldSqliteFile_);
        heldSqliteFile_.clear();
    }
}

void Connection::open()
{
    if (isOpen())
        return;
    const EngineSettings settings =
        engineSettingsFor(ConnectionString::parse(connectionString_), QDir::current(), isOdbcDataSource);
    if (settings.engine == EngineSettings::Engine::SQLite)
        openSqlite(settings.filePath);
    else
        openOdbc(settings.databaseName);
}

// Reads the head of the file to tell what it is. Only while no connection of this process
// holds the file (see heldSqliteFiles).
void Connection::checkSqliteHead(const QString& filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        throw DatabaseError(QStringLiteral("Cannot open file '%1': %2").arg(filePath, file.errorString()));
    const QByteArray head = file.read(32);
    file.close();
    if (isAccessFile(head)) {
        throw DatabaseError(QStringLiteral("'%1' is a Microsoft Access database; this program reads "
                                           "the database as an SQLite file")
                                .arg(filePath));
    }
    // An empty file is no database either: SQLite would take it for a new one and write to it.
    if (!head.startsWith(QByteArrayLiteral("SQLite format 3")))
        throw DatabaseError(QStringLiteral("'%1' is not an SQLite database file").arg(filePath));
}

void Connection::openSqlite(const QString& filePath)
{
    const QFileInfo info(filePath);
    if (!info.isFile())
        throw DatabaseError(QStringLiteral("Could not find file '%1'.").arg(QDir::toNativeSeparators(filePath)),
                            DatabaseError::Cause::Unreachable);
    const QString heldName = info.canonicalFilePath();
    if (!heldSqliteFiles().contains(heldName))
        checkSqliteHead(filePath);

    std::optional<QString> failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), qtName_);
        // mode=rw: the file must exist already; SQLite would otherwise create it.
        QUrl url = QUrl::fromLocalFile(filePath);
        url.setQuery(QStringLiteral("mode=rw"));
        db.setDatabaseName(url.toString(QUrl::FullyEncoded));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
        if (!db.open()) {
            failure = engineText(db.lastError());
        } else {
            // Qt's SQLite driver uses the system's SQLite library, whose handle this is.
            sqlite3_busy_handler(SqliteStatement::handleOf(db), waitInEqualSteps, nullptr);
            // Several punch clocks may share one file: readers then never wait for a writer.
            QSqlQuery pragma(db);
            // WAL cannot be shared across machines: a file on a network filesystem keeps DELETE.
            if ((!isOnNetworkFileSystem(filePath) && !pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"))) ||
                !pragma.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
                failure = engineText(pragma.lastError());
        }
    }
    failIfNotOpened(failure);
    ++heldSqliteFiles()[heldName];
    heldSqliteFile_ = heldName;
    sqlitePath_ = filePath;
    sqliteFileId_ = fileIdentity(filePath);
    dbmsName_ = QStringLiteral("SQLite");
}

void Connection::openOdbc(const QString& databaseName)
{
    std::optional<QString> failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), qtName_);
        db.setDatabaseName(databaseName);
        db.setConnectOptions(
            QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1;SQL_ATTR_CONNECTION_TIMEOUT=%1").arg(loginTimeoutSeconds_));
        const std::vector<OpenSocket> before = openSockets();
        if (!db.open())
            failure = engineText(db.lastError());
        else
            linkSockets_ = socketsAdded(before, openSockets());
    }
    failIfNotOpened(failure);
    dbmsName_ = odbcDbmsName(QSqlDatabase::database(qtName_, false));
    applyServerTimeouts();
}

// The server ends a statement that waits too long (for a lock, say) with its own error and
// keeps the link.
void Connection::applyServerTimeouts()
{
    QString statement;
    if (dbmsName_ == QLatin1String("PostgreSQL"))
        statement = QStringLiteral("SET statement_timeout = %1").arg(statementTimeoutSeconds_ * 1000);
    else if (dbmsName_ == QLatin1String("Microsoft SQL Server"))
        statement = QStringLiteral("SET LOCK_TIMEOUT %1").arg(statementTimeoutSeconds_ * 1000);
    if (statement.isEmpty())
        return;
    std::optional<QString> failure;
    {
        QSqlQuery query(QSqlDatabase::database(qtName_, false));
        if (!query.exec(statement))
            failure = engineText(query.lastError());
    }
    failIfNotOpened(failure);
}

// The database handles of a failed opening are gone by now, so the connection can be removed.
void Connection::failIfNotOpened(const std::optional<QString>& failure)
{
    if (!failure)
        return;
    close();
    throw DatabaseError(*failure, DatabaseError::Cause::Unreachable);
}

QSqlDatabase Connection::database()
{
    open();
    return QSqlDatabase::database(qtName_, false);
}

QString Connection::dbmsName()
{
    open();
    return dbmsName_;
}

Connection::Operation::Operation(Connection& owner)
    : connection(owner)
{
    if (connection.operationDepth_++ == 0 && !connection.linkSockets_.empty()) {
        deadline.emplace(connection.linkSockets_,
                         std::chrono::seconds(connection.statementTimeoutSeconds_ + deadlineGraceSeconds));
    }
}

Connection::Operation::~Operation()
{
    --connection.operationDepth_;
}

// The link is gone after its sockets were shut down: the next operation opens a new one.
DatabaseError Connection::unanswered()
{
    close();
    return DatabaseError(QStringLiteral("Timeout expired: the database server did not answer within %1 seconds")
                             .arg(statementTimeoutSeconds_),
                         DatabaseError::Cause::Unanswered);
}

bool Connection::worthReopening(const DatabaseError& error)
{
    switch (error.cause()) {
    case DatabaseError::Cause::ConnectionLost:
        return true;
    case DatabaseError::Cause::Other:
        // Drivers do not always say that the link is gone; a server that answers no ping has
        // dropped it.
        return !linkSockets_.empty() && !answersPing();
    default:
        return false;
    }
}

bool Connection::answersPing()
{
    if (!isOpen())
        return false;
    const Operation operation(*this);
    QSqlQuery ping(QSqlDatabase::database(qtName_, false));
    return ping.exec(QStringLiteral("SELECT 1")) && !(operation.deadline && operation.deadline->expired());
}

// A SQLite file put back from a copy, or moved away and back, is another file than the one
// the connection holds open: writes would go to the old one that nobody reads.
void Connection::closeIfFileReplaced()
{
    if (!heldSqliteFile_.isEmpty() && fileIdentity(sqlitePath_) != sqliteFileId_)
        close();
}
