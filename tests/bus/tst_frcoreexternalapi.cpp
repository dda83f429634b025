#include "testbuspeer.h"

#include <appbuscontroller.h>
#include <appbuspendinganswers.h>
#include <frcoreexternalapi.h>

#include <QAtomicInt>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <vector>

using bus::AppBusCommand;
using core::FrcoreExternalApi;

namespace {

bus::AppBusTimings quickTimings()
{
    bus::AppBusTimings timings;
    timings.frameTimeoutMs = 1000;
    timings.connectTimeoutMs = 1000;
    timings.reconnectMs = 100;
    return timings;
}

// Runs the call on a thread of its own while this thread keeps serving the
// test peer, as a request thread of the service would.
template<typename F>
bool offMain(F call, int timeoutMs = 15000)
{
    bool result = false;
    std::unique_ptr<QThread> thread(QThread::create([&] { result = call(); }));
    QEventLoop loop;
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    thread->start();
    loop.exec();
    thread->wait();
    return result;
}

void wire(FrcoreExternalApi &api, bus::AppBusController &controller)
{
    QObject::connect(&api, &FrcoreExternalApi::sendCommand, &controller, &bus::AppBusController::sendCommand);
}

AppBusCommand command(const QString &name, const QVariantMap &params = QVariantMap())
{
    AppBusCommand c;
    c.setName(name);
    c.setParams(params);
    c.setReciever("cashboxcore");
    c.setNeedAnswer(true);
    return c;
}

} // namespace

class TestFrcoreExternalApi : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void answerComesBack();
    void manyThreadsEachGetTheirOwnAnswer();
    void silentPeerTimesOut();
    void withoutABusFailsAtOnce();
    void linkDownFailsBeforeTheTimeOut();
    void fiscalOperationsSendTheirCommands_data();
    void fiscalOperationsSendTheirCommands();
    void refusalCarriesCodeAndText();
    void timeOutGivesCode4351();
    void readsRecordsFromAnswers();

private:
    TestBusPeer *m_peer = nullptr;
    bus::AppBusController *m_controller = nullptr;
};

void TestFrcoreExternalApi::init()
{
    m_peer = new TestBusPeer(this);
    QVERIFY(m_peer->listen());
    m_controller = new bus::AppBusController(300000, "tester", this);
    m_controller->setTimings(quickTimings());
    QSignalSpy spy(m_controller, &bus::AppBusController::queryConnectionChanged);
    m_controller->setBus("127.0.0.1", m_peer->msgPort(), m_peer->queryPort());
    QVERIFY(spy.wait(5000));
}

void TestFrcoreExternalApi::cleanup()
{
    delete m_controller;
    delete m_peer;
    QCOMPARE(bus::AppBusPendingAnswers::count(), 0);
}

void TestFrcoreExternalApi::answerComesBack()
{
    m_peer->onCommand = [](const QJsonObject &c, bool &) {
        return QVariantMap{ { "got", c.value("name").toString() } };
    };
    // Called on the controller's own thread, the wait must not need that
    // thread; the peer is given one of its own for this.
    QThread peerThread;
    m_peer->setParent(nullptr);
    m_peer->moveToThread(&peerThread);
    peerThread.start();
    FrcoreExternalApi api("tester");
    wire(api, *m_controller);
    AppBusCommand answer;
    const bool ok = api.sendSyncCommand(command("hello"), answer, 5000);
    QMetaObject::invokeMethod(m_peer, [this] { delete m_peer; }, Qt::BlockingQueuedConnection);
    m_peer = nullptr;
    peerThread.quit();
    peerThread.wait();
    QVERIFY(ok);
    QCOMPARE(answer.params().value("got").toString(), QStringLiteral("hello"));
    QVERIFY(answer.isAnswer());
}

void TestFrcoreExternalApi::manyThreadsEachGetTheirOwnAnswer()
{
    // Answers go back in reverse order of arrival, once all are in, so
    // every waiter has to pick its own out of the crowd.
    constexpr int Threads = 20;
    QList<QJsonObject> held;
    m_peer->onCommand = [&held](const QJsonObject &c, bool &answer) {
        answer = false;
        held.append(c);
        return QVariantMap();
    };
    connect(m_peer, &TestBusPeer::frameReceived, this, [&held, this] {
        if (held.size() != Threads)
            return;
        while (!held.isEmpty()) {
            const QJsonObject c = held.takeLast();
            QJsonObject reply = c;
            reply.insert("type", "answer");
            reply.insert("params", QJsonObject{ { "n", c.value("params").toObject().value("n").toInt() * 10 } });
            m_peer->sendFrame("query", reply);
        }
    });

    FrcoreExternalApi api("tester");
    wire(api, *m_controller);
    QAtomicInt good;
    QAtomicInt finished;
    std::vector<std::unique_ptr<QThread>> threads;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < Threads; ++i) {
        threads.emplace_back(QThread::create([&api, &good, &finished, i] {
            AppBusCommand answer;
            if (api.sendSyncCommand(command("n", { { "n", i } }), answer, 10000)
                && answer.params().value("n").toInt() == i * 10)
                good.ref();
            finished.ref();
        }));
        threads.back()->start();
    }
    QTRY_COMPARE_WITH_TIMEOUT(finished.loadAcquire(), Threads, 15000);
    for (auto &thread : threads)
        QVERIFY(thread->wait(1000));
    QCOMPARE(good.loadAcquire(), Threads);
    QVERIFY2(timer.elapsed() < 5000, "the answers were not handed out as they came");
}

void TestFrcoreExternalApi::silentPeerTimesOut()
{
    m_peer->onCommand = [](const QJsonObject &, bool &answer) {
        answer = false;
        return QVariantMap();
    };
    FrcoreExternalApi api("tester");
    wire(api, *m_controller);
    AppBusCommand answer;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!offMain([&] { return api.sendSyncCommand(command("silence"), answer, 400); }));
    QVERIFY(timer.elapsed() >= 400);
    QVERIFY(timer.elapsed() < 3000);
    QVERIFY(answer.name().isEmpty());
}

void TestFrcoreExternalApi::withoutABusFailsAtOnce()
{
    FrcoreExternalApi api("tester");
    AppBusCommand answer;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!api.sendSyncCommand(command("lonely"), answer, 10000));
    QVERIFY(timer.elapsed() < 1000);
}

void TestFrcoreExternalApi::linkDownFailsBeforeTheTimeOut()
{
    m_peer->onCommand = [](const QJsonObject &, bool &answer) {
        answer = false;
        return QVariantMap();
    };
    FrcoreExternalApi api("tester");
    wire(api, *m_controller);
    // The peer goes away while the command is out, and stays away.
    connect(m_peer, &TestBusPeer::frameReceived, this, [this](const QJsonObject &frame) {
        if (frame.value("type") == "command") {
            m_peer->closeListeners();
            m_peer->dropClients();
        }
    });
    AppBusCommand answer;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!offMain([&] { return api.sendSyncCommand(command("doomed"), answer, 10000); }));
    QVERIFY2(timer.elapsed() < 5000, "the waiter was not released when the link went");

    // Sent while the link is down: refused at once as well.
    timer.restart();
    QVERIFY(!offMain([&] { return api.sendSyncCommand(command("later"), answer, 10000); }));
    QVERIFY(timer.elapsed() < 5000);
}

void TestFrcoreExternalApi::fiscalOperationsSendTheirCommands_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("keys");
    for (const char *name : { "getFsStatus", "getRegData", "getPrinterSettings" })
        QTest::newRow(name) << name << QStringList();
    QTest::newRow("getFullFrCoreState") << "getFullFrCoreState" << QStringList{ "brief" };
    QTest::newRow("getFiscalDoc") << "getFiscalDoc" << QStringList{ "cashier", "number", "print" };
    QTest::newRow("registreCheck") << "registreCheck" << QStringList{ "cashier", "check" };
    QTest::newRow("openCycle") << "openCycle" << QStringList{ "cashier", "print" };
    QTest::newRow("closeCycle") << "closeCycle" << QStringList{ "cashier", "print", "xReportBefore" };
    QTest::newRow("xReport") << "xReport" << QStringList{ "byCashiers", "cashier", "print" };
    QTest::newRow("calcReport") << "calcReport" << QStringList{ "cashier", "print" };
    QTest::newRow("printText") << "printText" << QStringList{ "cashier", "text" };
    QTest::newRow("activate") << "activate" << QStringList{ "cashier", "data", "printOnly", "sessionId" };
    QTest::newRow("introduction") << "introduction" << QStringList{ "cashier", "sum" };
    QTest::newRow("payout") << "payout" << QStringList{ "cashier", "sum" };
    QTest::newRow("closeFs") << "closeFs" << QStringList{ "cashier" };
}

void TestFrcoreExternalApi::fiscalOperationsSendTheirCommands()
{
    QFETCH(QString, name);
    QFETCH(QStringList, keys);
    QJsonObject seen;
    m_peer->onCommand = [&seen](const QJsonObject &c, bool &) {
        seen = c;
        return QVariantMap{ { "error", 0 }, { "result", QVariantMap{ { "done", true } } } };
    };
    FrcoreExternalApi api("tester");
    wire(api, *m_controller);
    core::Cashier cashier;
    cashier.setName("Кассир");
    cashier.setPassword(1);
    int error = -5;
    QString errorText;
    QVariantMap result;
    bool ok = false;
    fiscal::FsStatus fs;
    fiscal::RegData reg;
    core::FrPrinterSettings printer;
    const qt5ext::FixNumber sum(100, 12345);
    ok = offMain([&] {
        if (name == "getFsStatus")
            return api.getFsStatus(fs);
        else if (name == "getRegData")
            return api.getRegData(reg);
        else if (name == "getPrinterSettings")
            return api.getPrinterSettings(printer);
        else if (name == "getFullFrCoreState")
            return api.getFullFrCoreState(result, true);
        else if (name == "getFiscalDoc")
            return api.getFiscalDoc(cashier, 7, false, result);
        else if (name == "registreCheck")
            return api.registreCheck({ { "document", QVariantMap() } }, cashier, result, error);
        else if (name == "openCycle")
            return api.openCycle(cashier, true, error, result);
        else if (name == "closeCycle")
            return api.closeCycle(cashier, true, false, error, result);
        else if (name == "xReport")
            return api.xReport(cashier, true, false, error, result);
        else if (name == "calcReport")
            return api.calcReport(cashier, true, error, result);
        else if (name == "printText")
            return api.printText(cashier, { { "lines", QStringList{ "a" } } }, error, result);
        else if (name == "activate")
            return api.activate(cashier, false, { { "a", 1 } }, "s-1", error, result);
        else if (name == "introduction")
            return api.introduction(cashier, sum, error, errorText);
        else if (name == "payout")
            return api.payout(cashier, sum, error, errorText);
        else if (name == "closeFs")
            return api.closeFs(cashier, error, errorText, result);
        return false;
    });
    QVERIFY(ok);
    QCOMPARE(seen.value("name").toString(), name);
    QCOMPARE(seen.value("receiver").toString(), QStringLiteral("cashboxcore"));
    QCOMPARE(seen.value("sender").toString(), QStringLiteral("tester"));
    QVERIFY(seen.value("needAnswer").toBool());
    QStringList sent = seen.value("params").toObject().keys();
    QCOMPARE(sent, keys);
    if (keys.contains("cashier"))
        QCOMPARE(seen.value("params").toObject().value("cashier").toObject().value("name").toString(),
                 QStringLiteral("Кассир"));
    if (keys.contains("sum"))
        QCOMPARE(seen.value("params").toObject().value("sum").toInt(), 12345);
    if (error != -5)
        QCOMPARE(error, 0);
    if (!result.isEmpty())
        QCOMPARE(result.value("done").toBool(), true);
}

void TestFrcoreExternalApi::refusalCarriesCodeAndText()
{
    m_peer->onCommand = [](const QJsonObject &, bool &) {
        return QVariantMap{ { "error", 17 }, { "errorText", "Смена не открыта" } };
    };
    FrcoreExternalApi api("tester");
    wire(api, *m_controller);
    int error = 0;
    QString errorText;
    QVERIFY(!offMain([&] { return api.payout(core::Cashier(), qt5ext::FixNumber(100, 1), error, errorText); }));
    QCOMPARE(error, 17);
    QCOMPARE(errorText, QStringLiteral("Смена не открыта"));
    QVariantMap result;
    QVERIFY(!offMain([&] { return api.openCycle(core::Cashier(), false, error, result); }));
    QCOMPARE(error, 17);
    QVERIFY(result.isEmpty());
}

void TestFrcoreExternalApi::timeOutGivesCode4351()
{
    m_peer->onCommand = [](const QJsonObject &, bool &answer) {
        answer = false;
        return QVariantMap();
    };
    FrcoreExternalApi api("tester");
    api.setOperationTimeout(300);
    wire(api, *m_controller);
    int error = 0;
    QVariantMap result;
    QVERIFY(!offMain([&] { return api.registreCheck(QVariantMap(), core::Cashier(), result, error); }));
    QCOMPARE(error, FrcoreExternalApi::ERROR_TIMEOUT);
    QCOMPARE(error, 4351);
    QString errorText;
    QVERIFY(!offMain([&] { return api.introduction(core::Cashier(), qt5ext::FixNumber(100, 1), error, errorText); }));
    QCOMPARE(error, 4351);
}

void TestFrcoreExternalApi::readsRecordsFromAnswers()
{
    fiscal::RegData reg;
    reg.setCashBoxSerial("0000000001");
    reg.setUserInn("7700000000");
    reg.setCashboxFlags(0x5);
    m_peer->onCommand = [&reg](const QJsonObject &c, bool &) {
        if (c.value("name") == "getRegData")
            return QVariantMap{ { "error", 0 }, { "result", reg.toMap() } };
        return QVariantMap{ { "error", 0 }, { "result", QVariantMap{ { "symbolsPerLine", 48 }, { "baseFont", 2 } } } };
    };
    FrcoreExternalApi api("tester");
    wire(api, *m_controller);
    fiscal::RegData read;
    QVERIFY(offMain([&] { return api.getRegData(read); }));
    QCOMPARE(read.cashBoxSerial(), QStringLiteral("0000000001"));
    QCOMPARE(read.cashboxRegistrationFlags(), quint16(0x5));
    core::FrPrinterSettings printer;
    QVERIFY(offMain([&] { return api.getPrinterSettings(printer); }));
    QCOMPARE(printer.symbolsPerLine(), 48);
    QCOMPARE(printer.baseFont(), 2);
}

QTEST_MAIN(TestFrcoreExternalApi)
#include "tst_frcoreexternalapi.moc"
