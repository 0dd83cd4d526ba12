#include "OtherProgram.h"

#include "DatabaseError.h"

#include <QSqlError>
#include <QSqlRecord>

OtherProgram::OtherProgram(const QString& connectionString)
{
    connection_.setConnectionString(connectionString);
}

QSqlQuery OtherProgram::run(const QString& statement, const QVariantList& bindings)
{
    QSqlQuery query(connection_.database());
    bool ok = query.prepare(statement);
    for (const QVariant& value : bindings)
        query.addBindValue(value);
    ok = ok && query.exec();
    if (!ok)
        throw DatabaseError(query.lastError().text() + QStringLiteral("\n") + statement);
    return query;
}

QStringList OtherProgram::rows(const QString& select)
{
    QSqlQuery query = run(select);
    QStringList rows;
    while (query.next()) {
        QStringList values;
        for (int i = 0; i < query.record().count(); ++i) {
            const QVariant v = query.value(i);
            values.append(v.isNull()                      ? QStringLiteral("NULL")
                          : v.typeId() == QMetaType::Bool ? QString::number(v.toInt())
                                                          : v.toString());
        }
        rows.append(values.join(QLatin1Char('|')));
    }
    return rows;
}
