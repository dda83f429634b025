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
    // The enumerated settings keep to the values a serial line has (data
    // bits 5 to 8); any other value is logged and the default taken.
    void setDataBits(const QSerialPort::DataBits &dataBits);
    void setParity(const QSerialPort::Parity &parity);
    void setStopBits(const QSerialPort::StopBits &stopBits);
    void setFlowControl(const QSerialPort::FlowControl &flowControl);

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
