// Benchmarks of what a user waits for: one punch on a database that has years of punches, and an
// export of a month of punches. Run: build/bench/bench_punch_and_export (QtTest -median N etc.).
#include "Connection.h"
#include "LocalClock.h"
#include "RecordingDialogs.h"
#include "TClock2.h"
#include "TemporaryWorkingDirectory.h"
#include "TestDatabases.h"
#include "Tclockout.h"
#include "XlsWorkbookWriter.h"

#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

constexpr int employees = 300;
constexpr int daysOfPunches = 365;

// employees x days of shift punches, with the indexes of the schema.
void fillDatabase(const QString& path)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"fill"_s);
    db.setDatabaseName(path);
    db.open();
    db.transaction();
    QSqlQuery query(db);
    query.prepare(u"INSERT INTO employee (emp_no, emp_name, clock_no) VALUES (?, ?, ?)"_s);
    for (int e = 0; e < employees; ++e) {
        query.addBindValue(u"E%1"_s.arg(e, 4, 10, QLatin1Char('0')));
        query.addBindValue(u"員工%1"_s.arg(e));
        query.addBindValue(u"C%1"_s.arg(e));
        query.exec();
    }
    query.prepare(u"INSERT INTO clock (clock_emp, clock_dat1, clock_dat2, clock_stime2, clock_etime2, clock_no) "
                  "VALUES (?, ?, ?, '08:00', '17:00', ?)"_s);
    const QDate first(2023, 1, 1);
    for (int d = 0; d < daysOfPunches; ++d) {
        const QString day = first.addDays(d).toString(u"yyyy/MM/dd"_s);
        for (int e = 0; e < employees; ++e) {
            query.addBindValue(u"E%1"_s.arg(e, 4, 10, QLatin1Char('0')));
            query.addBindValue(day);
            query.addBindValue(day);
            query.addBindValue(u"C%1"_s.arg(e));
            query.exec();
        }
    }
    db.commit();
    query = QSqlQuery();
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(u"fill"_s);
}

// An export screen of its own, set to list the shift punches of March 2023.
struct MarchExport {
    explicit MarchExport(const QString& connectionString)
    {
        connection.setConnectionString(connectionString);
        screen.MaskEdit1->setText(u"2023/03/01"_s);
        screen.MaskEdit2->setText(u"2023/03/31"_s);
        screen.DBComboBox1->setCurrentIndex(0);
    }

    Connection connection{u"CUSConnection1"_s};
    RecordingDialogs dialogs;
    Tclockout screen{connection, nullptr};
};

} // namespace

class PunchAndExportBenchmark : public QObject {
    Q_OBJECT

    TemporaryWorkingDirectory dir;
    QString connectionString;
    QDateTime now = QDateTime(QDate(2024, 1, 15), QTime(8, 0));

private Q_SLOTS:
    void initTestCase()
    {
        const QString path = dir.filePath(u"basedb.mdb"_s);
        connectionString = TestDatabases::createSqlite(path);
        fillDatabase(path);
        QDir(dir.path()).mkdir(u"temp"_s);
        LocalClock::setSource([this] { return now; });
    }

    // One "上班" then "下班" of one employee, with the lookup of the employee before.
    void shiftPunch()
    {
        Connection connection(u"CUSConnection1"_s);
        connection.setConnectionString(connectionString);
        RecordingDialogs dialogs;
        TClock2 screen(connection);
        int minute = 0;
        QBENCHMARK {
            now = now.addSecs(60 * (++minute % 2 ? 1 : 1440));
            screen.ComboBox1->setEditText(u"E0150"_s);
            screen.Edit4->setText(u"C150"_s);
            screen.SpeedButton1->click();
            screen.SpeedButton2->click();
        }
        QCOMPARE(dialogs.messages.size() % 2, 0);
    }

    // A month of every employee's punches: search, staging into ptemp and the workbook.
    void monthExport()
    {
        MarchExport march(connectionString);
        Tclockout& screen = march.screen;
        QBENCHMARK {
            screen.Button5->click();
            screen.Button6->click();
        }
        QCOMPARE(screen.clock_ADOQ.rowCount(), employees * 31);
        QVERIFY(march.dialogs.messages.size() > 0);
    }

    void monthSearchAlone()
    {
        MarchExport march(connectionString);
        Tclockout& screen = march.screen;
        QBENCHMARK {
            screen.Button5->click();
        }
    }

    void monthStagingAlone()
    {
        MarchExport march(connectionString);
        Tclockout& screen = march.screen;
        screen.Button5->click();
        QBENCHMARK {
            screen.Button1->click();
        }
    }

    // The largest sheet the format holds, written to memory.
    void workbookOfAFullSheet()
    {
        SpreadsheetTable table;
        for (int row = 0; row < 65536; ++row)
            table.rows.append({u"C%1"_s.arg(row % 300), u"20230301"_s, u"1"_s, u"0800"_s});
        table.textFormatColumnsAtoH = true;
        QBENCHMARK {
            QBuffer buffer;
            buffer.open(QIODevice::WriteOnly);
            writeXlsWorkbook(buffer, table);
        }
    }
};

QTEST_MAIN(PunchAndExportBenchmark)
#include "bench_punch_and_export.moc"
