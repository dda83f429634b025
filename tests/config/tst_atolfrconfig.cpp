#include "atolfrconfig.h"

#include <QtTest>

class tst_AtolFrConfig : public QObject
{
    Q_OBJECT
private slots:
    void plainMap_data();
    void plainMap();
    void nestedWithoutCom();
    void portSettingsEnums_data();
    void portSettingsEnums();
    void portSettingsSetters();
    void defaultPortRoundTrip();
    void tcpBlankHost();
    void transportRange_data();
    void transportRange();
    void equality();
    void copyIsDeep();
    void moveSwaps();
    void nestedRoundTrip();
};

void tst_AtolFrConfig::plainMap_data()
{
    QTest::addColumn<QVariantMap>("input");
    QTest::addColumn<int>("transport");
    QTest::addColumn<bool>("hasPort");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("tcpPort");
    QTest::addColumn<QVariantMap>("plain");

    QTest::newRow("com in lower case with blanks")
            << QVariantMap{{"transport", "  com "}, {"portName", "/dev/ttyS0"}, {"baudrate", "57600"}}
            << 1 << true << QString() << 0
            << QVariantMap{{"transport", "RS232"}, {"portName", "/dev/ttyS0"}, {"baudrate", 57600u},
                           {"dataBits", 8}, {"parity", "NONE"}, {"stopBits", "STOP_1"},
                           {"flowControl", "NO"}};
    QTest::newRow("comport")
            << QVariantMap{{"transport", "ComPort"}} << 1 << true << QString() << 0
            << QVariantMap{{"transport", "RS232"}, {"portName", ""}, {"baudrate", 115200u},
                           {"dataBits", 8}, {"parity", "NONE"}, {"stopBits", "STOP_1"},
                           {"flowControl", "NO"}};
    QTest::newRow("tcp without host ignores port")
            << QVariantMap{{"transport", "TCP"}, {"port", 5555}} << 2 << false << QString() << 0
            << QVariantMap{{"transport", "TCP"}};
    QTest::newRow("tcp with host")
            << QVariantMap{{"transport", "tcp"}, {"host", " 10.0.0.5 "}, {"port", "5555"}}
            << 2 << false << QString("10.0.0.5") << 5555
            << QVariantMap{{"transport", "TCP"}, {"host", "10.0.0.5"}, {"port", 5555}};
    QTest::newRow("tcp port cut to 16 bits")
            << QVariantMap{{"transport", "TCP"}, {"host", "h"}, {"port", 65536 + 80}}
            << 2 << false << QString("h") << 80
            << QVariantMap{{"transport", "TCP"}, {"host", "h"}, {"port", 80}};
    QTest::newRow("tcp port not a number")
            << QVariantMap{{"transport", "TCP"}, {"host", "h"}, {"port", "eighty"}}
            << 2 << false << QString("h") << 0
            << QVariantMap{{"transport", "TCP"}, {"host", "h"}, {"port", 0}};
    QTest::newRow("usb reads nothing more")
            << QVariantMap{{"transport", "USB"}, {"host", "h"}, {"libPath", " /opt/atol "}, {"conPas", " 30 "}}
            << 3 << false << QString() << 0
            << QVariantMap{{"transport", "USB"}, {"libPath", "/opt/atol"}, {"conPas", "30"}};
    QTest::newRow("unknown transport")
            << QVariantMap{{"transport", "bluetooth"}, {"libPath", "x"}} << 0 << false << QString() << 0
            << QVariantMap{{"libPath", "x"}};
    QTest::newRow("empty map") << QVariantMap() << 0 << false << QString() << 0 << QVariantMap();
}

void tst_AtolFrConfig::plainMap()
{
    QFETCH(QVariantMap, input);
    AtolFrConfig config;
    config.setPlainMap(input);
    QTEST(int(config.transport()), "transport");
    QTEST(!config.port().isNull(), "hasPort");
    QTEST(config.tcpHost(), "host");
    QTEST(int(config.tcpPort()), "tcpPort");
    QFETCH(QVariantMap, plain);
    QCOMPARE(config.toPlainMap(), plain);

    // What was written reads back to the same configuration.
    AtolFrConfig again;
    again.setPlainMap(config.toPlainMap());
    QVERIFY(again == config);
}

void tst_AtolFrConfig::nestedWithoutCom()
{
    AtolFrConfig config;
    config.setMap({{"transport", "RS232"}, {"portName", "/dev/ttyS0"}, {"libPath", "/lib"}, {"conPas", "p"}});
    QCOMPARE(int(config.transport()), 1);
    QVERIFY(config.port().isNull());
    const QVariantMap expected{{"transport", "RS232"}, {"libPath", "/lib"}, {"conPas", "p"}};
    QCOMPARE(config.toPlainMap(), expected);
    QCOMPARE(config.toMap(), expected);
}

void tst_AtolFrConfig::portSettingsEnums_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("logged");

    QTest::newRow("parity even lower case") << "parity" << QVariant("even") << 2 << false;
    QTest::newRow("parity odd") << "parity" << QVariant(" ODD ") << 3 << false;
    QTest::newRow("parity space") << "parity" << QVariant("space") << 4 << false;
    QTest::newRow("parity mark") << "parity" << QVariant("Mark") << 5 << false;
    QTest::newRow("parity none") << "parity" << QVariant("none") << 0 << false;
    QTest::newRow("parity single letter") << "parity" << QVariant("N") << 0 << true;
    QTest::newRow("parity as a number") << "parity" << QVariant(2) << 0 << true;
    QTest::newRow("stop 1.5") << "stopBits" << QVariant("stop_15") << 3 << false;
    QTest::newRow("stop 2") << "stopBits" << QVariant("STOP_2") << 2 << false;
    QTest::newRow("stop 1") << "stopBits" << QVariant("STOP_1") << 1 << false;
    QTest::newRow("stop unknown") << "stopBits" << QVariant("two") << 1 << true;
    QTest::newRow("flow hardware") << "flowControl" << QVariant("hardware") << 1 << false;
    QTest::newRow("flow software") << "flowControl" << QVariant("SOFTWARE ") << 2 << false;
    QTest::newRow("flow NO") << "flowControl" << QVariant("NO") << 0 << false;
    QTest::newRow("flow NONE is no") << "flowControl" << QVariant("NONE") << 0 << false;
    QTest::newRow("flow unknown") << "flowControl" << QVariant("RTS") << 0 << true;
    QTest::newRow("data bits 5") << "dataBits" << QVariant(5) << 5 << false;
    QTest::newRow("data bits 7 as text") << "dataBits" << QVariant("7") << 7 << false;
    QTest::newRow("data bits 4") << "dataBits" << QVariant(4) << 8 << true;
    QTest::newRow("data bits 9") << "dataBits" << QVariant(9) << 8 << true;
    QTest::newRow("data bits 1000") << "dataBits" << QVariant(1000) << 8 << true;
    QTest::newRow("data bits -1") << "dataBits" << QVariant(-1) << 8 << true;
    QTest::newRow("data bits not a number") << "dataBits" << QVariant("many") << 8 << true;
    QTest::newRow("baud rate") << "baudrate" << QVariant("9600") << 9600 << false;
    QTest::newRow("baudRate spelled otherwise is ignored") << "baudRate" << QVariant(9600) << 115200 << false;
}

void tst_AtolFrConfig::portSettingsEnums()
{
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    QFETCH(int, expected);
    QFETCH(bool, logged);
    if (logged)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Serial setting " + key + " .* is not supported"));
    const PortSettings port(QVariantMap{{key, value}});
    int actual = -1;
    if (key == QLatin1String("parity"))
        actual = port.parity();
    else if (key == QLatin1String("stopBits"))
        actual = port.stopBits();
    else if (key == QLatin1String("flowControl"))
        actual = port.flowControl();
    else if (key == QLatin1String("dataBits"))
        actual = port.dataBits();
    else
        actual = int(port.baudRate());
    QCOMPARE(actual, expected);
}

// A value outside what a serial line has is never kept, whoever sets it.
void tst_AtolFrConfig::portSettingsSetters()
{
    PortSettings port;
    port.setDataBits(QSerialPort::Data7);
    port.setParity(QSerialPort::EvenParity);
    port.setStopBits(QSerialPort::TwoStop);
    port.setFlowControl(QSerialPort::SoftwareControl);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Serial setting dataBits -1 is not supported"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Serial setting parity -1 is not supported"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Serial setting stopBits -1 is not supported"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Serial setting flowControl -1 is not supported"));
    port.setDataBits(QSerialPort::UnknownDataBits);
    port.setParity(QSerialPort::UnknownParity);
    port.setStopBits(QSerialPort::UnknownStopBits);
    port.setFlowControl(QSerialPort::UnknownFlowControl);
    QCOMPARE(port, PortSettings());
}

void tst_AtolFrConfig::defaultPortRoundTrip()
{
    const PortSettings port;
    const QVariantMap map = port.toMap();
    QCOMPARE(map.value("parity").toString(), QString("NONE"));
    QCOMPARE(map.value("stopBits").toString(), QString("STOP_1"));
    QCOMPARE(map.value("flowControl").toString(), QString("NO"));
    QVERIFY(PortSettings(map) == port);

    PortSettings odd;
    odd.setPortName(" /dev/ttyUSB0 ");
    odd.setBaudRate(19200);
    odd.setDataBits(QSerialPort::Data7);
    odd.setParity(QSerialPort::MarkParity);
    odd.setStopBits(QSerialPort::OneAndHalfStop);
    odd.setFlowControl(QSerialPort::SoftwareControl);
    QVERIFY(PortSettings(odd.toMap()) == odd);
    QCOMPARE(PortSettings(odd.toMap()).portName(), QString(" /dev/ttyUSB0 "));
}

void tst_AtolFrConfig::tcpBlankHost()
{
    AtolFrConfig config;
    config.setTransport(AtolFrConfig::TransportTcp);
    config.setTcpHost("   ");
    config.setTcpPort(5555);
    QCOMPARE(config.toPlainMap(), (QVariantMap{{"transport", "TCP"}}));
}

void tst_AtolFrConfig::transportRange_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("stored");
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("3") << 3 << 3;
    QTest::newRow("4") << 4 << 0;
    QTest::newRow("255") << 255 << 0;
    QTest::newRow("negative") << -1 << 0;
}

void tst_AtolFrConfig::transportRange()
{
    QFETCH(int, value);
    AtolFrConfig config;
    config.setTransport(value);
    QTEST(int(config.transport()), "stored");
}

void tst_AtolFrConfig::equality()
{
    AtolFrConfig a;
    a.setPlainMap({{"transport", "RS232"}, {"portName", "/dev/ttyS0"}, {"stopBits", "STOP_1"}});
    AtolFrConfig b;
    b.setPlainMap({{"transport", "RS232"}, {"portName", "/dev/ttyS0"}, {"stopBits", "STOP_2"}});
    QVERIFY(a != b);
    b.port()->setStopBits(QSerialPort::OneStop);
    QVERIFY(a == b);

    AtolFrConfig noPort;
    noPort.setTransport(AtolFrConfig::TransportRs232);
    AtolFrConfig withPort = noPort;
    withPort.setPort(QSharedPointer<PortSettings>::create());
    QVERIFY(noPort != withPort);
    QVERIFY(withPort != noPort);
    QVERIFY(noPort == AtolFrConfig(noPort));
}

void tst_AtolFrConfig::copyIsDeep()
{
    AtolFrConfig first;
    first.setPlainMap({{"transport", "RS232"}, {"portName", "/dev/ttyS0"}});
    AtolFrConfig copy(first);
    copy.port()->setPortName("/dev/ttyS1");
    QCOMPARE(first.port()->portName(), QString("/dev/ttyS0"));

    AtolFrConfig assigned;
    assigned = first;
    assigned.port()->setBaudRate(300);
    QCOMPARE(first.port()->baudRate(), 115200u);
    QVERIFY(first.port() != assigned.port());
}

void tst_AtolFrConfig::moveSwaps()
{
    AtolFrConfig source;
    source.setPlainMap({{"transport", "TCP"}, {"host", "h"}, {"port", 1}});
    AtolFrConfig target(std::move(source));
    QCOMPARE(target.tcpHost(), QString("h"));
    QCOMPARE(int(target.transport()), 2);
}

void tst_AtolFrConfig::nestedRoundTrip()
{
    const QVariantMap nested{{"transport", "RS232"},
                             {"com", QVariantMap{{"portName", "/dev/ttyS3"}, {"baudrate", 9600},
                                                 {"parity", "EVEN"}, {"stopBits", "STOP_2"},
                                                 {"flowControl", "HARDWARE"}, {"dataBits", 7}}},
                             {"libPath", "/opt/atol"}};
    AtolFrConfig config;
    config.setMap(nested);
    QCOMPARE(config.port()->baudRate(), 9600u);
    const QVariantMap written = config.toMap();
    QCOMPARE(written.value("com").toMap().value("parity").toString(), QString("EVEN"));
    AtolFrConfig again;
    again.setMap(written);
    QVERIFY(again == config);
    // The flat form of the same configuration reads back equal as well.
    AtolFrConfig flat;
    flat.setPlainMap(config.toPlainMap());
    QVERIFY(flat == config);
}

QTEST_GUILESS_MAIN(tst_AtolFrConfig)
#include "tst_atolfrconfig.moc"
