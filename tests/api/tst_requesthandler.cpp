#include "httptestclient.h"
#include "tillgatecashedbinitializer.h"
#include "tillgateconfig.h"
#include "tillgaterequesthandler.h"

#include <httplistener.h>

#include <appbusobject.h>
#include <cashier.h>
#include <sharedobjectsstorage.h>

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The request handler behind a real listener on a loopback port, spoken to
// with raw bytes: CORS, pre-flight, Basic authorisation by device type,
// routing, robots and favicon. No bus and no device: the back-end answers are
// those of an unreachable device.
class TestRequestHandler : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void optionsOnAnyPath_data();
    void optionsOnAnyPath();
    void challengeWithoutCredentials_data();
    void challengeWithoutCredentials();
    void offlineLogin_data();
    void offlineLogin();
    void offlineLoginWithoutCashierList();
    void offlineCashierChoice_data();
    void offlineCashierChoice();
    void atolCashier();
    void atolAcceptsAnyCredentials();
    void combineAsksForNothing();
    void openPaths_data();
    void openPaths();
    void routingAnswers_data();
    void routingAnswers();
    void xmlContentType();
    void unsupportedMethod();
    void fiscalizationFailureHasNoBody();
    void robots();
    void favicon();
    void cors_data();
    void cors();

private:
    using Answer = HttpTestClient::Answer;
    void writeSettings(const QByteArray &content);
    Answer exchange(const QByteArray &request);
    static QByteArray basic(const QByteArray &credentials) { return "Authorization: Basic " + credentials.toBase64() + "\r\n"; }

    QTemporaryDir m_root;
    std::unique_ptr<QSettings> m_listenerSettings;
    std::unique_ptr<TillgateRequestHandler> m_handler;
    std::unique_ptr<HttpListener> m_listener;
};

void TestRequestHandler::initTestCase()
{
    QVERIFY(m_root.isValid());
    qt5ext::FileConfigHelper::setFileSystemRoot(m_root.path());
    qt5ext::InitConfig::setAppWorkDir("zelvotillgate");
    QVERIFY(QDir().mkpath(m_root.path() + "/opt/zelvotillgate/etc"));
    QVERIFY(TillgateCasheDbInitializer::initializeDatabase());

    m_listenerSettings = std::make_unique<QSettings>(m_root.filePath("listener.conf"), QSettings::IniFormat);
    m_listenerSettings->beginGroup("LISTENER");
    m_listenerSettings->setValue("port", 0);
    m_listenerSettings->setValue("minThreads", 1);
    m_listenerSettings->setValue("maxThreads", 4);
    m_handler = std::make_unique<TillgateRequestHandler>();
    m_listener = std::make_unique<HttpListener>(m_listenerSettings.get(), m_handler.get());
    QVERIFY(m_listener->isListening());

    // The cashier list the fiscal core publishes: cashier 1 and cashier 2
    // share a password, cashier 3 has its own.
    QList<core::Cashier> cashiers;
    for (const auto &entry : QList<QPair<QString, unsigned>>{{"Ivanova", 30}, {"Petrova", 30}, {"Sidorov", 77}}) {
        core::Cashier cashier;
        cashier.setName(entry.first);
        cashier.setPassword(entry.second);
        cashiers << cashier;
    }
    bus::SharedObjectsStorage().store(
        bus::AppBusObject(core::Cashier::CASHIERS_OBJECT_NAME, core::Cashier::cashiersObject(cashiers)));
}

void TestRequestHandler::cleanupTestCase()
{
    m_listener.reset();
    m_handler.reset();
    bus::SharedObjectsStorage().clear();
}

void TestRequestHandler::init()
{
    writeSettings("[TILLGATE]\ndeviceType=1\n");
}

void TestRequestHandler::writeSettings(const QByteArray &content)
{
    QFile file(m_root.path() + "/opt/zelvotillgate/etc/tillgate.conf");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    // Out of the buffer first, or the write at close would set the time
    // back to now.
    QVERIFY(file.flush());
    // Settings readers notice a change by the file's time: make every write
    // a new one, however quickly the writes follow each other.
    static int writes = 0;
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(++writes), QFileDevice::FileModificationTime));
}

// The listener lives on this thread: the client runs its events while it
// waits.
TestRequestHandler::Answer TestRequestHandler::exchange(const QByteArray &request)
{
    return HttpTestClient::exchange(m_listener->serverPort(), request);
}

void TestRequestHandler::optionsOnAnyPath_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::newRow("protected path") << QByteArray("OPTIONS /fiscalcheck.json HTTP/1.1\r\n\r\n");
    QTest::newRow("unknown path") << QByteArray("OPTIONS /nowhere HTTP/1.1\r\n\r\n");
    QTest::newRow("lower-case method") << QByteArray("options /fsstatus.json HTTP/1.1\r\n\r\n");
    QTest::newRow("bad credentials") << QByteArray("OPTIONS /fsstatus.json HTTP/1.1\r\n") + basic("9:9") + "\r\n";
}

void TestRequestHandler::optionsOnAnyPath()
{
    QFETCH(QByteArray, request);
    const Answer answer = exchange(request);
    QCOMPARE(answer.raw,
             QByteArray("HTTP/1.1 200 OK\r\n"
                        "Access-Control-Allow-Headers: DNT,X-CustomHeader,Keep-Alive,User-Agent,X-Requested-With,"
                        "If-Modified-Since,Cache-Control,Content-Type,Content-Range,Range,Authorization\r\n"
                        "Access-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
                        "Content-Length: 0\r\n"
                        "Vary: Origin\r\n"
                        "\r\n"));
}

void TestRequestHandler::challengeWithoutCredentials_data()
{
    QTest::addColumn<QByteArray>("authorization");
    QTest::newRow("none") << QByteArray();
    QTest::newRow("lower-case scheme") << "Authorization: basic " + QByteArray("1:30").toBase64() + "\r\n";
    QTest::newRow("other scheme") << QByteArray("Authorization: Bearer abc\r\n");
}

void TestRequestHandler::challengeWithoutCredentials()
{
    QFETCH(QByteArray, authorization);
    const Answer answer = exchange("GET /fsstatus.json HTTP/1.1\r\n" + authorization + "\r\n");
    QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 401 Unauthorized"));
    QCOMPARE(answer.headers.value("WWW-Authenticate"), QByteArray("Basic realm=\"kxvd_T3pQwzLm9RaH:\""));
    QCOMPARE(answer.headers.value("Content-Length"), QByteArray("0"));
    QCOMPARE(answer.body, QByteArray());
}

void TestRequestHandler::offlineLogin_data()
{
    QTest::addColumn<QByteArray>("credentials");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("cashier 1") << QByteArray("1:30") << true;
    QTest::newRow("cashier 3") << QByteArray("3:77") << true;
    QTest::newRow("blanks") << QByteArray(" 3 : 77 ") << true;
    QTest::newRow("other position, known password") << QByteArray("9:77") << true;
    QTest::newRow("wrong password") << QByteArray("1:31") << false;
    QTest::newRow("login not a number") << QByteArray("anna:30") << false;
    QTest::newRow("password not a number") << QByteArray("1:abc") << false;
    QTest::newRow("no colon") << QByteArray("30") << true;
    QTest::newRow("not utf-8") << QByteArray("\xff\xfe:30") << false;
}

void TestRequestHandler::offlineLogin()
{
    QFETCH(QByteArray, credentials);
    QFETCH(bool, accepted);
    const Answer answer = exchange("GET /fsstatus.json HTTP/1.1\r\n" + basic(credentials) + "\r\n");
    if (accepted) {
        // Past authorisation: no device is reachable here.
        QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 523 Origin Is Unreachable"));
        QCOMPARE(answer.headers.value("Content-Type"), QByteArray("text/json; charset=utf-8"));
    } else {
        QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 401 Unauthorized"));
        QCOMPARE(answer.headers.value("WWW-Authenticate"), QByteArray("Basic realm=\"kxvd_T3pQwzLm9RaH:\""));
        QCOMPARE(answer.body, QByteArray("401 Unauthorized "));
    }
}

void TestRequestHandler::offlineLoginWithoutCashierList()
{
    bus::AppBusObject saved;
    QVERIFY(bus::SharedObjectsStorage().get(core::Cashier::CASHIERS_OBJECT_NAME, saved));
    bus::SharedObjectsStorage().remove(core::Cashier::CASHIERS_OBJECT_NAME);
    const Answer answer = exchange("GET /fsstatus.json HTTP/1.1\r\n" + basic("1:30") + "\r\n");
    bus::SharedObjectsStorage().store(saved);
    QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 401 Unauthorized"));
    QCOMPARE(answer.body, QByteArray("401 Unauthorized "));
}

void TestRequestHandler::offlineCashierChoice_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("name");
    QTest::newRow("position 1") << "1" << "30" << "Ivanova";
    QTest::newRow("position 2 shares the password") << "2" << "30" << "Petrova";
    QTest::newRow("no such position") << "9" << "30" << "Ivanova";
    QTest::newRow("position of another password") << "3" << "30" << "Ivanova";
    QTest::newRow("zero") << "0" << "77" << "Sidorov";
    QTest::newRow("wraps round a byte") << "258" << "30" << "Petrova";
    QTest::newRow("refused") << "1" << "5" << "";
}

void TestRequestHandler::offlineCashierChoice()
{
    QFETCH(QString, login);
    QFETCH(QString, password);
    QFETCH(QString, name);
    core::Cashier cashier;
    cashier.setName("stale");
    QString message;
    QCOMPARE(m_handler->checkAuthorisation(login, password, "client", cashier, message), !name.isEmpty());
    QCOMPARE(cashier.name(), name);
    QCOMPARE(message, QString());
}

void TestRequestHandler::atolCashier()
{
    writeSettings("[TILLGATE]\ndeviceType=3\n");
    core::Cashier cashier;
    QString message;
    QVERIFY(m_handler->checkAuthorisation("anyone", "4x2", QString(), cashier, message));
    QCOMPARE(cashier.name(), QString("TEMP"));
    QCOMPARE(cashier.password(), 0u);
    QVERIFY(m_handler->checkAuthorisation("anyone", "42", QString(), cashier, message));
    QCOMPARE(cashier.password(), 42u);
}

void TestRequestHandler::atolAcceptsAnyCredentials()
{
    writeSettings("[TILLGATE]\ndeviceType=3\n");
    Answer answer = exchange("GET /fsstatus.json HTTP/1.1\r\n" + basic("who:ever") + "\r\n");
    QVERIFY(answer.statusLine != QByteArray("HTTP/1.1 401 Unauthorized"));
    QVERIFY(!answer.statusLine.isEmpty());
    // Credentials are still required.
    answer = exchange("GET /fsstatus.json HTTP/1.1\r\n\r\n");
    QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 401 Unauthorized"));
}

void TestRequestHandler::combineAsksForNothing()
{
    writeSettings("[TILLGATE]\ndeviceType=2\n");
    const Answer answer = exchange("GET /fsstatus.json HTTP/1.1\r\n\r\n");
    QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 523 Origin Is Unreachable"));
}

void TestRequestHandler::openPaths_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("statusLine");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("plain search, upper case") << QByteArray("GET /DISCOVER HTTP/1.1\r\n\r\n")
                                              << QByteArray("HTTP/1.1 200 OK") << QByteArray();
    QTest::newRow("json search") << QByteArray("GET /search.json?cleanresults=1 HTTP/1.1\r\n\r\n")
                                 << QByteArray("HTTP/1.1 200 OK") << QByteArray(R"({"protocol":1,"version":"1.0"})");
    QTest::newRow("unknown cashbox") << QByteArray("GET /choosecashbox.json?model=45&serial=x HTTP/1.1\r\n\r\n")
                                     << QByteArray("HTTP/1.1 523 Origin Is Unreachable") << QByteArray();
}

void TestRequestHandler::openPaths()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, statusLine);
    QFETCH(QByteArray, body);
    const Answer answer = exchange(request);
    QCOMPARE(answer.statusLine, statusLine);
    QCOMPARE(answer.body, body);
}

void TestRequestHandler::routingAnswers_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("statusLine");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    const QByteArray auth = basic("1:30");
    QTest::newRow("fsstatus json") << "GET /fsstatus.json HTTP/1.1\r\n" + auth + "\r\n"
                                   << QByteArray("HTTP/1.1 523 Origin Is Unreachable") << QByteArray()
                                   << QByteArray("text/json; charset=utf-8");
    QTest::newRow("FSSTATUS.JSON") << "GET /FSSTATUS.JSON HTTP/1.1\r\n" + auth + "\r\n"
                                   << QByteArray("HTTP/1.1 523 Origin Is Unreachable") << QByteArray()
                                   << QByteArray("text/json; charset=utf-8");
    QTest::newRow("fsstatus plain") << "GET /fsstatus HTTP/1.1\r\n" + auth + "\r\n"
                                    << QByteArray("HTTP/1.1 501 Not supported") << QByteArray() << QByteArray();
    QTest::newRow("cashbox version") << "GET /cashbox_version.json HTTP/1.1\r\n" + auth + "\r\n"
                                     << QByteArray("HTTP/1.1 523 Origin Is Unreachable")
                                     << QByteArray(R"({"cashboxVersion":{"model":null,"modelstr":null,)"
                                                   R"("subver":null,"ver":null},"protocol":1,"version":"1.0"})")
                                     << QByteArray("text/json; charset=utf-8");
    QTest::newRow("fiscaldoc without number") << "GET /fiscaldoc.json HTTP/1.1\r\n" + auth + "\r\n"
                                              << QByteArray("HTTP/1.1 400 Bad request")
                                              << QByteArray("400 Bad request") << QByteArray("text/json; charset=utf-8");
    QTest::newRow("fiscaldoc with text") << "GET /fiscaldoc.json?number=12a HTTP/1.1\r\n" + auth + "\r\n"
                                         << QByteArray("HTTP/1.1 400 Bad request") << QByteArray("400 Bad request")
                                         << QByteArray("text/json; charset=utf-8");
    QTest::newRow("fiscaldoc") << "GET /fiscaldoc.json?number=12 HTTP/1.1\r\n" + auth + "\r\n"
                               << QByteArray("HTTP/1.1 523 Origin Is Unreachable") << QByteArray()
                               << QByteArray("text/json; charset=utf-8");
    QTest::newRow("unknown path") << "GET /nowhere.json HTTP/1.1\r\n" + auth + "\r\n"
                                  << QByteArray("HTTP/1.1 404 Not found") << QByteArray("404 Not found")
                                  << QByteArray("text/json; charset=utf-8");
    QTest::newRow("choose by get") << QByteArray("GET /chooseatol.json HTTP/1.1\r\n\r\n")
                                   << QByteArray("HTTP/1.1 404 Not found") << QByteArray("404 Not found")
                                   << QByteArray("text/json; charset=utf-8");
    QTest::newRow("status by post") << "POST /fsstatus.json HTTP/1.1\r\n" + auth + "Content-Length: 2\r\n\r\n{}"
                                    << QByteArray("HTTP/1.1 404 Not found") << QByteArray("404 Not found")
                                    << QByteArray("text/json; charset=utf-8");
    QTest::newRow("storeimages") << "POST /storeimages.json HTTP/1.1\r\n" + auth + "Content-Length: 2\r\n\r\n{}"
                                 << QByteArray("HTTP/1.1 523 Origin Is Unreachable")
                                 << QByteArray(R"({"protocol":1,"version":"1.0"})")
                                 << QByteArray("text/json; charset=utf-8");
    QTest::newRow("receipt not json") << "POST /fiscalcheck.json HTTP/1.1\r\n" + auth
                                             + "Content-Type: text/json\r\nContent-Length: 3\r\n\r\nabc"
                                      << QByteArray("HTTP/1.1 406 406 Not Acceptable (illegal value)")
                                      << QByteArray("406 Not Acceptable (illegal value)")
                                      << QByteArray("text/json; charset=utf-8");
    QTest::newRow("receipt, no device") << "POST /fiscal_check.json HTTP/1.1\r\n" + auth
                                               + "Content-Type: text/json\r\nContent-Length: 2\r\n\r\n{}"
                                        << QByteArray("HTTP/1.1 523 Origin Is Unreachable") << QByteArray()
                                        << QByteArray("text/json; charset=utf-8");
}

void TestRequestHandler::routingAnswers()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, statusLine);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    const Answer answer = exchange(request);
    QCOMPARE(answer.statusLine, statusLine);
    QCOMPARE(answer.body, body);
    QCOMPARE(answer.headers.value("Content-Type"), contentType);
}

void TestRequestHandler::xmlContentType()
{
    const Answer answer = exchange("GET /FSSTATUS.XML HTTP/1.1\r\n" + basic("1:30") + "\r\n");
    QVERIFY(!answer.statusLine.isEmpty());
    QCOMPARE(answer.headers.value("Content-Type"), QByteArray("text/xml; charset=utf-8"));
}

void TestRequestHandler::unsupportedMethod()
{
    const Answer answer = exchange("PUT /fsstatus.json HTTP/1.1\r\n" + basic("1:30") + "\r\n");
    QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 400 Bad request"));
    QCOMPARE(answer.body, QByteArray("400 Bad request PUT"));
}

void TestRequestHandler::fiscalizationFailureHasNoBody()
{
    const QByteArray request = "{\"document\":{\"sessionId\":\"fz-" + QByteArray::number(QCoreApplication::applicationPid())
        + "\"}}";
    const Answer answer = exchange("POST /fiscalize.json HTTP/1.1\r\n" + basic("1:30") + "Content-Length: "
                                   + QByteArray::number(request.size()) + "\r\n\r\n" + request);
    QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 523 Origin Is Unreachable"));
    QCOMPARE(answer.body, QByteArray());
}

void TestRequestHandler::robots()
{
    const Answer answer = exchange("GET /robots.txt HTTP/1.1\r\n\r\n");
    // Without an Origin there is nothing to reflect, and "*" never goes
    // with credentials.
    QCOMPARE(answer.raw, QByteArray("HTTP/1.1 200 Ok\r\n"
                                    "Access-Control-Allow-Headers: DNT,X-CustomHeader,Keep-Alive,User-Agent,"
                                    "X-Requested-With,If-Modified-Since,Cache-Control,Content-Type,Content-Range,"
                                    "Range,Authorization\r\n"
                                    "Access-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
                                    "Content-Length: 24\r\n"
                                    "Vary: Origin\r\n"
                                    "\r\n"
                                    "User-agent:*\nDisallow: /"));
}

void TestRequestHandler::favicon()
{
    QFile icon(QStringLiteral(TILLGATE_SOURCE_DIR) + "/icons/favicon.png");
    QVERIFY(icon.open(QIODevice::ReadOnly));
    const QByteArray png = icon.readAll();
    QVERIFY(png.startsWith("\x89PNG\r\n\x1a\n"));
    const Answer answer = exchange("GET /favicon.ico HTTP/1.1\r\n\r\n");
    QCOMPARE(answer.statusLine, QByteArray("HTTP/1.1 200 Ok"));
    QCOMPARE(answer.body, png);
    QVERIFY(!answer.headers.contains("Content-Type"));
}

void TestRequestHandler::cors_data()
{
    QTest::addColumn<QByteArray>("origins");
    QTest::addColumn<QByteArray>("requestOrigin");
    QTest::addColumn<QByteArray>("statusLine");
    QTest::addColumn<QByteArray>("allowOrigin");
    QTest::addColumn<bool>("vary");
    const QByteArray ok("HTTP/1.1 200 Ok");
    const QByteArray forbidden("HTTP/1.1 403 Forbidden");
    QTest::newRow("none") << QByteArray("origins=") << QByteArray("http://a") << forbidden << QByteArray() << false;
    QTest::newRow("one") << QByteArray("origins=http://pos.local") << QByteArray("http://pos.local") << ok
                         << QByteArray("http://pos.local") << true;
    QTest::newRow("one, stranger") << QByteArray("origins=http://pos.local") << QByteArray("http://other")
                                   << forbidden << QByteArray() << true;
    QTest::newRow("two, first asks") << QByteArray("origins=http://a.local####http://b.local")
                                     << QByteArray("http://a.local") << ok << QByteArray("http://a.local") << true;
    QTest::newRow("star reflects") << QByteArray("origins=*") << QByteArray("http://c.local") << ok
                                   << QByteArray("http://c.local") << true;
}

void TestRequestHandler::cors()
{
    QFETCH(QByteArray, origins);
    QFETCH(QByteArray, requestOrigin);
    QFETCH(QByteArray, statusLine);
    QFETCH(QByteArray, allowOrigin);
    QFETCH(bool, vary);
    writeSettings("[TILLGATE]\ndeviceType=1\n" + origins + "\n");
    const Answer answer = exchange("GET /robots.txt HTTP/1.1\r\nOrigin: " + requestOrigin + "\r\n\r\n");
    QCOMPARE(answer.statusLine, statusLine);
    QCOMPARE(answer.headers.value("Access-Control-Allow-Origin"), allowOrigin);
    QCOMPARE(answer.raw.count("Access-Control-Allow-Origin"), allowOrigin.isEmpty() ? 0 : 1);
    QCOMPARE(answer.headers.contains("Access-Control-Allow-Credentials"), !allowOrigin.isEmpty());
    QCOMPARE(answer.headers.contains("Access-Control-Allow-Methods"), !allowOrigin.isEmpty());
    QCOMPARE(answer.headers.contains("Access-Control-Allow-Headers"), !allowOrigin.isEmpty());
    QCOMPARE(answer.headers.value("Vary"), vary ? QByteArray("Origin") : QByteArray());
}

QTEST_GUILESS_MAIN(TestRequestHandler)
#include "tst_requesthandler.moc"
