#ifndef PORTSETTINGS_H
#define PORTSETTINGS_H

#include <QSerialPort>
#include <QSharedPointer>
#include <QString>
#include <QVariantMap>

// Serial line parameters of an ATOL register attached over RS-232. Only the
// values are kept here; the driver opens the port itself.
class PortSettings
{
public:
    PortSettings();
    explicit PortSettings(const QVariantMap &map);

    QString portName() const { return m_portName; }
    quint32 baudRate() const { return m_baudRate; }
    QSerialPort::DataBits dataBits() const { return m_dataBits; }
    QSerialPort::Parity parity() const { return m_parity; }
    QSerialPort::StopBits stopBits() const { return m_stopBits; }
    QSerialPort::FlowControl flowControl() const { return m_flowControl; }

    void setPortName(const QString &portName) { m_portName = portName; }
    void setBaudRate(const quint32 &baudRate) { m_baudRate = baudRate; }
    void setDataBits(const QSerialPort::DataBits &dataBits) { m_dataBits = dataBits; }
    void setParity(const QSerialPort::Parity &parity) { m_parity = parity; }
    void setStopBits(const QSerialPort::StopBits &stopBits) { m_stopBits = stopBits; }
    void setFlowControl(const QSerialPort::FlowControl &flowControl) { m_flowControl = flowControl; }

    void clean();
    QSharedPointer<PortSettings> clone() const;

    bool operator==(const PortSettings &other) const;
    bool operator!=(const PortSettings &other) const { return !(*this == other); }

    void setMap(const QVariantMap &map);
    QVariantMap toMap() const;

private:
    QString m_portName;
    quint32 m_baudRate;
    QSerialPort::DataBits m_dataBits;
    QSerialPort::Parity m_parity;
    QSerialPort::StopBits m_stopBits;
    QSerialPort::FlowControl m_flowControl;
};

#endif
