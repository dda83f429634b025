#ifndef BUS_SHAREDOBJECTSSTORAGE_H
#define BUS_SHAREDOBJECTSSTORAGE_H

#include "appbusobject.h"

#include <QStringList>

namespace bus {

// A handle on the one store of shared bus objects of the process. Every
// instance sees the same objects; any thread may use it.
class SharedObjectsStorage
{
public:
    SharedObjectsStorage() = default;

    // Replaces a stored object of the same name.
    void store(const AppBusObject &object);
    bool get(const QString &name, AppBusObject &object) const;
    bool contains(const QString &name) const;
    bool remove(const QString &name);
    QStringList names() const;
    void clear();
};

} // namespace bus

#endif
