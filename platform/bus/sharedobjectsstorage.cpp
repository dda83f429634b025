#include "sharedobjectsstorage.h"

#include <QHash>
#include <QReadWriteLock>

namespace bus {

namespace {

struct Store
{
    QReadWriteLock lock;
    QHash<QString, AppBusObject> objects;
    QHash<QString, quint64> revisions;
    quint64 lastRevision = 0;

    void touch(const QString &name) { revisions.insert(name, ++lastRevision); }
};

Store &globalStore()
{
    static Store instance;
    return instance;
}

} // namespace

void SharedObjectsStorage::store(const AppBusObject &object)
{
    QWriteLocker locker(&globalStore().lock);
    globalStore().objects.insert(object.name(), object);
    globalStore().touch(object.name());
}

bool SharedObjectsStorage::get(const QString &name, AppBusObject &object) const
{
    QReadLocker locker(&globalStore().lock);
    const auto it = globalStore().objects.constFind(name);
    if (it == globalStore().objects.constEnd())
        return false;
    object = it.value();
    return true;
}

bool SharedObjectsStorage::contains(const QString &name) const
{
    QReadLocker locker(&globalStore().lock);
    return globalStore().objects.contains(name);
}

bool SharedObjectsStorage::remove(const QString &name)
{
    QWriteLocker locker(&globalStore().lock);
    if (globalStore().objects.remove(name) == 0)
        return false;
    globalStore().touch(name);
    return true;
}

QStringList SharedObjectsStorage::names() const
{
    QReadLocker locker(&globalStore().lock);
    return globalStore().objects.keys();
}

void SharedObjectsStorage::clear()
{
    QWriteLocker locker(&globalStore().lock);
    Store &store = globalStore();
    for (auto it = store.objects.cbegin(); it != store.objects.cend(); ++it)
        store.touch(it.key());
    store.objects.clear();
}

quint64 SharedObjectsStorage::revision(const QString &name) const
{
    QReadLocker locker(&globalStore().lock);
    return globalStore().revisions.value(name, 0);
}

} // namespace bus
