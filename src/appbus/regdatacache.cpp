#include "regdatacache.h"

#include <sharedobjectsstorage.h>

#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>

const int RegDataCache::MAX_AGE_MS = 1000;

namespace {

struct Held
{
    QMutex mutex;
    quint64 generation = 0;
    bool valid = false;
    bool answered = false;
    RegDataCache::Ticket ticket;
    QElapsedTimer age;
    fiscal::RegData data;
};

Held &held()
{
    static Held instance;
    return instance;
}

quint64 publishedRevision()
{
    return bus::SharedObjectsStorage().revision(fiscal::RegData::BUS_OBJECT_NAME);
}

} // namespace

RegDataCache::Ticket RegDataCache::ticket()
{
    Ticket ticket;
    ticket.published = publishedRevision();
    QMutexLocker locker(&held().mutex);
    ticket.generation = held().generation;
    return ticket;
}

bool RegDataCache::get(fiscal::RegData &data, bool *answered)
{
    const quint64 published = publishedRevision();
    Held &h = held();
    QMutexLocker locker(&h.mutex);
    if (!h.valid || h.ticket.generation != h.generation || h.ticket.published != published
        || h.age.hasExpired(MAX_AGE_MS)) {
        h.valid = false;
        return false;
    }
    data = h.data;
    if (answered)
        *answered = h.answered;
    return true;
}

void RegDataCache::put(const fiscal::RegData &data, const Ticket &ticket, bool answered)
{
    const quint64 published = publishedRevision();
    Held &h = held();
    QMutexLocker locker(&h.mutex);
    if (ticket.generation != h.generation || ticket.published != published)
        return;
    h.data = data;
    h.answered = answered;
    h.ticket = ticket;
    h.age.start();
    h.valid = true;
}

void RegDataCache::invalidate()
{
    Held &h = held();
    QMutexLocker locker(&h.mutex);
    ++h.generation;
    h.valid = false;
}
