#include "findedcashbox.h"

#include <QtTest>

class TestFindedCashbox : public QObject
{
    Q_OBJECT
private slots:
    void readsDescription();
    void numbers_data();
    void numbers();
    void validity_data();
    void validity();
    void keys();
    void equality();
};

void TestFindedCashbox::readsDescription()
{
    const QVariantMap description{
        {"m", 5}, {"sn", "A1"}, {"nm", "X"}, {"rn", "0001"}, {"inn", "7700000000"},
        {"atol", 5555}, {"http", 8080}, {"busM", 4001}, {"busQ", 4002}, {"extra", "ignored"}};
    const FindedCashbox cashbox(QHostAddress("192.168.1.10"), description);
    QCOMPARE(cashbox.model(), quint16(5));
    QCOMPARE(cashbox.serial(), QString("A1"));
    QCOMPARE(cashbox.modelName(), QString("X"));
    QCOMPARE(cashbox.regNumber(), QString("0001"));
    QCOMPARE(cashbox.inn(), QString("7700000000"));
    QCOMPARE(cashbox.ip(), QHostAddress("192.168.1.10"));
    QCOMPARE(cashbox.atolPort(), quint16(5555));
    QCOMPARE(cashbox.httpPort(), quint16(8080));
    QCOMPARE(cashbox.busMsgPort(), quint16(4001));
    QCOMPARE(cashbox.busQueryPort(), quint16(4002));

    const QVariantMap beauty{{"model", 5}, {"serial", "A1"}, {"modelName", "X"},
                             {"regNumber", "0001"}, {"inn", "7700000000"},
                             {"ip", "192.168.1.10"}};
    QCOMPARE(cashbox.toBeautyMap(), beauty);
}

void TestFindedCashbox::numbers_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<quint16>("expected");
    QTest::newRow("json number") << QVariant(42.0) << quint16(42);
    QTest::newRow("integer") << QVariant(7) << quint16(7);
    QTest::newRow("text digits") << QVariant("8080") << quint16(8080);
    QTest::newRow("cut to 16 bits") << QVariant(65541.0) << quint16(5);
    QTest::newRow("negative") << QVariant(-1.0) << quint16(0);
    QTest::newRow("negative integer") << QVariant(qlonglong(-5)) << quint16(0);
    QTest::newRow("64-bit integer") << QVariant(qlonglong(65541)) << quint16(5);
    QTest::newRow("beyond 32 bits") << QVariant(qlonglong(4294967301LL)) << quint16(0);
    QTest::newRow("negative text") << QVariant("-1") << quint16(0);
    QTest::newRow("huge") << QVariant(1e300) << quint16(0);
    QTest::newRow("not a number") << QVariant(qQNaN()) << quint16(0);
    QTest::newRow("text") << QVariant("abc") << quint16(0);
    QTest::newRow("list") << QVariant(QVariantList{1, 2}) << quint16(0);
    QTest::newRow("missing") << QVariant() << quint16(0);
}

void TestFindedCashbox::numbers()
{
    QFETCH(QVariant, value);
    QFETCH(quint16, expected);
    QVariantMap description{{"sn", "A1"}, {"nm", "X"}};
    if (value.isValid()) {
        description.insert("m", value);
        description.insert("atol", value);
        description.insert("busQ", value);
    }
    const FindedCashbox cashbox(QHostAddress::LocalHost, description);
    QCOMPARE(cashbox.model(), expected);
    QCOMPARE(cashbox.atolPort(), expected);
    QCOMPARE(cashbox.busQueryPort(), expected);
}

void TestFindedCashbox::validity_data()
{
    QTest::addColumn<QVariantMap>("description");
    QTest::addColumn<bool>("valid");
    QTest::newRow("complete") << QVariantMap{{"m", 5}, {"sn", "A1"}, {"nm", "X"}} << true;
    QTest::newRow("model 0") << QVariantMap{{"m", 0}, {"sn", "A1"}, {"nm", "X"}} << false;
    QTest::newRow("no model") << QVariantMap{{"sn", "A1"}, {"nm", "X"}} << false;
    QTest::newRow("no serial") << QVariantMap{{"m", 5}, {"nm", "X"}} << false;
    QTest::newRow("empty serial") << QVariantMap{{"m", 5}, {"sn", ""}, {"nm", "X"}} << false;
    QTest::newRow("no name") << QVariantMap{{"m", 5}, {"sn", "A1"}} << false;
    QTest::newRow("empty") << QVariantMap() << false;
}

void TestFindedCashbox::validity()
{
    QFETCH(QVariantMap, description);
    QFETCH(bool, valid);
    QCOMPARE(FindedCashbox(QHostAddress::LocalHost, description).isValid(), valid);
}

void TestFindedCashbox::keys()
{
    QCOMPARE(FindedCashbox::genKey("A1", 5), QString("5##A1"));
    QCOMPARE(FindedCashbox::genKey("%1%2", 65535), QString("65535##%1%2"));
    const FindedCashbox cashbox(QHostAddress::LocalHost, {{"m", 12}, {"sn", "0012345"}, {"nm", "X"}});
    QCOMPARE(cashbox.key(), QString("12##0012345"));
    QCOMPARE(FindedCashbox().key(), QString("0##"));
}

void TestFindedCashbox::equality()
{
    const QVariantMap description{{"m", 5}, {"sn", "A1"}, {"nm", "X"}, {"busM", 4001}};
    const FindedCashbox a(QHostAddress("10.0.0.1"), description);
    FindedCashbox b = a;
    QVERIFY(a == b);
    QVERIFY(!(a != b));

    QVariantMap otherPort = description;
    otherPort["busM"] = 4002;
    QVERIFY(a != FindedCashbox(QHostAddress("10.0.0.1"), otherPort));
    QVERIFY(a != FindedCashbox(QHostAddress("10.0.0.2"), description));
    QCOMPARE(FindedCashbox(QHostAddress("10.0.0.2"), description).key(), a.key());

    FindedCashbox moved = std::move(b);
    QCOMPARE(moved, a);
    QVERIFY(FindedCashbox() != a);
}

QTEST_APPLESS_MAIN(TestFindedCashbox)
#include "tst_findedcashbox.moc"
