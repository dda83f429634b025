#include "initconfig.h"

#include "iniguard.h"
#include "settingssnapshot_p.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutex>
#include <QSet>
#include <QSettings>

Q_LOGGING_CATEGORY(lcConfig, "qt5ext.config")

namespace qt5ext {

const QString InitConfig::FRAMEWORK_SECTION = QStringLiteral("FRAMEWORK");

namespace {
QMutex workDirMutex;
QString workDirName;

// A broken file is reported once per process, not at every read: settings
// objects are created per request.
void warnOnce(const QString &file, const QString &why, const QString &outcome = QStringLiteral("defaults are used"))
{
    static QMutex mutex;
    static QSet<QString> warned;
    QMutexLocker lock(&mutex);
    const QString key = file + QLatin1Char('\n') + why + QLatin1Char('\n') + outcome;
    if (warned.contains(key))
        return;
    warned.insert(key);
    qCWarning(lcConfig).noquote() << "Settings file" << file << why << "-" << outcome;
}

// True the first time a path is asked about in this process.
bool firstReading(const QString &file)
{
    static QMutex mutex;
    static QSet<QString> seen;
    QMutexLocker lock(&mutex);
    if (seen.contains(file))
        return false;
    seen.insert(file);
    return true;
}

void checkFile(const QString &path, const SettingsSnapshot &snapshot)
{
    const QFileInfo info(path);
    const QSettings::Status status = snapshot.status();
    if (!snapshot.refusal().isEmpty())
        warnOnce(path, snapshot.refusal(),
                 snapshot.keptEarlierValues() ? QStringLiteral("the values read before stay in use")
                                              : QStringLiteral("defaults are used"));
    else if (info.exists() && !info.isReadable())
        warnOnce(path, QStringLiteral("is not readable"));
    else if (info.exists() && info.size() == 0)
        warnOnce(path, QStringLiteral("is empty"));
    else if (status == QSettings::FormatError)
        warnOnce(path, QStringLiteral("is not in INI format"));
    else if (status == QSettings::AccessError)
        warnOnce(path, QStringLiteral("cannot be accessed"));
}
}

InitConfig::InitConfig(const QString &settingsFile, bool writeDefaults)
    : m_settingsFile(settingsFile)
{
    if (settingsFile.isEmpty())
        return;
    const QString path = rootedSettingsFileName();
    m_snapshot = SettingsSnapshot::of(path);
    // Settings are read on every request: the file itself is looked at the
    // first time and whenever reading it went wrong, not each time.
    if (m_snapshot->status() != QSettings::NoError || firstReading(path))
        checkFile(path, *m_snapshot);
    QSettings *store = writeDefaults ? settings() : nullptr;
    if (store) {
        store->beginGroup(FRAMEWORK_SECTION);
        if (!store->contains(QStringLiteral("logToFile")))
            store->setValue(QStringLiteral("logToFile"), false);
        if (!store->contains(QStringLiteral("keepLogs")))
            store->setValue(QStringLiteral("keepLogs"), 7);
        store->endGroup();
    }
}

InitConfig::~InitConfig()
{
    // What was written through this object is on disk before anyone reads
    // the file again.
    if (m_settings) {
        m_settings->sync();
        SettingsSnapshot::drop(rootedSettingsFileName());
    }
}

QSettings *InitConfig::settings() const
{
    if (m_settingsFile.isEmpty())
        return nullptr;
    if (!m_settings) {
        // Writing makes Qt read the whole file first.
        const QString path = rootedSettingsFileName();
        QString why;
        if (!IniGuard::fileIsSafe(path, why)) {
            warnOnce(path, why, QStringLiteral("nothing is written to it"));
            return nullptr;
        }
        m_settings.reset(new QSettings(rootedSettingsFileName(), QSettings::IniFormat));
        m_settings->setIniCodec("UTF-8");
    }
    return m_settings.data();
}

QString InitConfig::settingsFileName() const
{
    return m_settingsFile;
}

QString InitConfig::rootedSettingsFileName() const
{
    return rootedPath(m_settingsFile);
}

QVariant InitConfig::value(const QString &group, const QString &key, const QVariant &defaultValue) const
{
    if (!m_settings)
        return m_snapshot ? m_snapshot->value(group, key, defaultValue) : defaultValue;
    m_settings->beginGroup(group);
    const QVariant v = m_settings->value(key, defaultValue);
    m_settings->endGroup();
    return v;
}

void InitConfig::setValue(const QString &group, const QString &key, const QVariant &value)
{
    QSettings *store = settings();
    if (!store)
        return;
    store->beginGroup(group);
    store->setValue(key, value);
    store->endGroup();
    store->sync();
    SettingsSnapshot::drop(rootedSettingsFileName());
    if (store->status() != QSettings::NoError)
        qCWarning(lcConfig).noquote() << "Cannot write settings file" << rootedSettingsFileName();
}

QString InitConfig::workDir() const
{
    return rootedPath(QStringLiteral("/var/lib/") + appWorkDir());
}

QString InitConfig::loggerPath() const
{
    return workDir() + QStringLiteral("/logs");
}

QString InitConfig::runPath() const
{
    return workDir() + QStringLiteral("/run");
}

int InitConfig::keepLogs() const
{
    return value(FRAMEWORK_SECTION, QStringLiteral("keepLogs"), 7).toInt();
}

bool InitConfig::rotateLogs() const
{
    return value(FRAMEWORK_SECTION, QStringLiteral("rotateLogs"), true).toBool();
}

bool InitConfig::keepLogsHandlers() const
{
    return value(FRAMEWORK_SECTION, QStringLiteral("keepLogsHandlers"), false).toBool();
}

bool InitConfig::cleanAnyOldLogs() const
{
    return value(FRAMEWORK_SECTION, QStringLiteral("cleanAnyOldLogs"), false).toBool();
}

QString InitConfig::versionsPath() const
{
    return workDir() + QStringLiteral("/versions");
}

QString InitConfig::translationsPath() const
{
    return workDir() + QStringLiteral("/translations");
}

QLocale InitConfig::locale() const
{
    const QString name = value(FRAMEWORK_SECTION, QStringLiteral("locale")).toString();
    return name.isEmpty() ? QLocale() : QLocale(name);
}

void InitConfig::setlocale(const QLocale &locale)
{
    setValue(FRAMEWORK_SECTION, QStringLiteral("locale"), locale.name());
}

bool InitConfig::logToFile() const
{
    return value(FRAMEWORK_SECTION, QStringLiteral("logToFile"), false).toBool();
}

void InitConfig::setAppWorkDir(const QString &name)
{
    QMutexLocker lock(&workDirMutex);
    workDirName = name;
}

QString InitConfig::appWorkDir()
{
    QMutexLocker lock(&workDirMutex);
    if (!workDirName.isEmpty())
        return workDirName;
    return QCoreApplication::applicationName();
}

} // namespace qt5ext
