#include "requestguard.h"

#include <httprequest.h>
#include <httpresponse.h>

#include <QHostInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

// Which requests the guard lets through, and the CORS headers it sets:
// requests as a browser, curl or an attacker's page send them.
class TestRequestGuard : public QObject
{
    Q_OBJECT

private slots:
    void verdicts_data();
    void verdicts();
    void corsHeaders_data();
    void corsHeaders();
    void refusalNamesTheSetting();
};

Q_DECLARE_METATYPE(RequestGuard::Verdict)

namespace {

const QStringList POS{"https://pos.example.com", "http://127.0.0.1:8000"};

// A parsed request from its head (request line and header lines).
struct Request
{
    explicit Request(const QByteArray &head)
        : parsed(16000, 1000000)
    {
        const QByteArray raw = head + "\r\n\r\n";
        parsed.feed(raw.constData(), raw.size());
    }
    HttpRequest parsed;
};

} // namespace

void TestRequestGuard::verdicts_data()
{
    QTest::addColumn<QStringList>("origins");
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<RequestGuard::Verdict>("verdict");
    const QStringList star{"*"};
    const RequestGuard::Verdict served = RequestGuard::Served;
    const RequestGuard::Verdict host = RequestGuard::ForeignHost;
    const RequestGuard::Verdict origin = RequestGuard::ForeignOrigin;
    const RequestGuard::Verdict notCors = RequestGuard::NotCors;
    const QByteArray get = "GET /cycleopen.json HTTP/1.1\r\n";
    const QByteArray post = "POST /chooseatol.json HTTP/1.1\r\n";

    QTest::newRow("no host (HTTP/1.0)") << POS << QByteArray("GET /cycleopen.json HTTP/1.0") << served;
    QTest::newRow("empty host") << POS << get + "Host:" << served;
    QTest::newRow("localhost") << POS << get + "Host: localhost" << served;
    QTest::newRow("LocalHost., port") << POS << get + "Host: LocalHost.:8780" << served;
    QTest::newRow("IPv4 with port") << POS << get + "Host: 127.0.0.1:8780" << served;
    QTest::newRow("LAN address") << POS << get + "Host: 192.168.7.20:8780" << served;
    QTest::newRow("IPv6 with port") << POS << get + "Host: [::1]:8780" << served;
    QTest::newRow("IPv6") << POS << get + "Host: [fe80::1]" << served;
    QTest::newRow("listed host") << POS << get + "Host: Till-3.Shop.Lan.:8780" << served;
    QTest::newRow("rebound name") << POS << get + "Host: rebind.attacker.example:8780" << host;
    QTest::newRow("rebound name, star") << star << get + "Host: rebind.attacker.example" << host;
    QTest::newRow("localhost as a subdomain") << POS << get + "Host: localhost.attacker.example" << host;
    QTest::newRow("address-like name") << POS << get + "Host: 127.0.0.1.attacker.example" << host;
    QTest::newRow("five parts") << POS << get + "Host: 127.0.0.1.1" << host;
    QTest::newRow("part above 255") << POS << get + "Host: 127.0.0.256" << host;
    QTest::newRow("port not a number") << POS << get + "Host: localhost:80x" << host;
    QTest::newRow("IPv6, port not a number") << POS << get + "Host: [::1]:x" << host;
    QTest::newRow("bare IPv6") << POS << get + "Host: ::1" << host;
    QTest::newRow("bracketed name") << POS << get + "Host: [attacker.example]" << host;
    QTest::newRow("second host header") << POS << get + "Host: localhost\r\nHost: attacker.example" << host;
    QTest::newRow("host before anything, OPTIONS too")
        << POS << QByteArray("OPTIONS /cycleopen.json HTTP/1.1\r\nHost: attacker.example") << host;

    QTest::newRow("listed origin, cors")
        << POS << post + "Host: 127.0.0.1:8780\r\nOrigin: https://pos.example.com\r\n"
                         "Sec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: cors" << served;
    QTest::newRow("foreign origin") << POS << post + "Origin: https://evil.example" << origin;
    QTest::newRow("foreign origin, star") << star << post + "Origin: https://evil.example" << served;
    QTest::newRow("origin differs in case") << POS << post + "Origin: HTTPS://POS.EXAMPLE.COM" << origin;
    QTest::newRow("null origin") << POS << post + "Origin: null" << origin;
    QTest::newRow("second origin header") << POS
                                          << post + "Origin: https://pos.example.com\r\nOrigin: https://evil.example"
                                          << origin;
    QTest::newRow("origin, empty list") << QStringList() << post + "Origin: https://pos.example.com" << origin;
    QTest::newRow("pre-flight of a foreign origin")
        << POS << QByteArray("OPTIONS /chooseatol.json HTTP/1.1\r\nOrigin: https://evil.example") << served;

    QTest::newRow("no-cors fetch") << star << post + "Sec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: no-cors"
                                   << notCors;
    QTest::newRow("form post") << star
                               << post + "Origin: https://evil.example\r\nSec-Fetch-Site: cross-site\r\n"
                                         "Sec-Fetch-Mode: navigate"
                               << notCors;
    QTest::newRow("image of a listed site")
        << POS << get + "Sec-Fetch-Site: same-site\r\nSec-Fetch-Mode: no-cors" << notCors;
    QTest::newRow("frame") << POS << get + "Sec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: navigate" << notCors;
    QTest::newRow("mode missing") << POS << get + "Sec-Fetch-Site: cross-site" << notCors;
    QTest::newRow("robots for another site")
        << POS << QByteArray("GET /robots.txt HTTP/1.1\r\nSec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: no-cors")
        << served;
    QTest::newRow("favicon for another site")
        << POS << QByteArray("GET /FAVICON.ICO HTTP/1.1\r\nSec-Fetch-Site: same-site\r\nSec-Fetch-Mode: no-cors")
        << served;
    QTest::newRow("robots-like path") << POS
                                      << QByteArray("GET /robots.txt.json HTTP/1.1\r\nSec-Fetch-Site: cross-site\r\n"
                                                    "Sec-Fetch-Mode: no-cors")
                                      << notCors;
    QTest::newRow("address typed by the cashier")
        << POS << get + "Host: 127.0.0.1:8780\r\nSec-Fetch-Site: none\r\nSec-Fetch-Mode: navigate" << served;
    QTest::newRow("same origin") << POS << get + "Sec-Fetch-Site: same-origin\r\nSec-Fetch-Mode: no-cors"
                                 << served;
    QTest::newRow("curl") << POS << post + "Host: 127.0.0.1:8780\r\nUser-Agent: curl/7.88.1\r\nAccept: */*"
                          << served;
    QTest::newRow("header names in lower case")
        << POS << post + "host: attacker.example\r\nsec-fetch-site: cross-site\r\nsec-fetch-mode: no-cors" << host;
}

void TestRequestGuard::verdicts()
{
    QFETCH(QStringList, origins);
    QFETCH(QByteArray, head);
    QFETCH(RequestGuard::Verdict, verdict);
    const Request request(head);
    QCOMPARE(request.parsed.getStatus(), int(HttpRequest::COMPLETE));
    QCOMPARE(RequestGuard(origins, {"till-3.shop.lan", ""}).verdict(request.parsed), verdict);
}

void TestRequestGuard::corsHeaders_data()
{
    QTest::addColumn<QStringList>("origins");
    QTest::addColumn<QByteArray>("head");
    // Access-Control-Allow-Origin, Max-Age and Private-Network; empty: not sent.
    QTest::addColumn<QByteArray>("allowOrigin");
    QTest::addColumn<QByteArray>("maxAge");
    QTest::addColumn<QByteArray>("privateNetwork");
    const QByteArray options = "OPTIONS /fiscalcheck.json HTTP/1.1\r\n";
    const QByteArray pna = "\r\nAccess-Control-Request-Private-Network: true";
    QTest::newRow("pre-flight, listed") << POS << options + "Origin: http://127.0.0.1:8000"
                                        << QByteArray("http://127.0.0.1:8000") << QByteArray("600") << QByteArray();
    QTest::newRow("pre-flight, private network")
        << POS << options + "Origin: https://pos.example.com" + pna << QByteArray("https://pos.example.com")
        << QByteArray("600") << QByteArray("true");
    QTest::newRow("pre-flight, foreign") << POS << options + "Origin: https://evil.example" + pna << QByteArray()
                                         << QByteArray() << QByteArray();
    QTest::newRow("pre-flight, star reflects")
        << QStringList{"*"} << options + "Origin: https://any.example" << QByteArray("https://any.example")
        << QByteArray("600") << QByteArray();
    QTest::newRow("star, no origin") << QStringList{"*"} << QByteArray("GET /robots.txt HTTP/1.1") << QByteArray()
                                     << QByteArray() << QByteArray();
    QTest::newRow("request, listed") << POS
                                     << QByteArray("GET /robots.txt HTTP/1.1\r\nOrigin: https://pos.example.com")
                                     << QByteArray("https://pos.example.com") << QByteArray() << QByteArray();
    QTest::newRow("no origin: the last listed") << POS << QByteArray("GET /robots.txt HTTP/1.1")
                                                << QByteArray("http://127.0.0.1:8000") << QByteArray()
                                                << QByteArray();
}

void TestRequestGuard::corsHeaders()
{
    QFETCH(QStringList, origins);
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, allowOrigin);
    QFETCH(QByteArray, maxAge);
    QFETCH(QByteArray, privateNetwork);
    const Request request(head);
    HttpResponse response(nullptr);
    RequestGuard(origins, {}).setCorsHeaders(request.parsed, response);
    const auto &headers = response.getHeaders();
    QCOMPARE(headers.value("Access-Control-Allow-Origin"), allowOrigin);
    QCOMPARE(headers.value("Access-Control-Allow-Credentials"), allowOrigin.isEmpty() ? "" : "true");
    QCOMPARE(headers.value("Access-Control-Max-Age"), maxAge);
    QCOMPARE(headers.value("Access-Control-Allow-Private-Network"), privateNetwork);
    QCOMPARE(headers.value("Vary"), QByteArray("Origin"));

    HttpResponse none(nullptr);
    RequestGuard({}, {}).setCorsHeaders(request.parsed, none);
    QVERIFY(none.getHeaders().isEmpty());
}

void TestRequestGuard::refusalNamesTheSetting()
{
    // The machine's own name is served; a refusal is answered at once.
    const QByteArray own = QHostInfo::localHostName().toUpper().toUtf8();
    const RequestGuard guard(POS, {});
    QCOMPARE(guard.verdict(Request("GET / HTTP/1.1\r\nHost: " + own + ":8780").parsed), RequestGuard::Served);

    QByteArray written;
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.serverPort());
    QVERIFY(server.waitForNewConnection(5000));
    QTcpSocket *socket = server.nextPendingConnection();
    HttpResponse response(socket);
    QVERIFY(!guard.admit(Request("GET /cycleopen.json HTTP/1.1\r\nHost: <b>evil</b>.example").parsed, response));
    QTRY_VERIFY((written += client.readAll()).contains("tillgate.conf"));
    QVERIFY(written.startsWith("HTTP/1.1 403 Forbidden\r\n"));
    QVERIFY(written.contains("\r\n\r\n403 Forbidden: the host \"?b?evil?/b?.example\" is not served; name it in "
                             "\"allowedHosts\""));
}

QTEST_GUILESS_MAIN(TestRequestGuard)
#include "tst_requestguard.moc"
