#ifndef ATOLDRIVERGUARD_H
#define ATOLDRIVERGUARD_H

#include <QString>
#include <QStringList>

// Whether ATOL's driver library may be loaded from where the settings say.
// Loading a library runs its code inside the service, so nothing is loaded
// from a place the service could have written itself, whoever named the
// directory: not from its work directory (images, cache, logs) or its
// settings directory, and not from a file or directory anybody but root
// could change, which takes in temporary directories and whatever the
// service's own user made anywhere.
class AtolDriverGuard
{
public:
    // False, with the reason, when the library lies in one of
    // `writableDirs` (after resolving links), or the library or its
    // directory is not root's alone. A missing file is refused as well.
    static bool mayLoad(const QString &libraryFile, const QStringList &writableDirs, QString &reason);
    // The directories the service writes: its work directory (data, cache,
    // images, logs) and the settings directory.
    static QStringList serviceWritableDirectories();
};

#endif
