#include "RecordingDialogs.h"
#include "TDataModule1.h"
#include "TemporaryWorkingDirectory.h"
#include "TestDatabases.h"
#include "TfrmSetup.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QStringEncoder>
#include <QTcpServer>
#include <QTest>

#include <filesystem>

using namespace Qt::StringLiterals;

// The setup dialog through its controls: what it refuses, what it tests and what it saves.
class SetupDialogTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TemporaryWorkingDirectory> dir;
    std::unique_ptr<RecordingDialogs> dialogs;
    std::unique_ptr<TDataModule1> module;

    void writeLinkFile(const QByteArray& line)
    {
        QFile file(dir->filePath(u"link.txt"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(line + "\r\n");
    }
    QByteArray linkFile() const
    {
        QFile file(dir->filePath(u"link.txt"_s));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Start-up on link.txt as it stands; its database cannot be opened, so the dialog would run.
    void startUp()
    {
        module = std::make_unique<TDataModule1>([](TDataModule1&) {});
        dialogs->messages.clear();
    }
    static void fill(TfrmSetup& dialog, const QString& kind, const QStringList& edits)
    {
        dialog.ComboBox1->setEditText(kind);
        QLineEdit* fields[] = {dialog.Edit1, dialog.Edit2, dialog.Edit3, dialog.Edit4, dialog.Edit5, dialog.Edit6};
        for (int i = 0; i < edits.size(); ++i)
            fields[i]->setText(edits.at(i));
    }
    static void confirm(TfrmSetup& dialog) { QTest::mouseClick(dialog.btbtnCheck, Qt::LeftButton); }

private Q_SLOTS:
    void init()
    {
        dir = std::make_unique<TemporaryWorkingDirectory>();
        dialogs = std::make_unique<RecordingDialogs>();
        QVERIFY(QDir(dir->path()).mkpath(u"data"_s));
        TestDatabases::createSqlite(dir->filePath(u"data/basedb.mdb"_s));
    }
    void cleanup()
    {
        module.reset();
        dialogs.reset();
        dir.reset();
    }

    void opensWithTheFileButAlwaysAccess()
    {
        writeLinkFile("1,SERVER,attend,sa,secret,D:\\pic\\,D:\\data\\,");
        startUp();
        TfrmSetup dialog(*module);
        QCOMPARE(dialog.windowTitle(), u"資料庫設定"_s);
        QCOMPARE(dialog.size(), QSize(418, 234));
        QCOMPARE(dialog.ComboBox1->currentText(), u"Access"_s);
        QCOMPARE(dialog.Edit1->text(), u"SERVER"_s);
        QCOMPARE(dialog.Edit4->text(), u"secret"_s);
        dialog.Edit4->ensurePolished();
        QCOMPARE(dialog.Edit4->displayText(), u"******"_s);
        QCOMPARE(dialog.Edit6->text(), u"D:\\data\\"_s);
        QCOMPARE(dialog.Edit6->geometry(), QRect(240, 184, 121, 23));
        QVERIFY(dialogs->messages.isEmpty());
    }

    void unreadableFileStillOpensTheDialog()
    {
        writeLinkFile("1,SERVER,");
        startUp();
        TfrmSetup dialog(*module);
        QCOMPARE(dialogs->takeTexts(), QStringList{u"List index out of bounds (2)"_s});
        QCOMPARE(dialog.Edit1->text(), u"SERVER"_s);
        QCOMPARE(dialog.Edit3->text(), u"sa"_s);
        QCOMPARE(dialog.Edit5->text(), u"Edit5"_s);
    }

    void missingEntriesInOrder()
    {
        writeLinkFile("2,,,,,,missing/,");
        startUp();
        TfrmSetup dialog(*module);
        fill(dialog, u"Access"_s, {QString(), QString(), QString()});
        confirm(dialog);
        fill(dialog, u"Access"_s, {u" "_s});
        confirm(dialog);
        fill(dialog, u"Access"_s, {u"h"_s, u"d"_s});
        confirm(dialog);
        QCOMPARE(dialogs->takeTexts(), (QStringList{u"伺服器名稱或位址資料未輸入!請在做確認"_s,
                                                    u"資料庫名稱資料未輸入!請在做確認"_s,
                                                    u"資料庫使用者資料未輸入!請在做確認"_s}));
        QCOMPARE(linkFile(), QByteArray("2,,,,,,missing/,\r\n"));
        QVERIFY(!module->endRequested());
    }

    void accessSavedWithTheFixedPassword()
    {
        writeLinkFile("1,old,old,old,old,old,old,\r\nsecond line");
        startUp();
        TfrmSetup dialog(*module);
        fill(dialog, u"Access"_s, {u"主機"_s, u"attend"_s, u"sa"_s, u"typed"_s, u"pic\\"_s, u"data/"_s});
        confirm(dialog);
        QCOMPARE(dialogs->takeTexts(), QStringList{});
        QCOMPARE(linkFile(), QStringEncoder("Big5").encode(u"2,主機,attend,sa,qorlavin,pic\\,data/,\r\n"_s));
        QCOMPARE(std::filesystem::status(dir->filePath(u"link.txt"_s).toStdString()).permissions(),
                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        QVERIFY(module->endRequested());
    }

    void failedTestKeepsTheFileAndTheDialog()
    {
        writeLinkFile("2,h,d,sa,,,missing/,");
        startUp();
        TfrmSetup dialog(*module);
        dialog.show();
        fill(dialog, u"Access"_s, {u"h"_s, u"d"_s, u"sa"_s, QString(), QString(), u"data"_s});
        confirm(dialog);
        QCOMPARE(dialogs->takeTexts(), QStringList{u"資料庫連結錯誤請重新輸入"_s});
        QCOMPARE(linkFile(), QByteArray("2,h,d,sa,,,missing/,\r\n"));
        QVERIFY(dialog.isVisible());
        QVERIFY(!module->endRequested());
    }

    void typedKindKeepsTheKindHeld()
    {
        // The kind read at start-up is SQL Server; a kind typed that is neither name keeps it,
        // so the test goes to a server, here one that refuses at once.
        writeLinkFile("1,127.0.0.1,1,attend,sa,,,,");
        startUp();
        TfrmSetup dialog(*module);
        fill(dialog, u"Oracle"_s, {u"127.0.0.1,1"_s, u"attend"_s, u"sa"_s, QString(), QString(), u"data/"_s});
        confirm(dialog);
        QCOMPARE(dialogs->takeTexts(), QStringList{u"資料庫連結錯誤請重新輸入"_s});
        QCOMPARE(module->settings.engine, u"1"_s);
    }

    void sqlServerKindSavedAfterARealTest()
    {
        SKIP_UNLESS_AVAILABLE(u"postgresql"_s);
        TestDatabases databases;
        databases.fresh(u"postgresql"_s);
        writeLinkFile("2,h,d,sa,,,missing/,");
        startUp();
        TfrmSetup dialog(*module);
        const QString dsn = qEnvironmentVariable("PUNCHCLOCK_TEST_DSN");
        fill(dialog, u"SQL"_s, {dsn, u"punchclock"_s, u"postgres"_s, QString(), u"pic"_s, QString()});
        confirm(dialog);
        QCOMPARE(dialogs->takeTexts(), QStringList{});
        QCOMPARE(linkFile(), u"1,%1,punchclock,postgres,,pic,,\r\n"_s.arg(dsn).toLatin1());
        QVERIFY(module->endRequested());
    }

    void silentServerGivesUpWithinTheTimeOut()
    {
        // It accepts the connection and never answers the login.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        writeLinkFile("2,h,d,sa,,,missing/,");
        startUp();
        TfrmSetup dialog(*module);
        fill(dialog, u"SQL"_s, {u"127.0.0.1,%1"_s.arg(silent.serverPort()), u"attend"_s, u"sa"_s});
        QElapsedTimer elapsed;
        elapsed.start();
        confirm(dialog);
        QCOMPARE(dialogs->takeTexts(), QStringList{u"資料庫連結錯誤請重新輸入"_s});
        QVERIFY2(elapsed.elapsed() < 30'000, qPrintable(QString::number(elapsed.elapsed())));
    }
};

QTEST_MAIN(SetupDialogTest)
#include "tst_setup_dialog.moc"
