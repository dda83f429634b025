#include "httptestclient.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QTimer>

HttpTestClient::Answer HttpTestClient::exchange(quint16 port, const QByteArray &request, int timeoutMs)
{
    HttpTestClient client(port);
    client.send(request);
    Answer answer;
    client.waitForAnswer(answer, timeoutMs);
    return answer;
}

HttpTestClient::HttpTestClient(quint16 port, QObject *parent)
    : QObject(parent)
{
    connect(&m_socket, &QTcpSocket::readyRead, this, [this] { m_received += m_socket.readAll(); });
    connect(&m_socket, &QTcpSocket::disconnected, this, [this] {
        if (m_socket.isOpen())
            m_received += m_socket.readAll();
        m_closed = true;
        m_closedAfter = m_since.elapsed();
    });
    m_since.start();
    m_socket.connectToHost(QHostAddress::LocalHost, port);
}

HttpTestClient::~HttpTestClient()
{
    m_socket.disconnect(this);
}

void HttpTestClient::send(const QByteArray &data)
{
    m_since.restart();
    // Written once the connection is up when it is still being made.
    m_socket.write(data);
    if (isConnected())
        m_socket.flush();
}

bool HttpTestClient::takeAnswer(Answer &answer)
{
    const int headEnd = m_received.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return false;
    QList<QByteArray> lines = m_received.left(headEnd).split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    Answer parsed;
    parsed.statusLine = lines.first();
    const QList<QByteArray> status = parsed.statusLine.split(' ');
    parsed.code = status.value(1).toInt();
    parsed.text = parsed.statusLine.mid(status.value(0).size() + status.value(1).size() + 2).trimmed();
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const int colon = line.indexOf(':');
        parsed.headers.insert(line.left(colon), line.mid(colon + 1).trimmed());
    }
    int pos = headEnd + 4;
    if (parsed.headers.contains("Content-Length")) {
        const int length = parsed.headers.value("Content-Length").toInt();
        if (m_received.size() - pos < length)
            return false;
        parsed.body = m_received.mid(pos, length);
        pos += length;
    } else if (parsed.headers.value("Transfer-Encoding") == "chunked") {
        for (;;) {
            const int lineEnd = m_received.indexOf("\r\n", pos);
            if (lineEnd < 0)
                return false;
            bool ok = false;
            const int size = m_received.mid(pos, lineEnd - pos).toInt(&ok, 16);
            if (!ok || m_received.size() < lineEnd + 2 + size + 2)
                return false;
            parsed.body += m_received.mid(lineEnd + 2, size);
            pos = lineEnd + 2 + size + 2;
            if (size == 0)
                break;
        }
    } else {
        if (!m_closed)
            return false;
        parsed.body = m_received.mid(pos);
        pos = m_received.size();
    }
    parsed.raw = m_received.left(pos);
    m_received.remove(0, pos);
    answer = parsed;
    return true;
}

bool HttpTestClient::waitForAnswer(Answer &answer, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!takeAnswer(answer)) {
        if (m_closed || m_socket.state() == QAbstractSocket::UnconnectedState || deadline.hasExpired())
            return false;
        QEventLoop loop;
        connect(&m_socket, &QTcpSocket::readyRead, &loop, &QEventLoop::quit);
        connect(&m_socket, &QTcpSocket::disconnected, &loop, &QEventLoop::quit);
        connect(&m_socket, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit);
        QTimer::singleShot(int(deadline.remainingTime()), &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}
