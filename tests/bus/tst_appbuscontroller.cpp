#include "testbuspeer.h"

#include <appbuscontroller.h>
#include <sharedobjectsstorage.h>

#include <QtEndian>
#include <QtTest>

using bus::AppBusCommand;
using bus::AppBusController;
using bus::AppBusObject;

namespace {

bus::AppBusTimings quickTimings()
{
    bus::AppBusTimings timings;
    timings.keepAliveMs = 60000;
    timings.frameTimeoutMs = 300;
    timings.connectTimeoutMs = 1000;
    timings.reconnectMs = 100;
    timings.loadTimeoutMs = 1000;
    return timings;
}

int helloCount(const TestBusPeer &peer, const QString &channel)
{
    int count = 0;
    for (const QJsonObject &frame : peer.received)
        count += frame.value("type") == "hello" && frame.value("channel") == channel;
    return count;
}

QJsonObject findFrame(const TestBusPeer &peer, const QString &type, const QString &uid)
{
    for (const QJsonObject &frame : peer.received) {
        if (frame.value("type") == type && frame.value("uid") == uid)
            return frame;
    }
    return QJsonObject();
}

} // namespace

class TestAppBusController : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void joinsBothPortsUnderItsName();
    void pushedCommandIsAnnouncedAndAnsweredAsUnhandled();
    void pushedObjectIsStored();
    void loadObjectFetchesByName();
    void commandsLeaveAndAnswersReturnOnTheQueryPort();
    void peerThatComesUpLaterIsJoined();
    void peerThatGoesAwayIsJoinedAgain();
    void newAddressRestartsOnIt();
    void sameAddressKeepsTheLinks();
    void badInputClosesAndReconnects_data();
    void badInputClosesAndReconnects();
    void stalledHalfFrameIsDropped();
    void floodIsProcessedInOrder();
    void peerThatNeverGreetsIsRetried();
    void keepAlivePingsAQuietPeer();

private:
    void join(AppBusController &controller, TestBusPeer &peer);

    TestBusPeer *m_peer = nullptr;
};

void TestAppBusController::init()
{
    bus::SharedObjectsStorage().clear();
    m_peer = new TestBusPeer(this);
    QVERIFY(m_peer->listen());
}

void TestAppBusController::cleanup()
{
    delete m_peer;
    m_peer = nullptr;
}

void TestAppBusController::join(AppBusController &controller, TestBusPeer &peer)
{
    controller.setTimings(quickTimings());
    controller.setBus("127.0.0.1", peer.msgPort(), peer.queryPort());
    QTRY_COMPARE(peer.welcomedCount("msg"), 1);
    QTRY_COMPARE(peer.welcomedCount("query"), 1);
}

void TestAppBusController::joinsBothPortsUnderItsName()
{
    AppBusController controller(300000, "tester");
    QSignalSpy msgSpy(&controller, &AppBusController::msgConnectionChanged);
    QSignalSpy querySpy(&controller, &AppBusController::queryConnectionChanged);
    join(controller, *m_peer);
    QCOMPARE(m_peer->lastHello("msg").value("client").toString(), QStringLiteral("tester"));
    QCOMPARE(m_peer->lastHello("query").value("client").toString(), QStringLiteral("tester"));
    QTRY_COMPARE(msgSpy.count(), 1);
    QTRY_COMPARE(querySpy.count(), 1);
    QCOMPARE(msgSpy.at(0).at(0).toBool(), true);
    QCOMPARE(querySpy.at(0).at(0).toBool(), true);
    QVERIFY(controller.isRunning());
}

void TestAppBusController::pushedCommandIsAnnouncedAndAnsweredAsUnhandled()
{
    AppBusController controller(300000, "tester");
    QSignalSpy spy(&controller, &AppBusController::commandReceived);
    join(controller, *m_peer);

    AppBusCommand command;
    command.setName("doSomething");
    command.setUid("push-1");
    command.setSender("cashboxcore");
    command.setReciever("tester");
    command.setNeedAnswer(true);
    command.setParams({ { "a", 1 } });
    m_peer->sendFrame("msg", command.toJson());

    QTRY_COMPARE(spy.count(), 1);
    const auto received = spy.at(0).at(0).value<AppBusCommand>();
    QCOMPARE(received.name(), QStringLiteral("doSomething"));
    QCOMPARE(received.params().value("a").toInt(), 1);
    QTRY_VERIFY(!findFrame(*m_peer, "answer", "push-1").isEmpty());
    const QJsonObject answer = findFrame(*m_peer, "answer", "push-1");
    QVERIFY(answer.value("params").toObject().value("error").toString().contains("doSomething"));
    QCOMPARE(answer.value("receiver").toString(), QStringLiteral("cashboxcore"));
}

void TestAppBusController::pushedObjectIsStored()
{
    AppBusController controller(300000, "tester");
    QSignalSpy spy(&controller, &AppBusController::objectReceived);
    join(controller, *m_peer);
    m_peer->sendFrame("msg", AppBusObject("fs.status", { { "phase", 3 } }).toJson());
    QTRY_COMPARE(spy.count(), 1);
    AppBusObject stored;
    QVERIFY(bus::SharedObjectsStorage().get("fs.status", stored));
    QCOMPARE(stored.content().value("phase").toInt(), 3);
}

void TestAppBusController::loadObjectFetchesByName()
{
    m_peer->objects.insert("reg.data", { { "serial", "0001" } });
    AppBusController controller(300000, "tester");
    QSignalSpy spy(&controller, &AppBusController::objectLoaded);
    join(controller, *m_peer);

    emit controller.loadObject("missing");
    emit controller.loadObject("reg.data");
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<AppBusObject>().name(), QStringLiteral("reg.data"));
    AppBusObject stored;
    QVERIFY(bus::SharedObjectsStorage().get("reg.data", stored));
    QCOMPARE(stored.content().value("serial").toString(), QStringLiteral("0001"));
    QVERIFY(!bus::SharedObjectsStorage().contains("missing"));
    // A missing object is an answer, not a broken link.
    QCOMPARE(m_peer->welcomedCount("query"), 1);
}

void TestAppBusController::commandsLeaveAndAnswersReturnOnTheQueryPort()
{
    m_peer->onCommand = [](const QJsonObject &command, bool &) {
        return QVariantMap{ { "echo", command.value("params").toObject().value("x").toInt() * 2 } };
    };
    AppBusController controller(300000, "tester");
    QSignalSpy spy(&controller, &AppBusController::answerReceived);
    join(controller, *m_peer);

    AppBusCommand command;
    command.setName("double");
    command.setUid("q-1");
    command.setReciever("cashboxcore");
    command.setParams({ { "x", 21 } });
    emit controller.sendCommand(command);
    QTRY_COMPARE(spy.count(), 1);
    const auto answer = spy.at(0).at(0).value<AppBusCommand>();
    QCOMPARE(answer.uid(), QStringLiteral("q-1"));
    QCOMPARE(answer.params().value("echo").toInt(), 42);
    // The sender is filled in with the client's name.
    QCOMPARE(findFrame(*m_peer, "command", "q-1").value("sender").toString(), QStringLiteral("tester"));
}

void TestAppBusController::peerThatComesUpLaterIsJoined()
{
    const quint16 msgPort = m_peer->msgPort();
    const quint16 queryPort = m_peer->queryPort();
    m_peer->closeListeners();

    AppBusController controller(300000, "tester");
    controller.setTimings(quickTimings());
    QSignalSpy spy(&controller, &AppBusController::queryConnectionChanged);
    controller.setBus("127.0.0.1", msgPort, queryPort);
    QVERIFY(controller.isRunning());
    QVERIFY(!spy.wait(300));

    QVERIFY(m_peer->listen(msgPort, queryPort));
    QTRY_COMPARE(m_peer->welcomedCount("msg"), 1);
    QTRY_COMPARE(m_peer->welcomedCount("query"), 1);
    QTRY_COMPARE(spy.count(), 1);
}

void TestAppBusController::peerThatGoesAwayIsJoinedAgain()
{
    AppBusController controller(300000, "tester");
    QSignalSpy msgSpy(&controller, &AppBusController::msgConnectionChanged);
    QSignalSpy querySpy(&controller, &AppBusController::queryConnectionChanged);
    join(controller, *m_peer);
    m_peer->dropClients();
    QCOMPARE(m_peer->welcomedCount("msg"), 0);
    QTRY_COMPARE(m_peer->welcomedCount("msg"), 1);
    QTRY_COMPARE(m_peer->welcomedCount("query"), 1);
    QTRY_COMPARE(msgSpy.count(), 3);
    QTRY_COMPARE(querySpy.count(), 3);
    QCOMPARE(msgSpy.at(1).at(0).toBool(), false);
    QCOMPARE(msgSpy.at(2).at(0).toBool(), true);
    QCOMPARE(querySpy.at(1).at(0).toBool(), false);
}

void TestAppBusController::newAddressRestartsOnIt()
{
    AppBusController controller(300000, "tester");
    join(controller, *m_peer);
    TestBusPeer other;
    QVERIFY(other.listen());
    controller.setBus("127.0.0.1", other.msgPort(), other.queryPort());
    QTRY_COMPARE(other.welcomedCount("msg"), 1);
    QTRY_COMPARE(other.welcomedCount("query"), 1);
    QTRY_COMPARE(m_peer->welcomedCount("msg"), 0);
    QTRY_COMPARE(m_peer->welcomedCount("query"), 0);
    QCOMPARE(controller.msgPort(), other.msgPort());
    QCOMPARE(controller.workerCount(), 2);
}

void TestAppBusController::sameAddressKeepsTheLinks()
{
    AppBusController controller(300000, "tester");
    join(controller, *m_peer);
    controller.setBus("127.0.0.1", m_peer->msgPort(), m_peer->queryPort());
    // A ping round trip proves the links are still the first ones.
    m_peer->sendFrame("query", { { "type", "ping" } });
    QTRY_VERIFY(std::any_of(m_peer->received.cbegin(), m_peer->received.cend(),
                            [](const QJsonObject &f) { return f.value("type") == "pong"; }));
    QCOMPARE(helloCount(*m_peer, "msg"), 1);
    QCOMPARE(helloCount(*m_peer, "query"), 1);
}

void TestAppBusController::badInputClosesAndReconnects_data()
{
    QTest::addColumn<QString>("channel");
    QTest::addColumn<QByteArray>("bytes");
    QByteArray oversize(4, Qt::Uninitialized);
    qToBigEndian<quint32>(16 * 1024 * 1024 + 1, oversize.data());
    QByteArray notJson = QByteArray(4, Qt::Uninitialized) + "not json";
    qToBigEndian<quint32>(8, notJson.data());
    const QByteArray badCommand = bus::AppBusFrameReader::encode({ { "type", "command" }, { "name", "x" } });
    const QByteArray badAnswer = bus::AppBusFrameReader::encode({ { "type", "answer" }, { "uid", "1" } });
    const QByteArray unknown = bus::AppBusFrameReader::encode({ { "type", "gossip" } });
    QTest::newRow("msg: not JSON") << "msg" << notJson;
    QTest::newRow("msg: oversize") << "msg" << oversize;
    QTest::newRow("msg: command without uid") << "msg" << badCommand;
    QTest::newRow("msg: unknown frame") << "msg" << unknown;
    QTest::newRow("query: not JSON") << "query" << notJson;
    QTest::newRow("query: oversize") << "query" << oversize;
    QTest::newRow("query: answer without name") << "query" << badAnswer;
    QTest::newRow("query: unknown frame") << "query" << unknown;
}

void TestAppBusController::badInputClosesAndReconnects()
{
    QFETCH(QString, channel);
    QFETCH(QByteArray, bytes);
    AppBusController controller(300000, "tester");
    join(controller, *m_peer);
    m_peer->sendRaw(channel, bytes);
    QTRY_COMPARE(helloCount(*m_peer, channel), 2);
    QTRY_COMPARE(m_peer->welcomedCount(channel), 1);
    // The other port is not disturbed.
    const QString otherChannel = channel == "msg" ? "query" : "msg";
    QCOMPARE(helloCount(*m_peer, otherChannel), 1);
}

void TestAppBusController::stalledHalfFrameIsDropped()
{
    AppBusController controller(300000, "tester");
    join(controller, *m_peer);
    const QByteArray frame = bus::AppBusFrameReader::encode(AppBusObject("x", { { "a", 1 } }).toJson());
    QElapsedTimer timer;
    timer.start();
    m_peer->sendRaw("msg", frame.left(frame.size() / 2));
    QTRY_COMPARE(helloCount(*m_peer, "msg"), 2);
    // Not before the frame time-out.
    QVERIFY(timer.elapsed() >= quickTimings().frameTimeoutMs);
    QVERIFY(!bus::SharedObjectsStorage().contains("x"));
}

void TestAppBusController::floodIsProcessedInOrder()
{
    AppBusController controller(300000, "tester");
    QSignalSpy spy(&controller, &AppBusController::objectReceived);
    join(controller, *m_peer);
    QByteArray flood;
    constexpr int Count = 5000;
    for (int i = 0; i < Count; ++i)
        flood += bus::AppBusFrameReader::encode(AppBusObject("counter", { { "n", i } }).toJson());
    m_peer->sendRaw("msg", flood);
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), Count, 20000);
    QCOMPARE(spy.last().at(0).value<AppBusObject>().content().value("n").toInt(), Count - 1);
    AppBusObject stored;
    QVERIFY(bus::SharedObjectsStorage().get("counter", stored));
    QCOMPARE(stored.content().value("n").toInt(), Count - 1);
    QCOMPARE(helloCount(*m_peer, "msg"), 1);
}

void TestAppBusController::peerThatNeverGreetsIsRetried()
{
    m_peer->greet = false;
    AppBusController controller(300000, "tester");
    controller.setTimings(quickTimings());
    QSignalSpy spy(&controller, &AppBusController::queryConnectionChanged);
    controller.setBus("127.0.0.1", m_peer->msgPort(), m_peer->queryPort());
    QTRY_VERIFY_WITH_TIMEOUT(helloCount(*m_peer, "query") >= 2, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(helloCount(*m_peer, "msg") >= 2, 10000);
    QCOMPARE(spy.count(), 0);
    m_peer->greet = true;
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 10000);
}

void TestAppBusController::keepAlivePingsAQuietPeer()
{
    AppBusController controller(200, "tester");
    bus::AppBusTimings timings = quickTimings();
    timings.keepAliveMs = 200;
    controller.setTimings(timings);
    controller.setBus("127.0.0.1", m_peer->msgPort(), m_peer->queryPort());
    QTRY_COMPARE(m_peer->welcomedCount("msg"), 1);
    QTRY_VERIFY(std::count_if(m_peer->received.cbegin(), m_peer->received.cend(),
                              [](const QJsonObject &f) { return f.value("type") == "ping"; })
                >= 4);
    // The pongs keep the links up.
    QCOMPARE(helloCount(*m_peer, "msg"), 1);
    QCOMPARE(helloCount(*m_peer, "query"), 1);
}

QTEST_MAIN(TestAppBusController)
#include "tst_appbuscontroller.moc"
