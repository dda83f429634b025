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
        // The answer's bytes as they came.
        QByteArray raw;
        // Without its line end; the reason phrase keeps its blanks.
        QByteArray statusLine;
        int code = 0;
        QByteArray text;
        QMap<QByteArray, QByteArray> headers;
        QByteArray body;
    };

    // One request on a fresh connection; an empty answer when no complete
    // one came in time.
    static Answer exchange(quint16 port, const QByteArray &request, int timeoutMs = 10000);

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
    // Runs this thread's events until an answer is complete; false when the
    // connection ends without one or the time is up. A server living on
    // this thread keeps serving meanwhile.
    bool waitForAnswer(Answer &answer, int timeoutMs = 5000);

private:
    QTcpSocket m_socket;
    QByteArray m_received;
    QElapsedTimer m_since;
    bool m_closed = false;
    qint64 m_closedAfter = -1;
};

#endif
