#include "coreapiwrapper.h"
#include "jsonrequestprocessor.h"
#include "simrunner.h"
#include "tillgatebuscontroller.h"
#include "tillgatecashedbinitializer.h"
#include "tillgateconfig.h"
#include "tillgaterequesthandler.h"

#include <cashier.h>
#include <sharedobjectsstorage.h>

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The request handler and the JSON processor with device type 1, joined to
// the cashbox simulator over a real bus link: online login at the fiscal
// core, the offline list when the core is silent, and a receipt answered
// again from the check cache once the core's final answer has arrived.
class TestApiSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void onlineLogin_data();
    void onlineLogin();
    void offlineLoginWhenTheCoreIsSilent();
    void receiptAnsweredFromTheCache();

private:
    void startSim(const QStringList &options);

    QTemporaryDir m_root;
    SimRunner m_sim;
    QSharedPointer<TillgateBusController> m_controller;
    TillgateRequestHandler m_handler;
};

void TestApiSim::initTestCase()
{
    QVERIFY(m_root.isValid());
    qt5ext::FileConfigHelper::setFileSystemRoot(m_root.path());
    qt5ext::InitConfig::setAppWorkDir("zelvotillgate");
    QVERIFY(QDir().mkpath(m_root.path() + "/opt/zelvotillgate/etc"));
    QFile settings(m_root.path() + "/opt/zelvotillgate/etc/tillgate.conf");
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[TILLGATE]\ndeviceType=1\n");
    settings.close();
    QVERIFY(TillgateCasheDbInitializer::initializeDatabase());
}

void TestApiSim::cleanup()
{
    CoreApiWrapper::setBusController({});
    if (m_controller) {
        m_controller->stop();
        m_controller.reset();
    }
    m_sim.stop();
    bus::SharedObjectsStorage().clear();
}

void TestApiSim::startSim(const QStringList &options)
{
    QVERIFY(m_sim.start(options));

    m_controller = QSharedPointer<TillgateBusController>::create();
    QSignalSpy ready(m_controller.data(), &TillgateBusController::settingsReady);
    m_controller->setBus("127.0.0.1", m_sim.msgPort(), m_sim.queryPort());
    QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 15000);
    CoreApiWrapper::setBusController(m_controller);
}

void TestApiSim::onlineLogin_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accepted");
    // The simulated core knows its cashiers by name and by number.
    QTest::newRow("administrator") << QString::fromUtf8("Администратор") << "30" << true;
    QTest::newRow("wrong password") << QString::fromUtf8("Администратор") << "31" << false;
    QTest::newRow("by number") << "1" << "30" << true;
    QTest::newRow("unknown cashier") << "3" << "30" << false;
}

void TestApiSim::onlineLogin()
{
    QFETCH(QString, login);
    QFETCH(QString, password);
    QFETCH(bool, accepted);
    startSim({});
    core::Cashier cashier;
    QString message;
    QCOMPARE(m_handler.checkAuthorisation(login, password, "front-1", cashier, message), accepted);
    if (accepted) {
        QCOMPARE(cashier.password(), password.toUInt());
        QCOMPARE(cashier.name(), QString::fromUtf8("Администратор"));
        QCOMPARE(cashier.clientId().toString(), QString("front-1"));
        QVERIFY(message.isEmpty());
    } else {
        // The core's reason reaches the caller; no offline check follows.
        QVERIFY(!message.isEmpty());
    }
}

void TestApiSim::offlineLoginWhenTheCoreIsSilent()
{
    startSim({"--silent", "checkRegistration"});
    core::Cashier cashier;
    QString message;
    // Cashier 2 of the simulator's list has the password 1.
    QVERIFY(m_handler.checkAuthorisation("2", "1", QString(), cashier, message));
    QCOMPARE(cashier.password(), 1u);
    QVERIFY(message.isEmpty());
    QVERIFY(!m_handler.checkAuthorisation("1", "99", QString(), cashier, message));
    QVERIFY(message.isEmpty());
}

void TestApiSim::receiptAnsweredFromTheCache()
{
    startSim({});
    core::Cashier cashier;
    QString message;
    QVERIFY(m_handler.checkAuthorisation(QString::fromUtf8("Администратор"), "30", QString(), cashier, message));
    const QByteArray receipt = "{\"document\":{\"sessionId\":\"sim-" + QByteArray::number(QCoreApplication::applicationPid())
        + R"(","print":0,"data":{"type":1,"moneyType":1,"sum":100,"fiscprops":[{"tag":1059,"fiscprops":[)"
          R"({"tag":1030,"value":"Bread"},{"tag":1079,"value":100},{"tag":1023,"value":1}]}]}}})";
    QByteArray first;
    QByteArray text;
    {
        JsonRequestProcessor processor(cashier, nullptr);
        QVERIFY(processor.backEnd());
        QCOMPARE(processor.getCycleOpen(false, first, text), 200);
    }
    {
        JsonRequestProcessor processor(cashier, nullptr);
        QCOMPARE(processor.postFiscalCheck(receipt, first, text), 200);
    }
    QVERIFY(first.startsWith("{\"document\":"));

    // Until the core's final answer is stored, a repeat is refused rather
    // than registered again; after that it is answered from the cache.
    QByteArray again;
    int status = 0;
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                 JsonRequestProcessor processor(cashier, nullptr);
                                 again.clear();
                                 status = processor.postFiscalCheck(receipt, again, text);
                                 return status != 507;
                             }()),
                             10000);
    QCOMPARE(status, 200);
    QVERIFY(again.startsWith("{\"document\":"));
}

QTEST_GUILESS_MAIN(TestApiSim)
#include "tst_apisim.moc"
