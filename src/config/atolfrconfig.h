#ifndef ATOLFRCONFIG_H
#define ATOLFRCONFIG_H

#include "portsettings.h"

#include <QSharedPointer>
#include <QString>
#include <QVariantMap>

// How to reach an ATOL register. Kept flat in the "ATOL" settings group and
// sent nested (serial keys under "com") by the front end.
class AtolFrConfig
{
public:
    enum FiscalTransport : quint8 {
        TransportNone = 0,
        TransportRs232 = 1,
        TransportTcp = 2,
        TransportUsb = 3,
    };

    AtolFrConfig();
    AtolFrConfig(const AtolFrConfig &other);
    AtolFrConfig(AtolFrConfig &&other) noexcept;
    AtolFrConfig &operator=(const AtolFrConfig &other);
    AtolFrConfig &operator=(AtolFrConfig &&other) noexcept;
    ~AtolFrConfig();

    FiscalTransport transport() const { return m_transport; }
    QString tcpHost() const { return m_tcpHost; }
    quint16 tcpPort() const { return m_tcpPort; }
    QString libDrvPath() const { return m_libDrvPath; }
    QString frConnectionPassword() const { return m_frConnectionPassword; }
    QSharedPointer<PortSettings> port() const { return m_port; }

    // Values of 4 or more are stored as TransportNone.
    void setTransport(int transport);
    void setTcpHost(const QString &host) { m_tcpHost = host; }
    void setTcpPort(quint16 port) { m_tcpPort = port; }
    void setLibDrvPath(const QString &path) { m_libDrvPath = path; }
    void setFrConnectionPassword(const QString &password) { m_frConnectionPassword = password; }
    // Shares the given settings; only copying the whole configuration deep-copies.
    void setPort(const QSharedPointer<PortSettings> &port) { m_port = port; }

    void clean();
    void swap(AtolFrConfig &other) noexcept;

    bool operator==(const AtolFrConfig &other) const;
    bool operator!=(const AtolFrConfig &other) const { return !(*this == other); }

    void setPlainMap(const QVariantMap &map);
    void setMap(const QVariantMap &map);
    QVariantMap toPlainMap() const;
    QVariantMap toMap() const;

private:
    void readMap(const QVariantMap &map, bool nested);
    QVariantMap writeMap(bool nested) const;

    FiscalTransport m_transport;
    QString m_tcpHost;
    quint16 m_tcpPort;
    QString m_libDrvPath;
    QString m_frConnectionPassword;
    QSharedPointer<PortSettings> m_port;
};

#endif
