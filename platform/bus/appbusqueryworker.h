#ifndef BUS_APPBUSQUERYWORKER_H
#define BUS_APPBUSQUERYWORKER_H

#include "appbuscommand.h"
#include "appbusobject.h"
#include "appbustimings.h"

#include <abstractworker.h>

#include <QPointer>
#include <QStringList>
#include <QTimer>

namespace bus {

class AppBusQueryHandler;

// Worker of the query port: sends commands, publishes and loads shared
// objects. doStart() opens the query handler; when that fails or the link
// is lost later, the worker restarts itself after a pause, so subclasses
// that load their objects in doStart() load them again on every reconnect.
class AppBusQueryWorker : public qt5ext::AbstractWorker
{
    Q_OBJECT
public:
    AppBusQueryWorker(const QString &busName, const QStringList &objectNames, QObject *parent = nullptr);
    ~AppBusQueryWorker() override;

    QString busName() const { return m_busName; }
    QStringList objectNames() const { return m_objectNames; }

    // Set by the controller before the worker starts.
    void setAddress(const QString &host, quint16 port);
    void setTimings(const AppBusTimings &timings);

    // The live handler of the current connection, null between attempts.
    AppBusQueryHandler *queryHandler() const;

public slots:
    void sendCommand(const bus::AppBusCommand &command);
    void publish(const bus::AppBusObject &object);
    // Loads the object and keeps it in the shared objects storage.
    void loadObject(const QString &name);

signals:
    void answerReceived(const bus::AppBusCommand &answer);
    void objectLoaded(const bus::AppBusObject &object);
    void connectionChanged(bool open);

protected:
    // False only without an address to connect to; a peer that is not
    // there yet is retried in the background.
    bool doStart() override;
    bool doStop() override;

private:
    void scheduleReconnect();

    QString m_busName;
    QStringList m_objectNames;
    QString m_host;
    quint16 m_port = 0;
    AppBusTimings m_timings;
    QPointer<AppBusQueryHandler> m_handler;
    QTimer m_reconnect;
    bool m_wasOpen = false;
    bool m_failureLogged = false;
};

} // namespace bus

#endif
