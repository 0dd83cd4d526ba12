// The five tables on both engines, read and written through queries that declare every column
// the schema scripts define, and the tool that creates a database.
#include "Connection.h"
#include "RecordQuery.h"
#include "TemporaryWorkingDirectory.h"
#include "TestDatabases.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

namespace {

const QStringList engines{QStringLiteral("sqlite"), QStringLiteral("postgresql")};

struct Table {
    QString name;
    FieldDefs fields;
};

// The field a query declares for a column of the given SQL type.
FieldDef fieldFor(const QString& name, const QString& sqlType)
{
    const QString type = sqlType.toLower();
    static const QRegularExpression text(QStringLiteral("^n?varchar\\((\\d+)\\)$"));
    if (const QRegularExpressionMatch match = text.match(type); match.hasMatch())
        return textField(name, match.captured(1).toInt());
    if (type.startsWith(QLatin1String("int")) || type.startsWith(QLatin1String("serial")))
        return integerField(name);
    if (type == QLatin1String("boolean") || type == QLatin1String("bit"))
        return booleanField(name);
    if (type == QLatin1String("float") || type == QLatin1String("double precision"))
        return floatField(name);
    QTest::qFail(qPrintable(QStringLiteral("no field type for the SQL type '%1'").arg(sqlType)), __FILE__, __LINE__);
    return {};
}

// The tables that the engine's schema script creates, with a field for each column.
QList<Table> schemaTables(const QString& dialect)
{
    QFile script(QStringLiteral(PUNCHCLOCK_SOURCE_DIR "/store/schema/%1.sql").arg(dialect));
    if (!script.open(QIODevice::ReadOnly)) {
        QTest::qFail(qPrintable(script.fileName() + QStringLiteral(" is missing")), __FILE__, __LINE__);
        return {};
    }
    static const QRegularExpression createTable(QStringLiteral("CREATE TABLE (\\w+) \\((.*?)\\n\\)"),
                                                QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression column(QStringLiteral("^\\s*(\\w+)\\s+(.*?)(\\s+primary key|\\s+identity.*)?,?$"));
    QList<Table> tables;
    const QString text = QString::fromUtf8(script.readAll());
    for (const QRegularExpressionMatch& match : createTable.globalMatch(text)) {
        Table table{match.captured(1), {}};
        for (const QString& line : match.captured(2).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QRegularExpressionMatch columnMatch = column.match(line);
            if (columnMatch.hasMatch())
                table.fields.append(fieldFor(columnMatch.captured(1), columnMatch.captured(2)));
        }
        tables.append(table);
    }
    return tables;
}

QString describe(const QList<Table>& tables)
{
    QStringList lines;
    for (const Table& table : tables) {
        for (const FieldDef& field : table.fields)
            lines.append(
                QStringLiteral("%1.%2 %3 %4").arg(table.name, field.name).arg(int(field.type)).arg(field.width));
    }
    return lines.join(QLatin1Char('\n'));
}

// A value for the field, different for each field of a table, as the field shows it.
QString sampleValue(const FieldDef& field, int index)
{
    switch (field.type) {
    case FieldType::Text:
        return (QStringLiteral("王'") + field.name).left(field.width);
    case FieldType::Integer:
        return QString::number(index + 1);
    case FieldType::Float:
        return QString::number(index + 0.25);
    case FieldType::Boolean:
        return index % 2 ? QStringLiteral("True") : QStringLiteral("False");
    }
    return {};
}

} // namespace

class TestSchema : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void scriptsAgree_data();
    void scriptsAgree();
    void tables_data();
    void tables();
    void demoRows_data();
    void demoRows();
    void createdbTool();

private:
    TestDatabases databases_;
};

void TestSchema::scriptsAgree_data()
{
    QTest::addColumn<QString>("dialect");
    QTest::newRow("postgresql") << QStringLiteral("postgresql");
    QTest::newRow("sqlserver") << QStringLiteral("sqlserver");
}

// Every engine's script makes the same columns with the same kinds of values as SQLite's.
void TestSchema::scriptsAgree()
{
    QFETCH(QString, dialect);
    const QList<Table> sqlite = schemaTables(QStringLiteral("sqlite"));
    QCOMPARE(sqlite.size(), 5);
    QCOMPARE(describe(schemaTables(dialect)), describe(sqlite));
}

void TestSchema::tables_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<int>("table");
    for (const QString& engine : engines) {
        const QList<Table> tables = schemaTables(engine);
        for (int i = 0; i < tables.size(); ++i)
            QTest::newRow(qPrintable(engine + QLatin1Char('/') + tables.at(i).name)) << engine << i;
    }
}

// A query that declares all the columns opens without a type error; every column takes a value
// and gives it back.
void TestSchema::tables()
{
    QFETCH(QString, engine);
    QFETCH(int, table);
    SKIP_UNLESS_AVAILABLE(engine);
    const Table definition = schemaTables(engine).at(table);
    Connection connection(QStringLiteral("test"));
    connection.setConnectionString(databases_.fresh(engine));

    RecordQuery writer(definition.name, connection, RecordQuery::WriteMode::Immediate, definition.fields);
    writer.sql() << QStringLiteral("SELECT * FROM %1").arg(definition.name);
    QVERIFY_THROWS_NO_EXCEPTION(writer.open());
    writer.append();
    for (int i = 1; i < writer.fieldCount(); ++i)
        writer.field(i).setAsString(sampleValue(definition.fields.at(i), i));
    QVERIFY_THROWS_NO_EXCEPTION(writer.post());

    RecordQuery reader(definition.name, connection, RecordQuery::WriteMode::Immediate, definition.fields);
    reader.sql() << QStringLiteral("SELECT * FROM %1").arg(definition.name);
    reader.open();
    QCOMPARE(reader.rowCount(), 1);
    QCOMPARE(reader.field(0).name(), QStringLiteral("id"));
    QVERIFY(!reader.field(0).isNull());
    for (int i = 1; i < reader.fieldCount(); ++i)
        QCOMPARE(reader.field(i).asString(), sampleValue(definition.fields.at(i), i));
}

void TestSchema::demoRows_data()
{
    QTest::addColumn<QString>("engine");
    for (const QString& engine : engines)
        QTest::newRow(qPrintable(engine)) << engine;
}

void TestSchema::demoRows()
{
    QFETCH(QString, engine);
    SKIP_UNLESS_AVAILABLE(engine);
    Connection connection(QStringLiteral("test"));
    connection.setConnectionString(databases_.fresh(engine, true));
    RecordQuery employees(QStringLiteral("employees"), connection, RecordQuery::WriteMode::Immediate,
                          {textField(QStringLiteral("emp_no")), textField(QStringLiteral("emp_name")),
                           textField(QStringLiteral("clock_no"))});
    employees.sql() << QStringLiteral("SELECT * FROM employee ORDER BY emp_no");
    employees.open();
    QCOMPARE(employees.rowCount(), 4);
    QCOMPARE(employees.fieldByName(QStringLiteral("emp_name")).asString(), QStringLiteral("王小明"));
    QCOMPARE(employees.fieldByName(QStringLiteral("clock_no")).asString(), QStringLiteral("1001"));
    RecordQuery shifts(QStringLiteral("shifts"), connection, RecordQuery::WriteMode::Immediate,
                       {textField(QStringLiteral("class_item")), floatField(QStringLiteral("hours"))});
    shifts.sql() << QStringLiteral("SELECT * FROM pres_sys");
    shifts.open();
    QCOMPARE(shifts.rowCount(), 1);
    QCOMPARE(shifts.fieldByName(QStringLiteral("class_item")).asString(), QStringLiteral("日班"));
    QCOMPARE(shifts.fieldByName(QStringLiteral("hours")).asFloat(), 8.0);
}

void TestSchema::createdbTool()
{
    const TemporaryWorkingDirectory workingDir;
    const QString tool = QStringLiteral(PUNCHCLOCK_BINARY_DIR "/store/punchclock-createdb");
    const auto run = [&](QProcess& process) {
        process.start(tool, {QStringLiteral("--demo"), QStringLiteral("sqlite"), QStringLiteral("punch.db")});
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
    };

    QProcess create;
    QVERIFY(run(create));
    QCOMPARE(create.readAllStandardError(), QByteArray());
    QCOMPARE(create.exitCode(), 0);
    QFile file(workingDir.filePath(QStringLiteral("punch.db")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray created = file.readAll();
    file.close();

    // An existing file is refused and left as it was.
    QProcess again;
    QVERIFY(run(again));
    QCOMPARE(again.exitCode(), 1);
    QCOMPARE(again.readAllStandardError(), QByteArrayLiteral("punch.db exists already\n"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), created);
    file.close();

    Connection connection(QStringLiteral("test"));
    connection.setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=punch.db"));
    RecordQuery employees(QStringLiteral("employees"), connection, RecordQuery::WriteMode::Immediate,
                          {textField(QStringLiteral("emp_name"))});
    employees.sql() << QStringLiteral("SELECT * FROM employee ORDER BY emp_no");
    employees.open();
    QCOMPARE(employees.rowCount(), 4);
    QCOMPARE(employees.fieldByName(QStringLiteral("emp_name")).asString(), QStringLiteral("王小明"));
}

QTEST_GUILESS_MAIN(TestSchema)
#include "tst_schema.moc"
