#include "basefiscaldocument.h"
#include "regdata.h"

#include <QtTest>

using namespace fiscal;

namespace {

RegData sample()
{
    RegData data;
    data.setModel(67);
    data.setCashBoxSerial(QStringLiteral("00106700012345"));
    data.setRegNumeber(QStringLiteral("0001234567012345"));
    data.setUserInn(QStringLiteral("7701234567"));
    data.setUserName(QStringLiteral("ООО «Ромашка»"));
    data.setVersion(QStringLiteral("3.0.8"));
    data.setFdfVersion(2);
    data.setFSfdfVersion(3);
    data.setRegDate(QDate(2023, 11, 2));
    data.setRegDocNumber(70000);
    data.setTaxes(0x03);
    data.setCashboxFlags(0x005);
    data.setAgentFlags(0x10);
    data.setBoxId(QStringLiteral("ATM-17"));
    data.setCashier(QStringLiteral("Иванова А. А."));
    data.setCashierInn(QStringLiteral("500100732259"));
    data.setPaymentAddress(QStringLiteral("г. Москва, ул. Тверская, 1"));
    data.setPaymentPlace(QStringLiteral("Магазин"));
    data.setOfdInn(QStringLiteral("7704211201"));
    data.setOfdName(QStringLiteral("ОФД"));
    data.setFsNumber(QStringLiteral("9999078900012345"));
    data.setFnsSite(QStringLiteral("www.nalog.gov.ru"));
    data.setUserEMail(QStringLiteral("shop@example.org"));
    return data;
}

} // namespace

class TestRegData : public QObject
{
    Q_OBJECT

private slots:
    void mapRoundTrip()
    {
        const RegData data = sample();
        RegData copy;
        copy.setMap(data.toMap());
        QCOMPARE(copy, data);
        QCOMPARE(copy.regDocNumber(), quint32(70000));
        QCOMPARE(copy.regDate(), QDate(2023, 11, 2));
        QCOMPARE(copy.userName(), QStringLiteral("ООО «Ромашка»"));
    }

    void mapRoundTripThroughJson()
    {
        const RegData data = sample();
        const QByteArray json = QJsonDocument(QJsonObject::fromVariantMap(data.toMap())).toJson();
        RegData copy;
        copy.setMap(QJsonDocument::fromJson(json).object().toVariantMap());
        QCOMPARE(copy, data);
    }

    void setMapReplacesEverything()
    {
        RegData data = sample();
        data.setMap(QVariantMap { { "regNumber", "42" } });
        RegData expected;
        expected.setRegNumeber(QStringLiteral("42"));
        QCOMPARE(data, expected);
    }

    void beautyMapHoldsDisplayKeys()
    {
        const QVariantMap map = sample().toBeutyMap();
        for (const char *key : { "serial", "regNumber", "regFlags", "cashier", "cashierInn", "atmNumber" })
            QVERIFY2(map.contains(QLatin1String(key)), key);
        QCOMPARE(map.value("serial").toString(), QStringLiteral("00106700012345"));
        QCOMPARE(map.value("regNumber").toString(), QStringLiteral("0001234567012345"));
        QCOMPARE(map.value("regFlags").toUInt(), 0x005u);
        QCOMPARE(map.value("atmNumber").toString(), QStringLiteral("ATM-17"));
        QCOMPARE(map.value("cashier").toString(), QStringLiteral("Иванова А. А."));
        QCOMPARE(map.value("cashierInn").toString(), QStringLiteral("500100732259"));
        QCOMPARE(map.value("taxSystems").toString(), QStringLiteral("ОСН, УСН доход"));
        QCOMPARE(map.value("ffdVersion").toString(), QStringLiteral("1.05"));
        QCOMPARE(map.value("fsFfdVersion").toString(), QStringLiteral("1.1"));
        QCOMPARE(map.value("regDate").toString(), QStringLiteral("02.11.2023"));
    }

    void beautyMapLeavesOutUnknownRegistrationCashier()
    {
        RegData data = sample();
        data.setCashier(QString());
        data.setCashierInn(QString());
        const QVariantMap map = data.toBeutyMap();
        QVERIFY(!map.contains("cashier"));
        QVERIFY(!map.contains("cashierInn"));
        QVERIFY(map.contains("atmNumber"));
    }

    void registrationFlags_data()
    {
        QTest::addColumn<quint16>("flags");
        QTest::addColumn<quint16>("stored");
        QTest::newRow("none") << quint16(0) << quint16(0);
        QTest::newRow("encryption and automat") << quint16(0x005) << quint16(0x005);
        QTest::newRow("all") << quint16(0x3ff) << quint16(0x3ff);
        QTest::newRow("unknown bits dropped") << quint16(0xfc01) << quint16(0x001);
    }
    void registrationFlags()
    {
        QFETCH(quint16, flags);
        QFETCH(quint16, stored);
        RegData data;
        data.setCashboxFlags(flags);
        QCOMPARE(data.cashboxRegistrationFlags(), stored);
    }

    void setFlagSetsAndClearsOneBit()
    {
        RegData data;
        data.setCashboxFlags(0x005);
        data.setFlag(RegData::AutomatMode, false);
        data.setFlag(RegData::AllowLotteries, true);
        QCOMPARE(data.cashboxRegistrationFlags(), quint16(0x201));
        QVERIFY(data.hasFlag(RegData::UseEncryption));
        QVERIFY(!data.hasFlag(RegData::AutomatMode));
    }

    void docName_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("name");
        QTest::newRow("1") << 1 << "Отчёт о регистрации";
        QTest::newRow("11") << 11 << "Отчёт об изменении параметров регистрации";
        QTest::newRow("2") << 2 << "Отчёт об открытии смены";
        QTest::newRow("21") << 21 << "Отчёт о текущем состоянии расчётов";
        QTest::newRow("3") << 3 << "Кассовый чек";
        QTest::newRow("31") << 31 << "Кассовый чек коррекции";
        QTest::newRow("4") << 4 << "Бланк строгой отчётности";
        QTest::newRow("41") << 41 << "Бланк строгой отчётности коррекции";
        QTest::newRow("5") << 5 << "Отчёт о закрытии смены";
        QTest::newRow("6") << 6 << "Отчёт о закрытии фискального накопителя";
        QTest::newRow("7") << 7 << "Подтверждение оператора";
        QTest::newRow("unknown") << 99 << "Неизвестный документ (99)";
    }
    void docName()
    {
        QFETCH(int, type);
        QFETCH(QString, name);
        QCOMPARE(BaseFiscalDocument::docName(type), name);
    }

    void objectNamesDiffer()
    {
        QVERIFY(!RegData::BUS_OBJECT_NAME.isEmpty());
        QVERIFY(RegData::BUS_OBJECT_NAME != QStringLiteral("fiscal.fsstatus"));
    }
};

QTEST_GUILESS_MAIN(TestRegData)
#include "tst_regdata.moc"
