#include "httptestclient.h"
#include "servicerunner.h"
#include "simrunner.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The service with device type 1 against the cashbox simulator: no answer of
// a receipt is lost, every refusal is explained and may be retried, and bad
// amounts, values and pictures are refused before they reach the register.
class TestReceiptSafety : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void answerIsReplayedWithoutThePush_data();
    void answerIsReplayedWithoutThePush();
    void refusalIsExplainedAndRetryable();
    void noSessionNoIdempotency_data();
    void noSessionNoIdempotency();
    void badAmountsAreRefused_data();
    void badAmountsAreRefused();
    void xmlValueThatDoesNotParseIsRefused();
    void picturesRefusedTogether();
    void silentCoreCostsPublicPathsNothing();
    void loginByNumberOrName_data();
    void loginByNumberOrName();

private:
    void startBoth(const QStringList &simulatorArguments);
    HttpTestClient::Answer get(const QByteArray &path, const QByteArray &credentials = "1:30") const;
    HttpTestClient::Answer post(const QByteArray &path, const QByteArray &body, const QByteArray &type = "application/json") const;
    static QByteArray receipt(const QByteArray &sessionMember, const QByteArray &price = "100");
    QByteArray tape() const;

    QTemporaryDir m_dir;
    std::unique_ptr<SimRunner> m_sim;
    std::unique_ptr<ServiceRunner> m_service;
};

void TestReceiptSafety::startBoth(const QStringList &simulatorArguments)
{
    m_sim = std::make_unique<SimRunner>();
    QVERIFY(m_sim->start(QStringList{"--msg-port", "0", "--query-port", "0", "--tape", m_dir.filePath("tape.txt")}
                         + simulatorArguments));
    m_service = std::make_unique<ServiceRunner>();
    QVERIFY(m_service->writeSettings("[TILLGATE]\ndeviceType=1\ndiscoveryAddress=127.0.0.1\nbusHost=127.0.0.1\n"
                                     "busMsgPort=" + QByteArray::number(m_sim->msgPort())
                                     + "\nbusQueryPort=" + QByteArray::number(m_sim->queryPort()) + "\n"));
    QVERIFY(m_service->startListening());
    // The service joins the bus in the background.
    QTRY_COMPARE_WITH_TIMEOUT(get("/cashboxstatus.json").statusLine, QByteArray("HTTP/1.1 200 OK"), 60000);
}

void TestReceiptSafety::cleanup()
{
    m_service.reset();
    m_sim.reset();
    QFile::remove(m_dir.filePath("tape.txt"));
}

HttpTestClient::Answer TestReceiptSafety::get(const QByteArray &path, const QByteArray &credentials) const
{
    return HttpTestClient::exchange(
        m_service->port(), "GET " + path + " HTTP/1.1\r\nAuthorization: Basic " + credentials.toBase64() + "\r\n\r\n",
        60000);
}

HttpTestClient::Answer TestReceiptSafety::post(const QByteArray &path, const QByteArray &body, const QByteArray &type) const
{
    return HttpTestClient::exchange(m_service->port(),
                                    "POST " + path + " HTTP/1.1\r\nAuthorization: Basic "
                                        + QByteArray("1:30").toBase64() + "\r\nContent-Type: " + type
                                        + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n"
                                        + body,
                                    60000);
}

QByteArray TestReceiptSafety::receipt(const QByteArray &sessionMember, const QByteArray &price)
{
    return R"({"document":{)" + sessionMember + R"("print":1,"data":{"type":1,"moneyType":1,"sum":)" + price
        + R"(,"fiscprops":[{"tag":1059,"fiscprops":[{"tag":1030,"value":"Bread"},{"tag":1079,"value":)" + price
        + R"(},{"tag":1023,"value":1}]}]}}})";
}

QByteArray TestReceiptSafety::tape() const
{
    QFile file(m_dir.filePath("tape.txt"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestReceiptSafety::answerIsReplayedWithoutThePush_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("openShift");
    QTest::newRow("receipt") << QByteArray("/fiscalcheck.json") << receipt(R"("sessionId":"replay-1",)") << true;
    QTest::newRow("fiscalisation") << QByteArray("/fiscalize.json")
                                   << QByteArray(R"({"document":{"sessionId":"replay-2","printOnly":false,)"
                                                 R"("data":{"regNumber":"0000000002023456","userInn":"7700000001"}}})")
                                   << false;
}

void TestReceiptSafety::answerIsReplayedWithoutThePush()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, body);
    QFETCH(bool, openShift);
    // The core's own answer never arrives: the message link is down.
    startBoth({"--no-answer-push"});
    if (openShift)
        QCOMPARE(get("/cycleopen.json").statusLine, QByteArray("HTTP/1.1 200 OK"));
    const auto first = post(path, body);
    QCOMPARE(first.statusLine, QByteArray("HTTP/1.1 200 OK"));
    QVERIFY(first.body.contains("fiscalSign"));
    const QByteArray printed = tape();

    const auto repeat = post(path, body);
    QCOMPARE(repeat.statusLine, QByteArray("HTTP/1.1 200 OK"));
    QCOMPARE(repeat.body, first.body);

    // Stored on disk, not only in the running process.
    m_service->stop();
    QVERIFY(m_service->startListening());
    const auto afterRestart = post(path, body);
    QCOMPARE(afterRestart.statusLine, QByteArray("HTTP/1.1 200 OK"));
    QCOMPARE(afterRestart.body, first.body);
    QCOMPARE(tape(), printed);
}

void TestReceiptSafety::refusalIsExplainedAndRetryable()
{
    startBoth({});
    const QByteArray body = receipt(R"("sessionId":"refused-1",)");
    const auto refused = post("/fiscalcheck.json", body);
    QCOMPARE(refused.statusLine, QByteArray("HTTP/1.1 500 Internal server error"));
    const QVariantMap document = QJsonDocument::fromJson(refused.body).toVariant().toMap().value("document").toMap();
    QCOMPARE(document.value("result").toInt(), 0x16);
    QCOMPARE(document.value("message").toMap().value("resultDescription").toString(),
             QString::fromUtf8("Смена не открыта"));

    QCOMPARE(get("/cycleopen.json").statusLine, QByteArray("HTTP/1.1 200 OK"));
    const auto registered = post("/fiscalcheck.json", body);
    QCOMPARE(registered.statusLine, QByteArray("HTTP/1.1 200 OK"));
    QVERIFY(registered.body.contains("fiscalSign"));
}

void TestReceiptSafety::noSessionNoIdempotency_data()
{
    QTest::addColumn<QByteArray>("sessionMember");
    QTest::newRow("absent") << QByteArray();
    QTest::newRow("empty") << QByteArray(R"("sessionId":"",)");
}

void TestReceiptSafety::noSessionNoIdempotency()
{
    QFETCH(QByteArray, sessionMember);
    startBoth({});
    QCOMPARE(get("/cycleopen.json").statusLine, QByteArray("HTTP/1.1 200 OK"));
    QSet<int> documents;
    for (int i = 0; i < 3; ++i) {
        const auto answer = post("/fiscalcheck.json", receipt(sessionMember));
        QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 200 OK"));
        documents << QJsonDocument::fromJson(answer.body)
                         .toVariant().toMap().value("document").toMap().value("fiscalDocNumber").toInt();
    }
    QCOMPARE(documents.size(), 3);
}

void TestReceiptSafety::badAmountsAreRefused_data()
{
    QTest::addColumn<QByteArray>("operation");
    QTest::addColumn<QByteArray>("sum");
    for (const QByteArray &operation : {QByteArray("/introduction"), QByteArray("/payout")}) {
        for (const QByteArray &sum : {QByteArray(), QByteArray("abc"), QByteArray("-500"), QByteArray("1.50"),
                                     QByteArray("0")}) {
            for (const QByteArray &format : {QByteArray(".json"), QByteArray(".xml")})
                QTest::newRow(operation + format + " sum=" + sum) << operation + format << sum;
        }
    }
}

void TestReceiptSafety::badAmountsAreRefused()
{
    QFETCH(QByteArray, operation);
    QFETCH(QByteArray, sum);
    startBoth({});
    QCOMPARE(get("/cycleopen.json").statusLine, QByteArray("HTTP/1.1 200 OK"));
    const auto refused = get(operation + "?sum=" + sum);
    QCOMPARE(refused.statusLine, QByteArray("HTTP/1.1 406 Not Acceptable"));
    QCOMPARE(refused.body, QByteArray("406 Not Acceptable"));
    QVERIFY(!tape().contains(operation.startsWith("/intro") ? "ВНЕСЕНИЕ" : "ВЫПЛАТА"));

    // A whole number of kopecks goes through.
    QCOMPARE(get("/introduction.json?sum=500").statusLine, QByteArray("HTTP/1.1 200 OK"));
    QVERIFY(tape().contains("ВНЕСЕНИЕ"));
}

void TestReceiptSafety::xmlValueThatDoesNotParseIsRefused()
{
    startBoth({});
    QCOMPARE(get("/cycleopen.json").statusLine, QByteArray("HTTP/1.1 200 OK"));
    const auto xml = [](const QByteArray &price) {
        return "<document><sessionid>xml-1</sessionid><data><type>1</type><fiscprops>"
               "<prop tag=\"1059\"><fiscprops><prop tag=\"1030\" value=\"Bread\"/><prop tag=\"1079\" value=\""
            + price + "\"/><prop tag=\"1023\" value=\"1\"/></fiscprops></prop></fiscprops></data></document>";
    };
    const auto refused = post("/fiscalcheck.xml", xml("abc"), "text/xml");
    QCOMPARE(refused.statusLine, QByteArray("HTTP/1.1 406 Not Acceptable"));
    QCOMPARE(refused.body, QByteArray("406 Not Acceptable"));
    QVERIFY(!tape().contains("КАССОВЫЙ ЧЕК"));

    // Nothing was stored under the session: the mended receipt registers.
    const auto registered = post("/fiscalcheck.xml", xml("100"), "text/xml");
    QCOMPARE(registered.statusLine, QByteArray("HTTP/1.1 200 OK"));
    QVERIFY(tape().contains("КАССОВЫЙ ЧЕК"));
}

void TestReceiptSafety::picturesRefusedTogether()
{
    startBoth({});
    const QByteArray good = QByteArray("picture").toBase64();
    const QByteArray body = R"({"document":{"images":[{"fileName":"logo.bmp","image":")" + good
        + R"("},{"fileName":"../escape.bmp","image":")" + good
        + R"("},{"fileName":"broken.bmp","image":"@@not base64@@"}]}})";
    // One picture that cannot be stored refuses the whole request.
    const auto answer = post("/storeimages.json", body);
    QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 406 Not Acceptable"));
    QVERIFY(!QFile::exists(m_service->root() + "/var/lib/zelvotillgate/tillgate/images/logo.bmp"));
    QVERIFY(!QFile::exists(m_service->root() + "/var/lib/zelvotillgate/tillgate/escape.bmp"));
    QVERIFY(!QFile::exists(m_service->root() + "/var/lib/zelvotillgate/tillgate/images/broken.bmp"));
}

void TestReceiptSafety::silentCoreCostsPublicPathsNothing()
{
    startBoth({"--silent", "getRegData"});
    // The core's time-out is 30 s; none of these asks it anything.
    for (const QByteArray &path : {QByteArray("/robots.txt"), QByteArray("/favicon.ico"), QByteArray("/cashboxes.json")}) {
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(get(path).statusLine.left(12), QByteArray("HTTP/1.1 200"));
        QVERIFY2(timer.elapsed() < 10000, path.constData());
    }
}

void TestReceiptSafety::loginByNumberOrName_data()
{
    QTest::addColumn<QByteArray>("credentials");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("number") << QByteArray("1:30") << true;
    QTest::newRow("second number") << QByteArray("2:1") << true;
    QTest::newRow("name") << QByteArray("Администратор:30") << true;
    QTest::newRow("number, wrong password") << QByteArray("1:1") << false;
    QTest::newRow("number out of the list") << QByteArray("3:30") << false;
}

void TestReceiptSafety::loginByNumberOrName()
{
    QFETCH(QByteArray, credentials);
    QFETCH(bool, accepted);
    startBoth({});
    QCOMPARE(get("/fsstatus.json", credentials).statusLine,
             accepted ? QByteArray("HTTP/1.1 200 OK") : QByteArray("HTTP/1.1 401 Unauthorized"));
}

QTEST_GUILESS_MAIN(TestReceiptSafety)
#include "tst_receiptsafety.moc"
