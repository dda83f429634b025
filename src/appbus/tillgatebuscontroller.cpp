#include "tillgatebuscontroller.h"

#include "regdatacache.h"
#include "tillgatebusmsgworker.h"
#include "tillgatebusqueryworker.h"
#include "tillgateconfig.h"
#include "tillgatecoreapi.h"

#include <sharedobjectsstorage.h>

TillgateBusController::TillgateBusController(QObject *parent)
    : bus::AppBusController(300000, TillgateConfig::TILLGATE_BUSNAME, parent)
{
    qRegisterMetaType<bus::AppBusCommand>("bus::AppBusCommand");
    // Registration data the core publishes while the link is down are
    // missed: remembered answers are asked again.
    connect(this, &AppBusController::msgConnectionChanged, this, [] { RegDataCache::invalidate(); });
}

TillgateBusController::~TillgateBusController()
{
    // The workers reach back into this object through queued signals; they
    // are ended while it is still whole.
    stop();
}

TillgateCoreApi *TillgateBusController::createApi(QObject *parent)
{
    auto *api = new TillgateCoreApi(TillgateConfig::TILLGATE_BUSNAME, parent);
    connect(api, &TillgateCoreApi::sendCommand, this, &TillgateBusController::sendCommand);
    connect(api, &TillgateCoreApi::publish, this, &TillgateBusController::publish);
    connect(api, &TillgateCoreApi::loadObject, this, &TillgateBusController::loadObject);
    connect(this, &QObject::destroyed, api, &QObject::deleteLater);
    return api;
}

TillgateCoreApi *TillgateBusController::createFrCoreApi(QObject *parent)
{
    return createApi(parent);
}

bool TillgateBusController::doStart()
{
    // A new address may be another core.
    RegDataCache::invalidate();
    initWorkers(new TillgateBusMsgWorker(), new TillgateBusQueryWorker());
    return true;
}

void TillgateBusController::prepareMsgWorker(bus::AppBusMsgWorker *worker)
{
    auto *own = qobject_cast<TillgateBusMsgWorker *>(worker);
    if (!own)
        return;
    connect(own, &TillgateBusMsgWorker::settingsLoaded, this, &TillgateBusController::settingsLoaded,
            Qt::QueuedConnection);
}

void TillgateBusController::prepareQueryWorker(bus::AppBusQueryWorker *worker)
{
    auto *own = qobject_cast<TillgateBusQueryWorker *>(worker);
    if (!own)
        return;
    connect(own, &TillgateBusQueryWorker::settingsLoaded, this, &TillgateBusController::settingsLoaded,
            Qt::QueuedConnection);
    connect(own, &TillgateBusQueryWorker::settingsReady, this, &TillgateBusController::settingsReady,
            Qt::QueuedConnection);
    connect(this, &TillgateBusController::sendCommand, own, &TillgateBusQueryWorker::sendCommand,
            Qt::QueuedConnection);
}

void TillgateBusController::doKillThreads()
{
    bus::AppBusController::doKillThreads();
    bus::SharedObjectsStorage().clear();
    RegDataCache::invalidate();
}
