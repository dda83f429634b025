#include "httptestclient.h"
#include "servicerunner.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <csignal>
#include <memory>
#include <vector>

namespace {

// One client connection after another to the same path, each answer read
// until the server closes, for as long as it lives.
class LoadClient : public QObject
{
    Q_OBJECT
public:
    LoadClient(quint16 port, const QByteArray &path, int &answers)
        : m_port(port)
        , m_request("GET " + path + " HTTP/1.1\r\nConnection: close\r\n\r\n")
        , m_answers(answers)
    {
        connect(&m_socket, &QTcpSocket::connected, this, [this] { m_socket.write(m_request); });
        connect(&m_socket, &QTcpSocket::readyRead, this, [this] { m_received += m_socket.readAll(); });
        connect(&m_socket, &QTcpSocket::disconnected, this, &LoadClient::next, Qt::QueuedConnection);
        connect(&m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
            if (error == QAbstractSocket::ConnectionRefusedError)
                QMetaObject::invokeMethod(this, &LoadClient::next, Qt::QueuedConnection);
        });
        m_socket.connectToHost(QHostAddress::LocalHost, m_port);
    }

private:
    void next()
    {
        if (m_received.startsWith("HTTP/1.1 "))
            ++m_answers;
        m_received.clear();
        m_socket.abort();
        m_socket.connectToHost(QHostAddress::LocalHost, m_port);
    }

    QTcpSocket m_socket;
    quint16 m_port;
    QByteArray m_request;
    QByteArray m_received;
    int &m_answers;
};

} // namespace

// What the process does at its edges: a start that cannot listen, settings
// files Qt must not read, header names of any case, the listening address,
// the discovery address and a stop while requests keep coming.
class tst_Hardening : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void failedStartEndsTheProcess_data();
    void failedStartEndsTheProcess();
    void serializedSettingsValue_data();
    void serializedSettingsValue();
    void serializedValueWhileRunning();
    void authorizationOfAnyCase_data();
    void authorizationOfAnyCase();
    void discoveryAddressFromSettings();
    void quitSignalUnderLoad_data();
    void quitSignalUnderLoad();
};

void tst_Hardening::initTestCase()
{
    // The finder names the address it searches at debug level.
    qputenv("QT_LOGGING_RULES", "tillgate.discovery.debug=true");
}

void tst_Hardening::failedStartEndsTheProcess_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<QByteArray>("reason");
    QTest::newRow("port taken") << QByteArray() << QByteArray("Cannot bind on port");
    QTest::newRow("port taken on loopback") << QByteArray("127.0.0.1") << QByteArray("Cannot bind on port");
    QTest::newRow("host not an address") << QByteArray("cashdesk") << QByteArray("is not an IP address");
}

void tst_Hardening::failedStartEndsTheProcess()
{
    QFETCH(QByteArray, host);
    QFETCH(QByteArray, reason);
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
    ServiceRunner runner;
    QVERIFY(runner.writeSettings());
    QByteArray listener = "[LISTENER]\nport=" + QByteArray::number(taken.serverPort()) + "\n";
    if (!host.isEmpty())
        listener += "host=" + host + "\n";
    QVERIFY(runner.writeListenerSettings(listener));

    QProcess *service = runner.start();
    QVERIFY(service->waitForFinished(20000));
    const QByteArray output = ServiceRunner::output(*service);
    QVERIFY2(output.contains(reason), output.constData());
    QVERIFY(output.contains("The HTTP server did not start; the service ends"));
    QCOMPARE(service->exitStatus(), QProcess::NormalExit);
    QCOMPARE(service->exitCode(), 1);
}

void tst_Hardening::serializedSettingsValue_data()
{
    // A list with a negative count: read by Qt, it aborts the process.
    const QByteArray value = R"(x=@Variant(\0\0\0\tHbu\sost\0\0\0\a))" "\n";
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QByteArray>("listener");
    QTest::addColumn<QByteArray>("reason");
    QTest::newRow("service settings") << "[A]\n" + value << QByteArray("[LISTENER]\nport=0\n")
                                      << QByteArray("line 2, which is not read - the service ends");
    QTest::newRow("listener settings") << QByteArray() << "[LISTENER]\nport=0\n" + value
                                       << QByteArray("The HTTP server did not start; the service ends");
}

void tst_Hardening::serializedSettingsValue()
{
    QFETCH(QByteArray, settings);
    QFETCH(QByteArray, listener);
    QFETCH(QByteArray, reason);
    ServiceRunner runner;
    QVERIFY(runner.writeSettings(settings));
    QVERIFY(runner.writeListenerSettings(listener));
    QProcess *service = runner.start();
    QVERIFY(service->waitForFinished(20000));
    const QByteArray output = ServiceRunner::output(*service);
    QVERIFY2(output.contains("holds a serialized value"), output.constData());
    QVERIFY2(output.contains(reason), output.constData());
    QCOMPARE(service->exitStatus(), QProcess::NormalExit);
    QCOMPARE(service->exitCode(), 1);
}

void tst_Hardening::serializedValueWhileRunning()
{
    ServiceRunner runner;
    QVERIFY(runner.writeListenerSettings("[LISTENER]\nport=0\nhost=127.0.0.1\n"));
    QVERIFY(runner.startListening());
    QVERIFY(runner.writeSettings(R"([A]
x=@Variant(\0\0\0\tHbu\sost\0\0\0\a)
)"));
    // Every request reads the settings; the edited file is refused and the
    // service goes on with what it read before.
    for (int round = 0; round < 2; ++round) {
        const HttpTestClient::Answer answer =
            HttpTestClient::exchange(runner.port(), "GET /robots.txt HTTP/1.1\r\n\r\n");
        QCOMPARE(answer.code, 200);
    }
    const QByteArray output = runner.output();
    QVERIFY2(output.contains("the values read before stay in use"), output.constData());
    QCOMPARE(output.count("holds a serialized value"), 1);
}

void tst_Hardening::authorizationOfAnyCase_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<bool>("accepted");
    const QByteArray credentials = QByteArray("1:30").toBase64();
    QTest::newRow("as written") << "Authorization: Basic " + credentials << true;
    QTest::newRow("lower case") << "authorization: Basic " + credentials << true;
    QTest::newRow("upper case") << "AUTHORIZATION: Basic " + credentials << true;
    QTest::newRow("none") << QByteArray("X-None: 1") << false;
}

void tst_Hardening::authorizationOfAnyCase()
{
    QFETCH(QByteArray, header);
    QFETCH(bool, accepted);
    ServiceRunner runner;
    // ATOL takes any credentials: only finding the header matters here.
    QVERIFY(runner.writeSettings("[TILLGATE]\ndeviceType=3\n"));
    QVERIFY(runner.writeListenerSettings("[LISTENER]\nport=0\nhost=127.0.0.1\n"));
    QProcess *service = runner.start();
    const quint16 port = ServiceRunner::waitForPort(*service);
    QVERIFY(port != 0);

    const HttpTestClient::Answer answer =
        HttpTestClient::exchange(port, "GET /cashboxstatus.json HTTP/1.1\r\n" + header + "\r\n\r\n");
    QVERIFY2(answer.code != 0, answer.raw.constData());
    QCOMPARE(answer.code == 401, !accepted);
    QVERIFY(ServiceRunner::stop(*service));
}

void tst_Hardening::discoveryAddressFromSettings()
{
    ServiceRunner runner;
    QVERIFY(runner.writeSettings());
    QVERIFY(runner.writeListenerSettings("[LISTENER]\nport=0\nhost=127.0.0.1\n"));
    QProcess *service = runner.start();
    const quint16 port = ServiceRunner::waitForPort(*service);
    QVERIFY(port != 0);
    QTRY_VERIFY(ServiceRunner::output(*service).contains("Cashbox search: queries go to 127.0.0.1 port 43785"));
    QVERIFY(ServiceRunner::stop(*service));
}

void tst_Hardening::quitSignalUnderLoad_data()
{
    QTest::addColumn<int>("signo");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

// Requests reach the finder and the bus controller up to the last moment of
// the stop; the process still ends cleanly.
void tst_Hardening::quitSignalUnderLoad()
{
    QFETCH(int, signo);
    ServiceRunner runner;
    QVERIFY(runner.writeSettings());
    QVERIFY(runner.writeListenerSettings("[LISTENER]\nport=0\nhost=127.0.0.1\nmaxThreads=20\n"));
    QProcess *service = runner.start();
    const quint16 port = ServiceRunner::waitForPort(*service);
    QVERIFY(port != 0);

    int answers = 0;
    std::vector<std::unique_ptr<LoadClient>> clients;
    // Mostly searches: each one reaches the finder.
    for (int i = 0; i < 4; ++i) {
        for (const QByteArray path : {"/discover?cleanresults=1", "/search", "/cashboxes", "/fsstatus.json"})
            clients.push_back(std::make_unique<LoadClient>(port, path, answers));
    }
    QTRY_VERIFY_WITH_TIMEOUT(answers >= 200, 30000);

    ::kill(pid_t(service->processId()), signo);
    QTRY_COMPARE_WITH_TIMEOUT(service->state(), QProcess::NotRunning, 20000);
    const QByteArray output = ServiceRunner::output(*service);
    QVERIFY2(!output.contains("Sanitizer"), output.right(4000).constData());
    QCOMPARE(service->exitStatus(), QProcess::NormalExit);
    QCOMPARE(service->exitCode(), 0);
}

QTEST_GUILESS_MAIN(tst_Hardening)
#include "tst_hardening.moc"
