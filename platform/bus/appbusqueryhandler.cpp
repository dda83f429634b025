#include "appbusqueryhandler.h"

#include "appbusconnection.h"
#include "appbuslog_p.h"
#include "appbuspendinganswers.h"
#include "appbusprotocol.h"

#include <QJsonArray>

namespace bus {

AppBusQueryHandler::AppBusQueryHandler(const QString &busName, const QStringList &objectNames,
                                       const AppBusTimings &timings, QObject *parent)
    : QObject(parent)
    , m_busName(busName)
    , m_timings(timings)
{
    QJsonObject hello;
    hello.insert(QStringLiteral("objects"), QJsonArray::fromStringList(objectNames));
    m_connection = new AppBusConnection(busName, protocol::ChannelQuery, timings, hello, this);
    connect(m_connection, &AppBusConnection::frameReceived, this, &AppBusQueryHandler::onFrame);
    connect(m_connection, &AppBusConnection::closed, this, &AppBusQueryHandler::onClosed);
}

AppBusQueryHandler::~AppBusQueryHandler()
{
    m_connection->disconnect(this);
    for (const QString &uid : qAsConst(m_unanswered))
        AppBusPendingAnswers::cancel(uid);
}

bool AppBusQueryHandler::open(const QString &host, quint16 port)
{
    m_connection->open(host, port);
    return m_connection->waitForOpen(m_timings.connectTimeoutMs);
}

bool AppBusQueryHandler::isOpen() const
{
    return m_connection->isOpen();
}

void AppBusQueryHandler::close()
{
    m_connection->close(QStringLiteral("closed by the client"));
}

bool AppBusQueryHandler::loadObject(const QString &name, AppBusObject &object)
{
    if (!isOpen())
        return false;
    const QString uid = AppBusCommand::genUid();
    QJsonObject frame;
    frame.insert(protocol::KeyType, protocol::TypeLoad);
    frame.insert(protocol::KeyName, name);
    frame.insert(protocol::KeyUid, uid);
    frame.insert(protocol::KeySender, m_busName);
    if (!m_connection->send(frame))
        return false;
    m_loads.insert(uid, Load());
    m_connection->waitUntil([this, &uid] { return m_loads.value(uid).done; }, m_timings.loadTimeoutMs);
    const Load load = m_loads.take(uid);
    if (!load.done)
        qCWarning(lcBus) << "shared object" << name << "was not handed out within"
                         << m_timings.loadTimeoutMs << "ms";
    if (!load.found)
        return false;
    object = load.object;
    return true;
}

bool AppBusQueryHandler::sendCommand(const AppBusCommand &command)
{
    AppBusCommand outgoing = command;
    if (outgoing.uid().isEmpty())
        outgoing.setUid(AppBusCommand::genUid());
    if (outgoing.sender().isEmpty())
        outgoing.setSender(m_busName);
    if (!m_connection->send(outgoing.toJson()))
        return false;
    // Commands nobody waits for any more (timed out, never answered) are
    // forgotten now and then, so a silent peer cannot grow the set.
    if (m_unanswered.size() >= 1024) {
        for (auto it = m_unanswered.begin(); it != m_unanswered.end();)
            it = AppBusPendingAnswers::isExpected(*it) ? std::next(it) : m_unanswered.erase(it);
    }
    m_unanswered.insert(outgoing.uid());
    return true;
}

bool AppBusQueryHandler::publish(const AppBusObject &object)
{
    return m_connection->send(object.toJson());
}

void AppBusQueryHandler::onFrame(const QJsonObject &frame)
{
    const QString type = frame.value(protocol::KeyType).toString();
    QString error;
    if (type == protocol::TypeAnswer) {
        AppBusCommand answer;
        if (!AppBusCommand::fromJson(frame, answer, error)) {
            dropPeer(QStringLiteral("malformed answer: %1").arg(error));
            return;
        }
        m_unanswered.remove(answer.uid());
        if (!AppBusPendingAnswers::deliver(answer) && answer.needAnswer())
            qCDebug(lcBus) << "answer" << answer.name() << answer.uid() << "came after its sender stopped waiting";
        emit answerReceived(answer);
        return;
    }
    if (type == protocol::TypeLoaded) {
        const QString uid = frame.value(protocol::KeyUid).toString();
        auto it = m_loads.find(uid);
        if (it == m_loads.end()) {
            qCDebug(lcBus) << "shared object" << frame.value(protocol::KeyName).toString()
                           << "came after its loader stopped waiting";
            return;
        }
        it->done = true;
        if (!frame.value(protocol::KeyFound).toBool())
            return;
        if (!AppBusObject::fromJson(frame, it->object, error)) {
            dropPeer(QStringLiteral("malformed shared object: %1").arg(error));
            return;
        }
        it->found = true;
        return;
    }
    dropPeer(QStringLiteral("unexpected frame \"%1\"").arg(type));
}

void AppBusQueryHandler::dropPeer(const QString &reason)
{
    // A peer that breaks the protocol is not trusted with the rest of the
    // stream: the connection starts afresh.
    qCWarning(lcBus) << "bus query port:" << reason << "- frame dropped, reconnecting";
    m_connection->close(reason);
}

void AppBusQueryHandler::onClosed(const QString &reason)
{
    for (const QString &uid : qAsConst(m_unanswered))
        AppBusPendingAnswers::cancel(uid);
    m_unanswered.clear();
    emit closed(reason);
}

} // namespace bus
