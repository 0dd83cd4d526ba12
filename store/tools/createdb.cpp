// punchclock-createdb: creates the punch clock's tables in a new database.
//   punchclock-createdb [--demo] sqlite FILE
//   punchclock-createdb [--demo] postgresql|sqlserver "ODBC connection string"
#include "DatabaseError.h"
#include "SchemaInstaller.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool demo = args.removeAll(QStringLiteral("--demo")) > 0;
    QTextStream err(stderr);
    if (args.size() != 2) {
        err << "usage: punchclock-createdb [--demo] sqlite FILE\n"
               "       punchclock-createdb [--demo] postgresql|sqlserver \"ODBC connection string\"\n";
        return 2;
    }
    try {
        const SqlDialect dialect = sqlDialectNamed(args.at(0));
        if (dialect == SqlDialect::SQLite && QFileInfo::exists(args.at(1)))
            throw DatabaseError(QStringLiteral("%1 exists already").arg(args.at(1)));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(
                dialect == SqlDialect::SQLite ? QStringLiteral("QSQLITE") : QStringLiteral("QODBC"),
                QStringLiteral("createdb"));
            db.setDatabaseName(args.at(1));
            if (!db.open())
                throw DatabaseError(db.lastError().text());
            installSchema(db, dialect, demo);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("createdb"));
    } catch (const std::exception& e) {
        err << QString::fromUtf8(e.what()) << '\n';
        return 1;
    }
    return 0;
}
