#ifndef TILLGATEBUSCONTROLLER_H
#define TILLGATEBUSCONTROLLER_H

#include <appbuscontroller.h>

class TillgateCoreApi;

// The service on the application bus: runs the service's own message and
// query workers and hands out fiscal core clients wired to itself.
class TillgateBusController : public bus::AppBusController
{
    Q_OBJECT
public:
    explicit TillgateBusController(QObject *parent = nullptr);
    ~TillgateBusController() override;

    // A new client owned by parent (or by the caller without one); it is
    // deleted at the latest when this controller goes.
    TillgateCoreApi *createApi(QObject *parent);
    TillgateCoreApi *createFrCoreApi(QObject *parent);

signals:
    // The query worker has joined the bus and tried the shared objects.
    void settingsReady();
    void settingsLoaded();

protected:
    bool doStart() override;
    void prepareMsgWorker(bus::AppBusMsgWorker *worker) override;
    void prepareQueryWorker(bus::AppBusQueryWorker *worker) override;
    // Once the workers have ended, what they received from the bus (cashier
    // list, registration data) is forgotten: it belongs to the cashbox left
    // behind, whether the controller stops or joins another address.
    void doKillThreads() override;
};

#endif
