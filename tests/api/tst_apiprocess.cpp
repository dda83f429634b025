#include "httptestclient.h"
#include "servicerunner.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QtTest>

// The whole service as a process: the HTTP worker serves the API through the
// request handler; no device is configured, so every device operation answers
// as unreachable.
class TestApiProcess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void optionsAnywhere();
    void challenge();
    void robotsAndFavicon();
    void routingTable_data();
    void routingTable();
    void errorTexts();
    void corsOrigins_data();
    void corsOrigins();
    void chooseCombineByPost();
    void receiptsOnOneConnectionEach();
    void debugMessagesOnlyWhenAsked_data();
    void debugMessagesOnlyWhenAsked();

private:
    HttpTestClient::Answer exchange(const QByteArray &request) const
    {
        return HttpTestClient::exchange(m_service.port(), request);
    }

    ServiceRunner m_service;
};

static QByteArray basic(const QByteArray &credentials)
{
    return "Authorization: Basic " + credentials.toBase64() + "\r\n";
}

void TestApiProcess::initTestCase()
{
    QVERIFY(m_service.writeSettings("[TILLGATE]\ndeviceType=0\n"));
    QVERIFY2(m_service.startListening(), m_service.output().constData());
}

void TestApiProcess::cleanupTestCase()
{
    m_service.stop();
}

void TestApiProcess::init()
{
    QVERIFY(m_service.writeSettings("[TILLGATE]\ndeviceType=0\n"));
}

void TestApiProcess::optionsAnywhere()
{
    for (const QByteArray &path : {QByteArray("/fiscalcheck.json"), QByteArray("/"), QByteArray("/x.xml")}) {
        const auto answer = exchange("OPTIONS " + path + " HTTP/1.1\r\n\r\n");
        QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 200 OK"));
        QCOMPARE(answer.headers.value("Access-Control-Allow-Methods"), QByteArray("GET, POST, OPTIONS"));
        QCOMPARE(answer.headers.value("Content-Length"), QByteArray("0"));
    }
}

void TestApiProcess::challenge()
{
    auto answer = exchange("GET /cycleopen.json HTTP/1.1\r\n\r\n");
    QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 401 Unauthorized"));
    QCOMPARE(answer.headers.value("WWW-Authenticate"), QByteArray("Basic realm=\"kxvd_T3pQwzLm9RaH:\""));
    QCOMPARE(answer.body, QByteArray());
    // No cashier list is published without a fiscal core: every login fails.
    answer = exchange("GET /cycleopen.json HTTP/1.1\r\n" + basic("1:30") + "\r\n");
    QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 401 Unauthorized"));
    QCOMPARE(answer.body, QByteArray("401 Unauthorized "));
}

void TestApiProcess::robotsAndFavicon()
{
    auto answer = exchange("GET /robots.txt HTTP/1.1\r\n\r\n");
    QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 200 Ok"));
    QCOMPARE(answer.body, QByteArray("User-agent:*\nDisallow: /"));
    answer = exchange("GET /favicon.ico HTTP/1.1\r\n\r\n");
    QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 200 Ok"));
    QFile icon(QStringLiteral(TILLGATE_SOURCE_DIR "/icons/favicon.png"));
    QVERIFY(icon.open(QIODevice::ReadOnly));
    QCOMPARE(answer.body, icon.readAll());
}

void TestApiProcess::routingTable_data()
{
    // Each prefix once: with device type 2 no credentials are asked and
    // every device operation is unreachable, so the route shows in the
    // answer.
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("statusLine");
    const QByteArray unreachable("HTTP/1.1 523 Origin Is Unreachable");
    const QByteArray ok("HTTP/1.1 200 OK");
    for (const char *path : {"/fsstatus", "/fs-status", "/fs_status", "/fs_state", "/fs-state", "/fsstate",
                             "/cashboxstatus", "/cashbox-status", "/cashbox_status", "/cashbox_state",
                             "/cashbox-state", "/cashboxstate", "/cashboxver", "/cashbox-ver", "/cashbox_ver",
                             "/cashbox_version", "/cashbox-version", "/cashboxversion", "/cycleopen",
                             "/cycle-open", "/cycle_open", "/calcreport", "/calc-report", "/calc_report",
                             "/cycleclose", "/cycle-close", "/cycle_close", "/xreport", "/x-report", "/x_report"})
        QTest::newRow(path) << "GET " + QByteArray(path) + ".json HTTP/1.1\r\n\r\n" << unreachable;
    for (const char *path : {"/introduction", "/payout"})
        QTest::newRow(path) << "GET " + QByteArray(path) + ".json?sum=100 HTTP/1.1\r\n\r\n" << unreachable;
    for (const char *path : {"/fiscaldoc", "/fiscal-doc", "/fiscal_doc"})
        QTest::newRow(path) << "GET " + QByteArray(path) + ".json?number=5 HTTP/1.1\r\n\r\n" << unreachable;
    for (const char *path : {"/discover", "/search", "/cashboxes", "/foundcashboxes", "/found_cashboxes"})
        QTest::newRow(path) << "GET " + QByteArray(path) + ".json HTTP/1.1\r\n\r\n" << ok;
    for (const char *path : {"/choosecashbox", "/choose_cashbox"})
        QTest::newRow(path) << "GET " + QByteArray(path) + ".json?model=1&serial=none HTTP/1.1\r\n\r\n"
                            << unreachable;
    for (const char *path : {"/fiscalcheck", "/fiscal-check", "/fiscal_check", "/printtext", "/print-text",
                             "/print_text", "/printrichtext", "/storeimages"})
        QTest::newRow(path) << "POST " + QByteArray(path) + ".json HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}"
                            << unreachable;
    // A fiscalisation is stored before the device is asked; a fresh session
    // each so that none is refused as a repeat.
    for (const char *path : {"/fiscalize", "/activate"}) {
        const QByteArray body = "{\"document\":{\"sessionId\":\"" + QByteArray(path) + "\"}}";
        QTest::newRow(path) << "POST " + QByteArray(path) + ".json HTTP/1.1\r\nContent-Length: "
                                   + QByteArray::number(body.size()) + "\r\n\r\n" + body
                            << unreachable;
    }
}

void TestApiProcess::routingTable()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, statusLine);
    QVERIFY(m_service.writeSettings("[TILLGATE]\ndeviceType=2\n"));
    QCOMPARE(exchange(request).statusLine, statusLine);
}

void TestApiProcess::errorTexts()
{
    auto answer = exchange("GET /nothing-here.json HTTP/1.1\r\n" + basic("1:2") + "\r\n");
    QVERIFY(answer.statusLine.startsWith("HTTP/1.1 401"));
    QVERIFY(m_service.writeSettings("[TILLGATE]\ndeviceType=2\n"));
    answer = exchange("GET /nothing-here.json HTTP/1.1\r\n\r\n");
    QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 404 Not found"));
    QCOMPARE(answer.body, QByteArray("404 Not found"));
    answer = exchange("DELETE /fsstatus.json HTTP/1.1\r\n\r\n");
    QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 400 Bad request"));
    QCOMPARE(answer.body, QByteArray("400 Bad request DELETE"));
    answer = exchange("GET /fiscaldoc.json?number=x HTTP/1.1\r\n\r\n");
    QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 400 Bad request"));
    QCOMPARE(answer.body, QByteArray("400 Bad request"));
}

void TestApiProcess::corsOrigins_data()
{
    QTest::addColumn<QByteArray>("origins");
    QTest::addColumn<QByteArray>("requestOrigin");
    QTest::addColumn<QByteArray>("allowed");
    QTest::addColumn<QByteArray>("vary");
    QTest::newRow("zero") << QByteArray("origins=\n") << QByteArray("http://pos.local") << QByteArray()
                          << QByteArray();
    QTest::newRow("one") << QByteArray("origins=http://pos.local\n") << QByteArray("http://pos.local")
                         << QByteArray("http://pos.local") << QByteArray("Origin");
    QTest::newRow("two, first") << QByteArray("origins=http://a.local####http://b.local\n")
                                << QByteArray("http://a.local") << QByteArray("http://a.local")
                                << QByteArray("Origin");
    QTest::newRow("two, unknown") << QByteArray("origins=http://a.local####http://b.local\n")
                                  << QByteArray("http://x.local") << QByteArray() << QByteArray("Origin");
}

void TestApiProcess::corsOrigins()
{
    QFETCH(QByteArray, origins);
    QFETCH(QByteArray, requestOrigin);
    QFETCH(QByteArray, allowed);
    QFETCH(QByteArray, vary);
    QVERIFY(m_service.writeSettings("[TILLGATE]\ndeviceType=0\n" + origins));
    const auto answer =
        exchange("OPTIONS /fiscalcheck.json HTTP/1.1\r\nOrigin: " + requestOrigin + "\r\n\r\n");
    QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 200 OK"));
    QCOMPARE(answer.headers.value("Access-Control-Allow-Origin"), allowed);
    QCOMPARE(answer.headers.value("Vary"), vary);
    QCOMPARE(answer.headers.contains("Access-Control-Allow-Credentials"), !allowed.isEmpty());
}

void TestApiProcess::chooseCombineByPost()
{
    // Open path; the choice is written to the settings the service reads.
    const QByteArray body = R"({"anything":1})";
    const auto answer = exchange("POST /choose_combine.json HTTP/1.1\r\nContent-Length: "
                                           + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 200 OK"));
    QCOMPARE(answer.body,
             QByteArray(R"({"document":{"result":0,"settings":{"anything":1}},"protocol":1,"version":"1.0"})"));
    QFile settings(m_service.settingsFile());
    QVERIFY(settings.open(QIODevice::ReadOnly));
    QVERIFY(settings.readAll().contains("deviceType=2"));
}

void TestApiProcess::receiptsOnOneConnectionEach()
{
    // Bad receipts never reach a device and never break the connection's
    // answer.
    QVERIFY(m_service.writeSettings("[TILLGATE]\ndeviceType=2\n"));
    const QList<QPair<QByteArray, QByteArray>> cases{
        {"{", "HTTP/1.1 406 406 Not Acceptable (unterminated object)"},
        {R"({"protocol":3})", "HTTP/1.1 406 406 Not Acceptable protocol 3"},
        {"[1]", "HTTP/1.1 523 Origin Is Unreachable"},
    };
    for (const auto &entry : cases) {
        const auto answer = exchange("POST /fiscalcheck.json HTTP/1.1\r\nContent-Length: "
                                               + QByteArray::number(entry.first.size()) + "\r\n\r\n" + entry.first);
        QCOMPARE(answer.statusLine, entry.second);
    }
}

void TestApiProcess::debugMessagesOnlyWhenAsked_data()
{
    QTest::addColumn<QByteArray>("rules");
    QTest::addColumn<bool>("debug");
    QTest::newRow("default") << QByteArray() << false;
    QTest::newRow("asked for") << QByteArray("tillgate.http.debug=true") << true;
}

void TestApiProcess::debugMessagesOnlyWhenAsked()
{
    QFETCH(QByteArray, rules);
    QFETCH(bool, debug);
    // The service inherits the rules from this process's environment.
    const QByteArray saved = qgetenv("QT_LOGGING_RULES");
    const auto restore = qScopeGuard([saved] {
        if (saved.isNull())
            qunsetenv("QT_LOGGING_RULES");
        else
            qputenv("QT_LOGGING_RULES", saved);
    });
    if (rules.isEmpty())
        qunsetenv("QT_LOGGING_RULES");
    else
        qputenv("QT_LOGGING_RULES", rules);

    ServiceRunner service;
    QVERIFY(service.writeSettings("[TILLGATE]\ndeviceType=0\n"));
    QVERIFY2(service.startListening(), service.output().constData());
    QCOMPARE(HttpTestClient::exchange(service.port(), "GET /robots.txt HTTP/1.1\r\n\r\n").statusLine,
             QByteArray("HTTP/1.1 200 Ok"));
    // The access line is written after the answer.
    QTRY_VERIFY(service.output().contains("access"));
    service.stop();

    const QByteArray output = service.output();
    QVERIFY2(output.contains(" warning access ") && output.contains("GET /robots.txt"), output.constData());
    QCOMPARE(output.contains(" debug tillgate.http "), debug);
    // Every line starts with the local time to the millisecond and a level.
    const QRegularExpression head(QStringLiteral(
        "^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}\\.\\d{3} (debug|info|warning|critical) "));
    for (const QByteArray &line : output.split('\n')) {
        if (!line.isEmpty())
            QVERIFY2(head.match(QString::fromUtf8(line)).hasMatch(), line.constData());
    }
}

QTEST_GUILESS_MAIN(TestApiProcess)
#include "tst_apiprocess.moc"
