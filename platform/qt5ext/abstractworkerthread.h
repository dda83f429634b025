#ifndef QT5EXT_ABSTRACTWORKERTHREAD_H
#define QT5EXT_ABSTRACTWORKERTHREAD_H

#include "abstractworker.h"

#include <QPointer>
#include <QThread>

namespace qt5ext {

// Runs one worker: once started, the worker's doStart() runs on this thread,
// then the thread's event loop; when the loop ends, doStop() runs and the
// worker is deleted on this thread, before finished() is emitted.
// The thread takes the worker over; it must have no parent.
class AbstractWorkerThread : public QThread
{
    Q_OBJECT
public:
    explicit AbstractWorkerThread(AbstractWorker *worker, QObject *parent = nullptr);
    ~AbstractWorkerThread() override;

    AbstractWorker *worker() const { return m_worker.data(); }

protected:
    void run() override;

private:
    QPointer<AbstractWorker> m_worker;
};

} // namespace qt5ext

#endif
