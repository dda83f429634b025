#ifndef QT5EXT_SETTINGSSNAPSHOT_P_H
#define QT5EXT_SETTINGSSNAPSHOT_P_H

#include <QHash>
#include <QSettings>
#include <QSharedPointer>
#include <QString>
#include <QVariant>

namespace qt5ext {

// Everything an INI settings file held when it was last read, shared by all
// readers of the process. Settings objects are made per request; opening a
// QSettings for each costs more than the rest of a small request, while one
// look at the file's status tells whether what was read is still what the
// file says.
class SettingsSnapshot
{
public:
    // The file's contents as of now: the shared snapshot while the file is
    // unchanged, else read anew. Never null.
    static QSharedPointer<const SettingsSnapshot> of(const QString &path);
    // Forgets the shared snapshot, so the next reader reads the file.
    static void drop(const QString &path);

    QVariant value(const QString &group, const QString &key, const QVariant &defaultValue) const;
    QSettings::Status status() const { return m_status; }
    // Why the file was not read, when it was refused before Qt saw it.
    QString refusal() const { return m_refusal; }
    // Whether a refused file left the values of its last good version.
    bool keptEarlierValues() const { return m_keptEarlier; }

private:
    // What tells one version of the file from another: a rewrite through a
    // temporary file gives a new inode, any change a new change time.
    struct Stamp
    {
        bool exists = false;
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
        qint64 modified = 0;
        qint64 changed = 0;
        bool operator==(const Stamp &other) const;
    };
    static Stamp stampOf(const QString &path);

    Stamp m_stamp;
    QHash<QString, QVariant> m_values;
    QSettings::Status m_status = QSettings::NoError;
    QString m_refusal;
    bool m_keptEarlier = false;
};

} // namespace qt5ext

#endif
