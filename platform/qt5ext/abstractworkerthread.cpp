#include "abstractworkerthread.h"

#include "abstractworker.h"

#include <QCoreApplication>
#include <QEvent>

namespace qt5ext {

AbstractWorkerThread::AbstractWorkerThread(AbstractWorker *worker, QObject *parent)
    : QThread(parent)
    , m_worker(worker)
{
    if (worker) {
        Q_ASSERT(!worker->parent());
        worker->moveToThread(this);
    }
}

AbstractWorkerThread::~AbstractWorkerThread()
{
    quit();
    wait();
    // Never started: the worker still belongs to us.
    delete m_worker.data();
}

void AbstractWorkerThread::run()
{
    if (m_worker)
        m_worker->startHere();
    exec();
    if (m_worker) {
        m_worker->stopHere();
        delete m_worker.data();
    }
    // Objects the worker scheduled for deletion go with the thread.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace qt5ext
