#ifndef SIMBUSSERVER_H
#define SIMBUSSERVER_H

#include <appbuscommand.h>
#include <appbusframereader.h>
#include <appbusobject.h>

#include <QHash>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>

// The bus end of the simulator: listens on the message and query ports,
// greets clients, answers pings, hands commands and loads to the cashbox,
// and pushes commands and objects to the clients' message connections.
class SimBusServer : public QObject
{
    Q_OBJECT
public:
    explicit SimBusServer(const QString &serverName, QObject *parent = nullptr);
    ~SimBusServer() override;

    bool listen(const QHostAddress &address, quint16 msgPort, quint16 queryPort, QString &error);
    quint16 msgPort() const { return m_msg.serverPort(); }
    quint16 queryPort() const { return m_query.serverPort(); }

    // Called for every command on the query port; the answer is sent by
    // calling `reply` (never, for a command the cashbox stays silent on).
    std::function<void(const bus::AppBusCommand &command, std::function<void(const QVariantMap &)> reply)>
        commandHandler;
    // Called for every load; false when there is no such object.
    std::function<bool(const QString &name, bus::AppBusObject &object)> objectProvider;

    // Pushes to the message connections of one client (by its bus name).
    void pushCommand(const QString &client, const bus::AppBusCommand &command);
    // Pushes to every message connection whose client works with the object.
    void pushObject(const bus::AppBusObject &object);

private:
    struct Client
    {
        QPointer<QTcpSocket> socket;
        bus::AppBusFrameReader reader;
        QString name;
        QString channel;
        bool welcomed = false;
    };

    void accept(QTcpServer *server, const QString &channel);
    void readFrom(Client *client);
    void handle(Client *client, const QJsonObject &frame);
    void drop(Client *client, const QString &reason);
    void write(Client *client, const QJsonObject &frame);

    QString m_serverName;
    QTcpServer m_msg{ this };
    QTcpServer m_query{ this };
    QList<Client *> m_clients;
    // Objects each client named in its query greeting.
    QHash<QString, QSet<QString>> m_subscriptions;
};

#endif
