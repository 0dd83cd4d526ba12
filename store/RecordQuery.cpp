#include "RecordQuery.h"

#include "Connection.h"
#include "DatabaseError.h"
#include "EngineError.h"
#include "SqliteStatement.h"
#include "ValueTypes.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlIndex>
#include <QSqlQuery>
#include <QSqlRecord>

#include <sqlext.h>

namespace {

bool fits(FieldType declared, QMetaType::Type actual)
{
    if (actual == QMetaType::UnknownType) // an expression without rows tells no type
        return true;
    switch (declared) {
    case FieldType::Text:
        return actual == QMetaType::QString;
    case FieldType::Integer:
        return isIntegerType(actual);
    case FieldType::Float:
        return actual == QMetaType::Double || actual == QMetaType::Float;
    case FieldType::Boolean:
        return actual == QMetaType::Bool || isIntegerType(actual);
    }
    return false;
}

QString declaredTypeName(FieldType type)
{
    switch (type) {
    case FieldType::Text:
        return QStringLiteral("WideString");
    case FieldType::Integer:
        return QStringLiteral("Integer");
    case FieldType::Float:
        return QStringLiteral("Float");
    case FieldType::Boolean:
        return QStringLiteral("Boolean");
    }
    return {};
}

QString actualTypeName(QMetaType::Type type)
{
    if (type == QMetaType::LongLong || type == QMetaType::ULongLong)
        return QStringLiteral("LargeInt");
    if (isIntegerType(type))
        return QStringLiteral("Integer");
    switch (type) {
    case QMetaType::QString:
        return QStringLiteral("WideString");
    case QMetaType::Double:
    case QMetaType::Float:
        return QStringLiteral("Float");
    case QMetaType::Bool:
        return QStringLiteral("Boolean");
    case QMetaType::QByteArray:
        return QStringLiteral("Blob");
    case QMetaType::QDate:
    case QMetaType::QTime:
    case QMetaType::QDateTime:
        return QStringLiteral("DateTime");
    default:
        return QString::fromLatin1(QMetaType(type).name());
    }
}

// Qt's ODBC driver hands SQL_BIT columns (PostgreSQL's boolean, SQL Server's bit) over as
// unsigned integers; the ODBC type they came with tells them apart from numbers.
QMetaType::Type columnType(const QSqlDatabase& db, const QSqlField& column)
{
    if (column.typeID() == SQL_BIT && db.driverName() == QLatin1String("QODBC"))
        return QMetaType::Bool;
    return QMetaType::Type(column.metaType().id());
}

FieldType fieldTypeFor(QMetaType::Type type)
{
    if (type == QMetaType::Double || type == QMetaType::Float)
        return FieldType::Float;
    if (type == QMetaType::Bool)
        return FieldType::Boolean;
    if (isIntegerType(type))
        return FieldType::Integer;
    return FieldType::Text;
}

// Drivers bind a null QString as SQL NULL; an empty text must reach the table as ''.
QVariant withEmptyText(const QVariant& value)
{
    if (!value.isNull() && value.typeId() == QMetaType::QString && value.toString().isNull())
        return QString(QLatin1String(""));
    return value;
}

QString floatText(double number)
{
    return QString::number(number, 'g', 15);
}

// A value as its field shows it: NULL as the empty text, numbers and truth values as words.
QString displayText(FieldType type, const QVariant& v)
{
    if (v.isNull())
        return {};
    if (v.typeId() != QMetaType::QString) {
        if (type == FieldType::Float)
            return floatText(v.toDouble());
        if (type == FieldType::Boolean)
            return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    }
    return v.toString();
}

// The column under which a keyless SQLite table's rowid comes along with "select *".
const QString rowidAlias = QStringLiteral("punchclock_rowid_");

} // namespace

// ---------------------------------------------------------------------------------------------
// Field

const FieldDef& Field::definition() const
{
    return query_->defs_.at(index_);
}

QVariant Field::value() const
{
    return query_->fieldValue(index_);
}

bool Field::isNull() const
{
    return value().isNull();
}

QString Field::asString() const
{
    return displayText(definition().type, value());
}

int Field::asInteger() const
{
    const QVariant v = value();
    if (v.isNull())
        return 0;
    bool ok = false;
    const qlonglong number = v.toLongLong(&ok);
    if (!ok || number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
        throw DatabaseError(QStringLiteral("'%1' is not a valid integer value").arg(v.toString()));
    return int(number);
}

double Field::asFloat() const
{
    const QVariant v = value();
    if (v.isNull())
        return 0.0;
    bool ok = false;
    const double number = v.toDouble(&ok);
    if (!ok)
        throw DatabaseError(QStringLiteral("'%1' is not a valid floating point value").arg(v.toString()));
    return number;
}

void Field::setAsString(const QString& text)
{
    query_->setFieldValue(index_, text);
}

void Field::setAsInteger(int number)
{
    query_->setFieldValue(index_, number);
}

void Field::setAsFloat(double number)
{
    query_->setFieldValue(index_, number);
}

// ---------------------------------------------------------------------------------------------
// RecordQuery: reading

RecordQuery::RecordQuery(const QString& name, Connection& connection, WriteMode mode, FieldDefs fields)
    : name_(name)
    , connection_(connection)
    , mode_(mode)
    , defs_(std::move(fields))
    , dynamicFields_(defs_.isEmpty())
{
    bindDeclaredFields();
}

RecordQuery::~RecordQuery() = default;

RecordQuery::HeldSignals::HeldSignals(RecordQuery& query)
    : query_(query)
{
    ++query_.signalHolds_;
}

RecordQuery::HeldSignals::~HeldSignals()
{
    if (--query_.signalHolds_ > 0 || !query_.signalsOwed_)
        return;
    query_.signalsOwed_ = false;
    Q_EMIT query_.rowsChanged();
}

void RecordQuery::bindDeclaredFields()
{
    fields_.clear();
    for (int i = 0; i < defs_.size(); ++i)
        fields_.emplace_back(*this, i);
}

void RecordQuery::fail(const QString& message) const
{
    throw DatabaseError(name_ + QStringLiteral(": ") + message);
}

void RecordQuery::requireOpen() const
{
    if (state_ == State::Closed)
        fail(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

QString RecordQuery::statementText() const
{
    QString text;
    for (const QString& line : sql_)
        text += line + QStringLiteral("\r\n");
    return text;
}

void RecordQuery::open()
{
    if (state_ != State::Closed)
        return;
    connection_.run([this](QSqlDatabase& db) { read(db); });
}

void RecordQuery::read(QSqlDatabase& db)
{
    table_ = statementTable();
    const QString text = statementText();
    QSqlQuery query(db);
    query.setForwardOnly(true);
    // A statement that cannot take the rowid after all (a view, a compound select) runs as given.
    const QString rowidText = withRowid(db, text);
    const bool rowidSelected = !rowidText.isEmpty() && query.exec(rowidText);
    if (!rowidSelected && !query.exec(text))
        throw engineError(query);

    const QSqlRecord record = query.record();
    const int firstColumn = rowidSelected ? 1 : 0;
    columns_.clear();
    for (int i = firstColumn; i < record.count(); ++i) {
        const QSqlField column = record.field(i);
        columns_.push_back({column.name(), columnType(db, column), column.length()});
    }
    if (dynamicFields_) {
        defs_.clear();
        for (const Column& column : columns_)
            defs_.append({column.name, fieldTypeFor(column.type), column.length > 0 ? column.length : 0, {}});
        bindDeclaredFields();
    }
    checkFields();
    const std::vector<int> stored = storedColumns(db, rowidSelected);

    std::vector<Row> rows;
    PackedValues::Builder packer;
    while (query.next()) {
        for (int c : stored)
            packer.append(withEmptyText(query.value(firstColumn + c)));
        if (rowidColumn_ >= 0)
            packer.append(rowidSelected ? query.value(0) : QVariant());
        rows.push_back(Row{packer.take(), nullptr});
        if (readProgress_)
            readProgress_(int(rows.size()));
    }

    rows_ = std::move(rows);
    emptyValues_.clear();
    deleted_.clear();
    current_ = 0;
    eof_ = rows_.empty();
    modified_ = false;
    state_ = State::Browse;
    notify(&RecordQuery::rowsChanged);
}

// Rows keep the declared fields' columns and the key's; a table that has neither a key nor a
// rowid in the result finds its rows by all their values, so they keep every column. The
// field and column lists then refer to the kept columns only.
std::vector<int> RecordQuery::storedColumns(QSqlDatabase& db, bool rowidSelected)
{
    const int count = int(columns_.size());
    std::vector<bool> keep(count, dynamicFields_);
    for (int c : fieldColumn_)
        keep[c] = true;
    const QStringList keys = table_ ? keyColumns(db, *table_) : QStringList();
    rowidColumn_ = -1;
    if (table_ && keys.isEmpty() && db.driverName() == QLatin1String("QSQLITE"))
        rowidColumn_ = 0; // placed after the kept columns below
    bool keyComplete = !keys.isEmpty();
    for (const QString& key : keys) {
        bool found = false;
        for (int c = 0; c < count; ++c) {
            if (columns_[c].name.compare(key, Qt::CaseInsensitive) == 0) {
                keep[c] = true;
                found = true;
            }
        }
        keyComplete = keyComplete && found;
    }
    if (table_ && !keyComplete && !rowidSelected)
        keep.assign(count, true);

    std::vector<int> stored;
    std::vector<int> position(count, -1);
    std::vector<Column> kept;
    for (int c = 0; c < count; ++c) {
        if (keep[c]) {
            position[c] = int(stored.size());
            stored.push_back(c);
            kept.push_back(columns_[c]);
        }
    }
    for (int& c : fieldColumn_)
        c = position[c];
    columns_ = std::move(kept);
    if (rowidColumn_ >= 0)
        rowidColumn_ = int(columns_.size());
    return stored;
}

// "select * from T ..." on a SQLite table without a key, with the rowid in front: a row read
// is then found again by it. Any other statement, or engine, is left as it is (empty result).
QString RecordQuery::withRowid(QSqlDatabase& db, const QString& text)
{
    if (db.driverName() != QLatin1String("QSQLITE") || !table_ || !keyColumns(db, *table_).isEmpty())
        return {};
    static const QRegularExpression selectAll(
        QStringLiteral("^(\\s*select\\s+)\\*\\s+from\\s+[A-Za-z_][A-Za-z0-9_]*(\\s+(where|order)\\b.*)?\\s*$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = selectAll.match(text);
    if (!match.hasMatch())
        return {};
    return match.captured(1) + QStringLiteral("rowid AS ") + rowidAlias + QStringLiteral(", ") +
           text.mid(match.capturedEnd(1));
}

void RecordQuery::checkFields()
{
    fieldColumn_.assign(defs_.size(), -1);
    for (int f = 0; f < defs_.size(); ++f) {
        const FieldDef& def = defs_.at(f);
        for (int c = 0; c < int(columns_.size()); ++c) {
            if (columns_[c].name.compare(def.name, Qt::CaseInsensitive) == 0) {
                fieldColumn_[f] = c;
                break;
            }
        }
        if (fieldColumn_[f] < 0)
            fail(QStringLiteral("Field '%1' not found").arg(def.name));
        const QMetaType::Type actual = columns_[fieldColumn_[f]].type;
        if (!fits(def.type, actual)) {
            fail(QStringLiteral("Type mismatch for field '%1', expecting: %2 actual: %3")
                     .arg(def.name, declaredTypeName(def.type), actualTypeName(actual)));
        }
    }
}

void RecordQuery::close()
{
    if (state_ == State::Closed)
        return;
    state_ = State::Closed;
    rows_.clear();
    deleted_.clear();
    columns_.clear();
    current_ = 0;
    eof_ = true;
    modified_ = false;
    notify(&RecordQuery::rowsChanged);
}

void RecordQuery::execSql()
{
    connection_.run([this](QSqlDatabase& db) {
        QSqlQuery query(db);
        if (!query.exec(statementText()))
            throw engineError(query);
    });
}

void RecordQuery::first()
{
    requireOpen();
    checkBrowseMode();
    current_ = 0;
    eof_ = rows_.empty();
}

void RecordQuery::next()
{
    requireOpen();
    checkBrowseMode();
    if (current_ + 1 < int(rows_.size()))
        ++current_;
    else
        eof_ = true;
}

void RecordQuery::moveTo(int row)
{
    requireOpen();
    // Staying on the row keeps a row being edited or added as it is.
    if (row < 0 || row >= int(rows_.size()) || row == current_)
        return;
    // Leaving a new row that holds nothing drops it; the rows below it move up by one.
    const bool dropsRowAbove = state_ == State::Insert && !modified_ && current_ < row;
    checkBrowseMode();
    if (dropsRowAbove)
        --row;
    current_ = std::min(row, int(rows_.size()) - 1);
    eof_ = rows_.empty();
}

Field& RecordQuery::field(int index)
{
    if (index < 0 || index >= int(fields_.size()))
        fail(QStringLiteral("Field index out of range"));
    return fields_[index];
}

Field& RecordQuery::fieldByName(const QString& name)
{
    for (Field& f : fields_) {
        if (f.name().compare(name, Qt::CaseInsensitive) == 0)
            return f;
    }
    fail(QStringLiteral("Field '%1' not found").arg(name));
}

bool RecordQuery::isEditing() const
{
    return state_ == State::Edit || state_ == State::Insert;
}

QVariant RecordQuery::fieldValue(int fieldIndex) const
{
    if (fieldColumn_.empty())
        return {};
    const int column = fieldColumn_.at(fieldIndex);
    if (isEditing())
        return buffer_.values.at(column);
    if (state_ == State::Closed || rows_.empty())
        return {};
    return rows_[current_].values.at(column);
}

QString RecordQuery::textAt(int row, int fieldIndex) const
{
    if (row < 0 || row >= int(rows_.size()) || fieldColumn_.empty())
        return {};
    const int column = fieldColumn_.at(fieldIndex);
    const bool editing = row == current_ && isEditing();
    return displayText(defs_.at(fieldIndex).type,
                       editing ? buffer_.values.at(column) : rows_[row].values.at(column));
}

bool RecordQuery::hasPendingChanges() const
{
    if (!deleted_.empty() || state_ == State::Insert)
        return true;
    for (const Row& row : rows_) {
        if (row.change() != Change::None)
            return true;
    }
    return false;
}

void RecordQuery::setValidator(const QString& fieldName, std::function<void(Field&)> validator)
{
    validators_.emplace_back(fieldName, std::move(validator));
}

// ---------------------------------------------------------------------------------------------
// RecordQuery: changing rows

// The state of a row as read: its values are in the table, none has been set since.
RecordQuery::RowState& RecordQuery::stateOf(std::shared_ptr<RowState>& state, const PackedValues& asRead) const
{
    if (!state) {
        const int count = int(columns_.size());
        state = std::make_shared<RowState>(RowState{Change::None, asRead, QBitArray(count, true), QBitArray(count, false)});
    } else if (state.use_count() > 1) {
        state = std::make_shared<RowState>(*state);
    }
    return *state;
}

RecordQuery::EditedRow RecordQuery::emptyRow()
{
    // Every new row starts from the same typed NULLs and flags, shared until it is set.
    const int count = int(columns_.size());
    if (emptyValues_.isEmpty()) {
        for (const Column& column : columns_)
            emptyValues_.append(QVariant(QMetaType(column.type)));
        if (rowidColumn_ >= 0)
            emptyValues_.append(QVariant());
        noColumns_ = QBitArray(count, false);
    }
    // No original values: nothing of the row is in the table before it is written.
    return EditedRow{emptyValues_, std::make_shared<RowState>(RowState{Change::Inserted, {}, noColumns_, noColumns_})};
}

QVariant RecordQuery::convertForField(int fieldIndex, const QVariant& value) const
{
    const FieldDef& def = defs_.at(fieldIndex);
    const Column& column = columns_.at(fieldColumn_.at(fieldIndex));
    const QString text = value.toString();
    switch (def.type) {
    case FieldType::Text: {
        QString cut = value.typeId() == QMetaType::Double ? floatText(value.toDouble()) : text;
        int width = def.width > 0 ? def.width : -1;
        if (column.length > 0 && (width < 0 || column.length < width))
            width = column.length;
        if (width > 0 && cut.size() > width)
            cut.truncate(width);
        return withEmptyText(cut);
    }
    case FieldType::Integer: {
        if (value.typeId() == QMetaType::QString && text.isEmpty())
            return QVariant(QMetaType(QMetaType::Int));
        bool ok = false;
        const int number = value.typeId() == QMetaType::QString ? text.trimmed().toInt(&ok) : value.toInt(&ok);
        if (!ok)
            throw DatabaseError(QStringLiteral("'%1' is not a valid integer value").arg(text));
        return number;
    }
    case FieldType::Float: {
        if (value.typeId() == QMetaType::QString && text.isEmpty())
            return QVariant(QMetaType(QMetaType::Double));
        bool ok = false;
        const double number = value.typeId() == QMetaType::QString ? text.trimmed().toDouble(&ok) : value.toDouble(&ok);
        if (!ok)
            throw DatabaseError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
        return number;
    }
    case FieldType::Boolean: {
        if (value.typeId() == QMetaType::Bool)
            return value;
        if (value.typeId() != QMetaType::QString)
            return value.toInt() != 0;
        if (text.isEmpty())
            return QVariant(QMetaType(QMetaType::Bool));
        if (text.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0)
            return true;
        if (text.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0)
            return false;
        throw DatabaseError(QStringLiteral("'%1' is not a valid boolean value").arg(text));
    }
    }
    return value;
}

void RecordQuery::setFieldValue(int fieldIndex, const QVariant& value)
{
    if (state_ != State::Edit && state_ != State::Insert)
        fail(QStringLiteral("Dataset not in edit or insert mode"));
    const int column = fieldColumn_.at(fieldIndex);
    const QVariant stored = convertForField(fieldIndex, value);
    const QVariant previous = buffer_.values.at(column);
    buffer_.values[column] = stored;
    for (auto& [name, validator] : validators_) {
        if (name.compare(defs_.at(fieldIndex).name, Qt::CaseInsensitive) != 0)
            continue;
        try {
            validator(fields_[fieldIndex]);
        } catch (...) {
            buffer_.values[column] = previous;
            throw;
        }
    }
    buffer_.state->assigned.setBit(column);
    modified_ = true;
    notify(&RecordQuery::rowChanged, current_);
}

void RecordQuery::checkBrowseMode()
{
    if (state_ == State::Edit || state_ == State::Insert) {
        if (modified_)
            post();
        else
            cancel();
    }
}

void RecordQuery::startNewRow(int position)
{
    requireOpen();
    checkBrowseMode();
    position = std::clamp(position, 0, int(rows_.size()));
    buffer_ = emptyRow();
    notify(&RecordQuery::rowAboutToBeInserted, position);
    // The new row lives in the buffer until it is posted; its place holds nothing meanwhile.
    rows_.insert(rows_.begin() + position, Row());
    current_ = position;
    eof_ = false;
    modified_ = false;
    state_ = State::Insert;
    notify(&RecordQuery::rowInserted, position);
    if (afterInsert_)
        afterInsert_();
}

void RecordQuery::append()
{
    requireOpen();
    checkBrowseMode();
    startNewRow(int(rows_.size()));
}

void RecordQuery::insert()
{
    requireOpen();
    checkBrowseMode();
    startNewRow(rows_.empty() ? 0 : current_);
}

void RecordQuery::edit()
{
    requireOpen();
    if (state_ == State::Edit || state_ == State::Insert)
        return;
    if (rows_.empty())
        fail(QStringLiteral("Cannot perform this operation on an empty dataset"));
    const Row& row = rows_[current_];
    buffer_.values = row.values.toList();
    buffer_.state = row.state ? std::make_shared<RowState>(*row.state) : nullptr;
    stateOf(buffer_.state, row.values).assigned = QBitArray(int(columns_.size()), false);
    modified_ = false;
    state_ = State::Edit;
}

void RecordQuery::cancel()
{
    if (state_ == State::Insert) {
        state_ = State::Browse;
        modified_ = false;
        eraseCurrentRow();
        return;
    }
    if (state_ == State::Edit) {
        state_ = State::Browse;
        modified_ = false;
        notify(&RecordQuery::rowChanged, current_);
    }
}

void RecordQuery::post()
{
    if (state_ != State::Edit && state_ != State::Insert)
        fail(QStringLiteral("Dataset not in edit or insert mode"));
    Row& target = rows_[current_];
    Row posted{packer_.pack(buffer_.values), std::move(buffer_.state)};
    buffer_ = EditedRow();
    if (state_ == State::Edit) {
        // The edit started from the target's state; what was set before stays to be written.
        RowState& state = *posted.state;
        const bool changed = state.assigned.count(true) > 0;
        if (target.state)
            state.assigned |= target.state->assigned;
        if (state.change == Change::None && changed)
            state.change = Change::Modified;
    }
    if (mode_ == WriteMode::Immediate && posted.change() != Change::None) {
        connection_.run([&](QSqlDatabase& db) {
            if (posted.change() == Change::Inserted) {
                PreparedInsert prepared;
                takeInsertedId(posted, writeInsert(db, posted, prepared));
            } else {
                writeUpdate(db, posted, false);
            }
        });
        markWritten(posted);
    } else if (posted.change() == Change::None) {
        markWritten(posted);
    } else if (state_ == State::Insert && current_ > 0) {
        // Rows appended one after another for a batch mostly set the same columns.
        const std::shared_ptr<RowState>& above = rows_[current_ - 1].state;
        const RowState& state = *posted.state;
        if (above && above->change == Change::Inserted && above->assigned == state.assigned &&
            above->known == state.known)
            posted.state = above;
    }
    target = std::move(posted);
    state_ = State::Browse;
    modified_ = false;
    notify(&RecordQuery::rowChanged, current_);
}

void RecordQuery::remove()
{
    requireOpen();
    if (state_ == State::Insert) {
        cancel();
        return;
    }
    if (rows_.empty())
        fail(QStringLiteral("Cannot perform this operation on an empty dataset"));
    if (state_ == State::Edit)
        cancel();
    Row& row = rows_[current_];
    if (row.change() != Change::Inserted) {
        if (mode_ == WriteMode::Immediate) {
            connection_.run([&](QSqlDatabase& db) { writeDelete(db, row, false); });
        } else {
            deleted_.push_back(std::move(row));
        }
    }
    eraseCurrentRow();
}

void RecordQuery::eraseCurrentRow()
{
    const int erased = current_;
    notify(&RecordQuery::rowAboutToBeRemoved, erased);
    rows_.erase(rows_.begin() + erased);
    if (current_ >= int(rows_.size()))
        current_ = std::max(0, int(rows_.size()) - 1);
    eof_ = rows_.empty();
    notify(&RecordQuery::rowRemoved, erased);
}

void RecordQuery::updateBatch()
{
    requireOpen();
    checkBrowseMode();
    if (!hasPendingChanges())
        return;
    // The rows change only once the batch is in, so that a refused batch leaves every change
    // pending; the keys the database gives new rows wait until then.
    InsertedIds insertedIds;
    connection_.run([&](QSqlDatabase& db) {
        insertedIds = InsertedIds();
        writeBatch(db, insertedIds);
    });
    // Each row is done with before the next, so that the states of new rows, shared until
    // now, are not all copied at once.
    const auto takeId = [this](Row& row, const QVariant& id) {
        takeInsertedId(row, id);
        markWritten(row);
    };
    for (const InsertedIds::Number& number : insertedIds.numbers)
        takeId(rows_[std::size_t(number.row)], QVariant(number.id));
    for (const auto& [i, id] : insertedIds.others)
        takeId(rows_[std::size_t(i)], id);
    for (Row& row : rows_)
        markWritten(row);
    deleted_.clear();
    notify(&RecordQuery::rowsChanged);
}

void RecordQuery::InsertedIds::add(int row, QVariant id)
{
    if (id.typeId() == QMetaType::LongLong)
        numbers.push_back({row, id.toLongLong()});
    else
        others.emplace_back(row, std::move(id));
}

void RecordQuery::writeBatch(QSqlDatabase& db, InsertedIds& insertedIds)
{
    if (!db.transaction())
        throw engineError(db);
    try {
        for (const Row& row : deleted_)
            writeDelete(db, row, true);
        for (const Row& row : rows_) {
            if (row.change() == Change::Modified)
                writeUpdate(db, row, true);
        }
        PreparedInsert prepared;
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            if (rows_[i].change() == Change::Inserted) {
                QVariant id = writeInsert(db, rows_[i], prepared);
                if (id.isValid())
                    insertedIds.add(int(i), std::move(id));
            }
        }
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!db.commit()) {
        const DatabaseError error = engineError(db);
        db.rollback();
        throw error;
    }
}

// ---------------------------------------------------------------------------------------------
// RecordQuery: writing to the table

std::optional<QString> RecordQuery::statementTable() const
{
    static const QRegularExpression fromClause(QStringLiteral("\\bfrom\\s+([A-Za-z_][A-Za-z0-9_.]*)"),
                                               QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = fromClause.match(statementText());
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1);
}

// The table of the statement as it was opened.
const QString& RecordQuery::tableName()
{
    if (!table_)
        fail(QStringLiteral("The statement names no table to write to"));
    return *table_;
}

const QStringList& RecordQuery::keyColumns(QSqlDatabase& db, const QString& table)
{
    if (!keyCache_ || keyCache_->first != table) {
        QStringList names;
        const QSqlIndex index = db.primaryIndex(table);
        for (int i = 0; i < index.count(); ++i)
            names.append(index.fieldName(i));
        keyCache_ = std::make_pair(table, names);
    }
    return keyCache_->second;
}

QString RecordQuery::locateCondition(QSqlDatabase& db, const Row& row, bool withChangedColumns, QVariantList& bindings)
{
    auto columnIndex = [this](const QString& name) {
        for (int c = 0; c < int(columns_.size()); ++c) {
            if (columns_[c].name.compare(name, Qt::CaseInsensitive) == 0)
                return c;
        }
        return -1;
    };
    QStringList terms;
    std::vector<int> locating;
    if (rowidColumn_ >= 0 && !row.values.at(rowidColumn_).isNull()) {
        terms.append(QStringLiteral("rowid = ?"));
        bindings.append(row.values.at(rowidColumn_));
    } else {
        for (const QString& key : keyColumns(db, tableName())) {
            const int c = columnIndex(key);
            if (c < 0 || !row.known(c) || row.original(c).isNull()) {
                locating.clear();
                break;
            }
            locating.push_back(c);
        }
    }
    if (terms.isEmpty() && locating.empty()) {
        for (int c = 0; c < int(columns_.size()); ++c) {
            if (row.known(c))
                locating.push_back(c);
        }
    } else if (withChangedColumns) {
        // As optimistic locking does: a change that someone else made to the same columns
        // since the row was read leaves no row to update, instead of being overwritten.
        for (int c = 0; c < int(columns_.size()); ++c) {
            if (row.assigned(c) && row.known(c) && std::find(locating.begin(), locating.end(), c) == locating.end())
                locating.push_back(c);
        }
    }
    for (int c : locating) {
        if (row.original(c).isNull()) {
            terms.append(columns_[c].name + QStringLiteral(" IS NULL"));
        } else {
            terms.append(columns_[c].name + QStringLiteral(" = ?"));
            bindings.append(row.original(c));
        }
    }
    if (terms.isEmpty())
        fail(QStringLiteral("Row cannot be located for updating"));
    return terms.join(QStringLiteral(" AND "));
}

namespace {

// Runs a statement that must change exactly one row of the table.
// Outside a batch it opens a transaction of its own, so that a statement that would change
// several rows is undone.
void execOnOneRow(QSqlDatabase& db, const QString& text, const QVariantList& bindings, const QString& notFound,
                  bool withinBatch)
{
    const bool ownTransaction = !withinBatch && db.transaction();
    QSqlQuery query(db);
    bool ok = query.prepare(text);
    for (const QVariant& value : bindings)
        query.addBindValue(value);
    ok = ok && query.exec();
    if (!ok) {
        const DatabaseError error = engineError(query);
        if (ownTransaction)
            db.rollback();
        throw error;
    }
    const int changed = query.numRowsAffected();
    query.finish();
    if (changed != 1) {
        if (ownTransaction)
            db.rollback();
        throw DatabaseError(changed == 0 ? notFound
                                         : QStringLiteral("%1 rows match the row to be written; "
                                                          "none was changed")
                                               .arg(changed));
    }
    if (ownTransaction && !db.commit())
        throw engineError(db);
}

} // namespace

RecordQuery::PreparedInsert::PreparedInsert() = default;
RecordQuery::PreparedInsert::~PreparedInsert() = default;

QVariant RecordQuery::writeInsert(QSqlDatabase& db, const Row& row, PreparedInsert& prepared)
{
    const QBitArray& assigned = row.state->assigned;
    const int count = int(columns_.size());
    // Rows of a batch that set the same columns share one prepared statement.
    if ((!prepared.query && !prepared.sqlite) || prepared.columns != assigned) {
        QStringList names;
        QStringList marks;
        for (int c = 0; c < count; ++c) {
            if (assigned.testBit(c)) {
                names.append(columns_[c].name);
                marks.append(QStringLiteral("?"));
            }
        }
        const QString& table = tableName();
        const QString text = names.isEmpty()
                                 ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table)
                                 : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                       .arg(table, names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
        prepared.columns = assigned;
        prepared.asksInsertedId = asksInsertedId(db, assigned);
        prepared.sqlite.reset();
        prepared.query.reset();
        if (SqliteStatement::supports(db)) {
            prepared.sqlite = std::make_unique<SqliteStatement>(db, text);
        } else {
            prepared.query.emplace(db);
            if (!prepared.query->prepare(text))
                throw engineError(*prepared.query);
        }
    }
    const auto bindAssigned = [&](auto&& bind) {
        int position = 0;
        for (int c = 0; c < count; ++c) {
            if (assigned.testBit(c))
                bind(position++, c);
        }
    };
    if (prepared.sqlite) {
        SqliteStatement& statement = *prepared.sqlite;
        bindAssigned([&](int position, int c) {
            if (const std::optional<QLatin1StringView> text = row.values.latin1View(c))
                statement.bindLatin1(position, *text);
            else
                statement.bind(position, row.values.at(c));
        });
        statement.run();
    } else {
        QSqlQuery& query = *prepared.query;
        bindAssigned([&](int position, int c) { query.bindValue(position, row.values.at(c)); });
        if (!query.exec())
            throw engineError(query);
    }
    if (!prepared.asksInsertedId)
        return {};
    return prepared.sqlite ? prepared.sqlite->lastInsertId() : prepared.query->lastInsertId();
}

// The key or rowid that the database gave the row finds it again for later changes. The engine
// is asked only when the row left its key to the database: PostgreSQL answers with the session's
// last sequence value, and fails (with a warning) where none was used. The answer holds for
// every row that sets the same columns.
bool RecordQuery::asksInsertedId(QSqlDatabase& db, const QBitArray& assigned)
{
    if (rowidColumn_ >= 0)
        return true;
    const QStringList& keys = keyColumns(db, tableName());
    if (keys.size() != 1 || !db.driver()->hasFeature(QSqlDriver::LastInsertId))
        return false;
    for (int c = 0; c < int(columns_.size()); ++c) {
        if (columns_[c].name.compare(keys.first(), Qt::CaseInsensitive) == 0 && !assigned.testBit(c))
            return true;
    }
    return false;
}

void RecordQuery::takeInsertedId(Row& row, const QVariant& id) const
{
    if (!id.isValid())
        return;
    if (rowidColumn_ >= 0) {
        row.values.set(rowidColumn_, id);
        return;
    }
    const QString& key = keyCache_->second.first();
    for (int c = 0; c < int(columns_.size()); ++c) {
        if (columns_[c].name.compare(key, Qt::CaseInsensitive) == 0) {
            row.values.set(c, id);
            stateOf(row.state, row.values).assigned.setBit(c);
        }
    }
}

void RecordQuery::writeUpdate(QSqlDatabase& db, const Row& row, bool withinBatch)
{
    QStringList sets;
    QVariantList bindings;
    for (int c = 0; c < int(columns_.size()); ++c) {
        if (row.assigned(c)) {
            sets.append(columns_[c].name + QStringLiteral(" = ?"));
            bindings.append(row.values.at(c));
        }
    }
    if (sets.isEmpty())
        return;
    const QString condition = locateCondition(db, row, true, bindings);
    execOnOneRow(
        db, QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(tableName(), sets.join(QStringLiteral(", ")), condition),
        bindings,
        QStringLiteral("Row cannot be located for updating. Some values may have been "
                       "changed since it was last read."),
        withinBatch);
}

void RecordQuery::writeDelete(QSqlDatabase& db, const Row& row, bool withinBatch)
{
    QVariantList bindings;
    const QString condition = locateCondition(db, row, false, bindings);
    execOnOneRow(db, QStringLiteral("DELETE FROM %1 WHERE %2").arg(tableName(), condition), bindings,
                 QStringLiteral("Row cannot be located for deleting. Some values may have been "
                                "changed since it was last read."),
                 withinBatch);
}

void RecordQuery::markWritten(Row& row) const
{
    if (!row.state)
        return;
    const QBitArray known = row.change() == Change::Inserted ? row.state->assigned : row.state->known;
    // A row whose values are all in the table again is as good as one read.
    if (known.count(true) == int(columns_.size())) {
        row.state.reset();
        return;
    }
    RowState& state = stateOf(row.state, row.values);
    state.known = known;
    state.original = row.values;
    state.assigned = QBitArray(int(columns_.size()), false);
    state.change = Change::None;
}
