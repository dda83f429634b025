#ifndef TILLGATECONFIG_H
#define TILLGATECONFIG_H

#include "atolfrconfig.h"

#include <initconfig.h>

#include <QStringList>

// The service's main settings. Created where a value is needed and dropped
// right after: nothing is cached, so a value written by one request is seen
// by the next reader.
class TillgateConfig : public qt5ext::InitConfig
{
public:
    enum DeviceType {
        DeviceNone = 0,
        DeviceOstrak = 1,
        DeviceCombine = 2,
        DeviceAtol = 3,
    };

    static const QString SETTINGS_FILE;
    static const QString TILLGATE_BUSNAME;
    static const QString SECTION;
    static const QString ALLOWED_ORIGINS;
    static const QString ALLOWED_HOSTS;
    static const QString DEVICE_TYPE;
    static const QString BUS_HOST;
    static const QString BUS_MSG_PORT;
    static const QString BUS_QUERY_PORT;
    static const QString DISCOVERY_ADDRESS;
    static const QString METRICS_PEERS;
    static const QString METRICS_TEXTFILE;
    static const QString COMBINE_SECTION;
    static const QString COMBINE_CASHIER_NAME;
    static const QString COMBINE_CASHIER_INN;
    static const QString ATOL_SECTION;
    static const QString ATOL_DRIVER_PATHS;
    static const QString IMAGES_LIMIT;
    // Where the service's package and its simulator package put the ATOL
    // driver.
    static const QStringList PACKAGE_DRIVER_DIRS;
    static constexpr qint64 DEFAULT_IMAGES_LIMIT = 8 * 1024 * 1024;

    TillgateConfig();

    DeviceType currentDevice() const;
    void setCurrentDevice(DeviceType type);

    QStringList allowedOrigins() const;
    // Host names the API may be called by besides localhost, IP addresses
    // and this machine's name; "####" separates them, empty parts are
    // dropped.
    QStringList allowedHosts() const;

    QString appBusHost() const;
    void setAppBusHost(const QString &host);
    quint16 busMsgPort() const;
    void setBusMsgPort(quint16 port);
    quint16 busQueryPort() const;
    void setBusQueryPort(quint16 port);

    // Where the cashbox search sends its queries: the IPv4 broadcast
    // address unless set (127.0.0.1 keeps the search on this machine).
    QString discoveryAddress() const;
    void setDiscoveryAddress(const QString &address);

    // Peers besides this machine that may read /metrics: addresses or
    // networks ("10.1.0.0/16"), separated by commas; none unless set.
    QStringList metricsPeers() const;
    // A file the metrics are also written to every minute, for a node
    // exporter's text file collector; empty: none.
    QString metricsTextfile() const;

    QString combineCashierName() const;
    void setCombineCashierName(const QString &name);
    QString combineCashierInn() const;
    void setCombineCashierInn(const QString &inn);

    AtolFrConfig atolconfig() const;
    // Replaces the connection settings; the list of driver directories is
    // the operator's and stays.
    void setAtolConfig(const AtolFrConfig &config);
    // The directories a device choice over HTTP may name as "libPath"
    // ("driverPaths" in "ATOL", separated by ####): by default the
    // configured one and the packages' driver directories.
    QStringList atolDriverPaths() const;
    // Bytes all stored images may take together ("imagesLimit").
    qint64 imagesLimit() const;

    QString tillgateDir() const;
    QString tillgateCacheDir() const;
    QString tillgateCacheFile() const;
    QString tillgateImages() const;
};

#endif
