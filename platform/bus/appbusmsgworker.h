#ifndef BUS_APPBUSMSGWORKER_H
#define BUS_APPBUSMSGWORKER_H

#include "appbuscommand.h"
#include "appbusobject.h"
#include "appbustimings.h"

#include <abstractworker.h>

#include <QTimer>

namespace bus {

class AppBusConnection;

// Worker of the message port: receives the commands and shared objects
// that other services push to this one and hands each to a virtual hook.
// It keeps the connection up by itself, reconnecting after a pause.
class AppBusMsgWorker : public qt5ext::AbstractWorker
{
    Q_OBJECT
public:
    enum Option {
        // Pushed shared objects left to the default handling are kept in
        // the process-wide shared objects storage.
        StoreObjects = 0x1
    };

    AppBusMsgWorker(const QString &busName, int options, QObject *parent = nullptr);
    ~AppBusMsgWorker() override;

    QString busName() const { return m_busName; }
    int options() const { return m_options; }

    // Set by the controller before the worker starts.
    void setAddress(const QString &host, quint16 port);
    void setTimings(const AppBusTimings &timings);

    bool isConnected() const;

public slots:
    // Sends the answer to a pushed command back to its sender.
    void sendAnswer(const bus::AppBusCommand &answer);

signals:
    // Commands and objects that reached the default handling.
    void commandReceived(const bus::AppBusCommand &command);
    void objectReceived(const bus::AppBusObject &object);
    void connectionChanged(bool open);

protected:
    virtual void doProcessCommand(const bus::AppBusCommand &command);
    virtual void doProcessObject(const bus::AppBusObject &object);
    // The default handling: the command is announced by commandReceived()
    // and, if its sender waits, answered with an "error", so the sender
    // learns at once that this service does not handle it.
    void unprocessedCommand(const bus::AppBusCommand &command);
    // The default handling: kept in the storage (StoreObjects) and
    // announced by objectReceived().
    void unprocessedObject(const bus::AppBusObject &object);

    // False only without an address to connect to.
    bool doStart() override;
    bool doStop() override;

private:
    void onFrame(const QJsonObject &frame);
    void onClosed(const QString &reason);
    void dropPeer(const QString &reason);

    QString m_busName;
    int m_options = 0;
    QString m_host;
    quint16 m_port = 0;
    AppBusTimings m_timings;
    AppBusConnection *m_connection = nullptr;
    QTimer m_reconnect;
    bool m_wasOpen = false;
    bool m_failureLogged = false;
};

} // namespace bus

#endif
