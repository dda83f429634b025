#include "servicerunner.h"

#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <csignal>
#include <memory>
#include <vector>

namespace {

// Every service of these tests searches for cashboxes on this machine only.
const QByteArray LOCAL_DISCOVERY = "[TILLGATE]\ndiscoveryAddress=127.0.0.1\n";

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

// What the process does at its edges: a start that cannot listen, header
// names of any case, the listening address, the discovery address and a stop
// while requests keep coming.
class tst_Hardening : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void failedStartEndsTheProcess_data();
    void failedStartEndsTheProcess();
    void authorizationOfAnyCase_data();
    void authorizationOfAnyCase();
    void discoveryAddressFromSettings();
    void quitSignalUnderLoad_data();
    void quitSignalUnderLoad();

private:
    // Starts the service and reads the port it listens on from its log.
    static std::unique_ptr<QProcess> start(ServiceRunner &runner, quint16 &port);
    static QByteArray exchange(quint16 port, const QByteArray &request);
};

void tst_Hardening::initTestCase()
{
    // The listener names its port at debug level, the finder its address.
    qputenv("QT_LOGGING_RULES", "tillgate.http.debug=true\ntillgate.discovery.debug=true");
}

std::unique_ptr<QProcess> tst_Hardening::start(ServiceRunner &runner, quint16 &port)
{
    auto service = runner.start();
    const QRegularExpression listening(QStringLiteral("HttpListener: Listening on port (\\d+)"));
    QRegularExpressionMatch match;
    const bool ended = QTest::qWaitFor([&] {
        match = listening.match(QString::fromUtf8(ServiceRunner::output(*service)));
        return match.hasMatch() || service->state() == QProcess::NotRunning;
    }, 20000);
    port = ended && match.hasMatch() ? quint16(match.captured(1).toUInt()) : 0;
    return service;
}

QByteArray tst_Hardening::exchange(quint16 port, const QByteArray &request)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write(request);
    QByteArray answer;
    const bool closed = QTest::qWaitFor([&] {
        answer += socket.readAll();
        return socket.state() == QAbstractSocket::UnconnectedState;
    }, 10000);
    // An answer the server did not end by closing is cut short.
    return closed ? answer + socket.readAll() : QByteArray();
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
    QVERIFY(runner.writeSettings(LOCAL_DISCOVERY));
    QByteArray listener = "[LISTENER]\nport=" + QByteArray::number(taken.serverPort()) + "\n";
    if (!host.isEmpty())
        listener += "host=" + host + "\n";
    QVERIFY(runner.writeListenerSettings(listener));

    auto service = runner.start();
    QVERIFY(service->waitForFinished(20000));
    const QByteArray output = ServiceRunner::output(*service);
    QVERIFY2(output.contains(reason), output.constData());
    QVERIFY(output.contains("The HTTP server did not start; the service ends"));
    QCOMPARE(service->exitStatus(), QProcess::NormalExit);
    QCOMPARE(service->exitCode(), 1);
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
    QVERIFY(runner.writeSettings(LOCAL_DISCOVERY + "deviceType=3\n"));
    QVERIFY(runner.writeListenerSettings("[LISTENER]\nport=0\nhost=127.0.0.1\n"));
    quint16 port = 0;
    auto service = start(runner, port);
    QVERIFY(port != 0);

    const QByteArray answer = exchange(port, "GET /cashboxstatus.json HTTP/1.1\r\n" + header
                                                 + "\r\nConnection: close\r\n\r\n");
    QVERIFY2(answer.startsWith("HTTP/1.1 "), answer.constData());
    QCOMPARE(answer.startsWith("HTTP/1.1 401 "), !accepted);
    ::kill(pid_t(service->processId()), SIGTERM);
    QVERIFY(service->waitForFinished(10000));
    QCOMPARE(service->exitCode(), 0);
}

void tst_Hardening::discoveryAddressFromSettings()
{
    ServiceRunner runner;
    QVERIFY(runner.writeSettings(LOCAL_DISCOVERY));
    QVERIFY(runner.writeListenerSettings("[LISTENER]\nport=0\nhost=127.0.0.1\n"));
    quint16 port = 0;
    auto service = start(runner, port);
    QVERIFY(port != 0);
    QTRY_VERIFY(ServiceRunner::output(*service).contains("Cashbox search: queries go to 127.0.0.1 port 43785"));
    ::kill(pid_t(service->processId()), SIGTERM);
    QVERIFY(service->waitForFinished(10000));
    QCOMPARE(service->exitCode(), 0);
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
    QVERIFY(runner.writeSettings(LOCAL_DISCOVERY));
    QVERIFY(runner.writeListenerSettings("[LISTENER]\nport=0\nhost=127.0.0.1\nmaxThreads=20\n"));
    quint16 port = 0;
    auto service = start(runner, port);
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
