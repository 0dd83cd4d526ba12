// RecordQuery against a real SQLite file and a real PostgreSQL server through ODBC. Every test
// runs for each engine, on two tables of its own: person, with a key, a NOT NULL and a UNIQUE
// column and columns with defaults, and tally, which has no key.
#include "Connection.h"
#include "DatabaseError.h"
#include "ErrorText.h"
#include "OtherProgram.h"
#include "RecordQuery.h"
#include "RecordQueryModel.h"
#include "SqlText.h"
#include "TestDatabases.h"

#include <QtTest>

namespace {

const QStringList engines{QStringLiteral("sqlite"), QStringLiteral("postgresql")};

QString modeName(bool batch)
{
    return batch ? QStringLiteral("batch") : QStringLiteral("immediate");
}

RecordQuery::WriteMode writeMode(bool batch)
{
    return batch ? RecordQuery::WriteMode::Batch : RecordQuery::WriteMode::Immediate;
}

const QString personRows = QStringLiteral("SELECT name, code, age, score, active, note FROM person ORDER BY id");
const QString tallyOrder = QStringLiteral(" FROM tally ORDER BY name, COALESCE(note, ''), amount");
const QString tallyRows = QStringLiteral("SELECT name, note, amount") + tallyOrder;

FieldDefs personFields()
{
    return {integerField(QStringLiteral("id")),    textField(QStringLiteral("name"), 20),
            textField(QStringLiteral("code"), 10), integerField(QStringLiteral("age")),
            floatField(QStringLiteral("score")),   booleanField(QStringLiteral("active")),
            textField(QStringLiteral("note"), 20)};
}

// The names and ages of the people in a batch query, and a grid's model of both.
struct PeopleGrid {
    explicit PeopleGrid(const QString& connectionString)
    {
        connection.setConnectionString(connectionString);
        query.sql() << QStringLiteral("SELECT * FROM person ORDER BY id");
        query.open();
    }

    Connection connection{QStringLiteral("test")};
    RecordQuery query{QStringLiteral("people"),
                      connection,
                      RecordQuery::WriteMode::Batch,
                      {textField(QStringLiteral("name")), integerField(QStringLiteral("age"))}};
    RecordQueryModel model{
        query, {{QStringLiteral("name"), QStringLiteral("姓名")}, {QStringLiteral("age"), QStringLiteral("Age")}}};
};

} // namespace

class TestRecordQuery : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void reading_data();
    void reading();
    void declaredFields_data();
    void declaredFields();
    void editing_data();
    void editing();
    void refusedBatch_data();
    void refusedBatch();
    void locateByKey_data();
    void locateByKey();
    void keylessTable_data();
    void keylessTable();
    void textRoundTrip_data();
    void textRoundTrip();
    void gridModel();
    void heldSignals();

private:
    static void addEngineRows();
    static void addEngineAndModeRows();
    QString prepare(const QString& engine);

    TestDatabases databases_;
};

void TestRecordQuery::addEngineRows()
{
    QTest::addColumn<QString>("engine");
    for (const QString& engine : engines)
        QTest::newRow(qPrintable(engine)) << engine;
}

void TestRecordQuery::addEngineAndModeRows()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<bool>("batch");
    for (const QString& engine : engines) {
        for (bool batch : {false, true})
            QTest::newRow(qPrintable(engine + QLatin1Char('/') + modeName(batch))) << engine << batch;
    }
}

// A fresh database of the engine with the test tables and their first rows; Ann is id 1,
// Bob id 2.
QString TestRecordQuery::prepare(const QString& engine)
{
    const QString connectionString = databases_.fresh(engine);
    const QString key = engine == QLatin1String("sqlite") ? QStringLiteral("integer primary key")
                                                          : QStringLiteral("serial primary key");
    OtherProgram(connectionString)
        .run(QStringLiteral("CREATE TABLE person (id %1, name varchar(20) NOT NULL, "
                            "code varchar(10) UNIQUE, age integer, score float DEFAULT 8, "
                            "active boolean, note varchar(20) DEFAULT 'fresh')")
                 .arg(key));
    OtherProgram(connectionString)
        .run(QStringLiteral("INSERT INTO person (name, code, age, score, active, note) "
                            "VALUES ('Ann', 'A1', 30, 1.5, true, 'first')"));
    OtherProgram(connectionString).run(QStringLiteral("INSERT INTO person (name, code) VALUES ('Bob', 'B2')"));
    OtherProgram(connectionString)
        .run(QStringLiteral("CREATE TABLE tally (name varchar(20), note varchar(20), amount integer, "
                            "counted boolean, weight float)"));
    OtherProgram(connectionString)
        .run(QStringLiteral("INSERT INTO tally (name, note, amount, counted, weight) VALUES "
                            "('a', NULL, 1, true, 0.1), ('a', 'x', 1, false, 0.1), "
                            "('dup', NULL, 2, NULL, NULL), ('dup', NULL, 2, NULL, NULL)"));
    return connectionString;
}

void TestRecordQuery::reading_data()
{
    addEngineRows();
}

void TestRecordQuery::reading()
{
    QFETCH(QString, engine);
    SKIP_UNLESS_AVAILABLE(engine);
    Connection connection(QStringLiteral("test"));
    connection.setConnectionString(prepare(engine));

    RecordQuery query(QStringLiteral("people"), connection, RecordQuery::WriteMode::Immediate, personFields());
    QCOMPARE(errorText([&] { query.first(); }),
             QStringLiteral("people: Cannot perform this operation on a closed dataset"));
    // Lines end with CR LF: the comment ends with its line and the condition still counts.
    query.sql() << QStringLiteral("SELECT * FROM person -- everyone") << QStringLiteral("WHERE id > 0")
                << QStringLiteral("ORDER BY id");
    QCOMPARE(query.statementText(),
             QStringLiteral("SELECT * FROM person -- everyone\r\nWHERE id > 0\r\nORDER BY id\r\n"));
    query.open();

    QVERIFY(!query.eof());
    QCOMPARE(query.fieldByName(QStringLiteral("NAME")).asString(), QStringLiteral("Ann"));
    QCOMPARE(query.field(3).asInteger(), 30);
    QCOMPARE(query.field(3).asString(), QStringLiteral("30"));
    QCOMPARE(query.fieldByName(QStringLiteral("score")).asFloat(), 1.5);
    QCOMPARE(query.fieldByName(QStringLiteral("score")).asString(), QStringLiteral("1.5"));
    QCOMPARE(query.fieldByName(QStringLiteral("active")).asString(), QStringLiteral("True"));
    query.next();
    QVERIFY(!query.eof());
    QCOMPARE(query.fieldByName(QStringLiteral("name")).asString(), QStringLiteral("Bob"));
    QVERIFY(query.fieldByName(QStringLiteral("age")).isNull());
    QCOMPARE(query.fieldByName(QStringLiteral("age")).asString(), QString());
    QCOMPARE(query.fieldByName(QStringLiteral("age")).asInteger(), 0);
    QCOMPARE(query.fieldByName(QStringLiteral("active")).asString(), QString());
    query.next();
    QVERIFY(query.eof());
    query.first();
    QCOMPARE(query.fieldByName(QStringLiteral("name")).asString(), QStringLiteral("Ann"));
    QCOMPARE(errorText([&] { query.fieldByName(QStringLiteral("shoe_size")); }),
             QStringLiteral("people: Field 'shoe_size' not found"));
    query.close();
    QVERIFY(query.eof());
    QCOMPARE(errorText([&] { query.edit(); }),
             QStringLiteral("people: Cannot perform this operation on a closed dataset"));

    // An empty result is at its end at once, and has no row to change.
    query.sql() = {QStringLiteral("SELECT * FROM person WHERE name = 'Nobody'")};
    query.open();
    QVERIFY(query.eof());
    QCOMPARE(query.rowCount(), 0);
    QCOMPARE(query.fieldByName(QStringLiteral("name")).asString(), QString());
    QCOMPARE(errorText([&] { query.edit(); }),
             QStringLiteral("people: Cannot perform this operation on an empty dataset"));
    QCOMPARE(errorText([&] { query.remove(); }),
             QStringLiteral("people: Cannot perform this operation on an empty dataset"));

    // Without declared fields the result's columns are the fields, of the kinds they hold.
    RecordQuery dynamic(QStringLiteral("dynamic"), connection, RecordQuery::WriteMode::Immediate);
    dynamic.sql() << QStringLiteral("SELECT name, score, active, (SELECT count(*) FROM person) AS n")
                  << QStringLiteral("FROM person WHERE code = 'A1'");
    dynamic.open();
    QCOMPARE(dynamic.fieldCount(), 4);
    QCOMPARE(dynamic.fieldByName(QStringLiteral("name")).asString(), QStringLiteral("Ann"));
    QCOMPARE(dynamic.fieldByName(QStringLiteral("score")).asString(), QStringLiteral("1.5"));
    QCOMPARE(dynamic.fieldByName(QStringLiteral("active")).asString(), QStringLiteral("True"));
    QCOMPARE(dynamic.fieldByName(QStringLiteral("n")).asInteger(), 2);
}

void TestRecordQuery::declaredFields_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("error");

    for (const QString& engine : engines) {
        const auto row = [&](const char* tag, const char* field, FieldType type, const char* error) {
            QTest::newRow(qPrintable(engine + QLatin1Char('/') + QLatin1String(tag)))
                << engine << QString::fromLatin1(field) << int(type) << QString::fromLatin1(error);
        };
        row("fitting", "age", FieldType::Integer, "");
        row("boolean", "active", FieldType::Boolean, "");
        row("missing column", "shoe_size", FieldType::Integer, "people: Field 'shoe_size' not found");
        row("text as integer", "name", FieldType::Integer,
            "people: Type mismatch for field 'name', expecting: Integer actual: WideString");
        row("integer as text", "age", FieldType::Text,
            "people: Type mismatch for field 'age', expecting: WideString actual: Integer");
        row("float as integer", "score", FieldType::Integer,
            "people: Type mismatch for field 'score', expecting: Integer actual: Float");
        row("boolean as text", "active", FieldType::Text,
            "people: Type mismatch for field 'active', expecting: WideString actual: Boolean");
    }
}

void TestRecordQuery::declaredFields()
{
    QFETCH(QString, engine);
    QFETCH(QString, field);
    QFETCH(int, type);
    QFETCH(QString, error);
    SKIP_UNLESS_AVAILABLE(engine);
    Connection connection(QStringLiteral("test"));
    connection.setConnectionString(prepare(engine));

    // The table's other columns are no error.
    RecordQuery query(QStringLiteral("people"), connection, RecordQuery::WriteMode::Immediate,
                      {textField(QStringLiteral("name")), {field, FieldType(type), 50, {}}});
    query.sql() << QStringLiteral("SELECT * FROM person");
    QCOMPARE(errorText([&] { query.open(); }), error);
    QCOMPARE(query.isOpen(), error.isEmpty());
}

void TestRecordQuery::editing_data()
{
    addEngineAndModeRows();
}

void TestRecordQuery::editing()
{
    QFETCH(QString, engine);
    QFETCH(bool, batch);
    SKIP_UNLESS_AVAILABLE(engine);
    const QString connectionString = prepare(engine);
    Connection connection(QStringLiteral("test"));
    connection.setConnectionString(connectionString);

    // score and active are not declared: rows written leave them to the database.
    RecordQuery query(QStringLiteral("people"), connection, writeMode(batch),
                      {integerField(QStringLiteral("id")), textField(QStringLiteral("name"), 20),
                       textField(QStringLiteral("code"), 10), integerField(QStringLiteral("age")),
                       textField(QStringLiteral("note"), 20)});
    Field& name = query.fieldByName(QStringLiteral("name"));
    Field& code = query.fieldByName(QStringLiteral("code"));
    Field& age = query.fieldByName(QStringLiteral("age"));
    Field& note = query.fieldByName(QStringLiteral("note"));
    query.setAfterInsert([&] { code.setAsString(QStringLiteral("NEW")); });
    query.setValidator(QStringLiteral("age"), [&](Field& changed) {
        if (changed.asInteger() < 0)
            throw DatabaseError(QStringLiteral("An age is never negative"));
        note.setAsString(QStringLiteral("age ") + changed.asString());
    });
    query.sql() << QStringLiteral("SELECT * FROM person") << QStringLiteral("ORDER BY id");
    query.open();

    QCOMPARE(errorText([&] { name.setAsString(QStringLiteral("x")); }),
             QStringLiteral("people: Dataset not in edit or insert mode"));
    QCOMPARE(errorText([&] { query.post(); }), QStringLiteral("people: Dataset not in edit or insert mode"));

    // Ann: the validator sees the new age and sets the note; refused values are not kept;
    // a long name is cut to the field's width.
    query.edit();
    age.setAsInteger(31);
    QCOMPARE(note.asString(), QStringLiteral("age 31"));
    QCOMPARE(errorText([&] { age.setAsInteger(-1); }), QStringLiteral("An age is never negative"));
    QCOMPARE(errorText([&] { age.setAsString(QStringLiteral("abc")); }),
             QStringLiteral("'abc' is not a valid integer value"));
    QCOMPARE(age.asInteger(), 31);
    name.setAsString(QStringLiteral("Annabelle-Marie Smith-Jones"));
    QCOMPARE(name.asString(), QStringLiteral("Annabelle-Marie Smit"));
    query.post();
    QCOMPARE(OtherProgram(connectionString).rows(QStringLiteral("SELECT age FROM person WHERE code = 'A1'")),
             QStringList{batch ? QStringLiteral("30") : QStringLiteral("31")});

    // Bob: a cancelled change is gone.
    query.next();
    query.edit();
    name.setAsString(QStringLiteral("Robert"));
    query.cancel();
    QCOMPARE(name.asString(), QStringLiteral("Bob"));

    // Cid: the after-insert handler's value is kept. A cancelled new row is gone.
    query.append();
    QCOMPARE(code.asString(), QStringLiteral("NEW"));
    name.setAsString(QStringLiteral("Cid"));
    query.post();
    query.append();
    name.setAsString(QStringLiteral("Nobody"));
    query.cancel();
    QCOMPARE(query.rowCount(), 3);

    query.moveTo(1);
    QCOMPARE(name.asString(), QStringLiteral("Bob"));
    query.remove();

    const QStringList before{QStringLiteral("Ann|A1|30|1.5|1|first"), QStringLiteral("Bob|B2|NULL|8|NULL|fresh")};
    if (batch) {
        QCOMPARE(OtherProgram(connectionString).rows(personRows), before);
        QVERIFY(query.hasPendingChanges());
        query.updateBatch();
    }
    QVERIFY(!query.hasPendingChanges());
    QCOMPARE(OtherProgram(connectionString).rows(personRows),
             (QStringList{QStringLiteral("Annabelle-Marie Smit|A1|31|1.5|1|age 31"),
                          QStringLiteral("Cid|NEW|NULL|8|NULL|fresh")}));
    // The new row knows the key the database gave it.
    QCOMPARE(query.rowCount(), 2);
    query.moveTo(1);
    QCOMPARE(OtherProgram(connectionString).rows(QStringLiteral("SELECT id FROM person WHERE name = 'Cid'")),
             QStringList{query.fieldByName(QStringLiteral("id")).asString()});
}

void TestRecordQuery::refusedBatch_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("constraint");
    for (const QString& engine : engines) {
        for (const char* constraint : {"not null", "unique"}) {
            QTest::newRow(qPrintable(engine + QLatin1Char('/') + QLatin1String(constraint)))
                << engine << QString::fromLatin1(constraint);
        }
    }
}

void TestRecordQuery::refusedBatch()
{
    QFETCH(QString, engine);
    QFETCH(QString, constraint);
    SKIP_UNLESS_AVAILABLE(engine);
    const QString connectionString = prepare(engine);
    Connection connection(QStringLiteral("test"));
    connection.setConnectionString(connectionString);

    RecordQuery query(
        QStringLiteral("people"), connection, RecordQuery::WriteMode::Batch,
        {textField(QStringLiteral("name")), textField(QStringLiteral("code")), integerField(QStringLiteral("age"))});
    Field& name = query.fieldByName(QStringLiteral("name"));
    Field& code = query.fieldByName(QStringLiteral("code"));
    query.sql() << QStringLiteral("SELECT * FROM person ORDER BY id");
    query.open();
    query.edit();
    query.fieldByName(QStringLiteral("age")).setAsInteger(31);
    query.post();
    query.next();
    query.remove();
    query.append();
    name.setAsString(QStringLiteral("Cid"));
    code.setAsString(QStringLiteral("C3"));
    query.post();
    // The last row breaks the constraint.
    const bool notNull = constraint == QLatin1String("not null");
    query.append();
    if (!notNull)
        name.setAsString(QStringLiteral("Dee"));
    code.setAsString(notNull ? QStringLiteral("D4") : QStringLiteral("A1"));
    query.post();

    const QStringList before = OtherProgram(connectionString).rows(personRows);
    const QString refusal = errorText([&] { query.updateBatch(); });
    QVERIFY(!refusal.isEmpty());
    // The engine's own words reach the user, as from any other statement.
    if (engine == QLatin1String("sqlite"))
        QCOMPARE(refusal, notNull ? QStringLiteral("NOT NULL constraint failed: person.name")
                                  : QStringLiteral("UNIQUE constraint failed: person.code"));
    QCOMPARE(OtherProgram(connectionString).rows(personRows), before);
    QVERIFY(query.hasPendingChanges());

    // Put right, the same batch goes through whole.
    query.moveTo(query.rowCount() - 1);
    query.edit();
    if (notNull)
        name.setAsString(QStringLiteral("Dee"));
    else
        code.setAsString(QStringLiteral("D4"));
    query.post();
    query.updateBatch();
    QVERIFY(!query.hasPendingChanges());
    QCOMPARE(OtherProgram(connectionString).rows(QStringLiteral("SELECT name, code, age FROM person ORDER BY name")),
             (QStringList{QStringLiteral("Ann|A1|31"), QStringLiteral("Cid|C3|NULL"), QStringLiteral("Dee|D4|NULL")}));
}

void TestRecordQuery::locateByKey_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<bool>("appended");
    QTest::addColumn<bool>("batch");
    for (const QString& engine : engines) {
        QTest::newRow(qPrintable(engine + QStringLiteral("/read row"))) << engine << false << false;
        for (bool batch : {false, true}) {
            QTest::newRow(qPrintable(engine + QStringLiteral("/appended row/") + modeName(batch)))
                << engine << true << batch;
        }
    }
}

void TestRecordQuery::locateByKey()
{
    QFETCH(QString, engine);
    QFETCH(bool, appended);
    QFETCH(bool, batch);
    SKIP_UNLESS_AVAILABLE(engine);
    const QString connectionString = prepare(engine);
    Connection connection(QStringLiteral("test"));
    connection.setConnectionString(connectionString);

    RecordQuery query(QStringLiteral("people"), connection, writeMode(batch),
                      {integerField(QStringLiteral("id")), textField(QStringLiteral("name")),
                       textField(QStringLiteral("code")), integerField(QStringLiteral("age"))});
    Field& name = query.fieldByName(QStringLiteral("name"));
    const auto write = [&] {
        query.post();
        if (batch)
            query.updateBatch();
    };
    query.sql() << QStringLiteral("SELECT * FROM person ORDER BY id");
    query.open();
    QString code = QStringLiteral("A1");
    if (appended) {
        code = QStringLiteral("E5");
        query.append();
        name.setAsString(QStringLiteral("Eve"));
        query.fieldByName(QStringLiteral("code")).setAsString(code);
        query.fieldByName(QStringLiteral("age")).setAsInteger(40);
        write();
        QVERIFY(!query.fieldByName(QStringLiteral("id")).isNull());
    }

    // Another program changes a column of the row that this query does not change: the key
    // still finds the row.
    OtherProgram(connectionString).run(QStringLiteral("UPDATE person SET age = 99 WHERE code = '%1'").arg(code));
    query.edit();
    name.setAsString(QStringLiteral("Changed"));
    write();
    const QString select = QStringLiteral("SELECT name, age FROM person WHERE code = '%1'").arg(code);
    QCOMPARE(OtherProgram(connectionString).rows(select), QStringList{QStringLiteral("Changed|99")});

    // Another program changes the column this query changes too: the later change does not
    // silently overwrite the earlier one, and stays to be written.
    OtherProgram(connectionString).run(QStringLiteral("UPDATE person SET name = 'Theirs' WHERE code = '%1'").arg(code));
    query.edit();
    name.setAsString(QStringLiteral("Ours"));
    QCOMPARE(errorText(write),
             QStringLiteral("Row cannot be located for updating. Some values may have been changed since it "
                            "was last read."));
    QCOMPARE(OtherProgram(connectionString).rows(select), QStringList{QStringLiteral("Theirs|99")});
    if (!batch)
        query.cancel();
    query.close();
    query.open();
    if (appended)
        query.moveTo(query.rowCount() - 1);
    query.remove();
    if (batch)
        query.updateBatch();
    QCOMPARE(OtherProgram(connectionString).rows(select), QStringList());
    QCOMPARE(OtherProgram(connectionString).rows(personRows).size(), 1 + int(appended));
}

void TestRecordQuery::keylessTable_data()
{
    addEngineAndModeRows();
}

void TestRecordQuery::keylessTable()
{
    QFETCH(QString, engine);
    QFETCH(bool, batch);
    SKIP_UNLESS_AVAILABLE(engine);
    const QString connectionString = prepare(engine);
    Connection connection(QStringLiteral("test"));
    connection.setConnectionString(connectionString);

    RecordQuery query(
        QStringLiteral("tally"), connection, writeMode(batch),
        {textField(QStringLiteral("name")), textField(QStringLiteral("note")), integerField(QStringLiteral("amount"))});
    Field& amount = query.fieldByName(QStringLiteral("amount"));
    // Writes what is pending; returns the error that refused it.
    const auto write = [&](auto&& change) {
        return errorText([&] {
            change();
            if (batch)
                query.updateBatch();
        });
    };
    query.sql() << QStringLiteral("SELECT *") + tallyOrder;
    query.open();

    // Rows are found by all their values, those of undeclared columns and NULL ones included.
    QCOMPARE(query.fieldByName(QStringLiteral("note")).asString(), QString());
    QCOMPARE(write([&] {
                 query.edit();
                 amount.setAsInteger(5);
                 query.post();
             }),
             QString());
    query.next();
    QCOMPARE(query.fieldByName(QStringLiteral("note")).asString(), QStringLiteral("x"));
    QCOMPARE(write([&] { query.remove(); }), QString());
    const QStringList written{QStringLiteral("a|NULL|5"), QStringLiteral("dup|NULL|2"), QStringLiteral("dup|NULL|2")};
    QCOMPARE(OtherProgram(connectionString).rows(tallyRows), written);

    // Of two identical rows, SQLite finds the one read by its rowid and changes it alone;
    // without a rowid the rows cannot be told apart, and the write is refused.
    const bool sqlite = engine == QLatin1String("sqlite");
    const QString refused = QStringLiteral("2 rows match the row to be written; none was changed");
    query.close();
    query.open();
    query.next();
    QCOMPARE(write([&] {
                 query.edit();
                 amount.setAsInteger(7);
                 query.post();
             }),
             sqlite ? QString() : refused);
    const QStringList changed{QStringLiteral("a|NULL|5"), QStringLiteral("dup|NULL|2"), QStringLiteral("dup|NULL|7")};
    QCOMPARE(OtherProgram(connectionString).rows(tallyRows), sqlite ? changed : written);
    query.close();
    query.open();
    query.next();
    QCOMPARE(write([&] { query.remove(); }), sqlite ? QString() : refused);
    const QStringList removed{QStringLiteral("a|NULL|5"), QStringLiteral("dup|NULL|7")};
    QCOMPARE(OtherProgram(connectionString).rows(tallyRows), sqlite ? removed : written);
    QCOMPARE(query.rowCount(), sqlite || batch ? 2 : 3);
}

void TestRecordQuery::textRoundTrip_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("text");
    for (const QString& engine : engines) {
        const auto row = [&](const char* tag, const QString& text) {
            QTest::newRow(qPrintable(engine + QLatin1Char('/') + QLatin1String(tag))) << engine << text;
        };
        row("chinese", QStringLiteral("王小明"));
        row("quote", QStringLiteral("O'Brien"));
        row("mixed", QStringLiteral("陳'美\"玲; -- ''"));
        row("beyond the basic plane", QStringLiteral("𠮷野 𩸽"));
        row("latin-1 beyond ascii", QStringLiteral("Résumé ÿ"));
        row("empty", QString(QLatin1String("")));
    }
}

void TestRecordQuery::textRoundTrip()
{
    QFETCH(QString, engine);
    QFETCH(QString, text);
    SKIP_UNLESS_AVAILABLE(engine);
    const QString connectionString = prepare(engine);
    Connection connection(QStringLiteral("test"));
    connection.setConnectionString(connectionString);

    // Written as a new row, and found again by it in a table without a key.
    RecordQuery tally(QStringLiteral("tally"), connection, RecordQuery::WriteMode::Immediate,
                      {textField(QStringLiteral("name")), integerField(QStringLiteral("amount"))});
    tally.sql() << QStringLiteral("SELECT * FROM tally");
    tally.open();
    tally.append();
    tally.fieldByName(QStringLiteral("name")).setAsString(text);
    tally.fieldByName(QStringLiteral("amount")).setAsInteger(3);
    tally.post();
    tally.edit();
    tally.fieldByName(QStringLiteral("amount")).setAsInteger(4);
    tally.post();
    QCOMPARE(OtherProgram(connectionString).rows(QStringLiteral("SELECT name FROM tally WHERE amount = 4")),
             QStringList{text});

    // Read back, looked up with the text written into the statement.
    RecordQuery found(QStringLiteral("found"), connection, RecordQuery::WriteMode::Immediate,
                      {textField(QStringLiteral("name"))});
    found.sql() << QStringLiteral("SELECT name FROM tally WHERE name = '%1'").arg(sqlQuoted(text));
    found.open();
    QCOMPARE(found.rowCount(), 1);
    QCOMPARE(found.fieldByName(QStringLiteral("name")).asString(), text);
}

// The grid's view of a query: its rows and chosen fields, and cell edits that become edits of
// the query's rows. The model only talks to RecordQuery, so one engine is enough.
void TestRecordQuery::gridModel()
{
    const QString connectionString = prepare(QStringLiteral("sqlite"));
    PeopleGrid grid(connectionString);
    RecordQuery& query = grid.query;
    RecordQueryModel& model = grid.model;
    model.setEditable(true);
    QString reported;
    model.setErrorReporter([&](const std::exception& e) { reported = QString::fromUtf8(e.what()); });

    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("姓名"));
    QCOMPARE(model.data(model.index(0, 0), Qt::DisplayRole).toString(), QStringLiteral("Ann"));
    QCOMPARE(model.data(model.index(1, 1), Qt::DisplayRole).toString(), QString());
    QCOMPARE(model.headerData(0, Qt::Vertical, Qt::DisplayRole).toString(), QStringLiteral("▶"));

    QVERIFY(model.setData(model.index(1, 1), QStringLiteral("41"), Qt::EditRole));
    QCOMPARE(query.state(), RecordQuery::State::Edit);
    QCOMPARE(model.data(model.index(1, 1), Qt::DisplayRole).toString(), QStringLiteral("41"));
    QVERIFY(!model.setData(model.index(1, 1), QStringLiteral("abc"), Qt::EditRole));
    QCOMPARE(reported, QStringLiteral("'abc' is not a valid integer value"));
    QCOMPARE(model.data(model.index(1, 1), Qt::DisplayRole).toString(), QStringLiteral("41"));
    // Editing another row posts the edited one first.
    QVERIFY(model.setData(model.index(0, 0), QStringLiteral("Anna"), Qt::EditRole));
    QCOMPARE(query.currentRow(), 0);
    query.updateBatch();
    QCOMPARE(OtherProgram(connectionString).rows(QStringLiteral("SELECT name, age FROM person ORDER BY id")),
             (QStringList{QStringLiteral("Anna|30"), QStringLiteral("Bob|41")}));

    query.append();
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.headerData(2, Qt::Vertical, Qt::DisplayRole).toString(), QStringLiteral("*"));
    QCOMPARE(model.headerData(0, Qt::Vertical, Qt::DisplayRole).toString(), QString());
}

// Rows added and written while the query's signals are held reach the grid as one reset, after
// which it shows every row; without a hold, rows signal one by one, and setting a field of a new
// row redraws that row but not the row marker, which changes when the row is posted.
void TestRecordQuery::heldSignals()
{
    const QString connectionString = prepare(QStringLiteral("sqlite"));
    PeopleGrid grid(connectionString);
    RecordQuery& query = grid.query;
    RecordQueryModel& model = grid.model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy inserts(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy marks(&model, &QAbstractItemModel::headerDataChanged);
    const auto shownRows = [&model] {
        QStringList rows;
        for (int r = 0; r < model.rowCount(); ++r)
            rows.append(model.index(r, 0).data().toString() + QLatin1Char('|') + model.index(r, 1).data().toString());
        return rows;
    };

    {
        const RecordQuery::HeldSignals outer(query);
        for (int i = 0; i < 3; ++i) {
            const RecordQuery::HeldSignals inner(query); // only the outermost hold tells
            query.append();
            query.fieldByName(QStringLiteral("name")).setAsString(QStringLiteral("N%1").arg(i));
            query.fieldByName(QStringLiteral("age")).setAsInteger(20 + i);
        }
        query.updateBatch();
        QCOMPARE(resets.size() + inserts.size() + changes.size() + marks.size(), 0);
    }
    QCOMPARE(resets.size(), 1);
    QCOMPARE(inserts.size() + changes.size() + marks.size(), 0);
    const QStringList expected{QStringLiteral("Ann|30"), QStringLiteral("Bob|"), QStringLiteral("N0|20"),
                               QStringLiteral("N1|21"), QStringLiteral("N2|22")};
    QCOMPARE(shownRows(), expected);
    QCOMPARE(model.headerData(4, Qt::Vertical, Qt::DisplayRole).toString(), QStringLiteral("▶"));
    QCOMPARE(
        OtherProgram(connectionString).rows(QStringLiteral("SELECT name, COALESCE(age, '') FROM person ORDER BY id")),
        expected);
    {
        const RecordQuery::HeldSignals idle(query); // nothing changes, nothing to tell
    }
    QCOMPARE(resets.size(), 1);

    query.append();
    QCOMPARE(inserts.size(), 1);
    QCOMPARE(model.headerData(5, Qt::Vertical, Qt::DisplayRole).toString(), QStringLiteral("*"));
    const qsizetype marksOfNewRow = marks.size();
    query.fieldByName(QStringLiteral("name")).setAsString(QStringLiteral("Cy"));
    QCOMPARE(changes.size(), 1);
    QCOMPARE(marks.size(), marksOfNewRow);
    query.post();
    QVERIFY(marks.size() > marksOfNewRow);
    QCOMPARE(model.headerData(5, Qt::Vertical, Qt::DisplayRole).toString(), QStringLiteral("▶"));
    QCOMPARE(model.index(5, 0).data().toString(), QStringLiteral("Cy"));
}

QTEST_GUILESS_MAIN(TestRecordQuery)
#include "tst_record_query.moc"
