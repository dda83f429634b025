#include "findedcashbox.h"

#include <cmath>

namespace {

// Numbers are unsigned integers cut to 16 bits. The answer comes from anyone
// on the network, so values that are no unsigned 32-bit number at all
// (negative, out of range, not finite) read as 0 instead of wrapping around
// or running into an undefined float-to-integer conversion.
quint16 readNumber(const QVariant &value)
{
    constexpr double LIMIT = 4294967296.0;
    uint number = 0;
    switch (value.userType()) {
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (std::isfinite(d) && d >= 0.0 && d < LIMIT)
            number = static_cast<uint>(d);
        break;
    }
    case QMetaType::Int:
    case QMetaType::LongLong: {
        const qlonglong n = value.toLongLong();
        if (n >= 0 && n < qlonglong(LIMIT))
            number = static_cast<uint>(n);
        break;
    }
    default: {
        bool ok = false;
        const uint n = value.toUInt(&ok);
        if (ok)
            number = n;
        break;
    }
    }
    return static_cast<quint16>(number);
}

} // namespace

FindedCashbox::FindedCashbox(const QHostAddress &ip, const QVariantMap &description)
    : m_model(readNumber(description.value(QStringLiteral("m"))))
    , m_serial(description.value(QStringLiteral("sn")).toString())
    , m_modelName(description.value(QStringLiteral("nm")).toString())
    , m_regNumber(description.value(QStringLiteral("rn")).toString())
    , m_inn(description.value(QStringLiteral("inn")).toString())
    , m_ip(ip)
    , m_atolPort(readNumber(description.value(QStringLiteral("atol"))))
    , m_httpPort(readNumber(description.value(QStringLiteral("http"))))
    , m_busMsgPort(readNumber(description.value(QStringLiteral("busM"))))
    , m_busQueryPort(readNumber(description.value(QStringLiteral("busQ"))))
{
}

bool FindedCashbox::isValid() const
{
    return m_model != 0 && !m_serial.isEmpty() && !m_modelName.isEmpty();
}

QString FindedCashbox::genKey(const QString &serial, quint16 model)
{
    return QStringLiteral("%1##%2").arg(QString::number(model), serial);
}

QString FindedCashbox::key() const
{
    return genKey(m_serial, m_model);
}

QVariantMap FindedCashbox::toBeautyMap() const
{
    return {
        {QStringLiteral("model"), int(m_model)},
        {QStringLiteral("serial"), m_serial},
        {QStringLiteral("modelName"), m_modelName},
        {QStringLiteral("regNumber"), m_regNumber},
        {QStringLiteral("inn"), m_inn},
        {QStringLiteral("ip"), m_ip.toString()},
    };
}

bool FindedCashbox::operator==(const FindedCashbox &other) const
{
    return m_model == other.m_model && m_serial == other.m_serial
        && m_modelName == other.m_modelName && m_regNumber == other.m_regNumber
        && m_inn == other.m_inn && m_ip == other.m_ip && m_atolPort == other.m_atolPort
        && m_httpPort == other.m_httpPort && m_busMsgPort == other.m_busMsgPort
        && m_busQueryPort == other.m_busQueryPort;
}
