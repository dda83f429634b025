#include <abstractworker.h>
#include <abstractworkercontroller.h>
#include <abstractworkerthread.h>

#include <QPointer>
#include <QtTest>

#include <atomic>

namespace {

// Records on which thread its hooks ran and what became of it.
struct Trace
{
    std::atomic<QThread *> startThread{nullptr};
    std::atomic<QThread *> stopThread{nullptr};
    std::atomic<int> starts{0};
    std::atomic<int> stops{0};
    std::atomic<bool> destroyed{false};
    std::atomic<bool> childDeleted{false};
};

class TracingWorker : public qt5ext::AbstractWorker
{
public:
    TracingWorker(Trace &trace, bool startResult = true)
        : m_trace(trace)
        , m_result(startResult)
    {
    }
    ~TracingWorker() override { m_trace.destroyed = true; }

protected:
    bool doStart() override
    {
        m_trace.startThread = QThread::currentThread();
        ++m_trace.starts;
        return m_result;
    }
    bool doStop() override
    {
        m_trace.stopThread = QThread::currentThread();
        ++m_trace.stops;
        // Deleted later on the worker's thread, after the worker itself:
        // it must still go before the thread ends.
        auto *orphan = new QObject;
        Trace &trace = m_trace;
        connect(orphan, &QObject::destroyed, [&trace] { trace.childDeleted = true; });
        orphan->deleteLater();
        return true;
    }

private:
    Trace &m_trace;
    bool m_result;
};

class Controller : public qt5ext::AbstractWorkerController
{
public:
    explicit Controller(QList<Trace *> traces)
        : m_traces(std::move(traces))
    {
    }
    QList<bool> startResults;
    int stoppedThreads = 0;

protected:
    bool doStart() override
    {
        for (Trace *trace : m_traces)
            addWorkerToThread(new TracingWorker(*trace));
        return true;
    }
    void processStartedWorker(qt5ext::AbstractWorker *, bool ok) override { startResults << ok; }
    void processStoppedWorker(qt5ext::AbstractWorkerThread *) override { ++stoppedThreads; }

private:
    QList<Trace *> m_traces;
};

} // namespace

class tst_Workers : public QObject
{
    Q_OBJECT
private slots:
    void workerRunsOnItsOwnThread_data();
    void workerRunsOnItsOwnThread();
    void restartRunsBothHooksThere();
    void unstartedThreadStillDeletesWorker();
    void controllerStartsAndJoinsAll();
    void controllerRestartReplacesWorkers();
};

void tst_Workers::workerRunsOnItsOwnThread_data()
{
    QTest::addColumn<bool>("startResult");
    QTest::newRow("start succeeds") << true;
    QTest::newRow("start fails") << false;
}

void tst_Workers::workerRunsOnItsOwnThread()
{
    QFETCH(bool, startResult);
    Trace trace;
    auto *worker = new TracingWorker(trace, startResult);
    QSignalSpy started(worker, &qt5ext::AbstractWorker::started);
    auto thread = std::make_unique<qt5ext::AbstractWorkerThread>(worker);
    thread->start();

    QTRY_COMPARE(started.count(), 1);
    QCOMPARE(started.at(0).at(0).toBool(), startResult);
    QCOMPARE(trace.startThread.load(), static_cast<QThread *>(thread.get()));

    thread->quit();
    QVERIFY(thread->wait(5000));
    QCOMPARE(trace.stopThread.load(), static_cast<QThread *>(thread.get()));
    QVERIFY(trace.destroyed);
    QVERIFY(trace.childDeleted);
}

void tst_Workers::restartRunsBothHooksThere()
{
    Trace trace;
    auto *worker = new TracingWorker(trace);
    QPointer<TracingWorker> guard(worker);
    QSignalSpy started(worker, &qt5ext::AbstractWorker::started);
    qt5ext::AbstractWorkerThread thread(worker);
    thread.start();
    QTRY_COMPARE(started.count(), 1);

    // Called from the test's thread, executed on the worker's.
    worker->restart();
    QTRY_COMPARE(started.count(), 2);
    QCOMPARE(trace.starts.load(), 2);
    QCOMPARE(trace.stops.load(), 1);
    QCOMPARE(trace.stopThread.load(), static_cast<QThread *>(&thread));
}

void tst_Workers::unstartedThreadStillDeletesWorker()
{
    Trace trace;
    {
        qt5ext::AbstractWorkerThread thread(new TracingWorker(trace));
    }
    QVERIFY(trace.destroyed);
    QCOMPARE(trace.starts.load(), 0);
}

void tst_Workers::controllerStartsAndJoinsAll()
{
    Trace a, b, c;
    Controller controller({&a, &b, &c});
    QVERIFY(controller.start());
    QCOMPARE(controller.workerCount(), 3);
    QTRY_COMPARE(controller.startResults.size(), 3);
    QCOMPARE(controller.startResults, QList<bool>({true, true, true}));
    QVERIFY(a.startThread != b.startThread && b.startThread != c.startThread);

    controller.stop();
    QVERIFY(!controller.isRunning());
    QCOMPARE(controller.workerCount(), 0);
    QCOMPARE(controller.stoppedThreads, 3);
    for (Trace *t : {&a, &b, &c}) {
        QCOMPARE(t->stops.load(), 1);
        QVERIFY(t->destroyed);
    }
}

void tst_Workers::controllerRestartReplacesWorkers()
{
    Trace first;
    Controller controller({&first});
    QVERIFY(controller.start());
    QTRY_COMPARE(controller.startResults.size(), 1);
    // A second start stops the running workers before making new ones.
    QVERIFY(controller.start());
    QVERIFY(first.destroyed);
    QCOMPARE(controller.workerCount(), 1);
    QTRY_COMPARE(controller.startResults.size(), 2);
}

QTEST_GUILESS_MAIN(tst_Workers)
#include "tst_workers.moc"
