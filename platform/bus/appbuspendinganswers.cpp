#include "appbuspendinganswers.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QMutex>
#include <QSharedPointer>
#include <QWaitCondition>

namespace bus {

namespace {

struct Waiter
{
    QWaitCondition condition;
    AppBusCommand answer;
    bool done = false;
    bool answered = false;
};

struct Table
{
    QMutex mutex;
    QHash<QString, QSharedPointer<Waiter>> waiters;
};

Table &table()
{
    static Table instance;
    return instance;
}

} // namespace

void AppBusPendingAnswers::expect(const QString &uid)
{
    QMutexLocker locker(&table().mutex);
    table().waiters.insert(uid, QSharedPointer<Waiter>::create());
}

bool AppBusPendingAnswers::wait(const QString &uid, AppBusCommand &answer, int timeoutMs)
{
    Table &t = table();
    QMutexLocker locker(&t.mutex);
    const QSharedPointer<Waiter> waiter = t.waiters.value(uid);
    if (!waiter)
        return false;
    const QDeadlineTimer deadline(timeoutMs);
    while (!waiter->done) {
        if (!waiter->condition.wait(&t.mutex, deadline))
            break;
    }
    t.waiters.remove(uid);
    if (!waiter->answered)
        return false;
    answer = waiter->answer;
    return true;
}

bool AppBusPendingAnswers::deliver(const AppBusCommand &answer)
{
    Table &t = table();
    QMutexLocker locker(&t.mutex);
    const QSharedPointer<Waiter> waiter = t.waiters.value(answer.uid());
    if (!waiter || waiter->done)
        return false;
    waiter->answer = answer;
    waiter->answered = true;
    waiter->done = true;
    waiter->condition.wakeAll();
    return true;
}

bool AppBusPendingAnswers::cancel(const QString &uid)
{
    Table &t = table();
    QMutexLocker locker(&t.mutex);
    const QSharedPointer<Waiter> waiter = t.waiters.value(uid);
    if (!waiter || waiter->done)
        return false;
    waiter->done = true;
    waiter->condition.wakeAll();
    return true;
}

bool AppBusPendingAnswers::isExpected(const QString &uid)
{
    QMutexLocker locker(&table().mutex);
    return table().waiters.contains(uid);
}

int AppBusPendingAnswers::count()
{
    QMutexLocker locker(&table().mutex);
    return table().waiters.size();
}

} // namespace bus
