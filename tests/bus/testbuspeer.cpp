#include "testbuspeer.h"

#include <QJsonArray>

TestBusPeer::TestBusPeer(QObject *parent)
    : QObject(parent)
{
    connect(&m_msg, &QTcpServer::newConnection, this, [this] { accept(&m_msg); });
    connect(&m_query, &QTcpServer::newConnection, this, [this] { accept(&m_query); });
}

TestBusPeer::~TestBusPeer()
{
    dropClients();
}

bool TestBusPeer::listen(quint16 msgPort, quint16 queryPort)
{
    return m_msg.listen(QHostAddress::LocalHost, msgPort) && m_query.listen(QHostAddress::LocalHost, queryPort);
}

void TestBusPeer::closeListeners()
{
    m_msg.close();
    m_query.close();
}

void TestBusPeer::dropClients()
{
    const QList<Client *> clients = std::exchange(m_clients, {});
    for (Client *client : clients) {
        if (client->socket) {
            client->socket->disconnect(this);
            client->socket->abort();
            client->socket->deleteLater();
        }
        delete client;
    }
}

int TestBusPeer::welcomedCount(const QString &channel) const
{
    int count = 0;
    for (const Client *client : m_clients)
        count += client->welcomed && client->socket && client->hello.value("channel").toString() == channel;
    return count;
}

QJsonObject TestBusPeer::lastHello(const QString &channel) const
{
    for (auto it = m_clients.crbegin(); it != m_clients.crend(); ++it) {
        if ((*it)->hello.value("channel").toString() == channel)
            return (*it)->hello;
    }
    return QJsonObject();
}

void TestBusPeer::sendRaw(const QString &channel, const QByteArray &bytes)
{
    for (Client *client : qAsConst(m_clients)) {
        if (client->welcomed && client->socket && client->hello.value("channel").toString() == channel)
            client->socket->write(bytes);
    }
}

void TestBusPeer::sendFrame(const QString &channel, const QJsonObject &frame)
{
    sendRaw(channel, bus::AppBusFrameReader::encode(frame));
}

void TestBusPeer::accept(QTcpServer *server)
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        auto *client = new Client;
        client->socket = socket;
        m_clients.append(client);
        connect(socket, &QTcpSocket::readyRead, this, [this, client] { readFrom(client); });
        connect(socket, &QTcpSocket::disconnected, this, [client] { client->welcomed = false; });
    }
}

void TestBusPeer::readFrom(Client *client)
{
    if (!m_clients.contains(client) || !client->socket)
        return;
    client->reader.append(client->socket->readAll());
    QJsonObject frame;
    while (client->reader.next(frame) == bus::AppBusFrameReader::FrameReady) {
        handle(client, frame);
        // The test may have dropped every client meanwhile.
        if (!m_clients.contains(client))
            return;
    }
}

void TestBusPeer::handle(Client *client, const QJsonObject &frame)
{
    const QString type = frame.value("type").toString();
    received.append(frame);
    if (type == "hello") {
        client->hello = frame;
        if (greet) {
            client->welcomed = true;
            write(client, { { "type", "welcome" }, { "server", "testpeer" } });
            emit welcomed(frame.value("channel").toString());
        }
    } else if (type == "ping") {
        write(client, { { "type", "pong" } });
    } else if (type == "command" && onCommand) {
        bool answer = true;
        const QVariantMap params = onCommand(frame, answer);
        if (answer) {
            QJsonObject reply = frame;
            reply.insert("type", "answer");
            reply.insert("params", QJsonObject::fromVariantMap(params));
            reply.insert("sender", frame.value("receiver"));
            reply.insert("receiver", frame.value("sender"));
            write(client, reply);
        }
    } else if (type == "load") {
        const QString name = frame.value("name").toString();
        QJsonObject reply{ { "type", "loaded" }, { "uid", frame.value("uid") }, { "name", name } };
        reply.insert("found", objects.contains(name));
        if (objects.contains(name))
            reply.insert("content", objects.value(name));
        write(client, reply);
    }
    emit frameReceived(frame);
}

void TestBusPeer::write(Client *client, const QJsonObject &frame)
{
    if (client->socket)
        client->socket->write(bus::AppBusFrameReader::encode(frame));
}
