#ifndef QT5EXT_ABSTRACTWORKER_H
#define QT5EXT_ABSTRACTWORKER_H

#include <QObject>

namespace qt5ext {

// A long-lived worker living on a thread of its own. start(), stop() and
// restart() may be called from any thread; the work itself (doStart(),
// doStop()) always runs on the worker's thread.
class AbstractWorker : public QObject
{
    Q_OBJECT
public:
    explicit AbstractWorker(QObject *parent = nullptr);
    ~AbstractWorker() override;

    bool isStarted() const { return m_started; }

public slots:
    void start();
    void stop();
    void restart();

signals:
    void started(bool ok);
    void stopped();

protected:
    virtual bool doStart() = 0;
    virtual bool doStop();

private:
    friend class AbstractWorkerThread;
    void startHere();
    void stopHere();

    bool m_started = false;
};

} // namespace qt5ext

#endif
