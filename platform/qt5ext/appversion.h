#ifndef QT5EXT_APPVERSION_H
#define QT5EXT_APPVERSION_H

#include <QString>
#include <QVariantMap>

namespace qt5ext {

class AppVersion
{
public:
    AppVersion() = default;
    AppVersion(const QString &version, const QString &buildDateTime);

    QString version() const { return m_version; }
    QString buildDateTime() const { return m_buildDateTime; }
    bool isValid() const { return !m_version.isEmpty(); }
    QVariantMap toMap() const;

private:
    QString m_version;
    QString m_buildDateTime;
};

} // namespace qt5ext

#endif
