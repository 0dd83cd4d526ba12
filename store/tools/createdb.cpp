// punchclock-createdb: creates the punch clock's tables in a new database, or adds the schema's
// indexes to an existing one.
//   punchclock-createdb [--demo] sqlite FILE
//   punchclock-createdb [--demo] postgresql|sqlserver "ODBC connection string"
//   punchclock-createdb add-indexes FILE|DSN
#include "Connection.h"
#include "DatabaseError.h"
#include "OdbcDataSources.h"
#include "SchemaInstaller.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTextStream>

namespace {

void createDatabase(SqlDialect dialect, const QString& target, bool demo)
{
    if (dialect == SqlDialect::SQLite && QFileInfo::exists(target))
        throw DatabaseError(QStringLiteral("%1 exists already").arg(target));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(dialect == SqlDialect::SQLite ? QStringLiteral("QSQLITE")
                                                                                  : QStringLiteral("QODBC"),
                                                    QStringLiteral("createdb"));
        db.setDatabaseName(target);
        if (!db.open())
            throw DatabaseError(db.lastError().text());
        installSchema(db, dialect, demo);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("createdb"));
}

// Opened as the punch clock opens it, so that a missing or foreign file is refused, not created.
void addIndexes(const QString& target, QTextStream& out)
{
    QString connectionString;
    if (QFileInfo(target).isFile())
        connectionString = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1").arg(target);
    else if (isOdbcDataSource(target))
        connectionString = QStringLiteral("Provider=SQLOLEDB.1;Data Source=%1").arg(target);
    else
        throw DatabaseError(QStringLiteral("%1 is neither a database file nor an ODBC data source").arg(target));
    Connection connection(QStringLiteral("createdb"));
    connection.setConnectionString(connectionString);
    QSqlDatabase db = connection.database();
    for (const QString& line : addMissingIndexes(db))
        out << line << '\n';
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool demo = args.removeAll(QStringLiteral("--demo")) > 0;
    QTextStream out(stdout);
    QTextStream err(stderr);
    const bool addingIndexes = !args.isEmpty() && args.first() == QLatin1String("add-indexes");
    if (args.size() != 2 || (demo && addingIndexes)) {
        err << "usage: punchclock-createdb [--demo] sqlite FILE\n"
               "       punchclock-createdb [--demo] postgresql|sqlserver \"ODBC connection string\"\n"
               "       punchclock-createdb add-indexes FILE|DSN\n";
        return 2;
    }
    try {
        if (addingIndexes)
            addIndexes(args.at(1), out);
        else
            createDatabase(sqlDialectNamed(args.at(0)), args.at(1), demo);
    } catch (const std::exception& e) {
        err << QString::fromUtf8(e.what()) << '\n';
        return 1;
    }
    return 0;
}
