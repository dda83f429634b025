#ifndef TESTBUSPEER_H
#define TESTBUSPEER_H

#include <appbusframereader.h>

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>

// The far side of the bus for tests: one listener per port, a greeting,
// pings, and whatever the test wants it to answer or do wrong.
class TestBusPeer : public QObject
{
    Q_OBJECT
public:
    struct Client
    {
        QPointer<QTcpSocket> socket;
        bus::AppBusFrameReader reader;
        QJsonObject hello;
        bool welcomed = false;
    };

    explicit TestBusPeer(QObject *parent = nullptr);
    ~TestBusPeer() override;

    // Listens on both ports (0: free ones).
    bool listen(quint16 msgPort = 0, quint16 queryPort = 0);
    void closeListeners();
    // Drops every connection, as a peer that went away would.
    void dropClients();

    quint16 msgPort() const { return m_msg.serverPort(); }
    quint16 queryPort() const { return m_query.serverPort(); }

    // Answers a command on the query port: return the answer's params, or
    // leave `answer` false to stay silent.
    std::function<QVariantMap(const QJsonObject &command, bool &answer)> onCommand;
    QHash<QString, QJsonObject> objects;
    bool greet = true;

    int welcomedCount(const QString &channel) const;
    QJsonObject lastHello(const QString &channel) const;
    QList<QJsonObject> received;

    // Sends raw bytes or a frame to every welcomed client of a channel.
    void sendRaw(const QString &channel, const QByteArray &bytes);
    void sendFrame(const QString &channel, const QJsonObject &frame);

signals:
    void frameReceived(const QJsonObject &frame);
    void welcomed(const QString &channel);

private:
    void accept(QTcpServer *server);
    void readFrom(Client *client);
    void handle(Client *client, const QJsonObject &frame);
    void write(Client *client, const QJsonObject &frame);

    // Children, so the peer can be moved to a thread of its own.
    QTcpServer m_msg{ this };
    QTcpServer m_query{ this };
    QList<Client *> m_clients;
};

#endif
