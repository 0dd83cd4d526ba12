#pragma once

#include "Field.h"
#include "FieldDef.h"

#include <QBitArray>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

class Connection;

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
    void edit();
    void post();
    void cancel();
    void remove();
    void updateBatch();
    bool isModified() const { return modified_; }
    bool hasPendingChanges() const;

    void setAfterInsert(std::function<void()> handler) { afterInsert_ = std::move(handler); }
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
    struct Row {
        enum class Change { None, Inserted, Modified };
        QList<QVariant> values;
        QList<QVariant> original; // as read or last written; locates the row in the table
        QBitArray known;          // which original values are known to be in the table
        QBitArray assigned;       // columns set since the row was last written
        Change change = Change::None;
    };

    [[noreturn]] void fail(const QString& message) const;
    void requireOpen() const;
    void checkFields();
    void bindDeclaredFields();
    void checkBrowseMode();
    void startNewRow(int position);
    void eraseCurrentRow();
    const Row* rowForReading() const;
    QVariant fieldValue(int fieldIndex) const;
    void setFieldValue(int fieldIndex, const QVariant& value);
    QVariant convertForField(int fieldIndex, const QVariant& value) const;

    QString tableName() const;
    const QStringList& keyColumns(QSqlDatabase& db);
    struct PreparedInsert {
        QString text;
        std::optional<QSqlQuery> query;
    };
    void writeInsert(QSqlDatabase& db, Row& row, PreparedInsert& prepared);
    void writeUpdate(QSqlDatabase& db, const Row& row, bool withinBatch);
    void writeDelete(QSqlDatabase& db, const Row& row, bool withinBatch);
    // Finds the row by its key (and, for an update, the columns it changes) or, in a table
    // without a key, by all the values it was read with.
    QString locateCondition(QSqlDatabase& db, const Row& row, bool withChangedColumns, QVariantList& bindings);
    void markWritten(Row& row) const;
    Row emptyRow() const;

    QString name_;
    Connection& connection_;
    WriteMode mode_;
    FieldDefs defs_;
    bool dynamicFields_;
    QStringList sql_;

    State state_ = State::Closed;
    std::vector<Column> columns_;
    std::vector<int> fieldColumn_; // declared field -> result column
    std::deque<Field> fields_;
    std::vector<Row> rows_;
    std::vector<Row> deleted_;
    int current_ = 0;
    bool eof_ = true;
    Row buffer_;           // the row being edited or inserted
    bool modified_ = false;

    std::function<void()> afterInsert_;
    std::vector<std::pair<QString, std::function<void(Field&)>>> validators_;
    std::optional<std::pair<QString, QStringList>> keyCache_;
};
