#include "../frprint/testimages.h"
#include "apitestsupport.h"
#include "cashboxfinder.h"
#include "fakebackend.h"
#include "htmlrequestprocessor.h"
#include "jsonrequestprocessor.h"
#include "tillgatecashe.h"
#include "tillgatecashedbinitializer.h"
#include "tillgateconfig.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

// The request operations behind the JSON and plain processors, over a back-end
// that answers as told and the real check cache in a private root.
class TestRequestProcessor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void commands_data();
    void commands();
    void statusQueries_data();
    void statusQueries();
    void fiscalDocument();
    void cashOperations_data();
    void cashOperations();
    void closingAsksOnlyForABackEnd();

    void receiptFromCache();
    void secondIncomingReceiptIsRefused();
    void emptySessionIdTwice();
    void completesInnAndRegNumber();
    void matchingRegisterGivesItsNumbers();
    void regNumberWithoutInn();
    void dispatcherValuesAreKept();
    void versionTwoReceipt();
    void receiptRefusals_data();
    void receiptRefusals();
    void receiptWithWrongTypes();
    void fiscalization();
    void fiscalizationWithoutBackEndIsStored();
    void fiscalizationRefusals_data();
    void fiscalizationRefusals();
    void printText();

    void richTextPrintsInOrder();
    void richTextEmpty();
    void richTextRefusesBrokenBase64();
    void imagesAreStored();
    void imageNames_data();
    void imageNames();

    void search();
    void chooseAtol();
    void chooseCombine();
    void chooseRefusals();
    void unknownCashbox();
    void foundCashboxes();

    void plainPathsRefuse();
    void plainSearch();

private:
    std::unique_ptr<JsonRequestProcessor> processor(FakeBackEnd::Mode mode = FakeBackEnd::Succeed, int code = 0);
    QString settingsPath() const { return m_root.path() + "/opt/zelvotillgate/etc/tillgate.conf"; }
    static QString uniqueSession();

    QTemporaryDir m_root;
    FakeBackEnd *m_fake = nullptr;
};

static QVariantMap parseJson(const QByteArray &body)
{
    return QJsonDocument::fromJson(body).toVariant().toMap();
}

static QByteArray toJson(const QVariant &value)
{
    return QJsonDocument::fromVariant(value).toJson(QJsonDocument::Compact);
}

void TestRequestProcessor::initTestCase()
{
    QVERIFY(m_root.isValid());
    qt5ext::FileConfigHelper::setFileSystemRoot(m_root.path());
    qt5ext::InitConfig::setAppWorkDir("zelvotillgate");
    QVERIFY(QDir().mkpath(QFileInfo(settingsPath()).path()));
    QVERIFY(TillgateCasheDbInitializer::initializeDatabase());
}

void TestRequestProcessor::init()
{
    QFile::remove(settingsPath());
}

QString TestRequestProcessor::uniqueSession()
{
    static int counter = 0;
    return QStringLiteral("session-%1-%2").arg(QCoreApplication::applicationPid()).arg(++counter);
}

std::unique_ptr<JsonRequestProcessor> TestRequestProcessor::processor(FakeBackEnd::Mode mode, int code)
{
    auto result = std::make_unique<JsonRequestProcessor>(nullptr);
    m_fake = new FakeBackEnd;
    m_fake->mode = mode;
    m_fake->errorCode = code;
    result->setBackEnd(m_fake);
    core::Cashier cashier;
    cashier.setName("Ivanova");
    cashier.setPassword(30);
    result->setCashier(cashier);
    return result;
}

using Operation = std::function<int(JsonRequestProcessor &, QByteArray &, QByteArray &)>;
Q_DECLARE_METATYPE(Operation)

void TestRequestProcessor::commands_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("statusText");
    QTest::addColumn<bool>("hasBody");

    const QList<QPair<QString, Operation>> operations{
        {"openCycle", [](JsonRequestProcessor &p, QByteArray &b, QByteArray &t) { return p.getCycleOpen(true, b, t); }},
        {"closeCycle", [](JsonRequestProcessor &p, QByteArray &b, QByteArray &t) { return p.getCycleClose(false, b, t); }},
        {"xReport", [](JsonRequestProcessor &p, QByteArray &b, QByteArray &t) { return p.getXReport(true, b, t); }},
        {"calcReport", [](JsonRequestProcessor &p, QByteArray &b, QByteArray &t) { return p.getCalcReport(true, b, t); }},
        {"printText", [](JsonRequestProcessor &p, QByteArray &b, QByteArray &t) {
             return p.postPrintText(R"({"text":"hello"})", b, t); }},
        {"registreCheck", [](JsonRequestProcessor &p, QByteArray &b, QByteArray &t) {
             return p.postFiscalCheck(toJson(QVariantMap{{"document", QVariantMap{{"sessionId", uniqueSession()}}}}),
                                      b, t); }},
        {"activate", [](JsonRequestProcessor &p, QByteArray &b, QByteArray &t) {
             return p.postFiscalization(
                 toJson(QVariantMap{{"document", QVariantMap{{"sessionId", uniqueSession()}}}}), b, t); }},
    };
    for (const auto &operation : operations) {
        const QByteArray name = operation.first.toLatin1();
        QTest::newRow(name + " ok") << operation.second << operation.first << int(FakeBackEnd::Succeed) << 0
                                    << 200 << QByteArray("OK") << true;
        QTest::newRow(name + " error") << operation.second << operation.first << int(FakeBackEnd::Fail) << 7
                                       << 500 << QByteArray("Internal server error") << true;
        QTest::newRow(name + " timeout") << operation.second << operation.first << int(FakeBackEnd::Fail) << 4351
                                         << 524 << QByteArray("A Timeout Occured") << false;
        QTest::newRow(name + " no link") << operation.second << QString() << int(FakeBackEnd::NoApi) << 0 << 523
                                         << QByteArray("Origin Is Unreachable") << false;
    }
}

void TestRequestProcessor::commands()
{
    QFETCH(Operation, operation);
    QFETCH(QString, call);
    QFETCH(int, mode);
    QFETCH(int, code);
    QFETCH(int, status);
    QFETCH(QByteArray, statusText);
    QFETCH(bool, hasBody);

    auto p = processor(FakeBackEnd::Mode(mode), code);
    QByteArray body;
    QByteArray text;
    QCOMPARE(operation(*p, body, text), status);
    QCOMPARE(text, statusText);
    QCOMPARE(m_fake->calls, call.isEmpty() ? QStringList() : QStringList{call});
    if (hasBody)
        QCOMPARE(body, QByteArray(R"({"document":{"answer":"device"},"protocol":1,"version":"1.0"})"));
    else if (status == 524 && call == "registreCheck")
        // A receipt's time-out tells the caller what a retry does.
        QVERIFY(body.contains(R"("outcome":"unknown")"));
    else
        QCOMPARE(body, QByteArray());
}

void TestRequestProcessor::statusQueries_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("status");
    QTest::newRow("ok") << int(FakeBackEnd::Succeed) << 200;
    QTest::newRow("failed") << int(FakeBackEnd::Fail) << 523;
    QTest::newRow("no link") << int(FakeBackEnd::NoApi) << 523;
}

void TestRequestProcessor::statusQueries()
{
    QFETCH(int, mode);
    QFETCH(int, status);
    const QByteArray text = status == 200 ? "OK" : "Origin Is Unreachable";
    QByteArray body;
    QByteArray statusText;

    auto p = processor(FakeBackEnd::Mode(mode));
    QCOMPARE(p->getFsStatus(body, statusText), status);
    QCOMPARE(statusText, text);
    if (status == 200)
        QCOMPARE(parseJson(body).value("fsStatus").toMap().value("fsNumber").toString(), QString("9999078900001234"));
    else
        QCOMPARE(body, QByteArray());

    QCOMPARE(p->getCashboxStatus(body, statusText), status);
    QCOMPARE(statusText, text);
    if (status == 200)
        QCOMPARE(body, QByteArray(R"({"cashboxStatus":{"mode":1,"model":45,"modelstr":"Ostrak","ver":"3"},)"
                                  R"("protocol":1,"version":"1.0"})"));
    else
        QCOMPARE(body, QByteArray());

    // The version is answered even when the state could not be read.
    QCOMPARE(p->getCashboxVersion(body, statusText), status);
    QCOMPARE(statusText, text);
    if (status == 200)
        QCOMPARE(body, QByteArray(R"({"cashboxVersion":{"model":45,"modelstr":"Ostrak","subver":null,"ver":"3"},)"
                                  R"("protocol":1,"version":"1.0"})"));
    else
        QCOMPARE(body, QByteArray(R"({"cashboxVersion":{"model":null,"modelstr":null,"subver":null,"ver":null},)"
                                  R"("protocol":1,"version":"1.0"})"));
}

void TestRequestProcessor::fiscalDocument()
{
    QByteArray body;
    QByteArray text;
    auto p = processor();
    QCOMPARE(p->printFiscalDoc(17, body, text), 200);
    QCOMPARE(m_fake->lastNumber, 17);
    QVERIFY(m_fake->lastPrint);
    QCOMPARE(body, QByteArray(R"({"document":{"answer":"device"},"protocol":1,"version":"1.0"})"));

    p = processor(FakeBackEnd::Fail, 7);
    QCOMPARE(p->getFiscalDoc(18, body, text), 524);
    QCOMPARE(text, QByteArray("A Timeout Occured"));
    QVERIFY(!m_fake->lastPrint);
    QCOMPARE(body, QByteArray());

    p = processor(FakeBackEnd::NoApi);
    QCOMPARE(p->getFiscalDoc(18, body, text), 523);
    QVERIFY(m_fake->calls.isEmpty());
}

void TestRequestProcessor::cashOperations_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("errorText");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("ok") << int(FakeBackEnd::Succeed) << 0 << QString() << 200
                        << QByteArray(R"({"document":{"result":0},"protocol":1,"version":"1.0"})");
    QTest::newRow("device refused") << int(FakeBackEnd::Fail) << 3 << QString("x") << 200
                                    << QByteArray(R"({"document":{"message":{"resultDescription":"x"},"result":3},)"
                                                  R"("protocol":1,"version":"1.0"})");
    QTest::newRow("no answer") << int(FakeBackEnd::Fail) << 0 << QString() << 524 << QByteArray();
}

void TestRequestProcessor::cashOperations()
{
    QFETCH(int, mode);
    QFETCH(int, code);
    QFETCH(QString, errorText);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QByteArray out;
    QByteArray text;

    auto p = processor(FakeBackEnd::Mode(mode), code);
    m_fake->errorText = errorText;
    QCOMPARE(p->getIntroduction("150", out, text), status);
    QCOMPARE(out, body);
    QCOMPARE(m_fake->lastSum, 150);
    QCOMPARE(p->getPayout("12", out, text), status);
    QCOMPARE(out, body);
    QCOMPARE(m_fake->lastSum, 12);
    // An amount that is not whole kopecks never reaches the device.
    QCOMPARE(p->getPayout("12x", out, text), 406);
    QCOMPARE(out, QByteArray("406 Not Acceptable"));
    QCOMPARE(p->getFsClosing(out, text), status);
    QCOMPARE(out, body);
    QCOMPARE(m_fake->calls, (QStringList{"introduction", "payout", "closeFs"}));
}

void TestRequestProcessor::closingAsksOnlyForABackEnd()
{
    QByteArray body;
    QByteArray text;
    auto p = processor(FakeBackEnd::NoApi);
    QCOMPARE(p->getIntroduction("1", body, text), 523);
    QCOMPARE(p->getFsClosing(body, text), 524);
    QCOMPARE(m_fake->calls, QStringList{"closeFs"});

    JsonRequestProcessor none(nullptr);
    QCOMPARE(none.getFsClosing(body, text), 523);
    QCOMPARE(text, QByteArray("Origin Is Unreachable"));
}

void TestRequestProcessor::receiptFromCache()
{
    const QString session = uniqueSession();
    {
        TillgateCashe cache(nullptr);
        QVERIFY(cache.storeIncomingCheckData(session, QVariantMap{{"x", 1}}));
        QVERIFY(cache.storeOutgoingCheckData(session, QVariantMap{{"fiscalSign", "123"}}));
    }
    auto p = processor();
    QByteArray body;
    QByteArray text;
    const QByteArray receipt = toJson(QVariantMap{{"document", QVariantMap{{"sessionId", session}, {"other", 2}}}});
    QCOMPARE(p->postFiscalCheck(receipt, body, text), 200);
    QCOMPARE(body, QByteArray(R"({"document":{"fiscalSign":"123"},"protocol":1,"version":"1.0"})"));
    QVERIFY(m_fake->calls.isEmpty());
}

void TestRequestProcessor::secondIncomingReceiptIsRefused()
{
    const QByteArray receipt = toJson(QVariantMap{{"document", QVariantMap{{"sessionId", uniqueSession()}}}});
    QByteArray body;
    QByteArray text;
    auto p = processor(FakeBackEnd::Fail, 4351);
    QCOMPARE(p->postFiscalCheck(receipt, body, text), 524);
    QCOMPARE(m_fake->calls, QStringList{"registreCheck"});
    QVERIFY(body.contains(R"("outcome":"unknown")"));

    // A back-end that cannot tell its last document leaves the outcome
    // unknown for good: the retry says so and sends nothing.
    p = processor();
    QCOMPARE(p->postFiscalCheck(receipt, body, text), 507);
    QCOMPARE(text, QByteArray("Insufficient Storage "));
    QVERIFY(body.contains(R"("outcome":"unknown")"));
    QVERIFY(body.contains("not recorded"));
    QVERIFY(m_fake->calls.isEmpty());
}

void TestRequestProcessor::emptySessionIdTwice()
{
    // Without a session identifier a receipt cannot be repeated safely, so
    // nothing of it is remembered: each one is registered.
    QByteArray body;
    QByteArray text;
    auto p = processor();
    QCOMPARE(p->postFiscalCheck(R"({"document":{}})", body, text), 200);
    p = processor();
    QCOMPARE(p->postFiscalCheck(R"({"document":{"sessionId":""}})", body, text), 200);
    QCOMPARE(m_fake->calls, QStringList{"registreCheck"});
}

void TestRequestProcessor::completesInnAndRegNumber()
{
    auto p = processor();
    m_fake->regData.setModel(45);
    m_fake->regData.setCashBoxSerial("0000000001");
    m_fake->regData.setRegNumeber("0000000001012345");
    m_fake->regData.setUserInn("7701234567");
    QByteArray body;
    QByteArray text;
    WarningCapture warnings;
    const QByteArray receipt = toJson(QVariantMap{
        {"document", QVariantMap{{"sessionId", uniqueSession()}, {"frmodel", "46"}, {"frserial", "0000000001"}}}});
    QCOMPARE(p->postFiscalCheck(receipt, body, text), 200);
    const QVariantMap sent = m_fake->lastCheck.value("document").toMap();
    QCOMPARE(sent.value("inn").toString(), QString("7701234567"));
    QCOMPARE(sent.value("frregnum").toString(), QString("0000000001012345"));
    QCOMPARE(m_fake->lastCheck.value("cashier").toMap().value("name").toString(), QString("Ivanova"));
    QVERIFY(warnings.contains("REQUEST REG NUMBER IS EMPTY"));
    QVERIFY(warnings.contains("REQUEST INN IS EMPTY"));
}

void TestRequestProcessor::matchingRegisterGivesItsNumbers()
{
    auto p = processor();
    m_fake->regData.setModel(45);
    m_fake->regData.setCashBoxSerial(" 0000000001 ");
    m_fake->regData.setRegNumeber("REG");
    m_fake->regData.setUserInn("INN");
    QByteArray body;
    QByteArray text;
    WarningCapture warnings;
    const QByteArray receipt = toJson(QVariantMap{
        {"document", QVariantMap{{"sessionId", uniqueSession()}, {"frmodel", "00045"}, {"frserial", "0000000001 "}}}});
    QCOMPARE(p->postFiscalCheck(receipt, body, text), 200);
    const QVariantMap sent = m_fake->lastCheck.value("document").toMap();
    QCOMPARE(sent.value("inn").toString(), QString("INN"));
    QCOMPARE(sent.value("frregnum").toString(), QString("REG"));
    QVERIFY(!warnings.contains("REQUEST REG NUMBER IS EMPTY"));
    QVERIFY(!warnings.contains("REQUEST INN IS EMPTY"));
}

void TestRequestProcessor::regNumberWithoutInn()
{
    auto p = processor();
    m_fake->regData.setUserInn("INN");
    QByteArray body;
    QByteArray text;
    WarningCapture warnings;
    const QByteArray receipt =
        toJson(QVariantMap{{"document", QVariantMap{{"sessionId", uniqueSession()}, {"frregnum", " R1 "}}}});
    QCOMPARE(p->postFiscalCheck(receipt, body, text), 200);
    const QVariantMap sent = m_fake->lastCheck.value("document").toMap();
    QVERIFY(!sent.contains("inn"));
    QCOMPARE(sent.value("frregnum").toString(), QString(" R1 "));
    QVERIFY(!warnings.contains("REQUEST INN IS EMPTY"));
    QVERIFY(!warnings.contains("REQUEST REG NUMBER IS EMPTY"));
}

void TestRequestProcessor::dispatcherValuesAreKept()
{
    auto p = processor();
    p->setInn("DISPATCH-INN");
    p->setRegNumber("DISPATCH-REG");
    m_fake->regData.setRegNumeber("REG");
    m_fake->regData.setUserInn("INN");
    QByteArray body;
    QByteArray text;
    QCOMPARE(p->postFiscalCheck(toJson(QVariantMap{{"document", QVariantMap{{"sessionId", uniqueSession()}}}}), body,
                                text),
             200);
    const QVariantMap sent = m_fake->lastCheck.value("document").toMap();
    QCOMPARE(sent.value("inn").toString(), QString("DISPATCH-INN"));
    QCOMPARE(sent.value("frregnum").toString(), QString("DISPATCH-REG"));
}

void TestRequestProcessor::versionTwoReceipt()
{
    auto p = processor();
    QByteArray body;
    QByteArray text;
    const QString session = uniqueSession();
    const QByteArray receipt = R"({"protocol":258,"cashier":{"name":"Other","password":1},"document":{"sessionId":")"
        + session.toUtf8() + R"(","data":{"bso":{"p1054":1,"p1059":[{"p1030":"Bread","p1079":100}]}}}})";
    QCOMPARE(p->postFiscalCheck(receipt, body, text), 200);
    QCOMPARE(m_fake->lastCheck.value("cashier").toMap().value("name").toString(), QString("Ivanova"));
    QVERIFY(!m_fake->lastCheck.contains("protocol"));
    const QVariantMap data = m_fake->lastCheck.value("document").toMap().value("data").toMap();
    QVERIFY(!data.contains("bso"));
    QCOMPARE(toJson(data.value("fiscprops")),
             QByteArray(R"([{"tag":1054,"value":1},{"fiscprops":[{"tag":1030,"value":"Bread"},)"
                        R"({"tag":1079,"value":100}],"tag":1059}])"));
    QCOMPARE(m_fake->lastCheck.value("document").toMap().value("sessionId").toString(), session);
}

void TestRequestProcessor::receiptRefusals_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("not json") << QByteArray("sessionId=1")
                              << QByteArray("406 Not Acceptable (illegal value)");
    QTest::newRow("truncated") << QByteArray(R"({"document":{"sessionId":"r1")")
                               << QByteArray("406 Not Acceptable (unterminated string)");
    QTest::newRow("protocol 3") << QByteArray(R"({"protocol":3,"document":{"sessionId":"r1"}})")
                                << QByteArray("406 Not Acceptable protocol 3");
    QTest::newRow("protocol 259") << QByteArray(R"({"protocol":259,"document":{"sessionId":"r1"}})")
                                  << QByteArray("406 Not Acceptable protocol 3");
}

void TestRequestProcessor::receiptRefusals()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, expected);
    auto p = processor();
    QByteArray out;
    QByteArray text;
    QCOMPARE(p->postFiscalCheck(body, out, text), 406);
    QCOMPARE(text, expected);
    QCOMPARE(out, expected);
    QVERIFY(m_fake->calls.isEmpty());
    // Nothing was stored for the session: a good receipt still goes through.
    TillgateCashe cache(nullptr);
    QVariantMap stored;
    QVERIFY(!cache.getOutgoingCheckData("r1", stored));
}

void TestRequestProcessor::receiptWithWrongTypes()
{
    auto p = processor();
    QByteArray body;
    QByteArray text;
    const QString session = QString::number(QCoreApplication::applicationPid() * 1000 + 7);
    QCOMPARE(p->postFiscalCheck(R"({"document":{"sessionId":)" + session.toUtf8()
                                    + R"(,"data":{"fiscprops":"text"}}})",
                                body, text),
             200);
    const QVariantMap sent = m_fake->lastCheck.value("document").toMap();
    QCOMPARE(sent.value("sessionId").toString(), session);
    QCOMPARE(sent.value("data").toMap().value("fiscprops").toString(), QString("text"));

    // A document that is not an object has no session identifier; the empty
    // one may be taken already, so start from a cache without it.
    {
        TillgateCashe cache(nullptr);
        QSqlQuery query(cache.db());
        QVERIFY(query.exec("delete from checksCache where sessionId = ''"));
    }
    p = processor();
    QCOMPARE(p->postFiscalCheck(R"({"document":[1,2]})", body, text), 200);
    QCOMPARE(m_fake->lastCheck.value("document").type(), QVariant::Map);
}

void TestRequestProcessor::fiscalization()
{
    auto p = processor();
    QByteArray body;
    QByteArray text;
    const QString session = uniqueSession();
    QCOMPARE(p->postFiscalization(toJson(QVariantMap{{"document", QVariantMap{{"sessionId", session},
                                                                                {"printOnly", true},
                                                                                {"data", QVariantMap{{"inn", "1"}}}}}}),
                                  body, text),
             200);
    QCOMPARE(m_fake->lastSessionId, session);
    QVERIFY(m_fake->lastPrintOnly);
    QCOMPARE(m_fake->lastData.value("printOnly"), QVariant(true));
    QCOMPARE(m_fake->lastData.value("inn").toString(), QString("1"));
    QCOMPARE(m_fake->lastData.value("cashier").toMap().value("name").toString(), QString("Ivanova"));
}

void TestRequestProcessor::fiscalizationWithoutBackEndIsStored()
{
    const QByteArray request = toJson(QVariantMap{{"document", QVariantMap{{"sessionId", uniqueSession()}}}});
    QByteArray body;
    QByteArray text;
    JsonRequestProcessor none(nullptr);
    QCOMPARE(none.postFiscalization(request, body, text), 523);
    QCOMPARE(none.postFiscalization(request, body, text), 507);
}

void TestRequestProcessor::fiscalizationRefusals_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("not json") << QByteArray("{");
    QTest::newRow("protocol 3") << QByteArray(R"({"protocol":3})");
}

void TestRequestProcessor::fiscalizationRefusals()
{
    QFETCH(QByteArray, body);
    auto p = processor();
    QByteArray out;
    QByteArray text;
    QCOMPARE(p->postFiscalization(body, out, text), 406);
    QCOMPARE(text, QByteArray("Not Acceptable"));
    QCOMPARE(out, QByteArray("406 Not Acceptable"));
    QVERIFY(m_fake->calls.isEmpty());
}

void TestRequestProcessor::printText()
{
    auto p = processor();
    QByteArray body;
    QByteArray text;
    QCOMPARE(p->postPrintText(R"({"protocol":3,"text":"a"})", body, text), 200);
    QCOMPARE(m_fake->lastText.value("text").toString(), QString("a"));
    QCOMPARE(m_fake->lastText.value("cashier").toMap().value("name").toString(), QString("Ivanova"));
    QCOMPARE(p->postPrintText("[", body, text), 406);
    QCOMPARE(body, QByteArray("406 Not Acceptable"));
}

void TestRequestProcessor::richTextPrintsInOrder()
{
    auto p = processor(FakeBackEnd::Fail, 5);
    m_fake->errorText = "paper";
    QByteArray body;
    QByteArray text;
    const QByteArray request = "\r\n\n" + toJson(QVariantMap{{"document", QVariantMap{
        {"bbcode", QByteArray("[b]B[/b]").toBase64()},
        {"plain", QByteArray("Plain\xd1\x82\0tail", 12).toBase64()}}}}) + "\n\n";
    QCOMPARE(p->postRichText(request, body, text), 200);
    QCOMPARE(m_fake->calls, (QStringList{"printPlainText", "printBbcode"}));
    QCOMPARE(m_fake->printed, (QStringList{QString::fromUtf8("Plain\xd1\x82"), "[b]B[/b]"}));
    QCOMPARE(body, QByteArray(R"({"document":{"message":{"resultDescription":"paper"},"result":5},)"
                              R"("protocol":1,"version":"1.0"})"));
}

void TestRequestProcessor::richTextEmpty()
{
    auto p = processor();
    QByteArray body;
    QByteArray text;
    QCOMPARE(p->postRichText("{}", body, text), 200);
    QCOMPARE(body, QByteArray(R"({"document":{"result":0},"protocol":1,"version":"1.0"})"));
    QVERIFY(m_fake->calls.isEmpty());

    p = processor(FakeBackEnd::NoApi);
    QCOMPARE(p->postRichText("{}", body, text), 523);
    QCOMPARE(body, QByteArray(R"({"protocol":1,"version":"1.0"})"));

    QCOMPARE(p->postRichText("not json", body, text), 406);
    QCOMPARE(text, QByteArray("Not Acceptable"));
    QCOMPARE(body, QByteArray("406 Not Acceptable"));
}

void TestRequestProcessor::richTextRefusesBrokenBase64()
{
    auto p = processor();
    QByteArray body;
    QByteArray text;
    const QByteArray request = R"({"document":{"plain":"SGVsbG8=","bbcode":"not*base64!",)"
                               R"("images":[{"fileName":"refused.png","image":"AAAA"}]}})";
    QCOMPARE(p->postRichText(request, body, text), 406);
    QCOMPARE(body, QByteArray("406 Not Acceptable"));
    QVERIFY(m_fake->calls.isEmpty());
    QVERIFY(!QFile::exists(TillgateConfig().tillgateImages() + "/refused.png"));
}

void TestRequestProcessor::imagesAreStored()
{
    auto p = processor();
    QByteArray body;
    QByteArray text;
    const QString images = TillgateConfig().tillgateImages();
    const QByteArray first = testimages::bmp24(2, 2, [](int, int) { return 0xFF000000u; });
    const QByteArray second = testimages::pngRgba(3, 1, [](int, int) { return 0xFFFFFFFFu; });
    QByteArray wrappedText = second.toBase64();
    wrappedText.insert(8, "\n").insert(4, "\r\n");
    // A directory removed while the service runs is made again.
    QVERIFY(QDir(images).removeRecursively());
    const QByteArray request = toJson(QVariantMap{{"document", QVariantMap{{"images", QVariantList{
        QVariantMap{{"fileName", "logo.bmp"}, {"image", first.toBase64()}},
        QVariantMap{{"fileName", "nobytes.png"}},
        QVariantMap{{"fileName", "logo.bmp"}, {"image", second.toBase64()}},
        QVariantMap{{"fileName", "wrapped.png"}, {"image", QString::fromLatin1(wrappedText)}}}}}}});
    QCOMPARE(p->postRichText(request, body, text), 200);
    QFile logo(images + "/logo.bmp");
    QVERIFY(logo.open(QIODevice::ReadOnly));
    QCOMPARE(logo.readAll(), second);
    QVERIFY(!QFile::exists(images + "/nobytes.png"));
    QFile wrapped(images + "/wrapped.png");
    QVERIFY(wrapped.open(QIODevice::ReadOnly));
    QCOMPARE(wrapped.readAll(), second);
}

void TestRequestProcessor::imageNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("safe");
    QTest::newRow("plain") << "logo.png" << true;
    QTest::newRow("dots inside") << "a..b.png" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("dot") << "." << false;
    QTest::newRow("dot dot") << ".." << false;
    QTest::newRow("climbing") << "../../etc/passwd" << false;
    QTest::newRow("absolute") << "/tmp/x.png" << false;
    QTest::newRow("subdirectory") << "sub/x.png" << false;
    QTest::newRow("backslash") << "..\\x.png" << false;
    QTest::newRow("nul") << QString("x.png") + QChar(0) + "y" << false;
}

void TestRequestProcessor::imageNames()
{
    QFETCH(QString, name);
    QFETCH(bool, safe);
    QCOMPARE(BaseRequestProcessor::isSafeImageName(name), safe);

    // Through the operation: a refused name stores nothing of the request.
    const QString images = TillgateConfig().tillgateImages();
    QDir(images).removeRecursively();
    QVERIFY(QDir().mkpath(images));
    auto p = processor();
    const QByteArray picture = testimages::bmp1(8, 1, [](int x, int) { return x % 2 == 0; }).toBase64();
    p->saveImages(QVariantList{QVariantMap{{"fileName", name}, {"image", picture}},
                               QVariantMap{{"fileName", "next.png"}, {"image", picture}}});
    const QStringList stored = QDir(images).entryList(QDir::Files);
    QCOMPARE(stored.size(), safe ? 2 : 0);
    QCOMPARE(QDir(m_root.path()).entryList(QDir::Files), QStringList());
    QVERIFY(!QFile::exists(m_root.path() + "/tmp/x.png"));
}

void TestRequestProcessor::search()
{
    JsonRequestProcessor p(nullptr);
    QSignalSpy init(&p, &BaseRequestProcessor::initCashboxesSearch);
    QSignalSpy clean(&p, &BaseRequestProcessor::cleanAndinitCashboxesSearch);
    QByteArray body;
    QByteArray text;
    QCOMPARE(p.getInitSearch(false, body, text), 200);
    QCOMPARE(body, QByteArray(R"({"protocol":1,"version":"1.0"})"));
    QCOMPARE(init.count(), 1);
    QCOMPARE(p.getInitSearch(true, body, text), 200);
    QCOMPARE(clean.count(), 1);
    QCOMPARE(init.count(), 1);
}

void TestRequestProcessor::chooseAtol()
{
    JsonRequestProcessor p(nullptr);
    QSignalSpy start(&p, &BaseRequestProcessor::startAtolCashbox);
    QByteArray body;
    QByteArray text;
    QCOMPARE(p.chooseAtol(R"({"protocol":2,"anything":1})", body, text), 200);
    QCOMPARE(body, QByteArray(R"({"document":{"result":0,"settings":{"anything":1,"protocol":2}},)"
                              R"("protocol":1,"version":"1.0"})"));
    QCOMPARE(start.count(), 1);
    QCOMPARE(TillgateConfig().currentDevice(), TillgateConfig::DeviceAtol);
}

void TestRequestProcessor::chooseCombine()
{
    JsonRequestProcessor p(nullptr);
    QSignalSpy start(&p, &BaseRequestProcessor::startCombineCashbox);
    QByteArray body;
    QByteArray text;
    QCOMPARE(p.chooseCombine(R"({"cashier":"Petrova","cashierInn":"500100732259"})", body, text), 200);
    QCOMPARE(start.count(), 1);
    const TillgateConfig config;
    QCOMPARE(config.currentDevice(), TillgateConfig::DeviceCombine);
    QCOMPARE(config.combineCashierName(), QString("Petrova"));
    QCOMPARE(config.combineCashierInn(), QString("500100732259"));
}

void TestRequestProcessor::chooseRefusals()
{
    JsonRequestProcessor p(nullptr);
    QSignalSpy start(&p, &BaseRequestProcessor::startAtolCashbox);
    QByteArray body;
    QByteArray text;
    QCOMPARE(p.chooseAtol(R"({"protocol":3})", body, text), 406);
    QCOMPARE(body, QByteArray("406 Not Acceptable protocol 3"));
    QCOMPARE(p.chooseCombine("{]", body, text), 406);
    QVERIFY(body.startsWith("406 Not Acceptable ("));
    QCOMPARE(start.count(), 0);
    QCOMPARE(TillgateConfig().currentDevice(), TillgateConfig::DeviceNone);
}

void TestRequestProcessor::unknownCashbox()
{
    JsonRequestProcessor p(nullptr);
    QSignalSpy start(&p, &BaseRequestProcessor::startOstrakCashbox);
    QByteArray body;
    QByteArray text;
    QCOMPARE(p.checkCashbox(45, "no-such-serial", body, text), 523);
    QCOMPARE(text, QByteArray("Origin Is Unreachable"));
    QCOMPARE(body, QByteArray());
    QCOMPARE(start.count(), 0);
    QVERIFY(!QFile::exists(settingsPath()));
}

void TestRequestProcessor::foundCashboxes()
{
    JsonRequestProcessor p(nullptr);
    QByteArray body;
    QByteArray text;
    QCOMPARE(p.getFindedCashboxes(body, text), 200);
    QCOMPARE(parseJson(body).value("searchResult").toMap().value("cashboxes").toList().size(),
             CashboxFinder::cashboxes().size());
}

void TestRequestProcessor::plainPathsRefuse()
{
    HtmlRequestProcessor p(nullptr);
    auto *fake = new FakeBackEnd;
    p.setBackEnd(fake);
    const QList<std::function<int(QByteArray &, QByteArray &)>> operations{
        [&](QByteArray &b, QByteArray &t) { return p.checkCashbox(1, "s", b, t); },
        [&](QByteArray &b, QByteArray &t) { return p.getFindedCashboxes(b, t); },
        [&](QByteArray &b, QByteArray &t) { return p.chooseAtol("{}", b, t); },
        [&](QByteArray &b, QByteArray &t) { return p.chooseCombine("{}", b, t); },
        [&](QByteArray &b, QByteArray &t) { return p.getFsStatus(b, t); },
        [&](QByteArray &b, QByteArray &t) { return p.getCashboxStatus(b, t); },
        [&](QByteArray &b, QByteArray &t) { return p.getCashboxVersion(b, t); },
        [&](QByteArray &b, QByteArray &t) { return p.getFiscalDoc(1, b, t); },
        [&](QByteArray &b, QByteArray &t) { return p.printFiscalDoc(1, b, t); },
        [&](QByteArray &b, QByteArray &t) { return p.postFiscalCheck("{}", b, t); },
        [&](QByteArray &b, QByteArray &t) { return p.getCycleOpen(true, b, t); },
        [&](QByteArray &b, QByteArray &t) { return p.getCycleClose(true, b, t); },
        [&](QByteArray &b, QByteArray &t) { return p.getXReport(true, b, t); },
        [&](QByteArray &b, QByteArray &t) { return p.getCalcReport(true, b, t); },
        [&](QByteArray &b, QByteArray &t) { return p.postPrintText("{}", b, t); },
        [&](QByteArray &b, QByteArray &t) { return p.postFiscalization("{}", b, t); },
        [&](QByteArray &b, QByteArray &t) { return p.postRichText("{}", b, t); },
        [&](QByteArray &b, QByteArray &t) { return p.getIntroduction("1", b, t); },
        [&](QByteArray &b, QByteArray &t) { return p.getPayout("1", b, t); },
        [&](QByteArray &b, QByteArray &t) { return p.getFsClosing(b, t); },
    };
    for (const auto &operation : operations) {
        QByteArray body;
        QByteArray text;
        QCOMPARE(operation(body, text), 501);
        QCOMPARE(text, QByteArray("Not supported"));
        QCOMPARE(body, QByteArray());
    }
    QVERIFY(fake->calls.isEmpty());
    QVERIFY(!QFile::exists(settingsPath()));
}

void TestRequestProcessor::plainSearch()
{
    HtmlRequestProcessor p(nullptr);
    QSignalSpy init(&p, &BaseRequestProcessor::initCashboxesSearch);
    QSignalSpy clean(&p, &BaseRequestProcessor::cleanAndinitCashboxesSearch);
    QByteArray body = "stale";
    QByteArray text;
    QCOMPARE(p.getInitSearch(true, body, text), 200);
    QCOMPARE(body, QByteArray());
    QCOMPARE(clean.count(), 1);
    QCOMPARE(p.getInitSearch(false, body, text), 200);
    QCOMPARE(init.count(), 1);
}

QTEST_GUILESS_MAIN(TestRequestProcessor)
#include "tst_requestprocessor.moc"
