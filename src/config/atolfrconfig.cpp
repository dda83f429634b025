#include "atolfrconfig.h"

#include <utility>

namespace {

const QString KEY_TRANSPORT = QStringLiteral("transport");
const QString KEY_HOST = QStringLiteral("host");
const QString KEY_PORT = QStringLiteral("port");
const QString KEY_LIB_PATH = QStringLiteral("libPath");
const QString KEY_CON_PAS = QStringLiteral("conPas");
const QString KEY_COM = QStringLiteral("com");

int transportFromText(const QString &text)
{
    if (text == QLatin1String("RS232") || text == QLatin1String("COM") || text == QLatin1String("COMPORT"))
        return AtolFrConfig::TransportRs232;
    if (text == QLatin1String("TCP"))
        return AtolFrConfig::TransportTcp;
    if (text == QLatin1String("USB"))
        return AtolFrConfig::TransportUsb;
    return AtolFrConfig::TransportNone;
}

} // namespace

AtolFrConfig::AtolFrConfig()
{
    clean();
}

AtolFrConfig::AtolFrConfig(const AtolFrConfig &other)
    : m_transport(other.m_transport)
    , m_tcpHost(other.m_tcpHost)
    , m_tcpPort(other.m_tcpPort)
    , m_libDrvPath(other.m_libDrvPath)
    , m_frConnectionPassword(other.m_frConnectionPassword)
    , m_port(other.m_port ? other.m_port->clone() : QSharedPointer<PortSettings>())
{
}

AtolFrConfig::AtolFrConfig(AtolFrConfig &&other) noexcept
    : AtolFrConfig()
{
    swap(other);
}

AtolFrConfig &AtolFrConfig::operator=(const AtolFrConfig &other)
{
    if (this != &other) {
        AtolFrConfig copy(other);
        swap(copy);
    }
    return *this;
}

AtolFrConfig &AtolFrConfig::operator=(AtolFrConfig &&other) noexcept
{
    swap(other);
    return *this;
}

AtolFrConfig::~AtolFrConfig() = default;

void AtolFrConfig::swap(AtolFrConfig &other) noexcept
{
    std::swap(m_transport, other.m_transport);
    m_tcpHost.swap(other.m_tcpHost);
    std::swap(m_tcpPort, other.m_tcpPort);
    m_libDrvPath.swap(other.m_libDrvPath);
    m_frConnectionPassword.swap(other.m_frConnectionPassword);
    m_port.swap(other.m_port);
}

void AtolFrConfig::setTransport(int transport)
{
    m_transport = (transport >= TransportNone && transport <= TransportUsb)
            ? FiscalTransport(transport) : TransportNone;
}

void AtolFrConfig::clean()
{
    m_transport = TransportNone;
    m_tcpHost.clear();
    m_tcpPort = 0;
    m_libDrvPath.clear();
    m_frConnectionPassword.clear();
    m_port.reset();
}

bool AtolFrConfig::operator==(const AtolFrConfig &other) const
{
    if (m_transport != other.m_transport || m_tcpHost != other.m_tcpHost || m_tcpPort != other.m_tcpPort
            || m_libDrvPath != other.m_libDrvPath || m_frConnectionPassword != other.m_frConnectionPassword)
        return false;
    if (m_port.isNull() || other.m_port.isNull())
        return m_port.isNull() && other.m_port.isNull();
    return *m_port == *other.m_port;
}

void AtolFrConfig::readMap(const QVariantMap &map, bool nested)
{
    clean();
    if (map.contains(KEY_TRANSPORT))
        setTransport(transportFromText(map.value(KEY_TRANSPORT).toString().trimmed().toUpper()));
    switch (m_transport) {
    case TransportRs232:
        if (!nested)
            m_port = QSharedPointer<PortSettings>::create(map);
        else if (map.contains(KEY_COM))
            m_port = QSharedPointer<PortSettings>::create(map.value(KEY_COM).toMap());
        break;
    case TransportTcp:
        if (map.contains(KEY_HOST)) {
            m_tcpHost = map.value(KEY_HOST).toString().trimmed();
            m_tcpPort = quint16(map.value(KEY_PORT).toUInt());
        }
        break;
    default:
        break;
    }
    if (map.contains(KEY_LIB_PATH))
        m_libDrvPath = map.value(KEY_LIB_PATH).toString().trimmed();
    if (map.contains(KEY_CON_PAS))
        m_frConnectionPassword = map.value(KEY_CON_PAS).toString().trimmed();
}

void AtolFrConfig::setPlainMap(const QVariantMap &map)
{
    readMap(map, false);
}

void AtolFrConfig::setMap(const QVariantMap &map)
{
    readMap(map, true);
}

QVariantMap AtolFrConfig::writeMap(bool nested) const
{
    QVariantMap map;
    switch (m_transport) {
    case TransportRs232:
        if (m_port) {
            if (nested)
                map.insert(KEY_COM, m_port->toMap());
            else
                map = m_port->toMap();
        }
        map.insert(KEY_TRANSPORT, QStringLiteral("RS232"));
        break;
    case TransportTcp:
        map.insert(KEY_TRANSPORT, QStringLiteral("TCP"));
        if (!m_tcpHost.trimmed().isEmpty()) {
            map.insert(KEY_HOST, m_tcpHost.trimmed());
            map.insert(KEY_PORT, int(m_tcpPort));
        }
        break;
    case TransportUsb:
        map.insert(KEY_TRANSPORT, QStringLiteral("USB"));
        break;
    case TransportNone:
        break;
    }
    if (!m_libDrvPath.trimmed().isEmpty())
        map.insert(KEY_LIB_PATH, m_libDrvPath.trimmed());
    if (!m_frConnectionPassword.trimmed().isEmpty())
        map.insert(KEY_CON_PAS, m_frConnectionPassword.trimmed());
    return map;
}

QVariantMap AtolFrConfig::toPlainMap() const
{
    return writeMap(false);
}

QVariantMap AtolFrConfig::toMap() const
{
    return writeMap(true);
}
