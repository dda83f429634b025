#include "appbusconnection.h"

#include "appbuslog_p.h"
#include "appbusprotocol.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QTcpSocket>
#include <QThread>

namespace bus {

AppBusConnection::AppBusConnection(const QString &clientName, const QString &channel,
                                   const AppBusTimings &timings, const QJsonObject &extraHello,
                                   QObject *parent)
    : QObject(parent)
    , m_clientName(clientName)
    , m_channel(channel)
    , m_timings(timings)
    , m_extraHello(extraHello)
    , m_keepAlive(this)
    , m_watchdog(this)
{
    m_keepAlive.setSingleShot(true);
    m_watchdog.setSingleShot(true);
    connect(&m_keepAlive, &QTimer::timeout, this, &AppBusConnection::onKeepAlive);
    connect(&m_watchdog, &QTimer::timeout, this, [this] { close(m_watchdogReason); });
}

AppBusConnection::~AppBusConnection()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

void AppBusConnection::open(const QString &host, quint16 port)
{
    close(QStringLiteral("reopened"));
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, &AppBusConnection::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &AppBusConnection::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &AppBusConnection::onSocketGone);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &AppBusConnection::onSocketGone);
    m_state = Connecting;
    m_serverName.clear();
    m_pongPending = false;
    armWatchdog(QStringLiteral("no greeting within %1 ms").arg(m_timings.connectTimeoutMs));
    m_socket->connectToHost(host, port);
}

bool AppBusConnection::waitForOpen(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    if (m_state == Connecting && m_socket) {
        if (!m_socket->waitForConnected(int(deadline.remainingTime()))) {
            close(m_socket ? m_socket->errorString() : QStringLiteral("connect failed"));
            return false;
        }
    }
    return waitUntil([this] { return m_state == Open; }, int(deadline.remainingTime()));
}

bool AppBusConnection::waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    // Waits in slices, so a thread asked to end (the controller stopping)
    // leaves a long wait soon.
    constexpr int Slice = 200;
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (m_state == Closed || !m_socket || deadline.hasExpired()
            || QThread::currentThread()->isInterruptionRequested())
            return done();
        if (m_socket->waitForReadyRead(int(qMin<qint64>(Slice, deadline.remainingTime()))))
            continue;
        // Without data: either this slice is over, or the socket failed,
        // which it may not have signalled yet.
        if (m_socket && (m_socket->error() != QAbstractSocket::SocketTimeoutError
                         || m_socket->state() != QAbstractSocket::ConnectedState))
            close(m_socket->errorString());
    }
    return true;
}

bool AppBusConnection::send(const QJsonObject &frame)
{
    if (m_state != Open || !m_socket)
        return false;
    const QByteArray bytes = AppBusFrameReader::encode(frame);
    if (bytes.isEmpty()) {
        qCWarning(lcBus) << "frame" << frame.value(protocol::KeyType).toString()
                         << frame.value(protocol::KeyName).toString()
                         << "exceeds the frame size limit, not sent";
        return false;
    }
    m_socket->write(bytes);
    return true;
}

void AppBusConnection::close(const QString &reason)
{
    if (m_state == Closed)
        return;
    m_state = Closed;
    m_keepAlive.stop();
    m_watchdog.stop();
    m_reader.clear();
    m_pongPending = false;
    if (m_socket) {
        QTcpSocket *socket = std::exchange(m_socket, nullptr);
        socket->disconnect(this);
        socket->abort();
        // The socket may be the sender of the signal being handled.
        socket->deleteLater();
    }
    emit closed(reason);
}

void AppBusConnection::onConnected()
{
    m_state = Greeting;
    QJsonObject hello = m_extraHello;
    hello.insert(protocol::KeyType, protocol::TypeHello);
    hello.insert(protocol::KeyClient, m_clientName);
    hello.insert(protocol::KeyChannel, m_channel);
    m_socket->write(AppBusFrameReader::encode(hello));
}

void AppBusConnection::onReadyRead()
{
    if (!m_socket)
        return;
    m_reader.append(m_socket->readAll());
    m_keepAlive.start(m_timings.keepAliveMs);
    QPointer<AppBusConnection> guard(this);
    QJsonObject frame;
    AppBusFrameReader::Result result;
    while (m_state != Closed && (result = m_reader.next(frame)) == AppBusFrameReader::FrameReady) {
        handleFrame(frame);
        if (!guard)
            return;
    }
    if (m_state == Closed)
        return;
    if (result == AppBusFrameReader::Failed) {
        qCWarning(lcBus) << "bus" << m_channel << "connection: bad frame from the peer:" << m_reader.error();
        close(m_reader.error());
        return;
    }
    if (m_state != Open)
        return;
    if (m_reader.hasPartialFrame())
        armWatchdog(QStringLiteral("frame not completed within %1 ms").arg(m_timings.frameTimeoutMs));
    else if (!m_pongPending)
        disarmWatchdog();
}

void AppBusConnection::onSocketGone()
{
    if (m_socket)
        close(m_socket->errorString());
}

void AppBusConnection::onKeepAlive()
{
    if (m_state != Open)
        return;
    QJsonObject ping;
    ping.insert(protocol::KeyType, protocol::TypePing);
    send(ping);
    m_pongPending = true;
    armWatchdog(QStringLiteral("no pong within %1 ms").arg(m_timings.frameTimeoutMs));
}

void AppBusConnection::handleFrame(const QJsonObject &frame)
{
    const QString type = frame.value(protocol::KeyType).toString();
    if (m_state == Greeting) {
        if (type != protocol::TypeWelcome) {
            close(QStringLiteral("peer answered the greeting with \"%1\"").arg(type));
            return;
        }
        m_serverName = frame.value(protocol::KeyServer).toString();
        m_state = Open;
        m_watchdog.stop();
        m_keepAlive.start(m_timings.keepAliveMs);
        emit opened();
        return;
    }
    if (type == protocol::TypePing) {
        QJsonObject pong;
        pong.insert(protocol::KeyType, protocol::TypePong);
        send(pong);
        return;
    }
    if (type == protocol::TypePong) {
        m_pongPending = false;
        return;
    }
    emit frameReceived(frame);
}

void AppBusConnection::armWatchdog(const QString &reason)
{
    if (m_watchdog.isActive())
        return;
    m_watchdogReason = reason;
    m_watchdog.start(m_state == Connecting ? m_timings.connectTimeoutMs : m_timings.frameTimeoutMs);
}

void AppBusConnection::disarmWatchdog()
{
    m_watchdog.stop();
}

} // namespace bus
