#include "atoldriverguard.h"

#include "tillgateconfig.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Whether anybody but root could change what is at `path`: only root's own
// files, closed to group and others, are trusted, as the dynamic loader and
// sshd trust them. A file or directory of the service's user is thus never
// loaded from, nor a temporary directory (open to all) or anything the
// service made in one. For a service that is not root the kernel's own
// test also counts, so that an access list granting it writing refuses too.
bool writableByOthersThanRoot(const QString &path)
{
    struct stat info;
    const QByteArray native = QFile::encodeName(path);
    if (::stat(native.constData(), &info) != 0)
        return true;
    if (info.st_uid != 0 || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return true;
    return ::geteuid() != 0 && ::access(native.constData(), W_OK) == 0;
}

bool isInside(const QString &path, const QString &directory)
{
    return path == directory || path.startsWith(directory + QLatin1Char('/'));
}

} // namespace

bool AtolDriverGuard::mayLoad(const QString &libraryFile, const QStringList &writableDirs, QString &reason)
{
    const QFileInfo file(libraryFile);
    const QString real = file.canonicalFilePath();
    if (real.isEmpty()) {
        reason = QStringLiteral("the file does not exist");
        return false;
    }
    const QString directory = QFileInfo(real).path();
    for (const QString &writable : writableDirs) {
        const QString realWritable = QFileInfo(writable).canonicalFilePath();
        if (!realWritable.isEmpty() && isInside(real, realWritable)) {
            reason = QStringLiteral("it lies in %1, which the service writes").arg(realWritable);
            return false;
        }
    }
    if (writableByOthersThanRoot(real)) {
        reason = QStringLiteral("the file %1 can be changed by others than root").arg(real);
        return false;
    }
    if (writableByOthersThanRoot(directory)) {
        reason = QStringLiteral("the directory %1 can be changed by others than root").arg(directory);
        return false;
    }
    return true;
}

QStringList AtolDriverGuard::serviceWritableDirectories()
{
    const TillgateConfig config;
    return {config.workDir(), config.tillgateImages(), QFileInfo(config.rootedSettingsFileName()).path()};
}
