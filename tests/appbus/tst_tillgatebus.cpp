#include "simrunner.h"
#include "testbuspeer.h"
#include "tillgatebuscontroller.h"
#include "tillgatecashe.h"
#include "tillgatecashedbinitializer.h"
#include "tillgateconfig.h"
#include "tillgatecoreapi.h"

#include <fileconfighelper.h>
#include <initconfig.h>
#include <sharedobjectsstorage.h>

#include <QAtomicInt>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

const QString TimeoutText = QStringLiteral("Таймаут ожидания ответа от сервиса");

bus::AppBusTimings quickTimings()
{
    bus::AppBusTimings timings;
    timings.reconnectMs = 100;
    return timings;
}

core::Cashier cashierFromStorage(const QString &name)
{
    bus::AppBusObject object;
    if (!bus::SharedObjectsStorage().get(core::Cashier::CASHIERS_OBJECT_NAME, object))
        return core::Cashier();
    for (const core::Cashier &cashier : core::Cashier::parseCashiers(object.content())) {
        if (cashier.name() == name)
            return cashier;
    }
    return core::Cashier();
}

QVariantMap receipt(const QString &sessionId)
{
    const QVariantList item{ QVariantMap{ { "tag", 1030 }, { "value", QStringLiteral("Хлеб") } },
                             QVariantMap{ { "tag", 1043 }, { "value", 4550 } } };
    const QVariantList props{ QVariantMap{ { "tag", 1054 }, { "value", 1 } },
                              QVariantMap{ { "tag", 1059 }, { "fiscprops", item } },
                              QVariantMap{ { "tag", 1020 }, { "value", 4550 } },
                              QVariantMap{ { "tag", 1031 }, { "value", 4550 } } };
    return { { "cashier", QVariantMap{ { "name", QStringLiteral("Кассир") }, { "password", 1 } } },
             { "document", QVariantMap{ { "sessionId", sessionId },
                                        { "print", true },
                                        { "data", QVariantMap{ { "fiscprops", props } } } } } };
}

} // namespace

class TestTillgateBus : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startLoadsTheSharedObjects();
    void startWithoutRegistrationData();
    void onlineLoginAccepted();
    void onlineLoginRefusedWithTheCoresText();
    void onlineLoginTimesOutAndOfflineStillWorks();
    void registrationCheck_data();
    void registrationCheck();
    void plainTextReachesTheTapeWrapped();
    void bbcodeReachesTheTape();
    void receiptAnswerLandsInTheCheckCache();
    void otherPushedCommandsAreNotStored();
    void simulatorRestartIsJoinedAgain();
    void destroyingTheControllerDeletesItsClients();
    void leavingTheCashboxForgetsItsObjects_data();
    void leavingTheCashboxForgetsItsObjects();
    void twentyThreadsEachGetTheirOwnAnswer();

private:
    bool startService(const QStringList &simArguments);
    QStringList tape() const;

    std::unique_ptr<QTemporaryDir> m_root;
    SimRunner m_sim;
    std::unique_ptr<TillgateBusController> m_controller;
    QString m_tape;
};

void TestTillgateBus::initTestCase()
{
    // One installation root for the whole run: every thread keeps its cache
    // connection to the one database file.
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    qt5ext::FileConfigHelper::setFileSystemRoot(m_root->path());
    qt5ext::InitConfig::setAppWorkDir(QStringLiteral("zelvotillgate"));
    QVERIFY(TillgateCasheDbInitializer::initializeDatabase());
}

void TestTillgateBus::init()
{
    bus::SharedObjectsStorage().clear();
    m_tape = m_root->filePath(QStringLiteral("%1-%2.tape").arg(QTest::currentTestFunction()).arg(QTest::currentDataTag()));
}

void TestTillgateBus::cleanup()
{
    m_controller.reset();
    m_sim.stop();
}

bool TestTillgateBus::startService(const QStringList &simArguments)
{
    if (!m_sim.start(QStringList{ "--tape", m_tape } + simArguments))
        return false;
    m_controller = std::make_unique<TillgateBusController>();
    m_controller->setTimings(quickTimings());
    QSignalSpy ready(m_controller.get(), &TillgateBusController::settingsReady);
    m_controller->setBus("127.0.0.1", m_sim.msgPort(), m_sim.queryPort());
    return ready.wait(10000);
}

QStringList TestTillgateBus::tape() const
{
    QFile file(m_tape);
    if (!file.open(QIODevice::ReadOnly))
        return QStringList();
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
}

void TestTillgateBus::startLoadsTheSharedObjects()
{
    QVERIFY(startService({}));
    bus::SharedObjectsStorage storage;
    QVERIFY(storage.contains(core::Cashier::CASHIERS_OBJECT_NAME));
    QVERIFY(storage.contains(fiscal::FsStatus::OBJECT_NAME));
    bus::AppBusObject reg;
    QVERIFY(storage.get(fiscal::RegData::BUS_OBJECT_NAME, reg));
    fiscal::RegData data;
    data.setMap(reg.content());
    QVERIFY(!data.regNumeber().isEmpty());
    QCOMPARE(cashierFromStorage(QStringLiteral("Администратор")).password(), 30u);
}

void TestTillgateBus::startWithoutRegistrationData()
{
    QTest::ignoreMessage(QtWarningMsg, "START WITHOUT REG DATA");
    QVERIFY(startService({ "--unregistered" }));
    bus::SharedObjectsStorage storage;
    QVERIFY(storage.contains(core::Cashier::CASHIERS_OBJECT_NAME));
    QVERIFY(storage.contains(fiscal::FsStatus::OBJECT_NAME));
    QVERIFY(!storage.contains(fiscal::RegData::BUS_OBJECT_NAME));
}

void TestTillgateBus::onlineLoginAccepted()
{
    QVERIFY(startService({}));
    std::unique_ptr<TillgateCoreApi> api(m_controller->createApi(nullptr));
    core::Cashier cashier;
    QVariant clientId = QStringLiteral("client-7");
    QString errorText;
    QVERIFY(api->getLoginOnline(QStringLiteral("Кассир"), "1", cashier, clientId, errorText));
    QCOMPARE(cashier.name(), QStringLiteral("Кассир"));
    QCOMPARE(cashier.password(), 1u);
    QCOMPARE(clientId.toString(), QStringLiteral("client-7"));
    QVERIFY(errorText.isEmpty());
    QVERIFY(api->getOnlineCashiersNames().value("cashiers").toStringList().contains(QStringLiteral("Кассир")));
}

void TestTillgateBus::onlineLoginRefusedWithTheCoresText()
{
    QVERIFY(startService({}));
    std::unique_ptr<TillgateCoreApi> api(m_controller->createApi(nullptr));
    core::Cashier cashier;
    cashier.setName(QStringLiteral("untouched"));
    QVariant clientId = 5;
    QString errorText;
    QVERIFY(!api->getLoginOnline(QStringLiteral("Кассир"), "2", cashier, clientId, errorText));
    QCOMPARE(errorText, QStringLiteral("Неверный пароль кассира"));
    QCOMPARE(cashier.name(), QStringLiteral("untouched"));
    QCOMPARE(clientId.toInt(), 5);
}

void TestTillgateBus::onlineLoginTimesOutAndOfflineStillWorks()
{
    QVERIFY(startService({ "--silent", "getLoginCoreOnline" }));
    std::unique_ptr<TillgateCoreApi> api(m_controller->createApi(nullptr));
    core::Cashier cashier;
    QVariant clientId;
    QString errorText;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!api->getLoginOnline(QStringLiteral("Кассир"), "1", cashier, clientId, errorText));
    QVERIFY(timer.elapsed() >= TillgateCoreApi::COMMAND_TIMEOUT_MS);
    QCOMPARE(errorText, TimeoutText);
    // The shared cashier list still checks the credentials offline.
    QCOMPARE(cashierFromStorage(QStringLiteral("Кассир")).password(), 1u);
}

void TestTillgateBus::registrationCheck_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<bool>("registered");
    QTest::newRow("registered") << QStringList() << true;
    QTest::newRow("unregistered") << QStringList{ "--unregistered" } << false;
    QTest::newRow("answer without isRegistered") << QStringList{ "--fail", "checkRegistration=5" } << false;
}

void TestTillgateBus::registrationCheck()
{
    QFETCH(QStringList, simArguments);
    QFETCH(bool, registered);
    if (simArguments.contains("--unregistered"))
        QTest::ignoreMessage(QtWarningMsg, "START WITHOUT REG DATA");
    QVERIFY(startService(simArguments));
    std::unique_ptr<TillgateCoreApi> api(m_controller->createApi(nullptr));
    bool timedOut = true;
    QString errorText;
    QCOMPARE(api->cashboxIsRegistered(timedOut, errorText), registered);
    QVERIFY(!timedOut);
    QVERIFY(errorText.isEmpty());
}

void TestTillgateBus::plainTextReachesTheTapeWrapped()
{
    QVERIFY(startService({}));
    std::unique_ptr<TillgateCoreApi> api(m_controller->createApi(nullptr));
    QString errorText;
    int error = -1;
    // 51 characters: one pass over the double spaces makes it fit.
    const QString text = QString(60, QLatin1Char('-')) + "\r\nИтого    к    оплате:    " + QString(26, QLatin1Char('x'));
    QVERIFY(api->printPlainText(text, errorText, error));
    QCOMPARE(error, 0);
    const QStringList lines = tape();
    QVERIFY2(lines.contains(QString(48, QLatin1Char('-'))), qPrintable(lines.join('|')));
    QVERIFY2(lines.contains("Итого  к  оплате:  " + QString(26, QLatin1Char('x'))), qPrintable(lines.join('|')));
}

void TestTillgateBus::bbcodeReachesTheTape()
{
    QVERIFY(startService({}));
    std::unique_ptr<TillgateCoreApi> api(m_controller->createApi(nullptr));
    QString errorText;
    int error = -1;
    QVERIFY(api->printBbcode(QStringLiteral("[b]Добро пожаловать[/b]\nспасибо за покупку"), errorText, error));
    QCOMPARE(error, 0);
    const QString all = tape().join('\n');
    QVERIFY2(all.contains(QStringLiteral("Добро пожаловать")), qPrintable(all));
    QVERIFY2(all.contains(QStringLiteral("спасибо за покупку")), qPrintable(all));
}

void TestTillgateBus::receiptAnswerLandsInTheCheckCache()
{
    QVERIFY(startService({}));
    QVERIFY(TillgateCashe().storeIncomingCheckData("s-42", receipt("s-42")));
    std::unique_ptr<TillgateCoreApi> api(m_controller->createApi(nullptr));
    const core::Cashier cashier = cashierFromStorage(QStringLiteral("Кассир"));
    int error = -1;
    QVariantMap result;
    QVERIFY(api->openCycle(cashier, true, error, result));
    QVERIFY(api->registreCheck(receipt("s-42"), cashier, result, error));
    QCOMPARE(error, 0);
    QVariantMap stored;
    QTRY_VERIFY(TillgateCashe().getOutgoingCheckData("s-42", stored));
    QCOMPARE(stored.value("sessionId").toString(), QStringLiteral("s-42"));
    QCOMPARE(stored.value("fiscalDocNumber").toInt(), result.value("fiscalDocNumber").toInt());
    QVERIFY(tape().contains(QStringLiteral("ИТОГ = 45.50")));
}

void TestTillgateBus::otherPushedCommandsAreNotStored()
{
    TestBusPeer peer;
    QVERIFY(peer.listen());
    TillgateBusController controller;
    controller.setTimings(quickTimings());
    QSignalSpy unprocessed(&controller, &TillgateBusController::commandReceived);
    QSignalSpy ready(&controller, &TillgateBusController::settingsReady);
    QTest::ignoreMessage(QtWarningMsg, "START WITHOUT CASHIERS");
    QTest::ignoreMessage(QtWarningMsg, "START WITHOUT FS STATUS");
    QTest::ignoreMessage(QtWarningMsg, "START WITHOUT REG DATA");
    controller.setBus("127.0.0.1", peer.msgPort(), peer.queryPort());
    QVERIFY(ready.wait(10000));
    QTRY_COMPARE(peer.welcomedCount("msg"), 1);
    QVERIFY(TillgateCashe().storeIncomingCheckData("7", receipt("7")));

    auto push = [&peer](const QString &name, const QVariantMap &params) {
        bus::AppBusCommand command;
        command.setName(name);
        command.setUid(bus::AppBusCommand::genUid());
        command.setParams(params);
        peer.sendFrame("msg", command.toJson());
    };
    push("FrcoreCmdAnswer", { { "sessionId", "7" }, { "x", 1 } });
    push("frcoreCmdAnswer", { { "x", 2 } });
    push("frcoreCmdAnswer", { { "sessionId", 7 }, { "x", 3 } });
    QVariantMap stored;
    QTRY_VERIFY(TillgateCashe().getOutgoingCheckData("7", stored));
    QCOMPARE(stored.value("x").toInt(), 3);
    QCOMPARE(unprocessed.count(), 1);
    QCOMPARE(unprocessed.at(0).at(0).value<bus::AppBusCommand>().name(), QStringLiteral("FrcoreCmdAnswer"));
}

void TestTillgateBus::simulatorRestartIsJoinedAgain()
{
    QVERIFY(startService({}));
    QSignalSpy ready(m_controller.get(), &TillgateBusController::settingsReady);
    QSignalSpy query(m_controller.get(), &TillgateBusController::queryConnectionChanged);
    const QStringList sameEnd{ "--tape", m_tape, "--msg-port", QString::number(m_sim.msgPort()),
                               "--query-port", QString::number(m_sim.queryPort()), "--unregistered" };
    m_sim.stop();
    QTRY_VERIFY(!query.isEmpty() && !query.last().at(0).toBool());

    QTest::ignoreMessage(QtWarningMsg, "START WITHOUT REG DATA");
    QVERIFY(m_sim.start(sameEnd));
    QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 10000);
    std::unique_ptr<TillgateCoreApi> api(m_controller->createApi(nullptr));
    bool timedOut = true;
    QString errorText;
    // The new simulator's state is seen, without restarting the controller.
    QVERIFY(!api->cashboxIsRegistered(timedOut, errorText));
    QVERIFY(!timedOut);
}

void TestTillgateBus::destroyingTheControllerDeletesItsClients()
{
    QVERIFY(startService({}));
    QObject owner;
    QPointer<TillgateCoreApi> owned = m_controller->createFrCoreApi(&owner);
    QPointer<TillgateCoreApi> loose = m_controller->createApi(nullptr);
    QVERIFY(owned && loose);
    QCOMPARE(owned->parent(), &owner);
    m_controller.reset();
    QTRY_VERIFY(owned.isNull());
    QTRY_VERIFY(loose.isNull());
}

void TestTillgateBus::leavingTheCashboxForgetsItsObjects_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("kept");
    QTest::newRow("stopped") << "stop" << false;
    QTest::newRow("another address") << "move" << false;
    QTest::newRow("same address") << "stay" << true;
}

// The offline login of the next cashbox must not accept the cashiers of the
// one before.
void TestTillgateBus::leavingTheCashboxForgetsItsObjects()
{
    QFETCH(QString, how);
    QFETCH(bool, kept);
    QVERIFY(startService({}));
    bus::SharedObjectsStorage storage;
    QVERIFY(storage.contains(core::Cashier::CASHIERS_OBJECT_NAME));
    QVERIFY(storage.contains(fiscal::RegData::BUS_OBJECT_NAME));

    if (how == "stop") {
        m_controller->stop();
    } else if (how == "move") {
        // A port nothing listens on: a cashbox that cannot be reached.
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const quint16 port = closed.serverPort();
        closed.close();
        m_controller->setBus("127.0.0.1", port, port);
    } else {
        m_controller->setBus("127.0.0.1", m_sim.msgPort(), m_sim.queryPort());
    }
    QCOMPARE(storage.contains(core::Cashier::CASHIERS_OBJECT_NAME), kept);
    QCOMPARE(storage.contains(fiscal::RegData::BUS_OBJECT_NAME), kept);
    QCOMPARE(storage.contains(fiscal::FsStatus::OBJECT_NAME), kept);
}

void TestTillgateBus::twentyThreadsEachGetTheirOwnAnswer()
{
    QVERIFY(startService({ "--delay-ms", "50" }));
    constexpr int Threads = 20;
    QAtomicInt good;
    QAtomicInt finished;
    TillgateBusController *controller = m_controller.get();
    std::vector<std::unique_ptr<QThread>> threads;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < Threads; ++i) {
        threads.emplace_back(QThread::create([controller, i, &good, &finished] {
            std::unique_ptr<TillgateCoreApi> api(controller->createApi(nullptr));
            core::Cashier cashier;
            QVariant clientId = QStringLiteral("thread-%1").arg(i);
            QString errorText;
            if (api->getLoginOnline(QStringLiteral("Кассир"), "1", cashier, clientId, errorText)
                && clientId.toString() == QStringLiteral("thread-%1").arg(i))
                good.ref();
            finished.ref();
        }));
        threads.back()->start();
    }
    QTRY_COMPARE_WITH_TIMEOUT(finished.loadAcquire(), Threads, 15000);
    for (auto &thread : threads)
        QVERIFY(thread->wait(1000));
    QCOMPARE(good.loadAcquire(), Threads);
    // Waiting in parallel: far less than twenty delays one after another
    // would add up to with the time-outs of the stragglers.
    QVERIFY2(timer.elapsed() < TillgateCoreApi::COMMAND_TIMEOUT_MS, "the calls did not run side by side");
}

QTEST_MAIN(TestTillgateBus)
#include "tst_tillgatebus.moc"
