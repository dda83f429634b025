#include "ofdsettings.h"

namespace core {

namespace {

const QString kInn = QStringLiteral("inn");
const QString kName = QStringLiteral("name");
const QString kHost = QStringLiteral("host");
const QString kPort = QStringLiteral("port");
const QString kCheckSite = QStringLiteral("checkSite");

} // namespace

OfdSettings::OfdSettings(const QVariantMap &map)
{
    setMap(map);
}

QVariantMap OfdSettings::toMap() const
{
    return {
        { kInn, m_inn },
        { kName, m_name },
        { kHost, m_host },
        { kPort, uint(m_port) },
        { kCheckSite, m_checkSite },
    };
}

void OfdSettings::setMap(const QVariantMap &map)
{
    *this = OfdSettings();
    m_inn = map.value(kInn).toString().trimmed();
    m_name = map.value(kName).toString();
    m_host = map.value(kHost).toString().trimmed();
    m_checkSite = map.value(kCheckSite).toString().trimmed();
    bool ok = false;
    const qlonglong port = map.value(kPort).toLongLong(&ok);
    m_port = (ok && port >= 0 && port <= 65535) ? quint16(port) : 0;
}

bool OfdSettings::operator==(const OfdSettings &other) const
{
    return m_inn == other.m_inn && m_name == other.m_name && m_host == other.m_host
        && m_port == other.m_port && m_checkSite == other.m_checkSite;
}

} // namespace core
