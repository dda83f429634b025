#include "appversion.h"

namespace qt5ext {

AppVersion::AppVersion(const QString &version, const QString &buildDateTime)
    : m_version(version)
    , m_buildDateTime(buildDateTime)
{
}

QVariantMap AppVersion::toMap() const
{
    return {{QStringLiteral("version"), m_version}, {QStringLiteral("build"), m_buildDateTime}};
}

} // namespace qt5ext
