// The five tables on both engines, read and written through queries that declare every column
// the schema scripts define, and the tool that creates a database.
#include "Connection.h"
#include "OtherProgram.h"
#include "RecordQuery.h"
#include "TemporaryWorkingDirectory.h"
#include "TestDatabases.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlRecord>
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
    void addIndexesTool_data();
    void addIndexesTool();

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

void TestSchema::addIndexesTool_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("indexList");
    QTest::newRow("sqlite") << QStringLiteral("sqlite")
                            << QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' ORDER BY name");
    QTest::newRow("postgresql") << QStringLiteral("postgresql")
                                << QStringLiteral("SELECT indexname FROM pg_indexes WHERE schemaname = 'public' "
                                                  "AND indexname NOT LIKE '%_pkey' ORDER BY indexname");
}

// A database as an existing site has it, without the schema's indexes but with one of its own
// that serves the day search: the tool adds the five missing indexes and keeps the site's, and
// a second run adds nothing. Tables and rows stay as they were.
void TestSchema::addIndexesTool()
{
    QFETCH(QString, engine);
    QFETCH(QString, indexList);
    SKIP_UNLESS_AVAILABLE(engine);
    const QString connectionString = databases_.fresh(engine, true);
    const bool sqlite = engine == QLatin1String("sqlite");
    const QString target = sqlite ? connectionString.section(QStringLiteral("Data Source="), 1)
                                  : qEnvironmentVariable("PUNCHCLOCK_TEST_DSN");
    OtherProgram site(connectionString);
    for (const QString& index :
         {QStringLiteral("clock_emp_day"), QStringLiteral("clock_actual_day"), QStringLiteral("pre_over_emp_day"),
          QStringLiteral("pre_over_day"), QStringLiteral("ptemp_tag"), QStringLiteral("employee_no")})
        site.run(QStringLiteral("DROP INDEX ") + index);
    site.run(QStringLiteral("CREATE INDEX site_day ON clock (clock_dat2, clock_emp)"));
    site.run(QStringLiteral(
        "INSERT INTO clock (clock_emp, clock_dat1, clock_stime2) VALUES ('A001', '2024/05/03', '08:00')"));
    const auto contents = [&site] {
        QStringList lines;
        for (const Table& table : schemaTables(QStringLiteral("sqlite"))) {
            QSqlQuery query = site.run(QStringLiteral("SELECT * FROM %1 WHERE 1 = 0").arg(table.name));
            QStringList columns;
            for (int i = 0; i < query.record().count(); ++i)
                columns.append(query.record().fieldName(i).toLower());
            lines.append(table.name + QLatin1Char(':') + columns.join(QLatin1Char(',')));
            lines += site.rows(QStringLiteral("SELECT * FROM %1 ORDER BY id").arg(table.name));
        }
        return lines;
    };
    const QStringList before = contents();

    const auto run = [&target](QProcess& process) {
        process.start(QStringLiteral(PUNCHCLOCK_BINARY_DIR "/store/punchclock-createdb"),
                      {QStringLiteral("add-indexes"), target});
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
    };
    QProcess first;
    QVERIFY(run(first));
    QCOMPARE(first.readAllStandardError(), QByteArray());
    QCOMPARE(first.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(first.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             (QStringList{QStringLiteral("clock_emp_day ON clock (clock_emp, clock_dat1): added"),
                          QStringLiteral("clock_actual_day ON clock (clock_dat2): present as site_day"),
                          QStringLiteral("pre_over_emp_day ON pre_over (pres_emp, pres_sdate): added"),
                          QStringLiteral("pre_over_day ON pre_over (pres_sdate): added"),
                          QStringLiteral("ptemp_tag ON ptemp (P00): added"),
                          QStringLiteral("employee_no ON employee (emp_no): added")}));
    const QStringList indexes{QStringLiteral("clock_emp_day"), QStringLiteral("employee_no"),
                              QStringLiteral("pre_over_day"),  QStringLiteral("pre_over_emp_day"),
                              QStringLiteral("ptemp_tag"),     QStringLiteral("site_day")};
    QCOMPARE(site.rows(indexList), indexes);
    QCOMPARE(contents(), before);

    QProcess second;
    QVERIFY(run(second));
    QCOMPARE(second.exitCode(), 0);
    const QStringList again =
        QString::fromUtf8(second.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(again.size(), 6);
    for (const QString& line : again)
        QVERIFY2(line.contains(QStringLiteral(": present as ")), qPrintable(line));
    QCOMPARE(site.rows(indexList), indexes);
    QCOMPARE(contents(), before);

    if (sqlite) {
        const TemporaryWorkingDirectory workingDir;
        QProcess nowhere;
        nowhere.start(QStringLiteral(PUNCHCLOCK_BINARY_DIR "/store/punchclock-createdb"),
                      {QStringLiteral("add-indexes"), QStringLiteral("nowhere.db")});
        QVERIFY(nowhere.waitForFinished(60000));
        QCOMPARE(nowhere.exitCode(), 1);
        QCOMPARE(nowhere.readAllStandardError(),
                 QByteArrayLiteral("nowhere.db is neither a database file nor an ODBC data source\n"));
        QVERIFY(!QFileInfo::exists(workingDir.filePath(QStringLiteral("nowhere.db"))));
    }
}

QTEST_GUILESS_MAIN(TestSchema)
#include "tst_schema.moc"
