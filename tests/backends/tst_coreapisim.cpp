#include "coreapiwrapper.h"
#include "simrunner.h"
#include "tillgatebuscontroller.h"
#include "tillgatecoreapi.h"

#include <cashier.h>
#include <fileconfighelper.h>
#include <regdata.h>
#include <sharedobjectsstorage.h>

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The fiscal-core back-end against the cashbox simulator on a real bus link.
class TestCoreApiSim : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void registeredState();
    void unregisteredState();
    void shiftOpenAndClose();
    void refusal();
    void noAnswer();
    void registrationDataRemembered();

private:
    // How many commands of this name the simulator has logged so far.
    int simCommands(const QString &name);

    // Starts the simulator with the given options and joins its bus; the
    // wrapper's clients come from that bus controller.
    void startSim(const QStringList &options);

    QTemporaryDir m_root;
    SimRunner m_sim;
    QSharedPointer<TillgateBusController> m_controller;
    std::unique_ptr<CoreApiWrapper> m_wrapper;
};

namespace {

core::Cashier cashier()
{
    core::Cashier c;
    c.setName(QStringLiteral("Кассир"));
    c.setPassword(1);
    return c;
}

const QStringList FLAG_KEYS{"useEncryption", "offlineMode",   "automatMode",   "allowServices",
                            "makeBso",       "internetOnly",  "externPrinter", "excisableGoods",
                            "allowGames",    "allowLotteries"};

} // namespace

void TestCoreApiSim::initTestCase()
{
    QVERIFY(m_root.isValid());
    // Whatever the bus workers store lands in a private directory.
    qt5ext::FileConfigHelper::setFileSystemRoot(m_root.path());
}

void TestCoreApiSim::init()
{
    bus::SharedObjectsStorage().clear();
}

void TestCoreApiSim::cleanup()
{
    m_wrapper.reset();
    if (m_controller) {
        m_controller->stop();
        m_controller.reset();
    }
    m_sim.stop();
    bus::SharedObjectsStorage().clear();
}

void TestCoreApiSim::startSim(const QStringList &options)
{
    QVERIFY(m_sim.start(options));

    m_controller = QSharedPointer<TillgateBusController>::create();
    QSignalSpy ready(m_controller.data(), &TillgateBusController::settingsReady);
    QSignalSpy pushes(m_controller.data(), &TillgateBusController::msgConnectionChanged);
    m_controller->setBus("127.0.0.1", m_sim.msgPort(), m_sim.queryPort());
    QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 15000);
    // Both links up, so nothing the tests see is cut short by a link change.
    QTRY_VERIFY_WITH_TIMEOUT(!pushes.isEmpty() && pushes.last().first().toBool(), 15000);

    CoreApiWrapper::setBusController(m_controller);
    m_wrapper = std::make_unique<CoreApiWrapper>();
    QVERIFY(m_wrapper->hasApi());
}

void TestCoreApiSim::registeredState()
{
    startSim({});
    QVariantMap state;
    QVERIFY(m_wrapper->getFullFrCoreState(state, true));

    // The core's own values stay, the registration's display values join.
    QCOMPARE(state.value("serial"), QVariant("0000000000001234"));
    QCOMPARE(state.value("regNumber"), QVariant("0000000001012345"));
    QCOMPARE(state.value("regFlags").toUInt(), 1u);
    QCOMPARE(state.value("paymentPlace"), QVariant("Магазин"));
    QCOMPARE(state.value("ofdInn"), QVariant("7704211201"));
    QVERIFY(state.contains("atmNumber"));
    // Registration flags 0x001: encryption only.
    for (const QString &key : FLAG_KEYS)
        QCOMPARE(state.value(key), QVariant(key == "useEncryption"));
    QVERIFY(!state.contains("regCashierName"));
    QVERIFY(!state.contains("regCashierInn"));
    QStringList keys = state.keys();
    QCOMPARE(keys.removeDuplicates(), 0);
}

void TestCoreApiSim::unregisteredState()
{
    startSim({"--unregistered"});
    // Registration data left over from elsewhere must not be added to a
    // storage that is not fiscalised.
    fiscal::RegData stale;
    stale.setCashboxFlags(fiscal::RegData::ALL_REGISTRATION_FLAGS);
    stale.setPaymentPlace("stale");
    bus::SharedObjectsStorage().store(
        bus::AppBusObject(fiscal::RegData::BUS_OBJECT_NAME, stale.toMap()));
    QVariantMap state;
    QVERIFY(m_wrapper->getFullFrCoreState(state, true));
    QVERIFY(state.contains("fsStatus"));
    QVERIFY(state.contains("mode"));
    for (const QString &key : FLAG_KEYS)
        QVERIFY2(!state.contains(key), qPrintable(key));
    QVERIFY(!state.contains("paymentPlace"));
}

void TestCoreApiSim::shiftOpenAndClose()
{
    startSim({});
    int error = -1;
    QVariantMap result{{"stale", true}};
    QVERIFY(m_wrapper->openCycle(cashier(), false, error, result));
    QCOMPARE(error, 0);
    QVERIFY(!result.isEmpty());
    QVERIFY(!result.contains("stale"));

    QVariantMap state;
    QVERIFY(m_wrapper->getFullFrCoreState(state, true));
    QCOMPARE(state.value("shiftOpened"), QVariant(true));

    QVERIFY(m_wrapper->closeCycle(cashier(), false, error, result));
    QCOMPARE(error, 0);
    QVERIFY(m_wrapper->getFullFrCoreState(state, true));
    QCOMPARE(state.value("shiftOpened"), QVariant(false));
}

void TestCoreApiSim::refusal()
{
    startSim({"--fail", "openCycle=5"});
    int error = 0;
    QVariantMap result{{"stale", true}};
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("refused.*openCycle"));
    QVERIFY(!m_wrapper->openCycle(cashier(), false, error, result));
    QCOMPARE(error, 5);
    QVERIFY(result.isEmpty());
}

void TestCoreApiSim::noAnswer()
{
    startSim({"--silent", "xReport"});
    m_wrapper->api()->setOperationTimeout(300);
    int error = 0;
    QVariantMap result{{"stale", true}};
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no answer to.*xReport"));
    QVERIFY(!m_wrapper->xReport(cashier(), false, false, error, result));
    QCOMPARE(error, BaseCoreApiWrapper::ERROR_TIMEOUT);
    QVERIFY(result.isEmpty());
}

int TestCoreApiSim::simCommands(const QString &name)
{
    return QString::fromUtf8(m_sim.log()).count(QStringLiteral("command \"%1\"").arg(name));
}

void TestCoreApiSim::registrationDataRemembered()
{
    startSim({});
    fiscal::RegData first;
    QVERIFY(m_wrapper->getRegData(first));
    QCOMPARE(first.regNumeber(), QString("0000000001012345"));
    QTRY_COMPARE(simCommands("getRegData"), 1);

    // Another request asks at once: answered from memory. The status asked
    // afterwards shows the simulator has logged everything sent before it.
    CoreApiWrapper other;
    fiscal::RegData second;
    QVERIFY(other.getRegData(second));
    QCOMPARE(second, first);
    fiscal::FsStatus status;
    QVERIFY(other.getFsStatus(status));
    QTRY_COMPARE(simCommands("getFsStatus"), 1);
    QCOMPARE(simCommands("getRegData"), 1);

    // The core publishes its state after opening a shift: the next request
    // asks again.
    const quint64 published = bus::SharedObjectsStorage().revision(fiscal::RegData::BUS_OBJECT_NAME);
    int error = -1;
    QVariantMap result;
    QVERIFY(m_wrapper->openCycle(cashier(), false, error, result));
    QTRY_VERIFY(bus::SharedObjectsStorage().revision(fiscal::RegData::BUS_OBJECT_NAME) != published);
    QVERIFY(other.getRegData(second));
    QCOMPARE(second.regNumeber(), first.regNumeber());
    QTRY_COMPARE(simCommands("getRegData"), 2);

    // Closing the fiscal storage through us may end the registration: the
    // data are asked again even before the core publishes anything.
    QString errorText;
    m_wrapper->closeFs(cashier(), error, errorText, result);
    fiscal::RegData afterClosing;
    m_wrapper->getRegData(afterClosing);
    QTRY_COMPARE(simCommands("getRegData"), 3);
}

QTEST_GUILESS_MAIN(TestCoreApiSim)
#include "tst_coreapisim.moc"
