#include "HoursRule.h"

#include <QTest>

// The overtime hours to the half hour, halves away from zero, 0 for what cannot be read.
class HoursRuleTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void hours_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<double>("hours");
        QTest::newRow("0 minutes") << "18:00" << "18:00" << 0.0;
        QTest::newRow("14 minutes") << "18:00" << "18:14" << 0.0;
        QTest::newRow("15 minutes, a half rounds up") << "18:00" << "18:15" << 0.5;
        QTest::newRow("44 minutes") << "18:00" << "18:44" << 0.5;
        QTest::newRow("45 minutes") << "18:00" << "18:45" << 1.0;
        QTest::newRow("60 minutes") << "18:00" << "19:00" << 1.0;
        QTest::newRow("75 minutes, 2.5 half hours rounds away from the even 2") << "18:00" << "19:15" << 1.5;
        QTest::newRow("130 minutes") << "18:00" << "20:10" << 2.0;
        QTest::newRow("560 minutes") << "08:00" << "17:20" << 9.5;
        QTest::newRow("-10 minutes") << "18:00" << "17:50" << 0.0;
        QTest::newRow("-15 minutes, a half rounds away from zero") << "18:00" << "17:45" << -0.5;
        QTest::newRow("no start time") << "" << "20:10" << 0.0;
        QTest::newRow("no end time") << "18:00" << "" << 0.0;
        QTest::newRow("another separator leaves no whole number") << "18.00" << "20.10" << 0.0;
        QTest::newRow("characters past the fourth are ignored") << "18:00:59" << "19:00:01" << 1.0;
        QTest::newRow("a short time gives short parts") << "8:00" << "81:30" << 1.5;
    }
    void hours()
    {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(double, hours);
        QCOMPARE(overtimeHours(start, end), hours);
    }
};

QTEST_APPLESS_MAIN(HoursRuleTest)
#include "tst_hours_rule.moc"
