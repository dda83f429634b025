#ifndef TILLGATEBUSQUERYWORKER_H
#define TILLGATEBUSQUERYWORKER_H

#include <appbusqueryworker.h>
#include <sharedobjectsstorage.h>

// The service's query worker: on every start with an open link it loads the
// cashier list, the fiscal storage status and the registration data into
// the shared objects storage, then reports the settings ready.
class TillgateBusQueryWorker : public bus::AppBusQueryWorker
{
    Q_OBJECT
public:
    TillgateBusQueryWorker();
    ~TillgateBusQueryWorker() override;

public slots:
    void downloadSettings();
    void downloadCashiers();

signals:
    void settingsReady();
    void settingsLoaded();

protected:
    bool doStart() override;

private:
    bus::SharedObjectsStorage m_storage;
};

#endif
