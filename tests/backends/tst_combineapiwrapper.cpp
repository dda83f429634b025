#include "capturingcombineworker.h"
#include "combineapiwrapper.h"

#include <cashier.h>
#include <fixnumber.h>
#include <fsstatus.h>
#include <regdata.h>

#include <QtTest>

class TestCombineApiWrapper : public QObject
{
    Q_OBJECT
private slots:
    void placeholderHasNoApi();
    void unsupported_data();
    void unsupported();
    void receiptThroughWorker();
    void failedReceipt();
    void cyclesAndState();
    void ownsWorker();
};

namespace {

const int UNTOUCHED = 77;
const QVariantMap STALE{{"stale", true}};

struct Outs
{
    int error = UNTOUCHED;
    QString errorText = QStringLiteral("untouched");
    QVariantMap result = STALE;
};

using Operation = std::function<bool(BaseCoreApiWrapper &, Outs &)>;

} // namespace

Q_DECLARE_METATYPE(Operation)

void TestCombineApiWrapper::placeholderHasNoApi()
{
    CombineApiWrapper wrapper;
    QVERIFY(!wrapper.hasApi());
    QVERIFY(wrapper.worker());
    QVERIFY(!wrapper.worker()->isOpen());

    const core::Cashier cashier;
    QVariantMap state = STALE;
    QVERIFY(!wrapper.getFullFrCoreState(state, true));
    QCOMPARE(state, STALE);

    Outs outs;
    QVERIFY(!wrapper.openCycle(cashier, true, outs.error, outs.result));
    QVERIFY(!wrapper.closeCycle(cashier, true, outs.error, outs.result));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Combine receipt"));
    QVERIFY(!wrapper.registreCheck(QVariantMap{{"document", QVariantMap{}}}, cashier,
                                   outs.result, outs.error));
    QCOMPARE(outs.result, STALE);
    QCOMPARE(outs.error, UNTOUCHED);
}

void TestCombineApiWrapper::unsupported_data()
{
    QTest::addColumn<Operation>("operation");
    static const core::Cashier cashier;
    static const qt5ext::FixNumber sum(100, 12345);

    QTest::newRow("getFsStatus") << Operation([](BaseCoreApiWrapper &w, Outs &) {
        fiscal::FsStatus status;
        return w.getFsStatus(status);
    });
    QTest::newRow("getFiscalDoc") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.getFiscalDoc(cashier, 1, true, o.result);
    });
    QTest::newRow("xReport") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.xReport(cashier, true, false, o.error, o.result);
    });
    QTest::newRow("calcReport") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.calcReport(cashier, true, o.error, o.result);
    });
    QTest::newRow("printText") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.printText(cashier, {{"text", "x"}}, o.error, o.result);
    });
    QTest::newRow("activate") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.activate(cashier, false, "s1", {{"a", 1}}, o.error, o.result);
    });
    QTest::newRow("getRegData") << Operation([](BaseCoreApiWrapper &w, Outs &) {
        fiscal::RegData data;
        return w.getRegData(data);
    });
    QTest::newRow("printBbcode") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.printBbcode("[b]x[/b]", o.errorText, o.error);
    });
    QTest::newRow("printPlainText") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.printPlainText("x", o.errorText, o.error);
    });
    QTest::newRow("introduction") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.introduction(cashier, sum, o.error, o.errorText);
    });
    QTest::newRow("payout") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.payout(cashier, sum, o.error, o.errorText);
    });
    QTest::newRow("closeFs") << Operation([](BaseCoreApiWrapper &w, Outs &o) {
        return w.closeFs(cashier, o.error, o.errorText, o.result);
    });
}

void TestCombineApiWrapper::unsupported()
{
    QFETCH(Operation, operation);
    // Even over an open link these operations answer false and send nothing.
    auto *worker = new CapturingCombineWorker;
    CombineApiWrapper wrapper(worker, nullptr);
    QVERIFY(wrapper.hasApi());

    Outs outs;
    QVERIFY(!operation(wrapper, outs));
    QCOMPARE(outs.error, UNTOUCHED);
    QCOMPARE(outs.errorText, QString("untouched"));
    QCOMPARE(outs.result, STALE);
    QVERIFY(worker->sent.isEmpty());
}

void TestCombineApiWrapper::receiptThroughWorker()
{
    auto *worker = new CapturingCombineWorker;
    CombineApiWrapper wrapper(worker, nullptr);
    const QVariantList fiscprops{QVariantMap{{"tag", 1055}, {"value", 1}}};
    const QVariantMap data{{"fiscprops", fiscprops}};
    const QVariantMap check{{"document", QVariantMap{{"data", data}}}};
    QVariantMap result = STALE;
    int error = UNTOUCHED;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Combine receipt"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("true$"));
    QVERIFY(wrapper.registreCheck(check, core::Cashier(), result, error));
    QCOMPARE(result, check);
    QCOMPARE(error, UNTOUCHED);
    QCOMPARE(worker->sent.size(), 1);
    QVERIFY(worker->sent.at(0).bytes.startsWith(R"({"document":{"command":"fiscalcheck")"));
}

void TestCombineApiWrapper::failedReceipt()
{
    auto *worker = new CapturingCombineWorker;
    worker->failAt = 1;
    CombineApiWrapper wrapper(worker, nullptr);
    QVariantMap result;
    int error = UNTOUCHED;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Combine receipt"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("false$"));
    QVERIFY(!wrapper.registreCheck(QVariantMap(), core::Cashier(), result, error));
    // The device's code stays inside the back-end.
    QCOMPARE(error, UNTOUCHED);
}

void TestCombineApiWrapper::cyclesAndState()
{
    auto *worker = new CapturingCombineWorker;
    worker->answers = {{{"opened", 1}},
                       {{"closed", 1}},
                       {{"cashboxstatus", QVariantMap{{"mode", 3}}}}};
    CombineApiWrapper wrapper(worker, nullptr);
    const core::Cashier cashier;

    Outs outs;
    QVERIFY(wrapper.openCycle(cashier, true, outs.error, outs.result));
    QCOMPARE(outs.result, (QVariantMap{{"opened", 1}}));
    QVERIFY(wrapper.closeCycle(cashier, false, outs.error, outs.result));
    QCOMPARE(outs.result, (QVariantMap{{"closed", 1}}));
    QCOMPARE(outs.error, UNTOUCHED);

    QVariantMap state;
    QVERIFY(wrapper.getFullFrCoreState(state, true));
    QCOMPARE(state, (QVariantMap{{"mode", 3}}));
    QCOMPARE(worker->sent.size(), 3);

    worker->failAt = 4;
    QVERIFY(!wrapper.openCycle(cashier, true, outs.error, outs.result));
    QCOMPARE(outs.error, UNTOUCHED);
}

void TestCombineApiWrapper::ownsWorker()
{
    QPointer<CombineFrWorker> worker;
    {
        QObject owner;
        auto *wrapper = new CombineApiWrapper(&owner);
        worker = wrapper->worker();
        QCOMPARE(worker->parent(), wrapper);

        auto *given = new CapturingCombineWorker;
        CombineApiWrapper other(given, &owner);
        QCOMPARE(given->parent(), &other);
        QCOMPARE(other.worker(), given);
    }
    QVERIFY(worker.isNull());
}

QTEST_GUILESS_MAIN(TestCombineApiWrapper)
#include "tst_combineapiwrapper.moc"
