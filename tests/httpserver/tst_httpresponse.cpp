#include "httpresponse.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

// The response writes to the server end of a loopback connection; the test
// reads the exact bytes at the client end.
class TestHttpResponse : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void framing_data();
    void framing();
    void statusOnlyHasNoEffectAfterFirstWrite();
    void setHeaderReplaces();
    void redirect();
    void writeAfterLastPartIgnored();
    void clientThatStopsReadingIsDropped();
    void closedConnectionEndsWriteQuietly();

private:
    QByteArray receive(int size);

    QTcpServer m_server;
    std::unique_ptr<QTcpSocket> m_client;
    QTcpSocket *m_serverSide = nullptr;
};

void TestHttpResponse::init()
{
    QVERIFY(m_server.listen(QHostAddress::LocalHost, 0));
    m_client = std::make_unique<QTcpSocket>();
    m_client->connectToHost(QHostAddress::LocalHost, m_server.serverPort());
    QVERIFY(m_server.waitForNewConnection(5000));
    m_serverSide = m_server.nextPendingConnection();
    QVERIFY(m_serverSide);
    QTRY_COMPARE(m_client->state(), QAbstractSocket::ConnectedState);
}

void TestHttpResponse::cleanup()
{
    m_client.reset();
    delete m_serverSide;
    m_serverSide = nullptr;
    m_server.close();
}

QByteArray TestHttpResponse::receive(int size)
{
    QByteArray data;
    QElapsedTimer timer;
    timer.start();
    while (data.size() < size && timer.elapsed() < 5000) {
        if (m_client->bytesAvailable() || m_client->waitForReadyRead(100))
            data += m_client->readAll();
    }
    return data;
}

void TestHttpResponse::framing_data()
{
    QTest::addColumn<QVariantMap>("headers");
    QTest::addColumn<QByteArrayList>("parts");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<bool>("closed");

    QTest::newRow("one part") << QVariantMap() << QByteArrayList{"hello"}
                              << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello") << false;
    QTest::newRow("two parts are chunked")
        << QVariantMap() << QByteArrayList{"first part", "rest"}
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\na\r\nfirst part\r\n4\r\nrest\r\n0\r\n\r\n")
        << false;
    QTest::newRow("empty last part first") << QVariantMap() << QByteArrayList{""}
                                           << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n") << false;
    QTest::newRow("empty chunk skipped")
        << QVariantMap() << QByteArrayList{"ab", "", ""}
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nab\r\n0\r\n\r\n") << false;
    QTest::newRow("length given, two parts raw")
        << QVariantMap{{"Content-Length", "6"}} << QByteArrayList{"abc", "def"}
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nabcdef") << false;
    QTest::newRow("close without length")
        << QVariantMap{{"Connection", "close"}} << QByteArrayList{"abc", "def"}
        << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nabcdef") << true;
    QTest::newRow("Close capitalised") << QVariantMap{{"Connection", "Close"}} << QByteArrayList{"x"}
                                       << QByteArray("HTTP/1.1 200 OK\r\nConnection: Close\r\n\r\nx") << true;
    QTest::newRow("CLOSE is not close")
        << QVariantMap{{"Connection", "CLOSE"}} << QByteArrayList{"x"}
        << QByteArray("HTTP/1.1 200 OK\r\nConnection: CLOSE\r\nContent-Length: 1\r\n\r\nx") << false;
    QTest::newRow("Chunked set by handler")
        << QVariantMap{{"Transfer-Encoding", "Chunked"}} << QByteArrayList{"x"}
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n1\r\nx\r\n0\r\n\r\n") << false;
    QTest::newRow("headers sorted")
        << QVariantMap{{"WWW-Authenticate", "Basic realm=\"tillgate\""},
                       {"Content-Type", "application/json"},
                       {"Access-Control-Allow-Origin", "*"}}
        << QByteArrayList{"{}"}
        << QByteArray("HTTP/1.1 200 OK\r\nAccess-Control-Allow-Origin: *\r\nContent-Length: 2\r\n"
                      "Content-Type: application/json\r\nWWW-Authenticate: Basic realm=\"tillgate\"\r\n\r\n{}")
        << false;
}

void TestHttpResponse::framing()
{
    QFETCH(QVariantMap, headers);
    QFETCH(QByteArrayList, parts);
    QFETCH(QByteArray, expected);
    QFETCH(bool, closed);

    HttpResponse response(m_serverSide);
    for (auto it = headers.cbegin(); it != headers.cend(); ++it)
        response.setHeader(it.key().toUtf8(), it.value().toByteArray());
    for (int i = 0; i < parts.size(); ++i) {
        QVERIFY(!response.hasSentLastPart());
        response.write(parts.at(i), i == parts.size() - 1);
    }
    QVERIFY(response.hasSentLastPart());
    QCOMPARE(receive(expected.size()), expected);
    if (closed) {
        QTRY_COMPARE(m_client->state(), QAbstractSocket::UnconnectedState);
    } else {
        QCOMPARE(m_serverSide->state(), QAbstractSocket::ConnectedState);
        QVERIFY(!m_client->waitForReadyRead(50));
    }
}

void TestHttpResponse::statusOnlyHasNoEffectAfterFirstWrite()
{
    HttpResponse response(m_serverSide);
    response.setStatus(401, "Unauthorized");
    response.setHeader("Content-Length", 0);
    QCOMPARE(response.getStatusCode(), 401);
    QCOMPARE(response.getStatusText(), QByteArray("Unauthorized"));
    response.write(QByteArray());
    response.setStatus(500, "late");
    response.setHeader("X-Late", "1");
    response.write(QByteArray(), true);
    const QByteArray expected = "HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n";
    QCOMPARE(receive(expected.size()), expected);
    QVERIFY(!m_client->waitForReadyRead(50));
}

void TestHttpResponse::setHeaderReplaces()
{
    HttpResponse response(m_serverSide);
    response.setHeader("X-A", "1");
    response.setHeader("X-A", "2");
    response.setHeader("x-a", "3");
    response.setCookie("s", "s=1; Path=/");
    response.write("!", true);
    const QByteArray expected =
        "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nX-A: 2\r\nx-a: 3\r\nSet-Cookie: s=1; Path=/\r\n\r\n!";
    QCOMPARE(receive(expected.size()), expected);
}

void TestHttpResponse::redirect()
{
    HttpResponse response(m_serverSide);
    response.redirect("/index.html");
    QVERIFY(response.hasSentLastPart());
    const QByteArray expected = "HTTP/1.1 303 See Other\r\nContent-Length: 8\r\nLocation: /index.html\r\n\r\nRedirect";
    QCOMPARE(receive(expected.size()), expected);
}

void TestHttpResponse::writeAfterLastPartIgnored()
{
    HttpResponse response(m_serverSide);
    response.write("ok", true);
    response.write("garbage", true);
    const QByteArray expected = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    QCOMPARE(receive(expected.size()), expected);
    QVERIFY(!m_client->waitForReadyRead(50));
}

// The client's socket takes nothing: the kernel buffers fill and the write
// waits; it must give up after the time-out and drop the connection.
void TestHttpResponse::clientThatStopsReadingIsDropped()
{
    m_client->setReadBufferSize(1);
    const int timeout = 300;
    HttpResponse response(m_serverSide, timeout);
    QElapsedTimer timer;
    timer.start();
    response.write(QByteArray(32 * 1024 * 1024, 'x'), true);
    QVERIFY2(timer.elapsed() >= timeout, QByteArray::number(timer.elapsed()));
    QVERIFY2(timer.elapsed() < 10 * timeout, QByteArray::number(timer.elapsed()));
    QCOMPARE(m_serverSide->state(), QAbstractSocket::UnconnectedState);
    QVERIFY(response.hasSentLastPart());
}

void TestHttpResponse::closedConnectionEndsWriteQuietly()
{
    m_client->abort();
    m_serverSide->waitForReadyRead(200);
    HttpResponse response(m_serverSide, 300);
    QElapsedTimer timer;
    timer.start();
    response.write(QByteArray(1024 * 1024, 'x'));
    response.write("end", true);
    QVERIFY(timer.elapsed() < 3000);
    QVERIFY(response.hasSentLastPart());
}

QTEST_GUILESS_MAIN(TestHttpResponse)
#include "tst_httpresponse.moc"
