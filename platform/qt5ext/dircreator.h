#ifndef QT5EXT_DIRCREATOR_H
#define QT5EXT_DIRCREATOR_H

#include <QFileDevice>
#include <QString>

namespace qt5ext {

class DirCreator
{
public:
    // rwxrwxr-x for directories, rw-rw-r-- for files.
    static const QFileDevice::Permissions DEFAULT_ALL;
    static const QFileDevice::Permissions FILE_DEFAULT_ALL;

    // Creates a missing directory with its parents and gives it the
    // permissions; true when the directory exists afterwards.
    static bool checkAndCreate(const QString &path, QFileDevice::Permissions permissions = DEFAULT_ALL);
};

} // namespace qt5ext

#endif
