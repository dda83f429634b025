#include "frprintersettings.h"
#include "ofdsettings.h"

#include <QtTest>

using namespace core;

class TestCoreSettings : public QObject
{
    Q_OBJECT

private slots:
    void ofdRoundTrip()
    {
        OfdSettings ofd;
        ofd.setInn(QStringLiteral("7704211201"));
        ofd.setName(QStringLiteral("ОФД Такском"));
        ofd.setHost(QStringLiteral("f1.taxcom.ru"));
        ofd.setPort(7777);
        ofd.setCheckSite(QStringLiteral("receipt.taxcom.ru"));
        QCOMPARE(OfdSettings(ofd.toMap()), ofd);
        QCOMPARE(OfdSettings(ofd.toMap()).inn(), QStringLiteral("7704211201"));
    }

    void ofdPort_data()
    {
        QTest::addColumn<QVariant>("port");
        QTest::addColumn<int>("stored");
        QTest::newRow("number") << QVariant(21101) << 21101;
        QTest::newRow("text") << QVariant("7777") << 7777;
        QTest::newRow("too large") << QVariant(70000) << 0;
        QTest::newRow("negative") << QVariant(-5) << 0;
        QTest::newRow("letters") << QVariant("http") << 0;
    }
    void ofdPort()
    {
        QFETCH(QVariant, port);
        QFETCH(int, stored);
        QCOMPARE(int(OfdSettings({ { "port", port } }).port()), stored);
    }

    void printerSettings_data()
    {
        QTest::addColumn<QVariantMap>("map");
        QTest::addColumn<int>("symbols");
        QTest::addColumn<int>("font");
        QTest::newRow("empty") << QVariantMap() << 40 << 0;
        QTest::newRow("given") << QVariantMap { { "symbolsPerLine", 48 }, { "baseFont", 2 } } << 48 << 2;
        QTest::newRow("text") << QVariantMap { { "symbolsPerLine", "32" } } << 32 << 0;
        QTest::newRow("zero width") << QVariantMap { { "symbolsPerLine", 0 } } << 40 << 0;
        QTest::newRow("too wide") << QVariantMap { { "symbolsPerLine", 1000 } } << 40 << 0;
        QTest::newRow("negative font") << QVariantMap { { "baseFont", -1 } } << 40 << 0;
    }
    void printerSettings()
    {
        QFETCH(QVariantMap, map);
        QFETCH(int, symbols);
        QFETCH(int, font);
        const FrPrinterSettings settings(map);
        QCOMPARE(settings.symbolsPerLine(), symbols);
        QCOMPARE(settings.baseFont(), font);
        QCOMPARE(FrPrinterSettings(settings.toMap()), settings);
    }
};

QTEST_GUILESS_MAIN(TestCoreSettings)
#include "tst_coresettings.moc"
