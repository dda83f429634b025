#include "abstractworker.h"

#include <QThread>

namespace qt5ext {

AbstractWorker::AbstractWorker(QObject *parent)
    : QObject(parent)
{
}

AbstractWorker::~AbstractWorker() = default;

bool AbstractWorker::doStop()
{
    return true;
}

void AbstractWorker::startHere()
{
    m_started = doStart();
    emit started(m_started);
}

void AbstractWorker::stopHere()
{
    doStop();
    m_started = false;
    emit stopped();
}

void AbstractWorker::start()
{
    if (QThread::currentThread() == thread())
        startHere();
    else
        QMetaObject::invokeMethod(this, [this] { startHere(); }, Qt::QueuedConnection);
}

void AbstractWorker::stop()
{
    if (QThread::currentThread() == thread())
        stopHere();
    else
        QMetaObject::invokeMethod(this, [this] { stopHere(); }, Qt::QueuedConnection);
}

void AbstractWorker::restart()
{
    // Queued on the worker's thread as one step, so no other call lands
    // between the stop and the start.
    auto again = [this] {
        stopHere();
        startHere();
    };
    if (QThread::currentThread() == thread())
        again();
    else
        QMetaObject::invokeMethod(this, again, Qt::QueuedConnection);
}

} // namespace qt5ext
