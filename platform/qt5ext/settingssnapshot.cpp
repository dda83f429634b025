#include "settingssnapshot_p.h"

#include "iniguard.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <sys/stat.h>

namespace qt5ext {

namespace {

QMutex snapshotsMutex;
QHash<QString, QSharedPointer<const SettingsSnapshot>> &snapshots()
{
    static QHash<QString, QSharedPointer<const SettingsSnapshot>> byPath;
    return byPath;
}

QString fullKey(const QString &group, const QString &key)
{
    return group.isEmpty() ? key : group + QLatin1Char('/') + key;
}

qint64 nanoseconds(const timespec &time)
{
    return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
}

} // namespace

bool SettingsSnapshot::Stamp::operator==(const Stamp &other) const
{
    return exists == other.exists && device == other.device && inode == other.inode && size == other.size
        && modified == other.modified && changed == other.changed;
}

SettingsSnapshot::Stamp SettingsSnapshot::stampOf(const QString &path)
{
    Stamp stamp;
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return stamp;
    stamp.exists = true;
    stamp.device = quint64(status.st_dev);
    stamp.inode = quint64(status.st_ino);
    stamp.size = qint64(status.st_size);
    stamp.modified = nanoseconds(status.st_mtim);
    stamp.changed = nanoseconds(status.st_ctim);
    return stamp;
}

QSharedPointer<const SettingsSnapshot> SettingsSnapshot::of(const QString &path)
{
    const Stamp stamp = stampOf(path);
    QMutexLocker locker(&snapshotsMutex);
    const QSharedPointer<const SettingsSnapshot> held = snapshots().value(path);
    if (held && held->m_stamp == stamp)
        return held;

    auto snapshot = QSharedPointer<SettingsSnapshot>::create();
    snapshot->m_stamp = stamp;
    if (!IniGuard::fileIsSafe(path, snapshot->m_refusal)) {
        // An edit that broke the file does not take the settings back to
        // their defaults while the process runs.
        if (held) {
            snapshot->m_values = held->m_values;
            snapshot->m_keptEarlier = held->m_refusal.isEmpty() || held->m_keptEarlier;
        }
        snapshot->m_status = QSettings::FormatError;
        snapshots().insert(path, snapshot);
        return snapshot;
    }
    QSettings settings(path, QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    snapshot->m_status = settings.status();
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys)
        snapshot->m_values.insert(key, settings.value(key));
    snapshots().insert(path, snapshot);
    return snapshot;
}

void SettingsSnapshot::drop(const QString &path)
{
    QMutexLocker locker(&snapshotsMutex);
    snapshots().remove(path);
}

QVariant SettingsSnapshot::value(const QString &group, const QString &key, const QVariant &defaultValue) const
{
    return m_values.value(fullKey(group, key), defaultValue);
}

} // namespace qt5ext
