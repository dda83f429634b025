#include "dircreator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcDirCreator, "qt5ext.dircreator")

namespace qt5ext {

const QFileDevice::Permissions DirCreator::DEFAULT_ALL =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
        | QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser
        | QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
        | QFileDevice::ReadOther | QFileDevice::ExeOther;

const QFileDevice::Permissions DirCreator::FILE_DEFAULT_ALL =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner
        | QFileDevice::ReadUser | QFileDevice::WriteUser
        | QFileDevice::ReadGroup | QFileDevice::WriteGroup
        | QFileDevice::ReadOther;

bool DirCreator::checkAndCreate(const QString &path, QFileDevice::Permissions permissions)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    if (info.isDir())
        return true;
    if (info.exists()) {
        qCWarning(lcDirCreator) << "Not a directory:" << path;
        return false;
    }
    if (!QDir().mkpath(path)) {
        qCWarning(lcDirCreator) << "Cannot create directory:" << path;
        return false;
    }
    if (!QFile::setPermissions(path, permissions))
        qCWarning(lcDirCreator) << "Cannot set permissions of directory:" << path;
    return true;
}

} // namespace qt5ext
