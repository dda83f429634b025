#include "sharedobjectsstorage.h"

#include <QHash>
#include <QReadWriteLock>

namespace bus {

namespace {

struct Store
{
    QReadWriteLock lock;
    QHash<QString, AppBusObject> objects;
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
    return globalStore().objects.remove(name) > 0;
}

QStringList SharedObjectsStorage::names() const
{
    QReadLocker locker(&globalStore().lock);
    return globalStore().objects.keys();
}

void SharedObjectsStorage::clear()
{
    QWriteLocker locker(&globalStore().lock);
    globalStore().objects.clear();
}

} // namespace bus
