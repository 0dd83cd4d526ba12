#pragma once

#include "Connection.h"

#include <QSqlQuery>
#include <QStringList>
#include <QVariantList>

// What another program sees of a database: a connection of its own and plain SQL, so that a
// test can set up rows and check what the code under test wrote without going through it.
class OtherProgram {
public:
    explicit OtherProgram(const QString& connectionString);

    // Runs a statement with its values bound in order. Throws DatabaseError on failure.
    QSqlQuery run(const QString& statement, const QVariantList& bindings = {});

    // Each row as "value|value", NULL as NULL and truth values as 1 and 0, so that both
    // engines compare alike.
    QStringList rows(const QString& select);

private:
    Connection connection_{QStringLiteral("other-program")};
};
