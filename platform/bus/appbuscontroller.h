#ifndef BUS_APPBUSCONTROLLER_H
#define BUS_APPBUSCONTROLLER_H

#include "appbuscommand.h"
#include "appbusobject.h"
#include "appbustimings.h"

#include <abstractworker.h>
#include <abstractworkercontroller.h>
#include <abstractworkerthread.h>

#include <QList>
#include <QPointer>

namespace bus {

class AppBusMsgWorker;
class AppBusQueryWorker;

// A service's presence on the bus: a message worker and a query worker,
// each on a thread of its own, pointed at the address given to setBus().
// Commands, publications and loads given to its signals leave through the
// query worker; what the workers receive comes back as its signals, on the
// controller's thread.
class AppBusController : public qt5ext::AbstractWorkerController
{
    Q_OBJECT
public:
    // keepAliveMs: a connection quiet for this long is probed with a ping.
    AppBusController(int keepAliveMs, const QString &busName, QObject *parent = nullptr);
    ~AppBusController() override;

    QString busName() const { return m_busName; }
    QString host() const { return m_host; }
    quint16 msgPort() const { return m_msgPort; }
    quint16 queryPort() const { return m_queryPort; }

    AppBusTimings timings() const { return m_timings; }
    // Takes effect at the next start of the workers.
    void setTimings(const AppBusTimings &timings);

public slots:
    // Points the controller at a bus and (re)starts its workers. The same
    // address while running changes nothing; another one restarts both
    // workers on it.
    void setBus(const QString &host, quint16 msgPort, quint16 queryPort);

signals:
    void sendCommand(const bus::AppBusCommand &command);
    void publish(const bus::AppBusObject &object);
    void loadObject(const QString &name);

    void answerReceived(const bus::AppBusCommand &answer);
    void commandReceived(const bus::AppBusCommand &command);
    void objectReceived(const bus::AppBusObject &object);
    void objectLoaded(const bus::AppBusObject &object);
    void msgConnectionChanged(bool open);
    void queryConnectionChanged(bool open);

protected:
    // Starts plain workers; services override it to start their own.
    bool doStart() override;
    // Installs the two workers on threads of their own, after handing each
    // to its prepare hook.
    void initWorkers(AppBusMsgWorker *msgWorker, AppBusQueryWorker *queryWorker);
    // Hook for the message worker before it starts; nothing by default.
    virtual void prepareMsgWorker(AppBusMsgWorker *worker);
    // Hook for the query worker before it starts; by default it joins the
    // controller's sendCommand() to the worker.
    virtual void prepareQueryWorker(AppBusQueryWorker *worker);
    // Asks the worker threads to leave their blocking waits before they are
    // joined, so a stalled peer cannot hold up a stop.
    void doKillThreads() override;

private:
    QString m_busName;
    QString m_host;
    quint16 m_msgPort = 0;
    quint16 m_queryPort = 0;
    AppBusTimings m_timings;
    QList<QPointer<qt5ext::AbstractWorkerThread>> m_workerThreads;
};

} // namespace bus

#endif
