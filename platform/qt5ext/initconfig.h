#ifndef QT5EXT_INITCONFIG_H
#define QT5EXT_INITCONFIG_H

#include "fileconfighelper.h"

#include <QLocale>
#include <QScopedPointer>
#include <QVariant>

class QSettings;

namespace qt5ext {

// Settings of a program, kept in an INI file. Each object opens the file
// anew, so what one object writes is seen by the next one created.
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
    bool hasStore() const { return !m_settings.isNull(); }
    // The underlying store, null when no file was given.
    QSettings *settings() const { return m_settings.data(); }

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
    QScopedPointer<QSettings> m_settings;
};

} // namespace qt5ext

#endif
