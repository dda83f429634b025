#include "portsettings.h"

#include "configlog_p.h"

namespace {

const QString KEY_PORT_NAME = QStringLiteral("portName");
const QString KEY_BAUD_RATE = QStringLiteral("baudrate");
const QString KEY_DATA_BITS = QStringLiteral("dataBits");
const QString KEY_PARITY = QStringLiteral("parity");
const QString KEY_STOP_BITS = QStringLiteral("stopBits");
const QString KEY_FLOW_CONTROL = QStringLiteral("flowControl");

QString enumText(const QVariant &value)
{
    return value.toString().toUpper().trimmed();
}

bool isDataBits(int value)
{
    return value >= QSerialPort::Data5 && value <= QSerialPort::Data8;
}

bool isParity(int value)
{
    switch (value) {
    case QSerialPort::NoParity:
    case QSerialPort::EvenParity:
    case QSerialPort::OddParity:
    case QSerialPort::SpaceParity:
    case QSerialPort::MarkParity:
        return true;
    default:
        return false;
    }
}

bool isStopBits(int value)
{
    return value == QSerialPort::OneStop || value == QSerialPort::OneAndHalfStop || value == QSerialPort::TwoStop;
}

bool isFlowControl(int value)
{
    return value == QSerialPort::NoFlowControl || value == QSerialPort::HardwareControl
            || value == QSerialPort::SoftwareControl;
}

void logFallback(const QString &key, const QVariant &value, int fallback)
{
    qCWarning(lcTillgateConfig).noquote() << "Serial setting" << key << value.toString()
                                  << "is not supported; the default" << fallback << "is used";
}

template<typename T>
void fallBack(const QString &key, int value, T &field, T fallback)
{
    field = fallback;
    logFallback(key, value, fallback);
}

} // namespace

PortSettings::PortSettings()
{
    clean();
}

PortSettings::PortSettings(const QVariantMap &map)
{
    setMap(map);
}

void PortSettings::clean()
{
    m_portName.clear();
    m_baudRate = 115200;
    m_dataBits = QSerialPort::Data8;
    m_parity = QSerialPort::NoParity;
    m_stopBits = QSerialPort::OneStop;
    m_flowControl = QSerialPort::NoFlowControl;
}

QSharedPointer<PortSettings> PortSettings::clone() const
{
    return QSharedPointer<PortSettings>::create(*this);
}

bool PortSettings::operator==(const PortSettings &other) const
{
    return m_portName == other.m_portName && m_baudRate == other.m_baudRate
            && m_dataBits == other.m_dataBits && m_parity == other.m_parity
            && m_stopBits == other.m_stopBits && m_flowControl == other.m_flowControl;
}

void PortSettings::setDataBits(const QSerialPort::DataBits &dataBits)
{
    if (isDataBits(dataBits))
        m_dataBits = dataBits;
    else
        fallBack(KEY_DATA_BITS, int(dataBits), m_dataBits, QSerialPort::Data8);
}

void PortSettings::setParity(const QSerialPort::Parity &parity)
{
    if (isParity(parity))
        m_parity = parity;
    else
        fallBack(KEY_PARITY, int(parity), m_parity, QSerialPort::NoParity);
}

void PortSettings::setStopBits(const QSerialPort::StopBits &stopBits)
{
    if (isStopBits(stopBits))
        m_stopBits = stopBits;
    else
        fallBack(KEY_STOP_BITS, int(stopBits), m_stopBits, QSerialPort::OneStop);
}

void PortSettings::setFlowControl(const QSerialPort::FlowControl &flowControl)
{
    if (isFlowControl(flowControl))
        m_flowControl = flowControl;
    else
        fallBack(KEY_FLOW_CONTROL, int(flowControl), m_flowControl, QSerialPort::NoFlowControl);
}

void PortSettings::setMap(const QVariantMap &map)
{
    clean();
    if (map.contains(KEY_PORT_NAME))
        m_portName = map.value(KEY_PORT_NAME).toString();
    if (map.contains(KEY_BAUD_RATE))
        m_baudRate = map.value(KEY_BAUD_RATE).toUInt();
    if (map.contains(KEY_DATA_BITS)) {
        // Checked as a number: an enumeration never holds a value outside it.
        const QVariant value = map.value(KEY_DATA_BITS);
        bool ok = false;
        const int bits = value.toInt(&ok);
        if (ok && isDataBits(bits))
            m_dataBits = QSerialPort::DataBits(bits);
        else
            logFallback(KEY_DATA_BITS, value, m_dataBits);
    }
    if (map.contains(KEY_PARITY)) {
        const QString text = enumText(map.value(KEY_PARITY));
        if (text == QLatin1String("EVEN"))
            m_parity = QSerialPort::EvenParity;
        else if (text == QLatin1String("ODD"))
            m_parity = QSerialPort::OddParity;
        else if (text == QLatin1String("SPACE"))
            m_parity = QSerialPort::SpaceParity;
        else if (text == QLatin1String("MARK"))
            m_parity = QSerialPort::MarkParity;
        else if (text != QLatin1String("NONE"))
            logFallback(KEY_PARITY, map.value(KEY_PARITY), m_parity);
    }
    if (map.contains(KEY_STOP_BITS)) {
        const QString text = enumText(map.value(KEY_STOP_BITS));
        if (text == QLatin1String("STOP_15"))
            m_stopBits = QSerialPort::OneAndHalfStop;
        else if (text == QLatin1String("STOP_2"))
            m_stopBits = QSerialPort::TwoStop;
        else if (text != QLatin1String("STOP_1"))
            logFallback(KEY_STOP_BITS, map.value(KEY_STOP_BITS), m_stopBits);
    }
    if (map.contains(KEY_FLOW_CONTROL)) {
        const QString text = enumText(map.value(KEY_FLOW_CONTROL));
        if (text == QLatin1String("HARDWARE"))
            m_flowControl = QSerialPort::HardwareControl;
        else if (text == QLatin1String("SOFTWARE"))
            m_flowControl = QSerialPort::SoftwareControl;
        else if (text != QLatin1String("NO") && text != QLatin1String("NONE"))
            logFallback(KEY_FLOW_CONTROL, map.value(KEY_FLOW_CONTROL), m_flowControl);
    }
}

QVariantMap PortSettings::toMap() const
{
    QVariantMap map;
    map.insert(KEY_PORT_NAME, m_portName);
    map.insert(KEY_BAUD_RATE, m_baudRate);
    map.insert(KEY_DATA_BITS, int(m_dataBits));
    switch (m_parity) {
    case QSerialPort::NoParity: map.insert(KEY_PARITY, QStringLiteral("NONE")); break;
    case QSerialPort::EvenParity: map.insert(KEY_PARITY, QStringLiteral("EVEN")); break;
    case QSerialPort::OddParity: map.insert(KEY_PARITY, QStringLiteral("ODD")); break;
    case QSerialPort::SpaceParity: map.insert(KEY_PARITY, QStringLiteral("SPACE")); break;
    case QSerialPort::MarkParity: map.insert(KEY_PARITY, QStringLiteral("MARK")); break;
    default: break;
    }
    switch (m_stopBits) {
    case QSerialPort::OneStop: map.insert(KEY_STOP_BITS, QStringLiteral("STOP_1")); break;
    case QSerialPort::TwoStop: map.insert(KEY_STOP_BITS, QStringLiteral("STOP_2")); break;
    case QSerialPort::OneAndHalfStop: map.insert(KEY_STOP_BITS, QStringLiteral("STOP_15")); break;
    default: break;
    }
    switch (m_flowControl) {
    case QSerialPort::NoFlowControl: map.insert(KEY_FLOW_CONTROL, QStringLiteral("NO")); break;
    case QSerialPort::HardwareControl: map.insert(KEY_FLOW_CONTROL, QStringLiteral("HARDWARE")); break;
    case QSerialPort::SoftwareControl: map.insert(KEY_FLOW_CONTROL, QStringLiteral("SOFTWARE")); break;
    default: break;
    }
    return map;
}
