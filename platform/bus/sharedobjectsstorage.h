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

    // Changes each time an object of this name is stored or removed (0 while
    // that never happened), so a reader can tell whether something it worked
    // out from the object is still current without comparing contents.
    quint64 revision(const QString &name) const;
};

} // namespace bus

#endif
