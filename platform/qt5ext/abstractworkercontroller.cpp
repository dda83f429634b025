#include "abstractworkercontroller.h"

#include "abstractworker.h"
#include "abstractworkerthread.h"

namespace qt5ext {

AbstractWorkerController::AbstractWorkerController(QObject *parent)
    : QObject(parent)
{
}

AbstractWorkerController::~AbstractWorkerController()
{
    doKillThreads();
}

bool AbstractWorkerController::start()
{
    if (m_running)
        stop();
    m_running = doStart();
    return m_running;
}

void AbstractWorkerController::stop()
{
    doStop();
    doKillThreads();
    m_running = false;
}

void AbstractWorkerController::doStop()
{
}

void AbstractWorkerController::doKillThreads()
{
    const QList<AbstractWorkerThread *> threads = std::exchange(m_threads, {});
    for (AbstractWorkerThread *thread : threads) {
        disconnect(thread, nullptr, this, nullptr);
        thread->quit();
        thread->wait();
        processStoppedWorker(thread);
        delete thread;
    }
}

AbstractWorkerThread *AbstractWorkerController::addWorkerToThread(AbstractWorker *worker)
{
    auto *thread = new AbstractWorkerThread(worker, this);
    connect(worker, &AbstractWorker::started, this,
            [this, worker](bool ok) { processStartedWorker(worker, ok); }, Qt::QueuedConnection);
    m_threads.append(thread);
    thread->start();
    return thread;
}

void AbstractWorkerController::processStartedWorker(AbstractWorker *, bool)
{
}

void AbstractWorkerController::processStoppedWorker(AbstractWorkerThread *)
{
}

} // namespace qt5ext
