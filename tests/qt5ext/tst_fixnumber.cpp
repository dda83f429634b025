#include <fixnumber.h>

#include <QtTest>

using qt5ext::FixNumber;

class tst_FixNumber : public QObject
{
    Q_OBJECT
private slots:
    void fromDouble_data();
    void fromDouble();
    void compareAcrossMultipliers_data();
    void compareAcrossMultipliers();
};

void tst_FixNumber::fromDouble_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<qint64>("multiplier");
    QTest::addColumn<qint64>("raw");
    QTest::addColumn<QString>("text");
    QTest::newRow("money") << 12.34 << qint64(100) << qint64(1234) << "12.34";
    // 0.1 + 0.2 style binary noise must not lose a kopeck.
    QTest::newRow("binary noise") << 1.005 * 100 / 100 << qint64(100) << qint64(101) << "1.01";
    QTest::newRow("float below") << 19.99 << qint64(100) << qint64(1999) << "19.99";
    QTest::newRow("half away from zero") << 0.125 << qint64(100) << qint64(13) << "0.13";
    QTest::newRow("negative half") << -0.125 << qint64(100) << qint64(-13) << "-0.13";
    QTest::newRow("negative below one") << -0.5 << qint64(100) << qint64(-50) << "-0.50";
    QTest::newRow("quantity") << 1.5 << qint64(1000) << qint64(1500) << "1.500";
    QTest::newRow("whole units") << 7.4 << qint64(1) << qint64(7) << "7";
    QTest::newRow("zero") << 0.0 << qint64(100) << qint64(0) << "0.00";
    QTest::newRow("large amount") << 99999999.99 << qint64(100) << qint64(9999999999) << "99999999.99";
    QTest::newRow("bad multiplier") << 3.0 << qint64(0) << qint64(3) << "3";
}

void tst_FixNumber::fromDouble()
{
    QFETCH(double, value);
    QFETCH(qint64, multiplier);
    QFETCH(qint64, raw);
    QFETCH(QString, text);
    const FixNumber n = FixNumber::fromDouble(value, multiplier);
    QCOMPARE(n.value(), raw);
    QCOMPARE(n.toString(), text);
    QCOMPARE(FixNumber(n.multiplier(), raw).toDouble(), double(raw) / double(n.multiplier()));
}

void tst_FixNumber::compareAcrossMultipliers_data()
{
    QTest::addColumn<qint64>("m1");
    QTest::addColumn<qint64>("v1");
    QTest::addColumn<qint64>("m2");
    QTest::addColumn<qint64>("v2");
    QTest::addColumn<bool>("equal");
    QTest::newRow("same") << qint64(100) << qint64(150) << qint64(100) << qint64(150) << true;
    QTest::newRow("scaled") << qint64(100) << qint64(150) << qint64(1000) << qint64(1500) << true;
    QTest::newRow("differ") << qint64(100) << qint64(150) << qint64(1000) << qint64(1501) << false;
    QTest::newRow("sign") << qint64(100) << qint64(-1) << qint64(100) << qint64(1) << false;
}

void tst_FixNumber::compareAcrossMultipliers()
{
    QFETCH(qint64, m1);
    QFETCH(qint64, v1);
    QFETCH(qint64, m2);
    QFETCH(qint64, v2);
    QFETCH(bool, equal);
    QCOMPARE(FixNumber(m1, v1) == FixNumber(m2, v2), equal);
    QCOMPARE(FixNumber(m2, v2) != FixNumber(m1, v1), !equal);
}

QTEST_APPLESS_MAIN(tst_FixNumber)
#include "tst_fixnumber.moc"
