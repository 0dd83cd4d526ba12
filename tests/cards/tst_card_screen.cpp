#include "Connection.h"
#include "DatasetGrid.h"
#include "LocalClock.h"
#include "RecordQueryModel.h"
#include "OtherProgram.h"
#include "RecordingDialogs.h"
#include "TClock2.h"
#include "Tclockcus.h"
#include "TemporaryWorkingDirectory.h"
#include "TestDatabases.h"

#include <QCoreApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace Qt::StringLiterals;

// The card assignment screen driven through its buttons and its grid, with real key events
// and mouse clicks; what reaches the database is read back with plain SQL on a connection of
// the test's own.
class CardScreenTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TemporaryWorkingDirectory> workDir;
    std::unique_ptr<TestDatabases> databases;
    std::unique_ptr<Connection> connection;
    std::unique_ptr<OtherProgram> other;
    std::unique_ptr<RecordingDialogs> dialogs;

    // Points the screen's connection and the test's own at a database with three employees.
    void useDatabase(const QString& connectionString)
    {
        connection = std::make_unique<Connection>(u"CUSConnection1"_s);
        connection->setConnectionString(connectionString);
        other = std::make_unique<OtherProgram>(connectionString);
        other->run(u"INSERT INTO employee (emp_no, emp_name, clock_no) VALUES ('A001', '王小明', '1001')"_s);
        other->run(u"INSERT INTO employee (emp_no, emp_name, clock_no) VALUES ('A002', '陳美玲', '1002')"_s);
        other->run(u"INSERT INTO employee (emp_no, emp_name, clock_no) VALUES ('A003', '林大同', NULL)"_s);
    }

    // The employees in the table, each as "emp_no|emp_name|clock_no" with NULL for no value.
    QStringList employees()
    {
        return other->rows(u"SELECT emp_no, emp_name, clock_no FROM employee ORDER BY emp_no"_s);
    }

    // A card window, shown and active so that key events reach its grid.
    std::unique_ptr<Tclockcus> openWindow()
    {
        auto window = std::make_unique<Tclockcus>(*connection, nullptr);
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()))
            qFatal("the card window did not become active");
        window->DBGrid1->setFocus();
        return window;
    }
    static void press(QToolButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    static QModelIndex cell(Tclockcus& window, int row, int column)
    {
        return window.DataSource1->index(row, column);
    }
    static QStringList gridColumn(Tclockcus& window, int column)
    {
        QStringList texts;
        for (int row = 0; row < window.DataSource1->rowCount(); ++row)
            texts.append(cell(window, row, column).data().toString());
        return texts;
    }
    // The open cell editor of the grid's current cell.
    static QLineEdit* openEditor(Tclockcus& window)
    {
        auto* editor = qobject_cast<QLineEdit*>(window.DBGrid1->indexWidget(window.DBGrid1->currentIndex()));
        if (!editor)
            qFatal("no cell editor is open");
        return editor;
    }
    // Types into a cell as the user does: the first key opens the editor, the rest go into it.
    static void type(Tclockcus& window, int row, int column, const QString& text)
    {
        window.DBGrid1->setCurrentIndex(cell(window, row, column));
        QTest::keyClick(window.DBGrid1, text.front().toLatin1());
        QTest::keyClicks(openEditor(window), text.mid(1));
    }
    // Return in a cell editor writes its text into the row once the event loop runs.
    static void submit(Tclockcus& window)
    {
        QTest::keyClick(openEditor(window), Qt::Key_Return);
        QCoreApplication::processEvents();
    }

private Q_SLOTS:
    void init()
    {
        workDir = std::make_unique<TemporaryWorkingDirectory>();
        databases = std::make_unique<TestDatabases>();
        dialogs = std::make_unique<RecordingDialogs>();
        useDatabase(TestDatabases::createSqlite(workDir->filePath(u"basedb.mdb"_s)));
    }
    void cleanup()
    {
        LocalClock::setSource({});
        dialogs.reset();
        connection.reset();
        other.reset();
        databases.reset();
        workDir.reset();
    }

    void windowAndControls()
    {
        Tclockcus window(*connection, nullptr);
        QCOMPARE(window.windowTitle(), u"clockcus"_s);
        QVERIFY(window.autoFillBackground());
        QCOMPARE(window.palette().color(QPalette::Window), QColor(192, 220, 192));
        const struct {
            QToolButton* button;
            QRect place;
            QString caption;
            QString hint;
        } buttons[] = {{window.sbinsert, {8, 10, 60, 25}, u"新增"_s, u"ALT+A "_s},
                       {window.sbdelete, {75, 10, 60, 25}, u"刪除"_s, u"ALT+D"_s},
                       {window.sbpost, {140, 10, 60, 25}, u"存檔"_s, u"ALT+S"_s}};
        for (const auto& expected : buttons) {
            QCOMPARE(expected.button->geometry(), expected.place);
            QCOMPARE(expected.button->text(), expected.caption);
            QCOMPARE(expected.button->toolTip(), expected.hint);
            QCOMPARE(expected.button->focusPolicy(), Qt::NoFocus);
        }
        QCOMPARE(window.DBGrid1->geometry(), QRect(8, 48, 369, 209));
        QCOMPARE(window.DataSource1->columnCount(), 3);
        const QStringList titles{u"員工編號"_s, u"員工名稱"_s, u"卡號"_s};
        const int widths[] = {88, 94, 162};
        for (int column = 0; column < 3; ++column) {
            QCOMPARE(window.DataSource1->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString(), titles.at(column));
            QCOMPARE(window.DBGrid1->columnWidth(column), widths[column]);
        }
        QCOMPARE(gridColumn(window, 0), (QStringList{u"A001"_s, u"A002"_s, u"A003"_s}));
        QCOMPARE(gridColumn(window, 1), (QStringList{u"王小明"_s, u"陳美玲"_s, u"林大同"_s}));
        QCOMPARE(gridColumn(window, 2), (QStringList{u"1001"_s, u"1002"_s, QString()}));
        QVERIFY(dialogs->messages.isEmpty());
    }

    void savedCardCountsAtTheNextPunch()
    {
        LocalClock::setSource([] { return QDateTime(QDate(2024, 5, 3), QTime(8, 5)); });
        TClock2 punch(*connection);
        QTest::mouseClick(punch.Button2, Qt::LeftButton);
        Tclockcus* window = punch.findChild<Tclockcus*>();
        QVERIFY(window && window->isVisible());
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        window->DBGrid1->setFocus();
        type(*window, 2, 2, u"5555"_s);
        QVERIFY(openEditor(*window)->isVisible());
        press(window->sbpost);
        QVERIFY(dialogs->messages.isEmpty());
        QVERIFY(employees().contains(u"A003|林大同|5555"_s));

        punch.ComboBox1->setEditText(QString());
        QTest::keyClicks(punch.ComboBox1->lineEdit(), u"A003"_s);
        QTest::keyClicks(punch.Edit4, u"5555"_s);
        press(punch.SpeedButton1);
        QCOMPARE(dialogs->takeTexts(), QStringList{u"林大同  上班時間：2024/05/03   08:05"_s});
        QSqlQuery clock = other->run(u"SELECT clock_emp, clock_no FROM clock"_s);
        QVERIFY(clock.next());
        QCOMPARE(clock.value(0).toString(), u"A003"_s);
        QCOMPARE(clock.value(1).toString(), u"5555"_s);
        QVERIFY(!clock.next());
    }

    void twoChangesSavedTogether()
    {
        auto window = openWindow();
        type(*window, 0, 2, u"2001"_s);
        QTest::keyClick(openEditor(*window), Qt::Key_Down);
        QCOMPARE(window->DBGrid1->currentIndex().row(), 1);
        type(*window, 1, 2, u"2002"_s);
        press(window->sbpost);
        QVERIFY(dialogs->messages.isEmpty());
        QCOMPARE(employees(), (QStringList{u"A001|王小明|2001"_s, u"A002|陳美玲|2002"_s, u"A003|林大同|NULL"_s}));
    }

    void saveAfterTheRowWasLeft()
    {
        auto window = openWindow();
        type(*window, 0, 2, u"7001"_s);
        QTest::keyClick(openEditor(*window), Qt::Key_Down);
        const QStringList before = employees();
        press(window->sbpost);
        QCOMPARE(dialogs->takeTexts(), QStringList{u"emp_adoq: Dataset not in edit or insert mode."_s});
        QCOMPARE(employees(), before);
        QCOMPARE(cell(*window, 0, 2).data().toString(), u"7001"_s);

        type(*window, 2, 2, u"7003"_s);
        press(window->sbpost);
        QVERIFY(dialogs->messages.isEmpty());
        QCOMPARE(employees(), (QStringList{u"A001|王小明|7001"_s, u"A002|陳美玲|1002"_s, u"A003|林大同|7003"_s}));
    }

    void newRowDeletedAgain()
    {
        auto window = openWindow();
        press(window->sbinsert);
        QCOMPARE(window->DataSource1->rowCount(), 4);
        press(window->sbdelete);
        QCOMPARE(gridColumn(*window, 0), (QStringList{u"A001"_s, u"A002"_s, u"A003"_s}));
        type(*window, 0, 2, u"8001"_s);
        press(window->sbpost);
        QVERIFY(dialogs->messages.isEmpty());
        QCOMPARE(employees(), (QStringList{u"A001|王小明|8001"_s, u"A002|陳美玲|1002"_s, u"A003|林大同|NULL"_s}));
    }

    void newEmployee()
    {
        auto window = openWindow();
        press(window->sbinsert);
        QCOMPARE(window->DBGrid1->currentIndex().row(), 3);
        type(*window, 3, 0, u"B007"_s);
        QTest::keyClick(openEditor(*window), Qt::Key_Tab);
        // Key events cannot carry Chinese text: the editor that Tab opened is given it.
        openEditor(*window)->setText(u"新來的"_s);
        QTest::keyClick(openEditor(*window), Qt::Key_Tab);
        QTest::keyClicks(openEditor(*window), u"4004"_s);
        press(window->sbpost);
        QVERIFY(dialogs->messages.isEmpty());
        QCOMPARE(employees().size(), 4);
        QSqlQuery added = other->run(u"SELECT * FROM employee WHERE emp_no = 'B007'"_s);
        QVERIFY(added.next());
        const QSqlRecord record = added.record();
        for (int i = 0; i < record.count(); ++i) {
            const QString column = record.fieldName(i);
            if (column == u"emp_name")
                QCOMPARE(added.value(i).toString(), u"新來的"_s);
            else if (column == u"clock_no")
                QCOMPARE(added.value(i).toString(), u"4004"_s);
            else if (column != u"emp_no" && column != u"id")
                QVERIFY2(added.value(i).isNull(), qPrintable(column));
        }
    }

    void windowGoesWithoutWriting_data()
    {
        QTest::addColumn<bool>("closedFirst");
        QTest::newRow("closed, then destroyed") << true;
        // As the punch screen destroys the card windows it made when the program ends.
        QTest::newRow("destroyed while open") << false;
    }
    void windowGoesWithoutWriting()
    {
        QFETCH(bool, closedFirst);
        const QStringList before = employees();
        auto window = openWindow();
        press(window->sbdelete);
        QCOMPARE(gridColumn(*window, 0), (QStringList{u"A002"_s, u"A003"_s}));
        type(*window, 0, 2, u"1234"_s);
        if (closedFirst) {
            QVERIFY(window->close());
            QVERIFY(window->isHidden());
            QCOMPARE(employees(), before);
        }
        window.reset();
        QCOMPARE(employees(), before);
        QVERIFY(dialogs->messages.isEmpty());
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("gridRows");
        const QString closed = u"emp_adoq: Cannot perform this operation on a closed dataset."_s;
        const QString notEditing = u"emp_adoq: Dataset not in edit or insert mode."_s;
        QTest::newRow("delete on an empty table")
            << u"DELETE FROM employee"_s << QStringList{u"刪除"_s}
            << QStringList{u"emp_adoq: Cannot perform this operation on an empty dataset."_s} << 0;
        QTest::newRow("save with no row being edited")
            << QString() << QStringList{u"存檔"_s} << QStringList{notEditing} << 3;
        QTest::newRow("query that could not open")
            << u"ALTER TABLE employee DROP COLUMN emp_pic"_s << QStringList{u"新增"_s, u"刪除"_s, u"存檔"_s}
            << QStringList{u"emp_adoq: Field 'emp_pic' not found."_s, closed, closed, notEditing} << 0;
    }
    void refusals()
    {
        QFETCH(QString, setup);
        QFETCH(QStringList, buttons);
        QFETCH(QStringList, messages);
        QFETCH(int, gridRows);
        if (!setup.isEmpty())
            other->run(setup);
        const QStringList before = employees();
        auto window = openWindow();
        QCOMPARE(window->DataSource1->rowCount(), gridRows);
        for (const QString& caption : buttons) {
            for (QToolButton* button : {window->sbinsert, window->sbdelete, window->sbpost}) {
                if (button->text() == caption)
                    press(button);
            }
        }
        QCOMPARE(dialogs->takeTexts(), messages);
        QCOMPARE(employees(), before);
    }

    void windowsKeepTheirOwnRows()
    {
        auto other = openWindow();
        auto window = openWindow();
        type(*window, 0, 2, u"3001"_s);
        submit(*window);
        QCOMPARE(cell(*window, 0, 2).data().toString(), u"3001"_s);
        QCOMPARE(cell(*other, 0, 2).data().toString(), u"1001"_s);
        press(window->sbpost);
        QCOMPARE(employees().first(), u"A001|王小明|3001"_s);
        QCOMPARE(cell(*other, 0, 2).data().toString(), u"1001"_s);

        // The other window writes only what was changed in it.
        other->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(other.get()));
        type(*other, 1, 2, u"3002"_s);
        press(other->sbpost);
        QVERIFY(dialogs->messages.isEmpty());
        QCOMPARE(employees(), (QStringList{u"A001|王小明|3001"_s, u"A002|陳美玲|3002"_s, u"A003|林大同|NULL"_s}));
    }

    void cellTextLimit_data()
    {
        QTest::addColumn<int>("column");
        QTest::newRow("emp_no") << 0;
        QTest::newRow("emp_name") << 1;
        QTest::newRow("clock_no") << 2;
    }
    void cellTextLimit()
    {
        QFETCH(int, column);
        auto window = openWindow();
        const QString typed = u"1234567890"_s.repeated(6);
        type(*window, 1, column, typed);
        QCOMPARE(openEditor(*window)->text(), typed.left(50));
        press(window->sbpost);
        QSqlQuery stored = other->run(u"SELECT emp_no, emp_name, clock_no FROM employee WHERE id = 2"_s);
        QVERIFY(stored.next());
        QCOMPARE(stored.value(column).toString(), typed.left(50));
    }

    void escapeAbandonsTheRow_data()
    {
        QTest::addColumn<bool>("editorOpen");
        QTest::newRow("in the cell editor") << true;
        QTest::newRow("after the editor closed") << false;
    }
    void escapeAbandonsTheRow()
    {
        QFETCH(bool, editorOpen);
        auto window = openWindow();
        type(*window, 0, 1, u"abc"_s);
        QTest::keyClick(openEditor(*window), Qt::Key_Tab);
        QTest::keyClicks(openEditor(*window), u"999"_s);
        if (editorOpen) {
            QTest::keyClick(openEditor(*window), Qt::Key_Escape);
        } else {
            submit(*window);
            QTest::keyClick(window->DBGrid1, Qt::Key_Escape);
        }
        QCOMPARE(cell(*window, 0, 1).data().toString(), u"王小明"_s);
        QCOMPARE(cell(*window, 0, 2).data().toString(), u"1001"_s);
        type(*window, 1, 2, u"6002"_s);
        press(window->sbpost);
        QVERIFY(dialogs->messages.isEmpty());
        QCOMPARE(employees(), (QStringList{u"A001|王小明|1001"_s, u"A002|陳美玲|6002"_s, u"A003|林大同|NULL"_s}));
    }

    void insertKeyAddsARowAbove()
    {
        auto window = openWindow();
        window->DBGrid1->setCurrentIndex(cell(*window, 1, 0));
        QTest::keyClick(window->DBGrid1, Qt::Key_Insert);
        QCOMPARE(gridColumn(*window, 0), (QStringList{u"A001"_s, QString(), u"A002"_s, u"A003"_s}));
        QCOMPARE(window->DBGrid1->currentIndex().row(), 1);
        type(*window, 1, 0, u"C1"_s);
        press(window->sbpost);
        QVERIFY(dialogs->messages.isEmpty());
        QVERIFY(employees().contains(u"C1|NULL|NULL"_s));
        QCOMPARE(employees().size(), 4);
    }

    void leavingAnEmptyNewRowKeepsTheChosenRow()
    {
        // The empty row goes when it is left: the row chosen below it is still the one the
        // buttons work on.
        auto window = openWindow();
        window->DBGrid1->setCurrentIndex(cell(*window, 1, 0));
        QTest::keyClick(window->DBGrid1, Qt::Key_Insert);
        QTest::keyClick(window->DBGrid1, Qt::Key_Down);
        QCOMPARE(gridColumn(*window, 0), (QStringList{u"A001"_s, u"A002"_s, u"A003"_s}));
        QCOMPARE(window->DBGrid1->currentIndex().row(), 1);
        press(window->sbdelete);
        QCOMPARE(gridColumn(*window, 0), (QStringList{u"A001"_s, u"A003"_s}));
    }

    void downFromTheLastRowAppends()
    {
        auto window = openWindow();
        window->DBGrid1->setCurrentIndex(cell(*window, 2, 2));
        QTest::keyClick(window->DBGrid1, Qt::Key_Down);
        QCOMPARE(window->DataSource1->rowCount(), 4);
        QCOMPARE(window->DBGrid1->currentIndex().row(), 3);
        // A new row left empty gets no second one below it.
        QTest::keyClick(window->DBGrid1, Qt::Key_Down);
        QCOMPARE(window->DataSource1->rowCount(), 4);
        // From the open editor of the last row, its text is kept and a row appended.
        type(*window, 3, 0, u"D1"_s);
        QTest::keyClick(openEditor(*window), Qt::Key_Down);
        QCOMPARE(window->DataSource1->rowCount(), 5);
        QCOMPARE(window->DBGrid1->currentIndex().row(), 4);
        type(*window, 4, 0, u"D2"_s);
        press(window->sbpost);
        QVERIFY(dialogs->messages.isEmpty());
        QCOMPARE(employees(), (QStringList{u"A001|王小明|1001"_s, u"A002|陳美玲|1002"_s, u"A003|林大同|NULL"_s,
                                           u"D1|NULL|NULL"_s, u"D2|NULL|NULL"_s}));
    }

    void ctrlDeleteAsksFirst_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::newRow("OK") << true;
        QTest::newRow("Cancel") << false;
    }
    void ctrlDeleteAsksFirst()
    {
        QFETCH(bool, answer);
        auto window = openWindow();
        dialogs->answers = {answer};
        window->DBGrid1->setCurrentIndex(cell(*window, 1, 0));
        QTest::keyClick(window->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(dialogs->questions, QStringList{u"Delete record?"_s});
        const QStringList remaining = answer ? QStringList{u"A001"_s, u"A003"_s} : QStringList{u"A001"_s, u"A002"_s, u"A003"_s};
        QCOMPARE(gridColumn(*window, 0), remaining);
        type(*window, 0, 2, u"1111"_s);
        press(window->sbpost);
        QVERIFY(dialogs->messages.isEmpty());
        QStringList numbers;
        for (const QString& row : employees())
            numbers.append(row.section(u'|', 0, 0));
        QCOMPARE(numbers, remaining);
    }

    void refusedSaveWritesNothing_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("sqlite") << u"sqlite"_s << u"UNIQUE constraint failed: employee.emp_no"_s;
        QTest::newRow("postgresql") << u"postgresql"_s << u"duplicate key value violates unique constraint"_s;
    }
    void refusedSaveWritesNothing()
    {
        QFETCH(QString, engine);
        QFETCH(QString, refusal);
        if (engine != u"sqlite") {
            SKIP_UNLESS_AVAILABLE(engine);
            useDatabase(databases->fresh(engine));
        }
        other->run(u"CREATE UNIQUE INDEX employee_unique_no ON employee (emp_no)"_s);
        const QStringList before = employees();
        auto window = openWindow();
        type(*window, 0, 2, u"9001"_s);
        press(window->sbinsert);
        type(*window, 3, 0, u"A002"_s);
        press(window->sbpost);
        QCOMPARE(dialogs->messages.size(), 1);
        QCOMPARE(dialogs->messages.first().icon, UserDialogs::Icon::Error);
        QVERIFY2(dialogs->messages.first().text.contains(refusal), qPrintable(dialogs->messages.first().text));
        dialogs->messages.clear();
        QCOMPARE(employees(), before);

        // Both changes are still pending: once the new row is mended, they are written together.
        type(*window, 3, 0, u"A004"_s);
        press(window->sbpost);
        QVERIFY(dialogs->messages.isEmpty());
        QCOMPARE(employees(), (QStringList{u"A001|王小明|9001"_s, u"A002|陳美玲|1002"_s, u"A003|林大同|NULL"_s,
                                           u"A004|NULL|NULL"_s}));
    }
};

QTEST_MAIN(CardScreenTest)
#include "tst_card_screen.moc"
