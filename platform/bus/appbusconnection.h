#ifndef BUS_APPBUSCONNECTION_H
#define BUS_APPBUSCONNECTION_H

#include "appbusframereader.h"
#include "appbustimings.h"

#include <QJsonObject>
#include <QObject>
#include <QTimer>

#include <functional>

class QTcpSocket;

namespace bus {

// One client connection to a bus port: TCP, the greeting, frames both ways,
// keep-alive pings and the watchdog that drops a stalled peer. It can be
// driven by the event loop (open(), opened(), frameReceived()) or, on a
// worker thread that must wait for a result, by the blocking waits.
class AppBusConnection : public QObject
{
    Q_OBJECT
public:
    enum State { Closed, Connecting, Greeting, Open };

    // extraHello is merged into the greeting (e.g. the objects a client
    // works with).
    AppBusConnection(const QString &clientName, const QString &channel,
                     const AppBusTimings &timings, const QJsonObject &extraHello = QJsonObject(),
                     QObject *parent = nullptr);
    ~AppBusConnection() override;

    State state() const { return m_state; }
    bool isOpen() const { return m_state == Open; }
    QString serverName() const { return m_serverName; }
    QString channel() const { return m_channel; }

    // Starts connecting; opened() or closed() tells the outcome.
    void open(const QString &host, quint16 port);
    // Blocks until the greeting is answered; false on failure or time-out.
    bool waitForOpen(int timeoutMs);
    // Reads and dispatches frames until done() holds, the connection
    // closes or the time-out passes; returns done().
    bool waitUntil(const std::function<bool()> &done, int timeoutMs);

    bool send(const QJsonObject &frame);
    void close(const QString &reason);

signals:
    void opened();
    void closed(const QString &reason);
    // Every frame past the greeting, except pings and pongs.
    void frameReceived(const QJsonObject &frame);

private:
    void onConnected();
    void onReadyRead();
    void onSocketGone();
    void onKeepAlive();
    void handleFrame(const QJsonObject &frame);
    void armWatchdog(const QString &reason);
    void disarmWatchdog();

    QString m_clientName;
    QString m_channel;
    AppBusTimings m_timings;
    QJsonObject m_extraHello;
    QTcpSocket *m_socket = nullptr;
    AppBusFrameReader m_reader;
    QTimer m_keepAlive;
    QTimer m_watchdog;
    QString m_watchdogReason;
    QString m_serverName;
    State m_state = Closed;
    bool m_pongPending = false;
};

} // namespace bus

#endif
