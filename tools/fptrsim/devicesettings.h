#ifndef FPTRSIM_DEVICESETTINGS_H
#define FPTRSIM_DEVICESETTINGS_H

#include <QMap>
#include <QString>

// The driver's connection settings: names and values as text, checked
// when applied, and the whole-settings text
// <settings version="1"><value name="Key">v</value>...</settings>.
class DeviceSettings
{
public:
    static QMap<QString, QString> defaults();
    // The name of the first setting whose value the driver refuses, or an
    // empty text. The simulator opens no port or connection.
    static QString invalidSetting(const QMap<QString, QString> &settings);
    static QString toText(const QMap<QString, QString> &settings);
    // False when `text` is not a settings text; `settings` is then untouched.
    static bool fromText(const QString &text, QMap<QString, QString> &settings);
};

#endif
