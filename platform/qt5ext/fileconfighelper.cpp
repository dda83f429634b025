#include "fileconfighelper.h"

#include <QDir>
#include <QMutex>

namespace qt5ext {

namespace {
QMutex rootMutex;
QString fsRoot;
}

FileConfigHelper::~FileConfigHelper() = default;

void FileConfigHelper::setFileSystemRoot(const QString &root)
{
    QMutexLocker lock(&rootMutex);
    fsRoot = root.isEmpty() ? QString() : QDir::cleanPath(QDir(root).absolutePath());
    if (fsRoot == QLatin1String("/"))
        fsRoot.clear();
}

QString FileConfigHelper::fileSystemRoot()
{
    QMutexLocker lock(&rootMutex);
    return fsRoot;
}

QString FileConfigHelper::rootedPath(const QString &absolutePath)
{
    const QString root = fileSystemRoot();
    if (root.isEmpty() || !absolutePath.startsWith(QLatin1Char('/')))
        return absolutePath;
    return QDir::cleanPath(root + absolutePath);
}

} // namespace qt5ext
