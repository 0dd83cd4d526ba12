#include "Connection.h"
#include "LocalClock.h"
#include "OtherProgram.h"
#include "PunchJournal.h"
#include "RecordingDialogs.h"
#include "RecordQueryModel.h"
#include "TClock2.h"
#include "Tclockcus.h"
#include "Tclockout.h"
#include "TemporaryWorkingDirectory.h"
#include "TestDatabases.h"

#include <QComboBox>
#include <QFile>
#include <QProcess>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

using namespace Qt::StringLiterals;

// The punch screen driven through its controls on a real SQLite file, with the clock set by
// the test; the rows are read back with plain SQL.
class PunchScreenTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TemporaryWorkingDirectory> workDir;
    std::unique_ptr<Connection> connection;
    std::unique_ptr<RecordingDialogs> dialogs;
    std::unique_ptr<OtherProgram> other;
    QDateTime now;

    QList<QHash<QByteArray, QVariant>> rows(const QString& statement)
    {
        QList<QHash<QByteArray, QVariant>> result;
        QSqlQuery query = other->run(statement);
        while (query.next()) {
            QHash<QByteArray, QVariant> row;
            for (int i = 0; i < query.record().count(); ++i)
                row.insert(query.record().fieldName(i).toUtf8(), query.value(i));
            result.append(row);
        }
        return result;
    }
    void addEmployee(const QString& number, const QString& name, const QVariant& card, const QVariant& level = {})
    {
        other->run(QStringLiteral("INSERT INTO employee (emp_no, emp_name, clock_no, pres_lv) VALUES (?, ?, ?, ?)"),
            {number, name, card, level});
    }
    void setClock(const QString& text)
    {
        now = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }

    // Picks the employee and types the card, as the employee does.
    static void identify(TClock2& screen, const QString& employee, const QString& card)
    {
        screen.ComboBox1->setEditText(QString());
        QTest::keyClicks(screen.ComboBox1->lineEdit(), employee);
        screen.Edit4->clear();
        QTest::keyClicks(screen.Edit4, card);
    }
    static void press(QToolButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

private Q_SLOTS:
    void init()
    {
        workDir = std::make_unique<TemporaryWorkingDirectory>();
        const QString connectionString = TestDatabases::createSqlite(workDir->filePath(QStringLiteral("basedb.mdb")));
        other = std::make_unique<OtherProgram>(connectionString);
        addEmployee(QStringLiteral("A001"), QStringLiteral("王小明"), QStringLiteral("1001"), QStringLiteral("A"));
        addEmployee(QStringLiteral("A002"), QStringLiteral("陳美玲"), QStringLiteral("Ab2"));
        addEmployee(QStringLiteral("A003"), QStringLiteral("無卡"), QVariant());
        addEmployee(QStringLiteral("O'Neil"), QStringLiteral("Neil"), QStringLiteral("777"));
        other->run(QStringLiteral("INSERT INTO pres_sys (comp, class_no, class_item, work1, work2) "
                           "VALUES ('', '01', '日班', '08:00', '17:00')"));
        other->run(QStringLiteral("INSERT INTO pres_sys (comp, class_no, class_item, work1, work2) "
                           "VALUES ('X', '02', '夜班', '20:00', '05:00')"));
        connection = std::make_unique<Connection>(QStringLiteral("CUSConnection1"));
        connection->setConnectionString(connectionString);
        dialogs = std::make_unique<RecordingDialogs>();
        setClock(QStringLiteral("2024-05-03 08:05:09"));
        LocalClock::setSource([this] { return now; });
    }
    void cleanup()
    {
        LocalClock::setSource({});
        dialogs.reset();
        connection.reset();
        other.reset();
        workDir.reset();
    }

    void windowAndControls()
    {
        TClock2 screen(*connection);
        QCOMPARE(screen.windowTitle(), QStringLiteral("打卡"));
        QCOMPARE(screen.size(), QSize(480, 286));
        QCOMPARE(screen.ComboBox1->geometry(), QRect(144, 83, 105, 24));
        QCOMPARE(screen.SpeedButton4->geometry(), QRect(160, 224, 77, 26));
        QCOMPARE(screen.SpeedButton1->focusPolicy(), Qt::NoFocus);
        screen.Edit4->setText(u"1a"_s);
        screen.Edit4->ensurePolished();
        QCOMPARE(screen.Edit4->displayText(), u"**"_s);
        screen.Edit4->clear();
        QVERIFY(screen.Edit1->isReadOnly() && screen.Edit2->isReadOnly() && screen.Edit3->isReadOnly());
        QVERIFY(!screen.Button1->isVisibleTo(&screen));
        QCOMPARE(screen.Timer1->interval(), 500);
        QVERIFY(screen.Timer1->isActive());
        QCOMPARE(screen.Edit1->text(), QStringLiteral("2024/05/03"));
        QCOMPARE(screen.Edit2->text(), QStringLiteral("08:05"));
        QStringList listed;
        for (int i = 0; i < screen.ComboBox1->count(); ++i)
            listed.append(screen.ComboBox1->itemText(i));
        QCOMPARE(listed, (QStringList{u"A001"_s, u"A002"_s, u"A003"_s, u"O'Neil"_s}));
        QVERIFY(screen.ComboBox1->currentText().isEmpty());
        QVERIFY(dialogs->messages.isEmpty());
    }

    void everyPressOpensOneMoreScreen()
    {
        TClock2 screen(*connection);
        for (int press = 0; press < 2; ++press) {
            screen.Button2->click();
            screen.Button3->click();
        }
        const QList<Tclockcus*> cards = screen.findChildren<Tclockcus*>();
        const QList<Tclockout*> exports = screen.findChildren<Tclockout*>();
        QCOMPARE(cards.size(), 2);
        QCOMPARE(exports.size(), 2);
        QVERIFY(cards.first()->isVisible() && !cards.first()->isModal());
        QCOMPARE(cards.first()->DataSource1->rowCount(), 4);
        QVERIFY(dialogs->messages.isEmpty());
    }

    void lookupCompletesTypedText()
    {
        TClock2 screen(*connection);
        screen.show();
        QVERIFY(QTest::qWaitForWindowActive(&screen));
        screen.ComboBox1->setFocus();
        QTest::keyClicks(screen.ComboBox1->lineEdit(), QStringLiteral("A00"));
        QCOMPARE(screen.ComboBox1->currentText(), QStringLiteral("A001"));
        QCOMPARE(screen.Edit3->text(), QStringLiteral("王小明"));
        identify(screen, QStringLiteral("Z9"), QString());
        QCOMPARE(screen.Edit3->text(), QString());
    }

    void identificationRefusals_data()
    {
        QTest::addColumn<QString>("employee");
        QTest::addColumn<QString>("card");
        QTest::addColumn<QString>("message");
        const QString wrongCard = QStringLiteral("卡號有誤！請重新輸入刷卡卡號！");
        QTest::newRow("both empty") << "" << "" << QStringLiteral("請選擇輸入卡號！");
        QTest::newRow("no employee") << "" << "1001" << QStringLiteral("請選擇員工編號！");
        QTest::newRow("wrong card") << "A001" << "1002" << wrongCard;
        QTest::newRow("card differs in case") << "A002" << "ab2" << wrongCard;
        QTest::newRow("card with a trailing blank") << "A002" << "Ab2 " << wrongCard;
        QTest::newRow("card of blanks") << "A001" << "   " << wrongCard;
        QTest::newRow("unknown employee") << "Q77" << "1001" << wrongCard;
        QTest::newRow("employee without a card") << "A003" << "x" << wrongCard;
        QTest::newRow("quote that would widen the lookup") << "x' or '1'='1" << "1001" << wrongCard;
        QTest::newRow("very long card") << "A001" << QString(5000, QLatin1Char('9')) << wrongCard;
    }
    void identificationRefusals()
    {
        QFETCH(QString, employee);
        QFETCH(QString, card);
        QFETCH(QString, message);
        TClock2 screen(*connection);
        identify(screen, employee, card);
        for (QToolButton* button : {screen.SpeedButton1, screen.SpeedButton2, screen.SpeedButton3, screen.SpeedButton4})
            press(button);
        QCOMPARE(dialogs->takeTexts(), QStringList(4, message));
        QCOMPARE(rows(QStringLiteral("SELECT * FROM clock")).size(), 0);
        QCOMPARE(rows(QStringLiteral("SELECT * FROM pre_over")).size(), 0);
    }

    void refusedCardLeavesTheClockFieldsAlone()
    {
        TClock2 screen(*connection);
        screen.Timer1->stop();
        setClock(QStringLiteral("2024-05-03 09:30:00"));
        identify(screen, QStringLiteral("A001"), QString());
        press(screen.SpeedButton1);
        QCOMPARE(screen.Edit2->text(), QStringLiteral("08:05"));
        identify(screen, QString(), QStringLiteral("1001"));
        press(screen.SpeedButton1);
        QCOMPARE(screen.Edit2->text(), QStringLiteral("09:30"));
    }

    void shiftRowLifecycle()
    {
        TClock2 screen(*connection);
        identify(screen, QStringLiteral("A001"), QStringLiteral("1001"));
        press(screen.SpeedButton1);
        QCOMPARE(dialogs->takeTexts(), QStringList{QStringLiteral("王小明  上班時間：2024/05/03   08:05")});
        QList<QHash<QByteArray, QVariant>> clock = rows(QStringLiteral("SELECT * FROM clock"));
        QCOMPARE(clock.size(), 1);
        const QHash<QByteArray, QVariant> first = clock.first();
        QCOMPARE(first.value("comp").toString(), QString());
        QVERIFY(!first.value("comp").isNull());
        QCOMPARE(first.value("clock_emp").toString(), QStringLiteral("A001"));
        QCOMPARE(first.value("clock_sn").toInt(), 3);
        QCOMPARE(first.value("class_no").toString(), QStringLiteral("01"));
        QCOMPARE(first.value("class_item").toString(), QStringLiteral("日班"));
        QCOMPARE(first.value("clock_dat1").toString(), QStringLiteral("2024/05/03"));
        QCOMPARE(first.value("clock_stime1").toString(), QStringLiteral("08:00"));
        QCOMPARE(first.value("clock_etime1").toString(), QStringLiteral("17:00"));
        QCOMPARE(first.value("clock_dat2").toString(), QStringLiteral("2024/05/03"));
        QCOMPARE(first.value("clock_stime2").toString(), QStringLiteral("08:05"));
        QVERIFY(first.value("clock_etime2").isNull());
        QCOMPARE(first.value("clock_no").toString(), QStringLiteral("1001"));
        QVERIFY(first.value("pres_hour").isNull());

        setClock(QStringLiteral("2024-05-03 17:31:00"));
        press(screen.SpeedButton2);
        QCOMPARE(dialogs->takeTexts(), QStringList{QStringLiteral("王小明  下班時間：2024/05/03   17:31")});
        setClock(QStringLiteral("2024-05-03 18:02:00"));
        press(screen.SpeedButton1);
        clock = rows(QStringLiteral("SELECT * FROM clock"));
        QCOMPARE(clock.size(), 1);
        QCOMPARE(clock.first().value("clock_stime2").toString(), QStringLiteral("18:02"));
        QCOMPARE(clock.first().value("clock_etime2").toString(), QStringLiteral("17:31"));
        QCOMPARE(clock.first().value("class_no").toString(), QStringLiteral("01"));
    }

    void endOfShiftFirst_data()
    {
        QTest::addColumn<QString>("definitions");
        QTest::addColumn<QString>("classNo");
        QTest::newRow("a definition with empty comp") << "keep" << "01";
        QTest::newRow("only definitions of another comp") << "DELETE FROM pres_sys WHERE comp = ''" << "";
        QTest::newRow("a definition with a null comp") << "UPDATE pres_sys SET comp = NULL WHERE comp = ''" << "";
        QTest::newRow("no definitions") << "DELETE FROM pres_sys" << "";
    }
    void endOfShiftFirst()
    {
        QFETCH(QString, definitions);
        QFETCH(QString, classNo);
        if (definitions != QLatin1String("keep"))
            other->run(definitions);
        TClock2 screen(*connection);
        identify(screen, QStringLiteral("A001"), QStringLiteral("1001"));
        setClock(QStringLiteral("2024-05-03 17:30:00"));
        press(screen.SpeedButton2);
        QList<QHash<QByteArray, QVariant>> clock = rows(QStringLiteral("SELECT * FROM clock"));
        QCOMPARE(clock.size(), 1);
        for (const char* planned : {"class_no", "class_item", "clock_stime1", "clock_etime1"})
            QVERIFY2(!clock.first().value(planned).isNull(), planned);
        QCOMPARE(clock.first().value("class_no").toString(), classNo);
        QVERIFY(clock.first().value("clock_stime2").isNull());
        QCOMPARE(clock.first().value("clock_etime2").toString(), QStringLiteral("17:30"));

        setClock(QStringLiteral("2024-05-03 17:45:00"));
        screen.Edit4->setText(QStringLiteral("1001"));
        press(screen.SpeedButton1);
        clock = rows(QStringLiteral("SELECT * FROM clock"));
        QCOMPARE(clock.size(), 1);
        QCOMPARE(clock.first().value("clock_stime2").toString(), QStringLiteral("17:45"));
    }

    void dayOfTheMonthAndMidnight()
    {
        TClock2 screen(*connection);
        identify(screen, QStringLiteral("A001"), QStringLiteral("1001"));
        setClock(QStringLiteral("2024-05-01 23:59:00"));
        press(screen.SpeedButton1);
        setClock(QStringLiteral("2024-05-02 00:00:00"));
        press(screen.SpeedButton2);
        setClock(QStringLiteral("2024-05-31 08:00:00"));
        press(screen.SpeedButton1);
        const QList<QHash<QByteArray, QVariant>> clock = rows(QStringLiteral("SELECT clock_dat1, clock_sn, clock_stime2, clock_etime2 "
                                                             "FROM clock ORDER BY clock_dat1"));
        QCOMPARE(clock.size(), 3);
        QCOMPARE(clock.at(0).value("clock_sn").toInt(), 1);
        QVERIFY(clock.at(0).value("clock_etime2").isNull());
        QCOMPARE(clock.at(1).value("clock_dat1").toString(), QStringLiteral("2024/05/02"));
        QCOMPARE(clock.at(1).value("clock_etime2").toString(), QStringLiteral("00:00"));
        QCOMPARE(clock.at(2).value("clock_sn").toInt(), 31);
    }

    void existingRowsOfTheDay()
    {
        // Two rows for the day, written by some other program: only the first is completed,
        // and its planned half stays as it was.
        other->run(QStringLiteral("INSERT INTO clock (clock_emp, clock_dat1, class_no, abs_no) VALUES ('A001', '2024/05/03', 'P1', 'a')"));
        other->run(QStringLiteral("INSERT INTO clock (clock_emp, clock_dat1, class_no, abs_no) VALUES ('A001', '2024/05/03', 'P2', 'b')"));
        TClock2 screen(*connection);
        identify(screen, QStringLiteral("A001"), QStringLiteral("1001"));
        press(screen.SpeedButton1);
        const QList<QHash<QByteArray, QVariant>> clock = rows(QStringLiteral("SELECT * FROM clock ORDER BY id"));
        QCOMPARE(clock.size(), 2);
        QCOMPARE(clock.at(0).value("clock_stime2").toString(), QStringLiteral("08:05"));
        QCOMPARE(clock.at(0).value("class_no").toString(), QStringLiteral("P1"));
        QCOMPARE(clock.at(0).value("abs_no").toString(), QStringLiteral("a"));
        QVERIFY(clock.at(1).value("clock_stime2").isNull());
    }

    void quotedEmployeeNumber()
    {
        TClock2 screen(*connection);
        identify(screen, QStringLiteral("O'Neil"), QStringLiteral("777"));
        QCOMPARE(screen.Edit3->text(), QStringLiteral("Neil"));
        press(screen.SpeedButton1);
        press(screen.SpeedButton3);
        QCOMPARE(dialogs->takeTexts(), (QStringList{QStringLiteral("Neil  上班時間：2024/05/03   08:05"),
                                                    QStringLiteral("Neil  加班上班時間：2024/05/03   08:05")}));
        QCOMPARE(rows(QStringLiteral("SELECT clock_emp FROM clock")).first().value("clock_emp").toString(),
                 QStringLiteral("O'Neil"));
        QCOMPARE(rows(QStringLiteral("SELECT pres_emp FROM pre_over")).first().value("pres_emp").toString(),
                 QStringLiteral("O'Neil"));
    }

    void overtimeRowLifecycle()
    {
        TClock2 screen(*connection);
        identify(screen, QStringLiteral("A001"), QStringLiteral("1001"));
        setClock(QStringLiteral("2024-03-15 18:00:07"));
        press(screen.SpeedButton3);
        QCOMPARE(dialogs->takeTexts(), QStringList{QStringLiteral("王小明  加班上班時間：2024/03/15   18:00")});
        QList<QHash<QByteArray, QVariant>> over = rows(QStringLiteral("SELECT * FROM pre_over"));
        QCOMPARE(over.size(), 1);
        QCOMPARE(over.first().value("pres_emp").toString(), QStringLiteral("A001"));
        QCOMPARE(over.first().value("pres_sdate").toString(), QStringLiteral("2024/03/15"));
        QCOMPARE(over.first().value("pres_stime").toString(), QStringLiteral("18:00"));
        QCOMPARE(over.first().value("pres_sn").toInt(), 180007);
        QCOMPARE(over.first().value("pres_lv").toString(), QStringLiteral("A"));
        QVERIFY(over.first().value("pres_etime").isNull());
        QVERIFY(over.first().value("pres_hour").isNull());

        setClock(QStringLiteral("2024-03-15 20:10:30"));
        press(screen.SpeedButton4);
        QCOMPARE(dialogs->takeTexts(), QStringList{QStringLiteral("王小明  加班下班時間：2024/03/15   20:10")});
        over = rows(QStringLiteral("SELECT * FROM pre_over"));
        QCOMPARE(over.size(), 1);
        QCOMPARE(over.first().value("pres_etime").toString(), QStringLiteral("20:10"));
        QCOMPARE(over.first().value("pres_hour").toDouble(), 2.0);
        QCOMPARE(over.first().value("pres_sn").toInt(), 201030);

        // A later start changes the start time only: the hours stay as the end worked them out.
        setClock(QStringLiteral("2024-03-15 19:00:00"));
        press(screen.SpeedButton3);
        over = rows(QStringLiteral("SELECT * FROM pre_over"));
        QCOMPARE(over.size(), 1);
        QCOMPARE(over.first().value("pres_stime").toString(), QStringLiteral("19:00"));
        QCOMPARE(over.first().value("pres_hour").toDouble(), 2.0);

        // Across midnight the end lands on a row of its own with no hours.
        setClock(QStringLiteral("2024-03-15 23:30:00"));
        press(screen.SpeedButton3);
        setClock(QStringLiteral("2024-03-16 00:30:00"));
        press(screen.SpeedButton4);
        over = rows(QStringLiteral("SELECT * FROM pre_over ORDER BY pres_sdate"));
        QCOMPARE(over.size(), 2);
        QCOMPARE(over.at(0).value("pres_stime").toString(), QStringLiteral("23:30"));
        QCOMPARE(over.at(1).value("pres_sdate").toString(), QStringLiteral("2024/03/16"));
        QVERIFY(over.at(1).value("pres_stime").isNull());
        QCOMPARE(over.at(1).value("pres_hour").toDouble(), 0.0);
        QVERIFY(!over.at(1).value("pres_hour").isNull());
    }

    void overtimeOfAnEmployeeWithoutLevel()
    {
        TClock2 screen(*connection);
        identify(screen, QStringLiteral("O'Neil"), QStringLiteral("777"));
        setClock(QStringLiteral("2024-03-15 18:00:00"));
        press(screen.SpeedButton4);
        const QHash<QByteArray, QVariant> row = rows(QStringLiteral("SELECT * FROM pre_over")).first();
        QVERIFY(!row.value("pres_lv").isNull());
        QCOMPARE(row.value("pres_lv").toString(), QString());
        QCOMPARE(row.value("pres_hour").toDouble(), 0.0);
    }

    void databaseGoneBetweenPunches()
    {
        TClock2 screen(*connection);
        identify(screen, QStringLiteral("A001"), QStringLiteral("1001"));
        other->run(QStringLiteral("ALTER TABLE clock RENAME TO clock_away"));
        press(screen.SpeedButton1);
        QCOMPARE(dialogs->messages.size(), 1);
        QCOMPARE(dialogs->messages.first().icon, UserDialogs::Icon::Error);
        QVERIFY2(dialogs->messages.first().text.contains(QStringLiteral("clock")), qPrintable(dialogs->messages.first().text));
        dialogs->messages.clear();

        // Back again, the screen works as before.
        other->run(QStringLiteral("ALTER TABLE clock_away RENAME TO clock"));
        press(screen.SpeedButton1);
        QCOMPARE(dialogs->takeTexts(), QStringList{QStringLiteral("王小明  上班時間：2024/05/03   08:05")});
        QCOMPARE(rows(QStringLiteral("SELECT * FROM clock")).size(), 1);
    }

    void failedLookupShowsTheEngineAndIsDoneAgainByThePunch()
    {
        TClock2 screen(*connection);
        identify(screen, QStringLiteral("A001"), QStringLiteral("1001"));
        QCOMPARE(screen.Edit3->text(), QStringLiteral("王小明"));
        other->run(QStringLiteral("ALTER TABLE employee RENAME TO employee_away"));
        screen.ComboBox1->setEditText(QStringLiteral("A002"));
        screen.Edit4->setText(QStringLiteral("Ab2"));
        QCOMPARE(dialogs->messages.size(), 1);
        QCOMPARE(dialogs->messages.first().icon, UserDialogs::Icon::Error);
        QVERIFY2(dialogs->messages.first().text.contains(QStringLiteral("employee")), qPrintable(dialogs->messages.first().text));
        QCOMPARE(screen.Edit3->text(), QString());

        // The punch looks the employee up again and, while that fails, says why.
        dialogs->messages.clear();
        press(screen.SpeedButton1);
        QCOMPARE(dialogs->messages.size(), 1);
        QVERIFY2(dialogs->messages.first().text.contains(QStringLiteral("employee")), qPrintable(dialogs->messages.first().text));
        QCOMPARE(rows(QStringLiteral("SELECT * FROM clock")).size(), 0);

        // Back again, the punch is the listed employee's, without another pick.
        dialogs->messages.clear();
        other->run(QStringLiteral("ALTER TABLE employee_away RENAME TO employee"));
        press(screen.SpeedButton1);
        QCOMPARE(dialogs->takeTexts(), QStringList{QStringLiteral("陳美玲  上班時間：2024/05/03   08:05")});
        QCOMPARE(screen.Edit3->text(), QStringLiteral("陳美玲"));
        QCOMPARE(other->rows(QStringLiteral("SELECT clock_emp, clock_no FROM clock")), QStringList{QStringLiteral("A002|Ab2")});
    }

    // The database file is away for three punches and back for the fourth: the three were
    // kept on this machine and reach the tables first, each with its own time, and the journal
    // says every punch was written.
    void punchesOfAnOutageAreWrittenWhenTheDatabaseIsBack()
    {
        TClock2 screen(*connection);
        const QString file = workDir->filePath(QStringLiteral("basedb.mdb"));
        const QString away = workDir->filePath(QStringLiteral("away.mdb"));
        QVERIFY(QFile::rename(file, away));
        const auto punchAt = [&](const QString& time, const QString& employee, const QString& card, QToolButton* button) {
            setClock(QStringLiteral("2024-05-03 ") + time);
            identify(screen, employee, card);
            press(button);
            return dialogs->takeTexts();
        };
        const QStringList kept{QStringLiteral("Could not find file '%1'.").arg(file),
                               QStringLiteral("已記錄於本機，資料庫恢復後補登")};
        QCOMPARE(punchAt(u"08:01:00"_s, u"A001"_s, u"1001"_s, screen.SpeedButton1), kept);
        QCOMPARE(punchAt(u"08:02:00"_s, u"A002"_s, u"Ab2"_s, screen.SpeedButton1), kept);
        QCOMPARE(punchAt(u"08:03:00"_s, u"A001"_s, u"1001"_s, screen.SpeedButton3), kept);

        QVERIFY(QFile::rename(away, file));
        QCOMPARE(punchAt(u"08:04:00"_s, u"O'Neil"_s, u"777"_s, screen.SpeedButton1),
                 QStringList{u"Neil  上班時間：2024/05/03   08:04"_s});
        QCOMPARE(other->rows(u"SELECT clock_emp, clock_stime2 FROM clock ORDER BY clock_emp"_s),
                 (QStringList{u"A001|08:01"_s, u"A002|08:02"_s, u"O'Neil|08:04"_s}));
        QCOMPARE(other->rows(u"SELECT pres_emp, pres_stime, pres_sn FROM pre_over"_s),
                 QStringList{u"A001|08:03|80300"_s});

        const std::vector<JournalPunch> journalled = PunchJournal(QDir(workDir->filePath(u"journal"_s))).punches();
        QCOMPARE(journalled.size(), std::size_t(4));
        for (const JournalPunch& punch : journalled)
            QCOMPARE(punch.outcome, std::optional(PunchOutcome::Written));
    }

    // A terminal killed between journalling a punch and writing it: the next start writes the
    // punch, and a start after that does not write it again.
    void punchJournalledByAKilledTerminalIsWrittenOnce()
    {
        QProcess terminal;
        terminal.start(QStringLiteral(JOURNAL_THEN_DIE), {u"A002"_s, u"Ab2"_s, u"2024/05/03"_s, u"07:58"_s});
        QVERIFY(terminal.waitForFinished(60000));
        QCOMPARE(terminal.exitStatus(), QProcess::CrashExit);
        QCOMPARE(other->rows(u"SELECT clock_emp FROM clock"_s), QStringList());

        for (int start = 0; start < 2; ++start) {
            TClock2 screen(*connection);
            QCOMPARE(other->rows(u"SELECT clock_emp, clock_stime2, clock_no FROM clock"_s),
                     QStringList{u"A002|07:58|Ab2"_s});
        }
        QVERIFY(PunchJournal(QDir(workDir->filePath(u"journal"_s))).pending().empty());
        QVERIFY(dialogs->messages.isEmpty());
    }

    void missingDeclaredColumnStopsThePunch()
    {
        other->run(QStringLiteral("ALTER TABLE pre_over DROP COLUMN pres_ashr"));
        TClock2 screen(*connection);
        identify(screen, QStringLiteral("A001"), QStringLiteral("1001"));
        press(screen.SpeedButton3);
        QCOMPARE(dialogs->takeTexts(), QStringList{QStringLiteral("over_ADOQ: Field 'pres_ashr' not found.")});
        QCOMPARE(rows(QStringLiteral("SELECT * FROM pre_over")).size(), 0);
    }
};

QTEST_MAIN(PunchScreenTest)
#include "tst_punch_screen.moc"
