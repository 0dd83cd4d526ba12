#include "SqliteStatement.h"

#include "DatabaseError.h"
#include "EngineError.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>

#include <sqlite3.h>

#include <algorithm>
#include <cstring>

namespace {

// NULL as Qt's drivers read it: a null variant, or a null string or byte array in one.
bool isNullValue(const QVariant& value)
{
    if (value.isNull())
        return true;
    switch (value.typeId()) {
    case QMetaType::QString:
        return static_cast<const QString*>(value.constData())->isNull();
    case QMetaType::QByteArray:
        return static_cast<const QByteArray*>(value.constData())->isNull();
    default:
        return false;
    }
}

} // namespace

sqlite3* SqliteStatement::handleOf(const QSqlDatabase& db)
{
    const QSqlDriver* driver = db.driver();
    if (!driver || driver->dbmsType() != QSqlDriver::SQLite || !db.isOpen())
        return nullptr;
    const QVariant handle = driver->handle();
    if (!handle.isValid() || std::strcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

bool SqliteStatement::supports(const QSqlDatabase& db)
{
    return handleOf(db) != nullptr;
}

SqliteStatement::SqliteStatement(const QSqlDatabase& db, const QString& text)
    : connection_(handleOf(db))
{
    if (!connection_)
        throw DatabaseError(QStringLiteral("The database is not an open SQLite connection."));
    const int code = sqlite3_prepare16_v3(connection_, text.utf16(), int(text.size() * sizeof(char16_t)),
                                          SQLITE_PREPARE_PERSISTENT, &statement_, nullptr);
    if (code != SQLITE_OK)
        fail(code);
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(statement_);
}

void SqliteStatement::bind(int position, const QVariant& value)
{
    const int parameter = position + 1;
    int code = SQLITE_OK;
    if (isNullValue(value)) {
        code = sqlite3_bind_null(statement_, parameter);
    } else {
        switch (value.typeId()) {
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            code = sqlite3_bind_blob(statement_, parameter, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
            break;
        }
        case QMetaType::Int:
        case QMetaType::Bool:
            code = sqlite3_bind_int(statement_, parameter, value.toInt());
            break;
        case QMetaType::Double:
            code = sqlite3_bind_double(statement_, parameter, value.toDouble());
            break;
        case QMetaType::UInt:
        case QMetaType::LongLong:
            code = sqlite3_bind_int64(statement_, parameter, value.toLongLong());
            break;
        default: {
            // Valid text is bound as UTF-8 from a buffer of this statement's, which spares
            // SQLite a conversion and a copy of its own; it stores the same characters. Text
            // with a stray surrogate goes to SQLite's own conversion, as the driver's does.
            const QString text = value.toString();
            if (QStringView(text).isValidUtf16()) {
                bindUtf8(position, text);
                return;
            }
            code = sqlite3_bind_text16(statement_, parameter, text.utf16(), int(text.size() * sizeof(char16_t)),
                                       SQLITE_TRANSIENT);
            break;
        }
        }
    }
    if (code != SQLITE_OK)
        fail(code);
}

void SqliteStatement::bindUtf8(int position, const QString& text)
{
    if (std::size_t(position) >= boundTexts_.size())
        boundTexts_.resize(std::size_t(position) + 1);
    QByteArray& bytes = boundTexts_[std::size_t(position)];
    bytes = text.toUtf8();
    const int code = sqlite3_bind_text(statement_, position + 1, bytes.constData(), int(bytes.size()), SQLITE_STATIC);
    if (code != SQLITE_OK)
        fail(code);
}

void SqliteStatement::bindLatin1(int position, QLatin1StringView text)
{
    const int parameter = position + 1;
    const bool ascii = std::all_of(text.begin(), text.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x80; });
    if (!ascii) {
        bindUtf8(position, QString(text));
        return;
    }
    const int code = sqlite3_bind_text(statement_, parameter, text.data(), int(text.size()), SQLITE_STATIC);
    if (code != SQLITE_OK)
        fail(code);
}

void SqliteStatement::run()
{
    int code = sqlite3_step(statement_);
    while (code == SQLITE_ROW)
        code = sqlite3_step(statement_);
    sqlite3_reset(statement_);
    if (code != SQLITE_DONE)
        fail(code);
}

QVariant SqliteStatement::lastInsertId() const
{
    return QVariant(qint64(sqlite3_last_insert_rowid(connection_)));
}

void SqliteStatement::fail(int code) const
{
    // The same text and native code as the driver's own errors, read by the same rules.
    const QSqlError error(QString(), QString::fromUtf8(sqlite3_errmsg(connection_)), QSqlError::StatementError,
                          QString::number(code));
    throw DatabaseError(engineText(error), engineCause(error, QStringLiteral("QSQLITE")));
}
