#include "appbuscontroller.h"

#include "appbuslog_p.h"
#include "appbusmsgworker.h"
#include "appbusqueryworker.h"

namespace bus {

AppBusController::AppBusController(int keepAliveMs, const QString &busName, QObject *parent)
    : qt5ext::AbstractWorkerController(parent)
    , m_busName(busName)
{
    m_timings.keepAliveMs = keepAliveMs;
    qRegisterMetaType<bus::AppBusCommand>("bus::AppBusCommand");
    qRegisterMetaType<bus::AppBusObject>("bus::AppBusObject");
}

AppBusController::~AppBusController()
{
    // The workers' threads go before the members they were configured
    // from, and while the controller's signals are still connectable.
    stop();
}

void AppBusController::setTimings(const AppBusTimings &timings)
{
    m_timings = timings;
}

void AppBusController::setBus(const QString &host, quint16 msgPort, quint16 queryPort)
{
    if (isRunning() && host == m_host && msgPort == m_msgPort && queryPort == m_queryPort)
        return;
    qCInfo(lcBus) << m_busName << "joins the bus at" << host << "message port" << msgPort << "query port"
                  << queryPort;
    m_host = host;
    m_msgPort = msgPort;
    m_queryPort = queryPort;
    start();
}

bool AppBusController::doStart()
{
    initWorkers(new AppBusMsgWorker(m_busName, AppBusMsgWorker::StoreObjects),
                new AppBusQueryWorker(m_busName, QStringList()));
    return true;
}

void AppBusController::initWorkers(AppBusMsgWorker *msgWorker, AppBusQueryWorker *queryWorker)
{
    msgWorker->setAddress(m_host, m_msgPort);
    msgWorker->setTimings(m_timings);
    queryWorker->setAddress(m_host, m_queryPort);
    queryWorker->setTimings(m_timings);

    prepareMsgWorker(msgWorker);
    prepareQueryWorker(queryWorker);

    connect(this, &AppBusController::publish, queryWorker, &AppBusQueryWorker::publish, Qt::QueuedConnection);
    connect(this, &AppBusController::loadObject, queryWorker, &AppBusQueryWorker::loadObject,
            Qt::QueuedConnection);
    connect(queryWorker, &AppBusQueryWorker::answerReceived, this, &AppBusController::answerReceived,
            Qt::QueuedConnection);
    connect(queryWorker, &AppBusQueryWorker::objectLoaded, this, &AppBusController::objectLoaded,
            Qt::QueuedConnection);
    connect(queryWorker, &AppBusQueryWorker::connectionChanged, this, &AppBusController::queryConnectionChanged,
            Qt::QueuedConnection);
    connect(msgWorker, &AppBusMsgWorker::commandReceived, this, &AppBusController::commandReceived,
            Qt::QueuedConnection);
    connect(msgWorker, &AppBusMsgWorker::objectReceived, this, &AppBusController::objectReceived,
            Qt::QueuedConnection);
    connect(msgWorker, &AppBusMsgWorker::connectionChanged, this, &AppBusController::msgConnectionChanged,
            Qt::QueuedConnection);

    m_workerThreads.append(addWorkerToThread(queryWorker));
    m_workerThreads.append(addWorkerToThread(msgWorker));
}

void AppBusController::doKillThreads()
{
    for (const QPointer<qt5ext::AbstractWorkerThread> &thread : qAsConst(m_workerThreads)) {
        if (thread)
            thread->requestInterruption();
    }
    m_workerThreads.clear();
    qt5ext::AbstractWorkerController::doKillThreads();
}

void AppBusController::prepareMsgWorker(AppBusMsgWorker *)
{
}

void AppBusController::prepareQueryWorker(AppBusQueryWorker *worker)
{
    connect(this, &AppBusController::sendCommand, worker, &AppBusQueryWorker::sendCommand, Qt::QueuedConnection);
}

} // namespace bus
