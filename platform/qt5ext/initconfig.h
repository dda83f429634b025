#ifndef QT5EXT_INITCONFIG_H
#define QT5EXT_INITCONFIG_H

#include "fileconfighelper.h"

#include <QLocale>
#include <QScopedPointer>
#include <QSharedPointer>
#include <QVariant>

class QSettings;

namespace qt5ext {

class SettingsSnapshot;

// Settings of a program, kept in an INI file. Each object looks at the file
// anew, so what one object writes, or anyone edits, is seen by the next one
// created. Reads come from what the process last read of the file while it
// is unchanged; writes go through a QSettings.
//
// Framework keys live in group "FRAMEWORK": "logToFile" (bool, default
// false) also writes the log to loggerPath()/<application>.log, "keepLogs"
// (days, default 7), "rotateLogs" (bool, default true), "locale" (name).
class InitConfig : public FileConfigHelper
{
public:
    // writeDefaults: store the framework keys with their defaults when the
    // file lacks them.
    InitConfig(const QString &settingsFile, bool writeDefaults);
    ~InitConfig() override;

    QString settingsFileName() const override;
    // The file read: the given path under the file-system root.
    QString rootedSettingsFileName() const;
    bool hasStore() const { return !m_settingsFile.isEmpty(); }
    // The underlying store, opened on first use, null when no file was
    // given or the file holds a value Qt must not decode (see IniGuard).
    // From then on this object reads through it too, so it sees what
    // is written through it.
    QSettings *settings() const;

    virtual QVariant value(const QString &group, const QString &key,
                           const QVariant &defaultValue = QVariant()) const;
    virtual void setValue(const QString &group, const QString &key, const QVariant &value);

    virtual QString workDir() const;
    virtual QString loggerPath() const;
    virtual QString runPath() const;
    virtual int keepLogs() const;
    virtual bool rotateLogs() const;
    virtual bool keepLogsHandlers() const;
    virtual bool cleanAnyOldLogs() const;
    virtual QString versionsPath() const;
    virtual QString translationsPath() const;
    virtual QLocale locale() const;
    virtual void setlocale(const QLocale &locale);

    bool logToFile() const;

    static void setAppWorkDir(const QString &name);
    static QString appWorkDir();

    static const QString FRAMEWORK_SECTION;

private:
    QString m_settingsFile;
    mutable QScopedPointer<QSettings> m_settings;
    QSharedPointer<const SettingsSnapshot> m_snapshot;
};

} // namespace qt5ext

#endif
