#include "announcer.h"
#include "cashboxfinder.h"
#include "simrunner.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>

// The simulator's discovery answer, checked on its own and against the
// service's finder, all on loopback.
class TestAnnouncer : public QObject
{
    Q_OBJECT
private slots:
    void parseIdentity_data();
    void parseIdentity();
    void takeOption_data();
    void takeOption();
    void description();
    void answersQuery();
    void ignoresOtherDatagrams_data();
    void ignoresOtherDatagrams();
    void foundByFinder();
    void sharedQueryPort();
    void simulatorAnnounces();
    void simulatorRefusesBadIdentity();
};

void TestAnnouncer::parseIdentity_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("model");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("name");

    QTest::newRow("plain") << "5:A1:X" << true << 5 << "A1" << "X";
    QTest::newRow("colon in name") << "12:0012:Ostrak 01:F" << true << 12 << "0012" << "Ostrak 01:F";
    QTest::newRow("largest model") << "65535:S:N" << true << 65535 << "S" << "N";
    QTest::newRow("model 0") << "0:A1:X" << false << 0 << "" << "";
    QTest::newRow("model too big") << "65536:A1:X" << false << 0 << "" << "";
    QTest::newRow("negative model") << "-5:A1:X" << false << 0 << "" << "";
    QTest::newRow("model not a number") << "five:A1:X" << false << 0 << "" << "";
    QTest::newRow("no serial") << "5::X" << false << 0 << "" << "";
    QTest::newRow("no name") << "5:A1:" << false << 0 << "" << "";
    QTest::newRow("two parts") << "5:A1" << false << 0 << "" << "";
    QTest::newRow("empty") << "" << false << 0 << "" << "";
}

void TestAnnouncer::parseIdentity()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, model);
    QFETCH(QString, serial);
    QFETCH(QString, name);

    Announcer::Identity identity;
    QString error;
    QCOMPARE(Announcer::parseIdentity(text, identity, error), ok);
    QCOMPARE(error.isEmpty(), ok);
    if (ok) {
        QCOMPARE(int(identity.model), model);
        QCOMPARE(identity.serial, serial);
        QCOMPARE(identity.name, name);
    }
}

void TestAnnouncer::takeOption_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("announcing");
    QTest::addColumn<QStringList>("left");

    QTest::newRow("absent") << QStringList{"sim", "--msg-port", "0"} << true << false
                            << QStringList{"sim", "--msg-port", "0"};
    QTest::newRow("separate value") << QStringList{"sim", "--announce", "5:A1:X", "--delay-ms", "3"}
                                    << true << true << QStringList{"sim", "--delay-ms", "3"};
    QTest::newRow("joined value") << QStringList{"sim", "--msg-port", "0", "--announce=5:A1:X"}
                                  << true << true << QStringList{"sim", "--msg-port", "0"};
    QTest::newRow("program name is not an option")
        << QStringList{"--announce", "sim"} << true << false << QStringList{"--announce", "sim"};
    QTest::newRow("missing value") << QStringList{"sim", "--announce"} << false << false
                                   << QStringList{};
    QTest::newRow("bad value") << QStringList{"sim", "--announce", "0:A1:X"} << false << false
                               << QStringList{};
}

void TestAnnouncer::takeOption()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, ok);
    QFETCH(bool, announcing);
    QFETCH(QStringList, left);

    Announcer announcer;
    QString error;
    QCOMPARE(announcer.takeOption(arguments, error), ok);
    QCOMPARE(error.isEmpty(), ok);
    QCOMPARE(announcer.isAnnouncing(), announcing);
    if (ok)
        QCOMPARE(arguments, left);
    if (announcing)
        QCOMPARE(announcer.description(), (QVariantMap{{"m", 5}, {"sn", "A1"}, {"nm", "X"}}));
}

void TestAnnouncer::description()
{
    Announcer announcer;
    announcer.setIdentity({5, "A1", "Ostrak"});
    QCOMPARE(announcer.description(), (QVariantMap{{"m", 5}, {"sn", "A1"}, {"nm", "Ostrak"}}));

    announcer.setRegistration("0000000001012345", "7700000000");
    announcer.setBusPorts(4001, 4002);
    announcer.setHttpPort(8080);
    const QJsonDocument answer = QJsonDocument::fromJson(announcer.answer());
    QVERIFY(answer.isObject());
    const QVariantMap expected{{"m", 5}, {"sn", "A1"}, {"nm", "Ostrak"},
                               {"rn", "0000000001012345"}, {"inn", "7700000000"},
                               {"busM", 4001}, {"busQ", 4002}, {"http", 8080}};
    QCOMPARE(answer.object().toVariantMap(),
             (QVariantMap{{"zelvoautoconf", expected}}));
}

void TestAnnouncer::answersQuery()
{
    QUdpSocket client;
    QVERIFY(client.bind(QHostAddress(QHostAddress::LocalHost), 0));

    Announcer announcer;
    announcer.setIdentity({7, "S-7", "Sim"});
    announcer.setBusPorts(5001, 5002);
    QString error;
    QVERIFY2(announcer.start(0, client.localPort(), error), qPrintable(error));
    QVERIFY(announcer.listenPort() != 0);

    // The answer goes to the answer port, not back to the sending port.
    QUdpSocket sender;
    QCOMPARE(sender.writeDatagram("searchcashbox", QHostAddress::LocalHost, announcer.listenPort()),
             qint64(13));
    QTRY_VERIFY(client.hasPendingDatagrams());
    const QNetworkDatagram received = client.receiveDatagram();
    QCOMPARE(received.data(), announcer.answer());
    QCOMPARE(quint16(received.senderPort()), announcer.listenPort());
    QCOMPARE(announcer.answered(), 1);

    announcer.stop();
    QVERIFY(!announcer.isRunning());
    QCOMPARE(announcer.listenPort(), quint16(0));
}

void TestAnnouncer::ignoresOtherDatagrams_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("with terminator") << QByteArray("searchcashbox", 14);
    QTest::newRow("upper case") << QByteArray("SEARCHCASHBOX");
    QTest::newRow("prefix") << QByteArray("searchcash");
    QTest::newRow("answer of another cashbox") << QByteArray(R"({"zelvoautoconf":{"m":5}})");
    QTest::newRow("large") << QByteArray(60000, 's');
}

void TestAnnouncer::ignoresOtherDatagrams()
{
    QFETCH(QByteArray, datagram);
    QUdpSocket client;
    QVERIFY(client.bind(QHostAddress(QHostAddress::LocalHost), 0));
    Announcer announcer;
    announcer.setIdentity({7, "S-7", "Sim"});
    QString error;
    QVERIFY2(announcer.start(0, client.localPort(), error), qPrintable(error));

    // A real query after the other datagram: once its answer is in, the
    // other datagram has been read and produced nothing.
    QUdpSocket sender;
    QCOMPARE(sender.writeDatagram(datagram, QHostAddress::LocalHost, announcer.listenPort()),
             qint64(datagram.size()));
    sender.writeDatagram("searchcashbox", QHostAddress::LocalHost, announcer.listenPort());
    QTRY_COMPARE(announcer.answered(), 1);
    QTRY_VERIFY(client.hasPendingDatagrams());
    QCOMPARE(client.receiveDatagram().data(), announcer.answer());
    QVERIFY(!client.hasPendingDatagrams());
}

void TestAnnouncer::foundByFinder()
{
    CashboxFinder finder;
    finder.setAnswerPort(0);
    finder.cleanAndInit();

    Announcer announcer;
    announcer.setIdentity({12, "0012", "Ostrak"});
    announcer.setBusPorts(4101, 4102);
    QString error;
    QVERIFY2(announcer.start(0, finder.answerPort(), error), qPrintable(error));
    finder.setQueryTarget(QHostAddress::LocalHost, announcer.listenPort());

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Discovery answer .*zelvoautoconf"));
    finder.sendBroadCast();
    QTRY_VERIFY(CashboxFinder::cashboxes().contains("12##0012"));
    const FindedCashbox found = CashboxFinder::cashboxes().value("12##0012");
    QCOMPARE(found.modelName(), QString("Ostrak"));
    QCOMPARE(found.ip(), QHostAddress("127.0.0.1"));
    QCOMPARE(found.busMsgPort(), quint16(4101));
    QCOMPARE(found.busQueryPort(), quint16(4102));
}

void TestAnnouncer::sharedQueryPort()
{
    // Another listener on the query port does not keep the simulator from
    // starting, nor the other way round.
    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress::AnyIPv4, Announcer::QUERY_PORT,
                       QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
    Announcer announcer;
    announcer.setIdentity({7, "S-7", "Sim"});
    QString error;
    QVERIFY2(announcer.start(error), qPrintable(error));
    QCOMPARE(announcer.listenPort(), quint16(43785));
}

void TestAnnouncer::simulatorAnnounces()
{
    const QString serial = QStringLiteral("SIM-%1").arg(QCoreApplication::applicationPid());
    SimRunner sim;
    QVERIFY(sim.start({"--announce", "12:" + serial + ":Ostrak Sim"}));

    // The answer goes to port 43786 of the querying address. Other programs
    // here may listen on that port on every address; a socket bound to this
    // very address is the one the answer is delivered to.
    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress("127.0.0.2"), Announcer::ANSWER_PORT,
                          QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
    QVariantMap found;
    QTimer queries;
    connect(&queries, &QTimer::timeout, this, [&listener] {
        listener.writeDatagram("searchcashbox", QHostAddress::LocalHost, Announcer::QUERY_PORT);
    });
    connect(&listener, &QUdpSocket::readyRead, this, [&listener, &found, &serial] {
        while (listener.hasPendingDatagrams()) {
            const QVariantMap description = QJsonDocument::fromJson(listener.receiveDatagram().data())
                                                .object()
                                                .toVariantMap()
                                                .value("zelvoautoconf")
                                                .toMap();
            if (description.value("sn") == serial)
                found = description;
        }
    });
    queries.start(200);
    QTRY_VERIFY_WITH_TIMEOUT(!found.isEmpty(), 10000);
    queries.stop();

    QCOMPARE(found.value("m").toInt(), 12);
    QCOMPARE(found.value("nm").toString(), QString("Ostrak Sim"));
    QCOMPARE(found.value("busM").toString(), QString::number(sim.msgPort()));
    QCOMPARE(found.value("busQ").toString(), QString::number(sim.queryPort()));

    sim.process().terminate();
    QVERIFY(sim.process().waitForFinished(10000));
}

void TestAnnouncer::simulatorRefusesBadIdentity()
{
    SimRunner sim;
    QVERIFY(!sim.start({"--announce", "0:X:Y"}));
    QTRY_COMPARE_WITH_TIMEOUT(sim.process().state(), QProcess::NotRunning, 15000);
    QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process().exitCode(), 2);
    QVERIFY(sim.log().contains("--announce"));
}

QTEST_GUILESS_MAIN(TestAnnouncer)
#include "tst_announcer.moc"
