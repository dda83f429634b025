#include "cashboxstatus.h"

#include <QtTest>

using namespace core;

namespace {

CashboxStatus sample()
{
    CashboxStatus status;
    status.setMode(2);
    status.setSubmode(1);
    status.setCashier(30);
    status.setCashboxNumber(3);
    status.setCycleNumber(112);
    status.setCycleOpened(QDateTime(QDate(2024, 3, 15), QTime(8, 0)));
    status.setCycleclosed(QDateTime(QDate(2024, 3, 14), QTime(22, 1)));
    status.setLastCheckNumber(17);
    status.setCash(12345.67);
    status.setDt(QDateTime(QDate(2024, 3, 15), QTime(10, 30, 5)));
    status.setModelName(QStringLiteral("АТОЛ 11Ф"));
    status.setPaperPresent(false);

    fiscal::FsStatus fs;
    fs.parse(QByteArray::fromHex("030000010018030f0a1e") + QByteArray("9999078900012345")
             + QByteArray::fromHex("d2040000"));
    status.setFs(fs);

    status.regData().setModel(67);
    status.regData().setCashBoxSerial(QStringLiteral("00106700012345"));
    status.regData().setRegNumeber(QStringLiteral("0001234567012345"));
    status.regData().setUserInn(QStringLiteral("7701234567"));
    status.regData().setVersion(QStringLiteral("3.0.8"));
    status.regData().setFdfVersion(2);
    status.regData().setFSfdfVersion(3);
    status.regData().setCashboxFlags(0x005);
    return status;
}

} // namespace

class TestCashboxStatus : public QObject
{
    Q_OBJECT

private slots:
    void stateMapKeys()
    {
        const QVariantMap map = sample().toMap(false);
        QCOMPARE(map.value("model").toUInt(), 67u);
        QCOMPARE(map.value("modelstr").toString(), QStringLiteral("АТОЛ 11Ф"));
        QCOMPARE(map.value("ver").toString(), QStringLiteral("3"));
        QCOMPARE(map.value("subver").toString(), QStringLiteral("0.8"));
        QCOMPARE(map.value("serial").toString(), QStringLiteral("00106700012345"));
        QCOMPARE(map.value("regNumber").toString(), QStringLiteral("0001234567012345"));
        QCOMPARE(map.value("inn").toString(), QStringLiteral("7701234567"));
        QCOMPARE(map.value("cash").toDouble(), 12345.67);
        QCOMPARE(map.value("cycleNumber").toInt(), 112);
        QCOMPARE(map.value("shiftOpened").toBool(), true);
        QCOMPARE(map.value("ffdVersion").toString(), QStringLiteral("1.05"));
        QCOMPARE(map.value("paperPresent"), QVariant(false));

        // "fsStatus" is in the form FsStatus::setMap reads.
        fiscal::FsStatus fs;
        fs.setMap(map.value("fsStatus").toMap());
        QVERIFY(fs.fiscalized());
        QCOMPARE(fs.lastFd(), quint32(1234));
        QVERIFY(map.contains("regData"));
        QVERIFY(map.contains("fsStatusText"));
    }

    void briefMapLeavesOutNestedDetail()
    {
        const QVariantMap map = sample().toMap(true);
        QVERIFY(map.contains("fsStatus"));
        QVERIFY(map.contains("model"));
        QVERIFY(!map.contains("regData"));
        QVERIFY(!map.contains("fsStatusText"));
    }

    void versionWithoutPoint()
    {
        CashboxStatus status;
        status.regData().setVersion(QStringLiteral("5"));
        const QVariantMap map = status.toMap(false);
        QCOMPARE(map.value("ver").toString(), QStringLiteral("5"));
        QCOMPARE(map.value("subver").toString(), QString());
        // Nobody asked the printer.
        QVERIFY(!map.contains("paperPresent"));
    }

    void mapRoundTrip()
    {
        const CashboxStatus status = sample();
        CashboxStatus copy;
        copy.setMap(status.toMap(false));
        QCOMPARE(copy, status);

        const QByteArray json = QJsonDocument(QJsonObject::fromVariantMap(status.toMap(false))).toJson();
        CashboxStatus fromJson;
        fromJson.setMap(QJsonDocument::fromJson(json).object().toVariantMap());
        QCOMPARE(fromJson, status);
    }

    void cashKeepsKopecks_data()
    {
        QTest::addColumn<double>("roubles");
        QTest::addColumn<double>("stored");
        QTest::newRow("whole") << 100.0 << 100.0;
        QTest::newRow("binary noise") << 0.1 + 0.2 << 0.3;
        QTest::newRow("large") << 99999999.99 << 99999999.99;
        QTest::newRow("negative") << -12.34 << -12.34;
        QTest::newRow("half kopeck") << 0.125 << 0.13;
        QTest::newRow("absurd") << 1e300 << 0.0;
        QTest::newRow("not a number") << qQNaN() << 0.0;
        QTest::newRow("infinite") << qInf() << 0.0;
    }
    void cashKeepsKopecks()
    {
        QFETCH(double, roubles);
        QFETCH(double, stored);
        CashboxStatus status;
        status.setCash(roubles);
        QCOMPARE(status.cash(), stored);
    }

    void regDataIsFilledInPlace()
    {
        CashboxStatus status;
        status.regData().setCashBoxSerial(QStringLiteral("42"));
        QCOMPARE(status.cashboxRegData().cashBoxSerial(), QStringLiteral("42"));
        const CashboxStatus &constStatus = status;
        QCOMPARE(constStatus.regData().cashBoxSerial(), QStringLiteral("42"));
    }
};

QTEST_GUILESS_MAIN(TestCashboxStatus)
#include "tst_cashboxstatus.moc"
