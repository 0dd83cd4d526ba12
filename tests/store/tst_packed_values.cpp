// The packed form of a row's values: what goes in comes back with its type and null-ness, and
// one value rewritten leaves the others as they were.
#include "PackedValues.h"

#include <QDateTime>
#include <QtTest>

namespace {

// Equal values of equal types, NULL or not alike, a null text apart from an empty one.
bool same(const QVariant& a, const QVariant& b)
{
    if (a.isValid() != b.isValid() || a.typeId() != b.typeId() || a.isNull() != b.isNull())
        return false;
    if (a.typeId() == QMetaType::QString && a.toString().isNull() != b.toString().isNull())
        return false;
    return a == b;
}

QList<QVariant> sampleValues()
{
    return {QVariant(),
            QVariant(QMetaType(QMetaType::QString)),
            QVariant(QMetaType(QMetaType::Int)),
            QVariant(QMetaType(QMetaType::Double)),
            QString(),
            QString(QLatin1String("")),
            QStringLiteral("C0150"),
            QStringLiteral("Résumé"),
            QStringLiteral("卡鐘匯檔"),
            QString(QChar(0xD800)) + QStringLiteral("x"), // a stray surrogate stays as it was
            42,
            qlonglong(1) << 40,
            -1.5,
            true,
            QByteArray("\x00\x01", 2),
            QDateTime(QDate(2023, 3, 1), QTime(8, 0), Qt::UTC),
            QString(300, QLatin1Char('x')), // past what a one-byte length holds
            QString(300, QChar(0x5361))};
}

} // namespace

class TestPackedValues : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void valuesComeBackAsTheyWent()
    {
        const QList<QVariant> values = sampleValues();
        const PackedValues packed = PackedValues::Builder().pack(values);
        QCOMPARE(packed.size(), values.size());
        for (int i = 0; i < values.size(); ++i)
            QVERIFY2(same(packed.at(i), values.at(i)), qPrintable(QString::number(i)));
        const QList<QVariant> unpacked = packed.toList();
        for (int i = 0; i < values.size(); ++i)
            QVERIFY2(same(unpacked.at(i), values.at(i)), qPrintable(QString::number(i)));
        QCOMPARE(PackedValues().size(), 0);
        QCOMPARE(PackedValues::Builder().pack({}).size(), 0);
    }

    void setRewritesOneValue_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("NULL key given its number") << 3 << QVariant(qlonglong(7));
        QTest::newRow("same size in place") << 6 << QVariant(QStringLiteral("C9999"));
        QTest::newRow("longer text") << 6 << QVariant(QStringLiteral("a much longer card number"));
        QTest::newRow("text to NULL") << 8 << QVariant(QMetaType(QMetaType::QString));
        QTest::newRow("long text made short") << 16 << QVariant(QStringLiteral("short"));
        QTest::newRow("last value") << 17 << QVariant(QStringLiteral("end"));
        QTest::newRow("first value") << 0 << QVariant(1.25);
    }

    void setRewritesOneValue()
    {
        QFETCH(int, index);
        QFETCH(QVariant, value);
        QList<QVariant> expected = sampleValues();
        PackedValues packed = PackedValues::Builder().pack(expected);
        const PackedValues copy = packed;
        packed.set(index, value);
        expected[index] = value;
        for (int i = 0; i < expected.size(); ++i)
            QVERIFY2(same(packed.at(i), expected.at(i)), qPrintable(QString::number(i)));
        // A copy made before is a block of its own.
        QVERIFY(same(copy.at(index), sampleValues().at(index)));
    }

    void latin1TextsAreSeenInPlace()
    {
        const PackedValues packed = PackedValues::Builder().pack(sampleValues());
        QCOMPARE(packed.latin1View(6).value(), QLatin1StringView("C0150"));
        QCOMPARE(QString(packed.latin1View(7).value()), QStringLiteral("Résumé"));
        QCOMPARE(packed.latin1View(5).value().size(), 0);
        QCOMPARE(packed.latin1View(16).value(), QLatin1StringView(QByteArray(300, 'x')));
        for (int other : {0, 1, 4, 8, 10, 17})
            QVERIFY2(!packed.latin1View(other), qPrintable(QString::number(other)));
    }

    void builderPacksRowAfterRow()
    {
        PackedValues::Builder builder;
        builder.append(QStringLiteral("first"));
        builder.append(1);
        const PackedValues first = builder.take();
        builder.append(QStringLiteral("second"));
        const PackedValues second = builder.take();
        QCOMPARE(first.size(), 2);
        QCOMPARE(first.at(0).toString(), QStringLiteral("first"));
        QCOMPARE(second.size(), 1);
        QCOMPARE(second.at(0).toString(), QStringLiteral("second"));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, second.at(1));
    }
};

QTEST_GUILESS_MAIN(TestPackedValues)
#include "tst_packed_values.moc"
