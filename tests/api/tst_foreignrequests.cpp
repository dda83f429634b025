#include "httptestclient.h"
#include "servicerunner.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The service on the ATOL driver simulator, where every login passes, asked
// the way other web pages can make a browser ask it: under a rebound host
// name, by cross-site forms and images carrying the cashier's cached
// credentials, from foreign origins. Each is refused with 403 and leaves
// the settings, the register and the check cache as they were; the till's
// own front end, loopback names, IP addresses and clients without browser
// headers are served.
class TestForeignRequests : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void refusedAndNothingDone_data();
    void refusedAndNothingDone();
    void served_data();
    void served();
    void warningWhenEveryOriginIsAllowed();

private:
    // Everything a request could have changed.
    QByteArray snapshot() const;
    int accessLines(const QByteArray &method, const QByteArray &path) const;

    QTemporaryDir m_simDir;
    ServiceRunner m_service;
};

static const QByteArray POS = "https://pos.example.com";
static const QByteArray RECEIPT = R"({"document":{"sessionId":"foreign-1","print":0,"data":{"type":1,"moneyType":1,)"
                                  R"("sum":100,"fiscprops":[{"tag":1059,"fiscprops":[{"tag":1030,"value":"Bread"},)"
                                  R"({"tag":1079,"value":100},{"tag":1023,"value":1}]}]}}})";

static QByteArray request(const QByteArray &method, const QByteArray &path, const QByteArray &headers,
                          const QByteArray &body = QByteArray())
{
    QByteArray raw = method + " " + path + " HTTP/1.1\r\nAuthorization: Basic " + QByteArray("1:30").toBase64()
        + "\r\n" + headers;
    if (!body.isNull())
        raw += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    return raw + "\r\n" + body;
}

void TestForeignRequests::initTestCase()
{
    QVERIFY(m_simDir.isValid());
    qputenv("FPTR_SIM_DIR", m_simDir.path().toLocal8Bit());
    QVERIFY(m_service.writeSettings("[TILLGATE]\ndeviceType=3\norigins=" + POS
                                    + "\nallowedHosts=till-3.shop.lan\n[ATOL]\ntransport=TCP\nhost=127.0.0.1\n"
                                      "port=5555\nlibPath=" FPTRSIM_DIR "\n"));
    QVERIFY2(m_service.startListening(), m_service.output().constData());
    // The register is connected and its shift closed before the requests.
    QCOMPARE(HttpTestClient::exchange(m_service.port(), request("GET", "/cashboxstatus.json", ""), 30000).code,
             200);
}

void TestForeignRequests::cleanupTestCase()
{
    m_service.stop();
}

QByteArray TestForeignRequests::snapshot() const
{
    QByteArray all;
    for (const QString &path : {m_service.settingsFile(), m_simDir.filePath("state.json"),
                                m_simDir.filePath("tape.txt")}) {
        QFile file(path);
        all += path.toUtf8() + '\n' + (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray()) + '\n';
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("inspection"));
        db.setDatabaseName(m_service.workDir() + QStringLiteral("/tillgate/cache/tillgate.cache"));
        if (db.open()) {
            QSqlQuery query(QStringLiteral("select sessionId, incoming, outgoing from checksCache"), db);
            while (query.next())
                all += query.value(0).toByteArray() + query.value(1).toByteArray() + query.value(2).toByteArray();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("inspection"));
    return all;
}

int TestForeignRequests::accessLines(const QByteArray &method, const QByteArray &path) const
{
    return m_service.output().count(": " + method + " " + path + " ");
}

void TestForeignRequests::refusedAndNothingDone_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("named");
    const QByteArray rebound = "Host: rebind.attacker.example:8780\r\n";
    const QByteArray crossSite = "Origin: https://evil.example\r\nSec-Fetch-Site: cross-site\r\n";
    QTest::newRow("rebound host opens the shift")
        << request("GET", "/cycleopen.json", rebound) << QByteArray("GET") << QByteArray("/cycleopen.json")
        << QByteArray("\"rebind.attacker.example:8780\" is not served; name it in \"allowedHosts\"");
    QTest::newRow("rebound host, receipt")
        << request("POST", "/fiscalcheck.json", rebound + "Content-Type: application/json\r\n", RECEIPT)
        << QByteArray("POST") << QByteArray("/fiscalcheck.json") << QByteArray("allowedHosts");
    QTest::newRow("rebound host, pre-flight")
        << request("OPTIONS", "/cycleopen.json", rebound) << QByteArray("OPTIONS") << QByteArray("/cycleopen.json")
        << QByteArray("allowedHosts");
    QTest::newRow("text/plain fetch of a foreign origin")
        << request("POST", "/chooseatol.json", crossSite + "Sec-Fetch-Mode: cors\r\nContent-Type: text/plain\r\n",
                   R"({"transport":"TCP","host":"10.9.9.9","port":5555})")
        << QByteArray("POST") << QByteArray("/chooseatol.json")
        << QByteArray("\"https://evil.example\" is not allowed; name it in \"origins\"");
    QTest::newRow("text/plain form switches to Combine")
        << request("POST", "/choosecombine.json", crossSite + "Sec-Fetch-Mode: navigate\r\nContent-Type: text/plain\r\n",
                   R"({"cashierInn":"1","pad":"="})")
        << QByteArray("POST") << QByteArray("/choosecombine.json") << QByteArray("not a CORS request");
    QTest::newRow("image with cached credentials")
        << request("GET", "/cycleclose.json?print=1", "Sec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: no-cors\r\n")
        << QByteArray("GET") << QByteArray("/cycleclose.json") << QByteArray("not a CORS request");
    QTest::newRow("receipt from a foreign origin")
        << request("POST", "/fiscalcheck.json", "Origin: https://evil.example\r\nContent-Type: application/json\r\n",
                   RECEIPT)
        << QByteArray("POST") << QByteArray("/fiscalcheck.json") << QByteArray("\"origins\"");
    QTest::newRow("no-cors receipt of the same site")
        << request("POST", "/fiscalcheck.json", "Sec-Fetch-Site: same-site\r\nSec-Fetch-Mode: no-cors\r\n", RECEIPT)
        << QByteArray("POST") << QByteArray("/fiscalcheck.json") << QByteArray("not a CORS request");
}

void TestForeignRequests::refusedAndNothingDone()
{
    QFETCH(QByteArray, raw);
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, named);
    const QByteArray before = snapshot();
    const int logged = accessLines(method, path);
    const auto answer = HttpTestClient::exchange(m_service.port(), raw, 30000);
    QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 403 Forbidden"));
    QVERIFY2(answer.body.startsWith("403 Forbidden: ") && answer.body.contains(named), answer.body.constData());
    QVERIFY(answer.headers.value("Access-Control-Allow-Origin") != "https://evil.example");
    QCOMPARE(snapshot(), before);
    // The refusal is in the access log like any request.
    QTRY_COMPARE(accessLines(method, path), logged + 1);
}

void TestForeignRequests::served_data()
{
    // Each answer names the front end for the browser.
    QTest::addColumn<QByteArray>("raw");
    const QByteArray status = "/cashboxstatus.json";
    QTest::newRow("localhost") << request("GET", status, "Host: LOCALHOST.:8780\r\n");
    QTest::newRow("IPv4") << request("GET", status, "Host: 127.0.0.1:8780\r\n");
    QTest::newRow("IPv6") << request("GET", status, "Host: [::1]:8780\r\n");
    QTest::newRow("listed host") << request("GET", status, "Host: till-3.shop.lan\r\n");
    QTest::newRow("HTTP/1.0 without host")
        << "GET " + status + " HTTP/1.0\r\nAuthorization: Basic " + QByteArray("1:30").toBase64() + "\r\n\r\n";
    QTest::newRow("curl") << request("GET", status, "Host: 127.0.0.1:8780\r\nUser-Agent: curl/7.88.1\r\n");
    QTest::newRow("address typed by the cashier")
        << request("GET", status, "Host: localhost:8780\r\nSec-Fetch-Site: none\r\nSec-Fetch-Mode: navigate\r\n");
    QTest::newRow("front end, pre-flight")
        << request("OPTIONS", "/cycleopen.json",
                   "Origin: " + POS + "\r\nSec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: cors\r\n"
                                      "Access-Control-Request-Private-Network: true\r\n");
    // Last: it opens the shift, which shows on the tape.
    QTest::newRow("front end opens the shift")
        << request("GET", "/cycleopen.json",
                   "Host: 127.0.0.1:8780\r\nOrigin: " + POS + "\r\nSec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: cors\r\n");
}

void TestForeignRequests::served()
{
    QFETCH(QByteArray, raw);
    const QByteArray before = snapshot();
    const auto answer = HttpTestClient::exchange(m_service.port(), raw, 30000);
    QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 200 OK"));
    QCOMPARE(answer.headers.value("Access-Control-Allow-Origin"), POS);
    QCOMPARE(answer.headers.value("Vary"), QByteArray("Origin"));
    if (raw.startsWith("OPTIONS")) {
        QCOMPARE(answer.headers.value("Access-Control-Allow-Private-Network"), QByteArray("true"));
        QCOMPARE(answer.headers.value("Access-Control-Max-Age"), QByteArray("600"));
    }
    if (raw.contains("/cycleopen.json HTTP/1.1") && raw.startsWith("GET"))
        QVERIFY(snapshot() != before);
}

void TestForeignRequests::warningWhenEveryOriginIsAllowed()
{
    const QByteArray warning = "allows every origin";
    QVERIFY(!m_service.output().contains(warning));
    ServiceRunner open;
    QVERIFY(open.writeSettings("[TILLGATE]\ndeviceType=0\n"));
    QVERIFY2(open.startListening(), open.output().constData());
    QVERIFY2(open.output().contains(warning), open.output().constData());
}

QTEST_GUILESS_MAIN(TestForeignRequests)
#include "tst_foreignrequests.moc"
