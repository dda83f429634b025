#include "appbusmsgworker.h"

#include "appbusconnection.h"
#include "appbuslog_p.h"
#include "appbusprotocol.h"
#include "sharedobjectsstorage.h"

namespace bus {

AppBusMsgWorker::AppBusMsgWorker(const QString &busName, int options, QObject *parent)
    : qt5ext::AbstractWorker(parent)
    , m_busName(busName)
    , m_options(options)
    , m_reconnect(this)
{
    m_reconnect.setSingleShot(true);
    connect(&m_reconnect, &QTimer::timeout, this, [this] {
        if (m_connection)
            m_connection->open(m_host, m_port);
    });
}

AppBusMsgWorker::~AppBusMsgWorker() = default;

void AppBusMsgWorker::setAddress(const QString &host, quint16 port)
{
    m_host = host;
    m_port = port;
}

void AppBusMsgWorker::setTimings(const AppBusTimings &timings)
{
    m_timings = timings;
}

bool AppBusMsgWorker::isConnected() const
{
    return m_connection && m_connection->isOpen();
}

bool AppBusMsgWorker::doStart()
{
    doStop();
    if (m_host.isEmpty() || m_port == 0) {
        qCWarning(lcBus) << "no bus message address for" << m_busName;
        return false;
    }
    m_connection = new AppBusConnection(m_busName, protocol::ChannelMsg, m_timings, QJsonObject(), this);
    connect(m_connection, &AppBusConnection::frameReceived, this, &AppBusMsgWorker::onFrame);
    connect(m_connection, &AppBusConnection::closed, this, &AppBusMsgWorker::onClosed);
    connect(m_connection, &AppBusConnection::opened, this, [this] {
        qCInfo(lcBus) << "bus message port" << m_host << m_port << "open";
        m_failureLogged = false;
        m_wasOpen = true;
        emit connectionChanged(true);
    });
    m_connection->open(m_host, m_port);
    return true;
}

bool AppBusMsgWorker::doStop()
{
    m_reconnect.stop();
    if (m_connection) {
        m_connection->disconnect(this);
        delete m_connection;
        m_connection = nullptr;
    }
    if (m_wasOpen)
        emit connectionChanged(false);
    m_wasOpen = false;
    return true;
}

void AppBusMsgWorker::onClosed(const QString &reason)
{
    if (m_wasOpen) {
        qCWarning(lcBus) << "bus message connection lost:" << reason;
        m_wasOpen = false;
        emit connectionChanged(false);
    } else if (!m_failureLogged) {
        qCWarning(lcBus) << "bus message port" << m_host << m_port << "is not reachable (" << reason
                         << "), retrying every" << m_timings.reconnectMs << "ms";
        m_failureLogged = true;
    }
    m_reconnect.start(m_timings.reconnectMs);
}

void AppBusMsgWorker::sendAnswer(const bus::AppBusCommand &answer)
{
    if (!m_connection || !m_connection->send(answer.toJson()))
        qCWarning(lcBus) << "bus message connection is not open, answer" << answer.name() << "to"
                         << answer.reciever() << "not sent";
}

void AppBusMsgWorker::onFrame(const QJsonObject &frame)
{
    const QString type = frame.value(protocol::KeyType).toString();
    QString error;
    if (type == protocol::TypeCommand) {
        AppBusCommand command;
        if (!AppBusCommand::fromJson(frame, command, error)) {
            dropPeer(QStringLiteral("malformed command: %1").arg(error));
            return;
        }
        doProcessCommand(command);
        return;
    }
    if (type == protocol::TypeObject) {
        AppBusObject object;
        if (!AppBusObject::fromJson(frame, object, error)) {
            dropPeer(QStringLiteral("malformed shared object: %1").arg(error));
            return;
        }
        doProcessObject(object);
        return;
    }
    dropPeer(QStringLiteral("unexpected frame \"%1\"").arg(type));
}

void AppBusMsgWorker::dropPeer(const QString &reason)
{
    // A peer that breaks the protocol is not trusted with the rest of the
    // stream: the connection starts afresh.
    qCWarning(lcBus) << "bus message port:" << reason << "- frame dropped, reconnecting";
    m_connection->close(reason);
}

void AppBusMsgWorker::doProcessCommand(const bus::AppBusCommand &command)
{
    unprocessedCommand(command);
}

void AppBusMsgWorker::doProcessObject(const bus::AppBusObject &object)
{
    unprocessedObject(object);
}

void AppBusMsgWorker::unprocessedCommand(const bus::AppBusCommand &command)
{
    emit commandReceived(command);
    if (command.needAnswer()) {
        QVariantMap params;
        params.insert(QStringLiteral("error"),
                      QStringLiteral("command \"%1\" is not handled by %2").arg(command.name(), m_busName));
        sendAnswer(command.createAnswer(params));
    }
}

void AppBusMsgWorker::unprocessedObject(const bus::AppBusObject &object)
{
    if (m_options & StoreObjects)
        SharedObjectsStorage().store(object);
    emit objectReceived(object);
}

} // namespace bus
