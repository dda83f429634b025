#include "httptestclient.h"
#include "servicerunner.h"
#include "simrunner.h"

#include <QtTest>

#include <memory>

// The service with device type 1 against the cashbox simulator on the
// application bus: online and offline login, receipts answered by the fiscal
// core and later from the check cache.
class TestApiOstrak : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void onlineLogin();
    void receiptIsAnsweredFromTheCache();
    void offlineLoginWhenTheCoreIsSilent();

private:
    // Starts the simulator with the arguments and the service pointed at it;
    // returns once the service answers through the simulator.
    bool startBoth(const QStringList &simulatorArguments, const QByteArray &credentials);
    static QByteArray basic(const QByteArray &credentials)
    {
        return "Authorization: Basic " + credentials.toBase64() + "\r\n";
    }
    static QByteArray post(const QByteArray &path, const QByteArray &credentials, const QByteArray &body)
    {
        return "POST " + path + " HTTP/1.1\r\n" + basic(credentials) + "Content-Type: application/json\r\n"
            + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    }

    HttpTestClient::Answer exchange(const QByteArray &request, int timeoutMs = 10000) const
    {
        return HttpTestClient::exchange(m_service->port(), request, timeoutMs);
    }

    SimRunner m_simulator;
    std::unique_ptr<ServiceRunner> m_service;
};

bool TestApiOstrak::startBoth(const QStringList &simulatorArguments, const QByteArray &credentials)
{
    if (!m_simulator.start(simulatorArguments))
        return false;
    m_service = std::make_unique<ServiceRunner>();
    if (!m_service->writeSettings("[TILLGATE]\ndeviceType=1\nbusHost=127.0.0.1\nbusMsgPort="
                                  + QByteArray::number(m_simulator.msgPort())
                                  + "\nbusQueryPort=" + QByteArray::number(m_simulator.queryPort()) + "\n")
        || !m_service->startListening())
        return false;
    // The service joins the bus in the background; the cashbox state comes
    // through once it has. A silent core holds every answer for its
    // command time-out.
    bool joined = false;
    [&] {
        QTRY_COMPARE_WITH_TIMEOUT(
            exchange("GET /cashboxstatus.json HTTP/1.1\r\n" + basic(credentials) + "\r\n", 30000).statusLine,
            QByteArray("HTTP/1.1 200 OK"), 60000);
        joined = true;
    }();
    return joined;
}

void TestApiOstrak::cleanup()
{
    m_service.reset();
    m_simulator.stop();
}

// The simulated core knows its cashiers by name.
static const QByteArray ADMIN = QByteArray("\xd0\x90\xd0\xb4\xd0\xbc\xd0\xb8\xd0\xbd\xd0\xb8\xd1\x81\xd1\x82"
                                           "\xd1\x80\xd0\xb0\xd1\x82\xd0\xbe\xd1\x80:30");

void TestApiOstrak::onlineLogin()
{
    QVERIFY(startBoth({}, ADMIN));
    auto answer = exchange("GET /fsstatus.json HTTP/1.1\r\n" + basic(ADMIN) + "\r\n");
    QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 200 OK"));
    QVERIFY(answer.body.startsWith("{\"fsStatus\":"));

    answer = exchange("GET /fsstatus.json HTTP/1.1\r\n" + basic(ADMIN.left(ADMIN.size() - 1) + "1") + "\r\n");
    QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 401 Unauthorized"));
    // The core's reason follows the fixed text.
    QVERIFY(answer.body.startsWith("401 Unauthorized "));
    QVERIFY(answer.body.size() > 17);
    QCOMPARE(answer.headers.value("WWW-Authenticate"), QByteArray("Basic realm=\"kxvd_T3pQwzLm9RaH:\""));
}

void TestApiOstrak::receiptIsAnsweredFromTheCache()
{
    QVERIFY(startBoth({}, ADMIN));
    QCOMPARE(exchange("GET /cycleopen.json HTTP/1.1\r\n" + basic(ADMIN) + "\r\n").statusLine,
             QByteArray("HTTP/1.1 200 OK"));
    const QByteArray receipt = R"({"document":{"sessionId":"ostrak-cache-1","print":0,"data":{"type":1,)"
                               R"("moneyType":1,"sum":100,"fiscprops":[{"tag":1059,"fiscprops":[)"
                               R"({"tag":1030,"value":"Bread"},{"tag":1079,"value":100},{"tag":1023,"value":1}]}]}}})";
    const auto first = exchange(post("/fiscalcheck.json", ADMIN, receipt));
    QCOMPARE(first.statusLine, QByteArray("HTTP/1.1 200 OK"));
    QVERIFY(first.body.startsWith("{\"document\":"));

    // The fiscal core's final answer reaches the cache on its own; until it
    // has, a repeat is refused rather than registered twice.
    HttpTestClient::Answer repeat;
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                 repeat = exchange(post("/fiscalcheck.json", ADMIN, receipt));
                                 return repeat.statusLine != "HTTP/1.1 507 Insufficient Storage ";
                             }()),
                             10000);
    QCOMPARE(repeat.statusLine, QByteArray("HTTP/1.1 200 OK"));
    QVERIFY(repeat.body.startsWith("{\"document\":"));
}

void TestApiOstrak::offlineLoginWhenTheCoreIsSilent()
{
    QVERIFY(startBoth({"--silent", "checkRegistration"}, "2:1"));
    // Cashier 2 of the simulator's list has the password 1.
    auto answer = exchange("GET /fsstatus.json HTTP/1.1\r\n" + basic("2:1") + "\r\n", 30000);
    QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 200 OK"));
    answer = exchange("GET /fsstatus.json HTTP/1.1\r\n" + basic("1:99") + "\r\n", 30000);
    QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 401 Unauthorized"));
    QCOMPARE(answer.body, QByteArray("401 Unauthorized "));
}

QTEST_GUILESS_MAIN(TestApiOstrak)
#include "tst_apiostrak.moc"
