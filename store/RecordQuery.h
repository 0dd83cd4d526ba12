#pragma once

#include "Field.h"
#include "FieldDef.h"
#include "PackedValues.h"

#include <QBitArray>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class Connection;
class SqliteStatement;

// A SQL statement with a current row, read whole when opened. Rows are appended, edited and
// deleted in memory and written to the table the statement reads from, at once (Immediate)
// or all together by updateBatch() (Batch). Errors are raised as DatabaseError.
class RecordQuery : public QObject {
    Q_OBJECT
public:
    enum class WriteMode { Immediate, Batch };
    enum class State { Closed, Browse, Edit, Insert };

    RecordQuery(const QString& name, Connection& connection, WriteMode mode, FieldDefs fields = {});
    ~RecordQuery() override;

    const QString& name() const { return name_; }
    State state() const { return state_; }
    bool isOpen() const { return state_ != State::Closed; }

    // The statement is its lines, each followed by CR LF.
    QStringList& sql() { return sql_; }
    QString statementText() const;

    void open();
    void close();
    void execSql();

    void first();
    void next();
    bool eof() const { return eof_; }
    int rowCount() const { return int(rows_.size()); }
    int currentRow() const { return current_; }
    void moveTo(int row);

    int fieldCount() const { return int(fields_.size()); }
    Field& field(int index);
    Field& fieldByName(const QString& name);
    const FieldDefs& fieldDefs() const { return defs_; }
    // What a field holds in any row, for grids; the row being edited shows its new values.
    QString textAt(int row, int fieldIndex) const;

    void append();
    void insert(); // a new row above the current one
    // Room for that many rows in all, so that appending up to them never moves the rows held:
    // a batch of many appended rows then needs no second copy of its rows while it grows.
    void reserve(int rows) { rows_.reserve(std::size_t(std::max(rows, 0))); }
    void edit();
    void post();
    void cancel();
    void remove();
    void updateBatch();
    bool isModified() const { return modified_; }
    bool hasPendingChanges() const;

    // While one of these lives, the query raises no row signals; when the last one ends, a single
    // rowsChanged() tells of all that changed meanwhile. Grids over a query that a program fills
    // row by row then update once, instead of for every row and field.
    class HeldSignals {
    public:
        explicit HeldSignals(RecordQuery& query);
        ~HeldSignals();
        HeldSignals(const HeldSignals&) = delete;
        HeldSignals& operator=(const HeldSignals&) = delete;

    private:
        RecordQuery& query_;
    };

    void setAfterInsert(std::function<void()> handler) { afterInsert_ = std::move(handler); }
    // Told the number of rows read so far as open() reads each row, for a progress display. What
    // it throws ends the opening, and the query stays closed.
    void setReadProgress(std::function<void(int rowsRead)> progress) { readProgress_ = std::move(progress); }
    // Runs before a new value of the field is stored; inside it the field reads the new value.
    void setValidator(const QString& fieldName, std::function<void(Field&)> validator);

Q_SIGNALS:
    // All rows were read anew, dropped or written; the current row may have moved.
    void rowsChanged();
    // One row is added at that position (it becomes the current row), or removed.
    void rowAboutToBeInserted(int row);
    void rowInserted(int row);
    void rowAboutToBeRemoved(int row);
    void rowRemoved(int row);
    // The values of one row changed.
    void rowChanged(int row);

private:
    friend class Field;

    struct Column {
        QString name;
        QMetaType::Type type = QMetaType::UnknownType;
        int length = -1;
    };
    enum class Change { None, Inserted, Modified };
    // What a row holds beyond its values once it differs from the table as read: most rows of
    // a result never change, and carry nothing but their values.
    struct RowState {
        Change change = Change::None;
        PackedValues original; // as read or last written; locates the row in the table
        QBitArray known;       // which original values are known to be in the table
        QBitArray assigned;    // columns set since the row was last written
    };
    // A row held by the query: its values packed, since a result may hold many thousands. New
    // rows of a batch that set the same columns share one state until they are written.
    struct Row {
        PackedValues values; // the stored columns, then the rowid when the result has it
        std::shared_ptr<RowState> state;

        Change change() const { return state ? state->change : Change::None; }
        QVariant original(int column) const { return state ? state->original.at(column) : values.at(column); }
        bool known(int column) const { return !state || state->known.testBit(column); }
        bool assigned(int column) const { return state && state->assigned.testBit(column); }
    };
    // The row being edited or inserted, its values unpacked while fields are set one by one.
    struct EditedRow {
        QList<QVariant> values;
        std::shared_ptr<RowState> state;
    };
    // The keys that the database gave the new rows of a batch, kept until the batch is in:
    // SQLite's rowids in 16 bytes a row, any other key as it came.
    struct InsertedIds {
        struct Number {
            int row;
            qint64 id;
        };
        std::vector<Number> numbers;
        std::vector<std::pair<int, QVariant>> others;
        void add(int row, QVariant id);
    };

    // Raises the signal, or notes that one rowsChanged() is owed while signals are held.
    template <typename... Params, typename... Args> void notify(void (RecordQuery::*signal)(Params...), Args... args)
    {
        if (signalHolds_ > 0)
            signalsOwed_ = true;
        else
            (this->*signal)(args...);
    }
    [[noreturn]] void fail(const QString& message) const;
    void read(QSqlDatabase& db);
    void writeBatch(QSqlDatabase& db, InsertedIds& insertedIds);
    void requireOpen() const;
    void checkFields();
    void bindDeclaredFields();
    void checkBrowseMode();
    void startNewRow(int position);
    void eraseCurrentRow();
    bool isEditing() const;
    QVariant fieldValue(int fieldIndex) const;
    void setFieldValue(int fieldIndex, const QVariant& value);
    QVariant convertForField(int fieldIndex, const QVariant& value) const;

    const QString& tableName();
    std::optional<QString> statementTable() const;
    const QStringList& keyColumns(QSqlDatabase& db, const QString& table);
    std::vector<int> storedColumns(QSqlDatabase& db, bool rowidSelected);
    QString withRowid(QSqlDatabase& db, const QString& text);
    // The state of a row to change, made from its values as read when it has none yet, and a
    // copy of its own when other rows share it.
    RowState& stateOf(std::shared_ptr<RowState>& state, const PackedValues& asRead) const;
    // The insert of one set of columns, prepared once for the rows of a batch: on SQLite
    // straight on the engine's connection, through Qt on other engines.
    struct PreparedInsert {
        PreparedInsert();
        ~PreparedInsert();
        QBitArray columns;
        bool asksInsertedId = false; // whether the engine is asked for the key it gave a row
        std::unique_ptr<SqliteStatement> sqlite;
        std::optional<QSqlQuery> query;
    };
    // Returns the key or rowid that the database gave the new row, or an invalid value.
    QVariant writeInsert(QSqlDatabase& db, const Row& row, PreparedInsert& prepared);
    bool asksInsertedId(QSqlDatabase& db, const QBitArray& assigned);
    void takeInsertedId(Row& row, const QVariant& id) const;
    void writeUpdate(QSqlDatabase& db, const Row& row, bool withinBatch);
    void writeDelete(QSqlDatabase& db, const Row& row, bool withinBatch);
    // Finds the row by its key or rowid (and, for an update, the columns it changes) or, in a
    // table without either, by all the values it was read with.
    QString locateCondition(QSqlDatabase& db, const Row& row, bool withChangedColumns, QVariantList& bindings);
    void markWritten(Row& row) const;
    EditedRow emptyRow();

    QString name_;
    Connection& connection_;
    WriteMode mode_;
    FieldDefs defs_;
    bool dynamicFields_;
    QStringList sql_;

    State state_ = State::Closed;
    std::vector<Column> columns_;  // the result's columns that rows keep
    int rowidColumn_ = -1;         // where a row keeps its SQLite rowid, when the result has it
    std::vector<int> fieldColumn_; // declared field -> result column
    std::deque<Field> fields_;
    std::vector<Row> rows_;
    std::vector<Row> deleted_;
    int current_ = 0;
    bool eof_ = true;
    EditedRow buffer_;            // the row being edited or inserted
    QList<QVariant> emptyValues_; // of a new row, made at the first append after opening
    PackedValues::Builder packer_; // packs each posted row, its buffer kept from row to row
    QBitArray noColumns_;
    bool modified_ = false;
    int signalHolds_ = 0;
    bool signalsOwed_ = false;

    std::function<void()> afterInsert_;
    std::function<void(int)> readProgress_;
    std::vector<std::pair<QString, std::function<void(Field&)>>> validators_;
    std::optional<QString> table_; // of the statement last opened
    std::optional<std::pair<QString, QStringList>> keyCache_;
};
