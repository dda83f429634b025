#include "coreapiwrapper.h"
#include "fakecoreapi.h"
#include "tillgatebuscontroller.h"

#include <appbusobject.h>
#include <cashier.h>
#include <fixnumber.h>
#include <fsstatus.h>
#include <regdata.h>
#include <sharedobjectsstorage.h>

#include <QtTest>

#include <functional>

// The fiscal-core back-end over a client that answers from the test; the
// registration data comes from the process-wide store of shared bus objects.
class TestCoreApiWrapper : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void noClient_data();
    void noClient();
    void clientMadeOnDemand();
    void clientMadeAtConstruction();
    void clientGoneMeansNoApi();
    void clientsOfBusController();
    void forwarding_data();
    void forwarding();
    void mapSuccessRule_data();
    void mapSuccessRule();
    void stateWithoutStorage();
    void stateNotFiscalised();
    void stateWithoutRegistration();
    void stateFlags_data();
    void stateFlags();
    void stateRegistrationCashier();
    void stateKeepsCoreValues();
    void stateResultIsCores();

private:
    FakeCoreApi *makeWrapper(std::unique_ptr<CoreApiWrapper> &wrapper);
    static QVariantMap fiscalisedState();
    static void storeRegData(const fiscal::RegData &data);
};

namespace {

const int UNTOUCHED = 77;
const QVariantMap STALE{{"stale", true}};

core::Cashier cashier()
{
    core::Cashier c;
    c.setName("Petrova");
    return c;
}

struct Outs
{
    int error = UNTOUCHED;
    QString errorText = QStringLiteral("untouched");
    QVariantMap result = STALE;
};

using Operation = std::function<bool(BaseCoreApiWrapper &, Outs &)>;

} // namespace

Q_DECLARE_METATYPE(Operation)

void TestCoreApiWrapper::init()
{
    bus::SharedObjectsStorage().clear();
    CoreApiWrapper::setBusController({});
}

void TestCoreApiWrapper::cleanup()
{
    bus::SharedObjectsStorage().clear();
}

FakeCoreApi *TestCoreApiWrapper::makeWrapper(std::unique_ptr<CoreApiWrapper> &wrapper)
{
    FakeCoreApi *made = nullptr;
    wrapper = std::make_unique<CoreApiWrapper>(
        [&made](QObject *parent) { return made = new FakeCoreApi(parent); }, nullptr);
    return made;
}

QVariantMap TestCoreApiWrapper::fiscalisedState()
{
    fiscal::FsStatus status;
    status.setPhase(fiscal::FsStatus::PhaseSetUp | fiscal::FsStatus::PhaseFiscalMode);
    return {{"fsStatus", status.toMap()},
            {"serial", "CORE-SERIAL"},
            {"regNumber", "CORE-REGNUM"},
            {"regFlags", 999},
            {"atmNumber", "CORE-ATM"},
            {"cashier", "current cashier"},
            {"mode", 2}};
}

void TestCoreApiWrapper::storeRegData(const fiscal::RegData &data)
{
    bus::SharedObjectsStorage().store(bus::AppBusObject(fiscal::RegData::BUS_OBJECT_NAME,
                                                        data.toMap()));
}

void TestCoreApiWrapper::noClient_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<bool>("mapBased");
    QTest::addColumn<bool>("clearsResult");
    static const qt5ext::FixNumber sum(100, 500);

    QTest::newRow("getFiscalDoc") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.getFiscalDoc(cashier(), 1, true, o.result);
    }) << false << true;
    QTest::newRow("registreCheck") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.registreCheck({{"document", 1}}, cashier(), o.result, o.error);
    }) << true << true;
    QTest::newRow("openCycle") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.openCycle(cashier(), true, o.error, o.result);
    }) << true << true;
    QTest::newRow("closeCycle") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.closeCycle(cashier(), true, o.error, o.result);
    }) << true << true;
    QTest::newRow("xReport") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.xReport(cashier(), true, false, o.error, o.result);
    }) << true << true;
    QTest::newRow("calcReport") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.calcReport(cashier(), true, o.error, o.result);
    }) << true << true;
    QTest::newRow("printText") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.printText(cashier(), {{"text", "x"}}, o.error, o.result);
    }) << true << true;
    QTest::newRow("activate") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.activate(cashier(), false, "s1", {{"a", 1}}, o.error, o.result);
    }) << true << true;
    QTest::newRow("printBbcode") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.printBbcode("[b]x[/b]", o.errorText, o.error);
    }) << false << false;
    QTest::newRow("printPlainText") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.printPlainText("x", o.errorText, o.error);
    }) << false << false;
    QTest::newRow("introduction") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.introduction(cashier(), sum, o.error, o.errorText);
    }) << false << false;
    QTest::newRow("payout") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.payout(cashier(), sum, o.error, o.errorText);
    }) << false << false;
    QTest::newRow("closeFs") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.closeFs(cashier(), o.error, o.errorText, o.result);
    }) << false << false;
    QTest::newRow("getFullFrCoreState") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.getFullFrCoreState(o.result, true);
    }) << false << false;
}

void TestCoreApiWrapper::noClient()
{
    QFETCH(Operation, operation);
    QFETCH(bool, mapBased);
    QFETCH(bool, clearsResult);

    // No bus controller registered: no client.
    CoreApiWrapper wrapper;
    QVERIFY(!wrapper.hasApi());
    QVERIFY(wrapper.api().isNull());

    Outs outs;
    QVERIFY(!operation(wrapper, outs));
    QCOMPARE(outs.result, clearsResult ? QVariantMap() : STALE);
    QCOMPARE(outs.error, mapBased ? 0 : UNTOUCHED);
    QCOMPARE(outs.errorText, QString("untouched"));
    QVERIFY(!wrapper.hasApi());
    QVERIFY(wrapper.findChildren<QObject *>().isEmpty());
}

void TestCoreApiWrapper::clientMadeOnDemand()
{
    // No controller at first; the client is made once one exists, and only
    // once.
    bool controllerUp = false;
    int made = 0;
    CoreApiWrapper wrapper(
        [&](QObject *parent) -> TillgateCoreApi * {
            if (!controllerUp)
                return nullptr;
            ++made;
            return new FakeCoreApi(parent);
        },
        nullptr);
    fiscal::FsStatus status;
    status.setPhase(1);
    QVERIFY(!wrapper.getFsStatus(status));
    QCOMPARE(status, fiscal::FsStatus());

    controllerUp = true;
    QVERIFY(wrapper.hasApi());
    QVERIFY(wrapper.hasApi());
    QCOMPARE(made, 1);
    QCOMPARE(wrapper.api()->parent(), &wrapper);
}

void TestCoreApiWrapper::clientMadeAtConstruction()
{
    std::unique_ptr<CoreApiWrapper> wrapper;
    FakeCoreApi *client = makeWrapper(wrapper);
    QVERIFY(client);
    QCOMPARE(wrapper->api().data(), client);
    QCOMPARE(client->parent(), wrapper.get());

    QPointer<FakeCoreApi> watch(client);
    wrapper.reset();
    QVERIFY(watch.isNull());
}

void TestCoreApiWrapper::clientGoneMeansNoApi()
{
    // The bus controller deletes its clients when it goes away; the wrapper
    // then has none until a controller exists again.
    int made = 0;
    bool controllerUp = true;
    CoreApiWrapper wrapper(
        [&](QObject *parent) -> TillgateCoreApi * {
            if (!controllerUp)
                return nullptr;
            ++made;
            return new FakeCoreApi(parent);
        },
        nullptr);
    QVERIFY(wrapper.hasApi());
    QPointer<TillgateCoreApi> first = wrapper.api();

    controllerUp = false;
    first->deleteLater();
    QTRY_VERIFY(first.isNull());
    QVERIFY(!wrapper.hasApi());
    int error = UNTOUCHED;
    QVariantMap result = STALE;
    QVERIFY(!wrapper.openCycle(cashier(), true, error, result));

    controllerUp = true;
    QVERIFY(wrapper.hasApi());
    QCOMPARE(made, 2);
    QVERIFY(wrapper.api() != first);
}

void TestCoreApiWrapper::clientsOfBusController()
{
    auto controller = QSharedPointer<TillgateBusController>::create();
    CoreApiWrapper::setBusController(controller);
    CoreApiWrapper wrapper;
    QPointer<TillgateCoreApi> client = wrapper.api();
    QVERIFY(client);
    QCOMPARE(client->parent(), &wrapper);
    QCOMPARE(client->thread(), wrapper.thread());

    // The controller is on no bus: the core does not answer, and the core
    // library's time-out code comes back unchanged.
    client->setOperationTimeout(50);
    int error = 0;
    QVariantMap result = STALE;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("openCycle"));
    QVERIFY(!wrapper.openCycle(cashier(), true, error, result));
    QCOMPARE(error, BaseCoreApiWrapper::ERROR_TIMEOUT);
    QVERIFY(result.isEmpty());

    // Let go by the service, the controller takes its clients with it and
    // no new ones are made from it.
    controller.reset();
    QVERIFY(CoreApiWrapper::busController().isNull());
    QTRY_VERIFY(client.isNull());
    QVERIFY(!wrapper.hasApi());
    QVERIFY(wrapper.findChildren<TillgateCoreApi *>().isEmpty());

    controller = QSharedPointer<TillgateBusController>::create();
    CoreApiWrapper::setBusController(controller);
    QVERIFY(wrapper.hasApi());
    // Asking is not using: the client is made by the first operation.
    QVERIFY(wrapper.findChildren<TillgateCoreApi *>().isEmpty());
    QVERIFY(wrapper.api());
    QCOMPARE(wrapper.findChildren<TillgateCoreApi *>().size(), 1);
    CoreApiWrapper::setBusController({});
    QVERIFY(CoreApiWrapper::busController().isNull());
    // The client already made stays until its controller goes.
    QVERIFY(wrapper.hasApi());
}

void TestCoreApiWrapper::forwarding_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariantList>("args");
    static const qt5ext::FixNumber sum(100, 12345);

    QTest::newRow("getFsStatus") << Operation([](BaseCoreApiWrapper &w, Outs &) {
        fiscal::FsStatus status;
        return w.getFsStatus(status);
    }) << "getFsStatus" << QVariantList{};
    QTest::newRow("getRegData") << Operation([](BaseCoreApiWrapper &w, Outs &) {
        fiscal::RegData data;
        return w.getRegData(data);
    }) << "getRegData" << QVariantList{};
    QTest::newRow("getFullFrCoreState") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.getFullFrCoreState(o.result, true);
    }) << "getFullFrCoreState" << QVariantList{true};
    QTest::newRow("getFiscalDoc") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.getFiscalDoc(cashier(), 42, false, o.result);
    }) << "getFiscalDoc" << QVariantList{"Petrova", 42, false};
    QTest::newRow("registreCheck") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.registreCheck({{"document", 1}}, cashier(), o.result, o.error);
    }) << "registreCheck" << QVariantList{QVariantMap{{"document", 1}}, "Petrova"};
    QTest::newRow("openCycle") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.openCycle(cashier(), true, o.error, o.result);
    }) << "openCycle" << QVariantList{"Petrova", true};
    QTest::newRow("closeCycle, no X report first") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.closeCycle(cashier(), true, o.error, o.result);
    }) << "closeCycle" << QVariantList{"Petrova", true, false};
    QTest::newRow("xReport") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.xReport(cashier(), false, true, o.error, o.result);
    }) << "xReport" << QVariantList{"Petrova", false, true};
    QTest::newRow("calcReport") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.calcReport(cashier(), true, o.error, o.result);
    }) << "calcReport" << QVariantList{"Petrova", true};
    QTest::newRow("printText") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.printText(cashier(), {{"text", "x"}}, o.error, o.result);
    }) << "printText" << QVariantList{"Petrova", QVariantMap{{"text", "x"}}};
    QTest::newRow("activate, data before session") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.activate(cashier(), true, "s-9", {{"a", 1}}, o.error, o.result);
    }) << "activate" << QVariantList{"Petrova", true, QVariantMap{{"a", 1}}, "s-9"};
    QTest::newRow("introduction") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.introduction(cashier(), sum, o.error, o.errorText);
    }) << "introduction" << QVariantList{"Petrova", qlonglong(12345)};
    QTest::newRow("payout") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.payout(cashier(), sum, o.error, o.errorText);
    }) << "payout" << QVariantList{"Petrova", qlonglong(12345)};
    QTest::newRow("closeFs") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.closeFs(cashier(), o.error, o.errorText, o.result);
    }) << "closeFs" << QVariantList{"Petrova"};
}

void TestCoreApiWrapper::forwarding()
{
    QFETCH(Operation, operation);
    QFETCH(QString, name);
    QFETCH(QVariantList, args);

    std::unique_ptr<CoreApiWrapper> wrapper;
    FakeCoreApi *client = makeWrapper(wrapper);
    client->result = {{"answer", 1}};
    Outs outs;
    QVERIFY(operation(*wrapper, outs));
    QCOMPARE(client->calls.size(), 1);
    QCOMPARE(client->calls.at(0).name, name);
    QCOMPARE(client->calls.at(0).args, args);

    // The client's failure is the operation's failure, with its code.
    client->ok = false;
    client->result.clear();
    client->error = 1234;
    client->errorText = "refused";
    Outs failed;
    QVERIFY(!operation(*wrapper, failed));
    if (failed.error != UNTOUCHED)
        QCOMPARE(failed.error, 1234);
}

void TestCoreApiWrapper::mapSuccessRule_data()
{
    QTest::addColumn<bool>("coreOk");
    QTest::addColumn<QVariantMap>("coreResult");
    QTest::addColumn<bool>("expected");
    QTest::newRow("true, empty") << true << QVariantMap() << true;
    QTest::newRow("true, filled") << true << QVariantMap{{"fd", 7}} << true;
    QTest::newRow("false, filled") << false << QVariantMap{{"fd", 7}} << true;
    QTest::newRow("false, empty") << false << QVariantMap() << false;
}

void TestCoreApiWrapper::mapSuccessRule()
{
    QFETCH(bool, coreOk);
    QFETCH(QVariantMap, coreResult);
    QFETCH(bool, expected);

    std::unique_ptr<CoreApiWrapper> wrapper;
    FakeCoreApi *client = makeWrapper(wrapper);
    client->ok = coreOk;
    client->result = coreResult;
    client->error = coreOk ? 0 : 3;

    const QList<std::function<bool(int &, QVariantMap &)>> operations{
        [&](int &e, QVariantMap &r) { return wrapper->registreCheck({}, cashier(), r, e); },
        [&](int &e, QVariantMap &r) { return wrapper->openCycle(cashier(), true, e, r); },
        [&](int &e, QVariantMap &r) { return wrapper->closeCycle(cashier(), true, e, r); },
        [&](int &e, QVariantMap &r) { return wrapper->xReport(cashier(), true, false, e, r); },
        [&](int &e, QVariantMap &r) { return wrapper->calcReport(cashier(), true, e, r); },
        [&](int &e, QVariantMap &r) { return wrapper->printText(cashier(), {}, e, r); },
        [&](int &e, QVariantMap &r) { return wrapper->activate(cashier(), false, "s", {}, e, r); },
    };
    for (int i = 0; i < operations.size(); ++i) {
        int error = UNTOUCHED;
        QVariantMap result = STALE;
        QCOMPARE(operations.at(i)(error, result), expected);
        // A refused receipt (first) or fiscalisation (last) answers the
        // core's code, for the cashier to see.
        const bool explained = !expected && (i == 0 || i == operations.size() - 1);
        QCOMPARE(result, (explained ? QVariantMap{{"result", client->error}} : coreResult));
        QCOMPARE(error, client->error);
    }
}

void TestCoreApiWrapper::stateWithoutStorage()
{
    std::unique_ptr<CoreApiWrapper> wrapper;
    FakeCoreApi *client = makeWrapper(wrapper);
    fiscal::RegData data;
    data.setCashboxFlags(0x3FF);
    storeRegData(data);
    client->result = {{"mode", 1}, {"atmNumber", "CORE-ATM"}};
    QVariantMap state;
    QVERIFY(wrapper->getFullFrCoreState(state, true));
    QCOMPARE(state, client->result);
}

void TestCoreApiWrapper::stateNotFiscalised()
{
    std::unique_ptr<CoreApiWrapper> wrapper;
    FakeCoreApi *client = makeWrapper(wrapper);
    fiscal::RegData data;
    data.setCashier("Reg Cashier");
    storeRegData(data);

    fiscal::FsStatus status;
    status.setPhase(fiscal::FsStatus::PhaseSetUp);
    client->result = {{"fsStatus", status.toMap()}, {"atmNumber", "CORE-ATM"}};
    QVariantMap state;
    QVERIFY(wrapper->getFullFrCoreState(state, true));
    QCOMPARE(state, client->result);

    // A closed fiscal mode is not fiscalised either.
    status.setPhase(fiscal::FsStatus::PhaseSetUp | fiscal::FsStatus::PhaseFiscalMode
                    | fiscal::FsStatus::PhaseFiscalModeClosed);
    client->result = {{"fsStatus", status.toMap()}};
    QVERIFY(wrapper->getFullFrCoreState(state, true));
    QCOMPARE(state, client->result);
}

void TestCoreApiWrapper::stateWithoutRegistration()
{
    std::unique_ptr<CoreApiWrapper> wrapper;
    FakeCoreApi *client = makeWrapper(wrapper);
    client->result = fiscalisedState();
    QVariantMap state;
    QVERIFY(wrapper->getFullFrCoreState(state, true));
    QCOMPARE(state, client->result);
}

void TestCoreApiWrapper::stateFlags_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<QStringList>("set");
    QTest::newRow("0x005") << 0x005 << QStringList{"useEncryption", "automatMode"};
    QTest::newRow("none") << 0 << QStringList{};
    QTest::newRow("0x2A8") << 0x2A8 << QStringList{"allowServices", "internetOnly",
                                                   "excisableGoods", "allowLotteries"};
    QTest::newRow("0x152") << 0x152 << QStringList{"offlineMode", "makeBso", "externPrinter",
                                                   "allowGames"};
}

void TestCoreApiWrapper::stateFlags()
{
    QFETCH(int, flags);
    QFETCH(QStringList, set);

    std::unique_ptr<CoreApiWrapper> wrapper;
    FakeCoreApi *client = makeWrapper(wrapper);
    fiscal::RegData data;
    data.setCashboxFlags(quint16(flags));
    storeRegData(data);
    client->result = fiscalisedState();

    QVariantMap state;
    QVERIFY(wrapper->getFullFrCoreState(state, true));
    const QStringList keys{"useEncryption", "offlineMode",   "automatMode",   "allowServices",
                           "makeBso",       "internetOnly",  "externPrinter", "excisableGoods",
                           "allowGames",    "allowLotteries"};
    for (const QString &key : keys) {
        QVERIFY2(state.contains(key), qPrintable(key));
        QCOMPARE(state.value(key).userType(), int(QMetaType::Bool));
        QCOMPARE(state.value(key).toBool(), set.contains(key));
    }
}

void TestCoreApiWrapper::stateRegistrationCashier()
{
    std::unique_ptr<CoreApiWrapper> wrapper;
    FakeCoreApi *client = makeWrapper(wrapper);
    client->result = fiscalisedState();

    fiscal::RegData data;
    storeRegData(data);
    QVariantMap state;
    QVERIFY(wrapper->getFullFrCoreState(state, true));
    QVERIFY(!state.contains("regCashierName"));
    QVERIFY(!state.contains("regCashierInn"));
    QVERIFY(!state.contains("cashierInn"));

    data.setCashier("Reg Cashier");
    data.setCashierInn("123456789012");
    storeRegData(data);
    QVERIFY(wrapper->getFullFrCoreState(state, true));
    QCOMPARE(state.value("regCashierName"), QVariant("Reg Cashier"));
    QCOMPARE(state.value("regCashierInn"), QVariant("123456789012"));
    QVERIFY(!state.contains("cashierInn"));
    // The current cashier of the core's state is not the registration's.
    QCOMPARE(state.value("cashier"), QVariant("current cashier"));
}

void TestCoreApiWrapper::stateKeepsCoreValues()
{
    std::unique_ptr<CoreApiWrapper> wrapper;
    FakeCoreApi *client = makeWrapper(wrapper);
    QVariantMap core = fiscalisedState();
    core.insert("inn", "CORE-INN");
    client->result = core;

    fiscal::RegData data;
    data.setCashBoxSerial("REG-SERIAL");
    data.setRegNumeber("REG-REGNUM");
    data.setCashboxFlags(0x005);
    data.setBoxId("REG-ATM");
    data.setUserInn("REG-INN");
    data.setUserName("Shop Ltd");
    storeRegData(data);

    QVariantMap state;
    QVERIFY(wrapper->getFullFrCoreState(state, true));
    QCOMPARE(state.value("serial"), QVariant("CORE-SERIAL"));
    QCOMPARE(state.value("regNumber"), QVariant("CORE-REGNUM"));
    QCOMPARE(state.value("regFlags"), QVariant(999));
    QCOMPARE(state.value("atmNumber"), QVariant("REG-ATM"));
    QCOMPARE(state.value("userName"), QVariant("Shop Ltd"));
    QCOMPARE(state.value("mode"), QVariant(2));
    // One value per key: what the core said stays.
    QCOMPARE(state.value("inn"), QVariant("CORE-INN"));
    QStringList keys = state.keys();
    QCOMPARE(keys.removeDuplicates(), 0);
    QVERIFY(state.contains("fsStatus"));
}

void TestCoreApiWrapper::stateResultIsCores()
{
    // The enrichment happens even when the core said false, and the
    // operation's result is the core's.
    std::unique_ptr<CoreApiWrapper> wrapper;
    FakeCoreApi *client = makeWrapper(wrapper);
    client->ok = false;
    client->result = fiscalisedState();
    fiscal::RegData data;
    data.setCashboxFlags(0x001);
    storeRegData(data);

    QVariantMap state;
    QVERIFY(!wrapper->getFullFrCoreState(state, false));
    QCOMPARE(state.value("useEncryption"), QVariant(true));
    QCOMPARE(client->calls.at(0).args, QVariantList{false});
}

QTEST_GUILESS_MAIN(TestCoreApiWrapper)
#include "tst_coreapiwrapper.moc"
