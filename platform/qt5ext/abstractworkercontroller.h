#ifndef QT5EXT_ABSTRACTWORKERCONTROLLER_H
#define QT5EXT_ABSTRACTWORKERCONTROLLER_H

#include <QList>
#include <QObject>

namespace qt5ext {

class AbstractWorker;
class AbstractWorkerThread;

// Owns a set of workers, each on a thread of its own. doStart() and doStop()
// are the subclass's hooks around starting and stopping them; stop() ends
// and joins every worker thread.
class AbstractWorkerController : public QObject
{
    Q_OBJECT
public:
    explicit AbstractWorkerController(QObject *parent = nullptr);
    ~AbstractWorkerController() override;

    bool isRunning() const { return m_running; }
    int workerCount() const { return m_threads.size(); }

public slots:
    bool start();
    void stop();

protected:
    virtual bool doStart() = 0;
    virtual void doStop();
    // Quits and joins every worker thread; their workers are deleted there.
    virtual void doKillThreads();
    // Moves the worker (without parent) to a new thread and starts it.
    virtual AbstractWorkerThread *addWorkerToThread(AbstractWorker *worker);
    // Called on the controller's thread after a worker's doStart() ran.
    virtual void processStartedWorker(AbstractWorker *worker, bool ok);
    // Called on the controller's thread after a worker's thread ended.
    virtual void processStoppedWorker(AbstractWorkerThread *thread);

private:
    QList<AbstractWorkerThread *> m_threads;
    bool m_running = false;
};

} // namespace qt5ext

#endif
