#include "simbusserver.h"

#include <QJsonArray>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcSimBus, "cashboxsim.bus")

SimBusServer::SimBusServer(const QString &serverName, QObject *parent)
    : QObject(parent)
    , m_serverName(serverName)
{
    connect(&m_msg, &QTcpServer::newConnection, this, [this] { accept(&m_msg, QStringLiteral("msg")); });
    connect(&m_query, &QTcpServer::newConnection, this, [this] { accept(&m_query, QStringLiteral("query")); });
}

SimBusServer::~SimBusServer()
{
    qDeleteAll(m_clients);
}

bool SimBusServer::listen(const QHostAddress &address, quint16 msgPort, quint16 queryPort, QString &error)
{
    if (!m_msg.listen(address, msgPort)) {
        error = QStringLiteral("message port %1: %2").arg(msgPort).arg(m_msg.errorString());
        return false;
    }
    if (!m_query.listen(address, queryPort)) {
        error = QStringLiteral("query port %1: %2").arg(queryPort).arg(m_query.errorString());
        return false;
    }
    return true;
}

void SimBusServer::pushCommand(const QString &client, const bus::AppBusCommand &command)
{
    for (Client *c : qAsConst(m_clients)) {
        if (c->welcomed && c->channel == QLatin1String("msg") && c->name == client)
            write(c, command.toJson());
    }
}

void SimBusServer::pushObject(const bus::AppBusObject &object)
{
    for (Client *c : qAsConst(m_clients)) {
        if (c->welcomed && c->channel == QLatin1String("msg")
            && m_subscriptions.value(c->name).contains(object.name()))
            write(c, object.toJson());
    }
}

void SimBusServer::accept(QTcpServer *server, const QString &channel)
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        auto *client = new Client;
        client->socket = socket;
        client->channel = channel;
        m_clients.append(client);
        connect(socket, &QTcpSocket::readyRead, this, [this, client] { readFrom(client); });
        connect(socket, &QTcpSocket::disconnected, this, [this, client] { drop(client, QString()); });
    }
}

void SimBusServer::readFrom(Client *client)
{
    if (!client->socket)
        return;
    client->reader.append(client->socket->readAll());
    QJsonObject frame;
    bus::AppBusFrameReader::Result result;
    while ((result = client->reader.next(frame)) == bus::AppBusFrameReader::FrameReady) {
        handle(client, frame);
        if (!m_clients.contains(client))
            return;
    }
    if (result == bus::AppBusFrameReader::Failed)
        drop(client, client->reader.error());
}

void SimBusServer::handle(Client *client, const QJsonObject &frame)
{
    const QString type = frame.value(QStringLiteral("type")).toString();
    if (!client->welcomed) {
        if (type != QLatin1String("hello") || frame.value(QStringLiteral("channel")).toString() != client->channel) {
            drop(client, QStringLiteral("no proper greeting"));
            return;
        }
        client->name = frame.value(QStringLiteral("client")).toString();
        client->welcomed = true;
        if (client->channel == QLatin1String("query")) {
            QSet<QString> names;
            for (const QJsonValue &name : frame.value(QStringLiteral("objects")).toArray())
                names.insert(name.toString());
            m_subscriptions.insert(client->name, names);
        }
        qCInfo(lcSimBus) << client->name << "joined on the" << client->channel << "port";
        write(client, { { QStringLiteral("type"), QStringLiteral("welcome") }, { QStringLiteral("server"), m_serverName } });
        return;
    }
    if (type == QLatin1String("ping")) {
        write(client, { { QStringLiteral("type"), QStringLiteral("pong") } });
    } else if (type == QLatin1String("pong")) {
        return;
    } else if (client->channel == QLatin1String("msg") && type == QLatin1String("answer")) {
        qCDebug(lcSimBus) << "answer from" << client->name << frame.value(QStringLiteral("name")).toString();
    } else if (client->channel == QLatin1String("query") && type == QLatin1String("command")) {
        bus::AppBusCommand command;
        QString error;
        if (!bus::AppBusCommand::fromJson(frame, command, error)) {
            drop(client, error);
            return;
        }
        QPointer<QTcpSocket> socket = client->socket;
        commandHandler(command, [this, socket, command](const QVariantMap &params) {
            for (Client *c : qAsConst(m_clients)) {
                if (c->socket == socket && socket)
                    write(c, command.createAnswer(params).toJson());
            }
        });
    } else if (client->channel == QLatin1String("query") && type == QLatin1String("load")) {
        const QString name = frame.value(QStringLiteral("name")).toString();
        bus::AppBusObject object;
        const bool found = objectProvider && objectProvider(name, object);
        QJsonObject reply{ { QStringLiteral("type"), QStringLiteral("loaded") },
                           { QStringLiteral("uid"), frame.value(QStringLiteral("uid")) },
                           { QStringLiteral("found"), found } };
        if (found) {
            const QJsonObject objectFrame = object.toJson();
            for (auto it = objectFrame.begin(); it != objectFrame.end(); ++it) {
                if (it.key() != QLatin1String("type"))
                    reply.insert(it.key(), it.value());
            }
        } else {
            reply.insert(QStringLiteral("name"), name);
        }
        write(client, reply);
    } else if (client->channel == QLatin1String("query") && type == QLatin1String("object")) {
        qCInfo(lcSimBus) << client->name << "published" << frame.value(QStringLiteral("name")).toString();
    } else {
        drop(client, QStringLiteral("unexpected frame \"%1\"").arg(type));
    }
}

void SimBusServer::drop(Client *client, const QString &reason)
{
    if (!m_clients.removeOne(client))
        return;
    if (!reason.isEmpty())
        qCWarning(lcSimBus) << "dropping" << client->name << client->channel << "connection:" << reason;
    if (client->socket) {
        client->socket->disconnect(this);
        client->socket->abort();
        client->socket->deleteLater();
    }
    delete client;
}

void SimBusServer::write(Client *client, const QJsonObject &frame)
{
    if (client->socket)
        client->socket->write(bus::AppBusFrameReader::encode(frame));
}
