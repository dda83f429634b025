#ifndef HTTPTESTCLIENT_H
#define HTTPTESTCLIENT_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QMap>
#include <QObject>
#include <QTcpSocket>

// A raw client connection: collects every byte received and cuts complete
// answers out of them, framed by length, chunks or the closed connection.
class HttpTestClient : public QObject
{
    Q_OBJECT
public:
    struct Answer {
        int code = 0;
        QByteArray text;
        QMap<QByteArray, QByteArray> headers;
        QByteArray body;
    };

    explicit HttpTestClient(quint16 port, QObject *parent = nullptr);
    ~HttpTestClient() override;

    QTcpSocket &socket() { return m_socket; }
    bool isConnected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    bool isClosed() const { return m_closed; }
    qint64 closedAfterMs() const { return m_closedAfter; }
    QByteArray received() const { return m_received; }

    void send(const QByteArray &data);
    // Takes the first complete answer off the received bytes.
    bool takeAnswer(Answer &answer);

private:
    QTcpSocket m_socket;
    QByteArray m_received;
    QElapsedTimer m_since;
    bool m_closed = false;
    qint64 m_closedAfter = -1;
};

#endif
