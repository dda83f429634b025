#include "tillgateconfig.h"

#include <dircreator.h>

#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QSettings>

const QString TillgateConfig::SETTINGS_FILE = QStringLiteral("/opt/zelvotillgate/etc/tillgate.conf");
const QString TillgateConfig::TILLGATE_BUSNAME = QStringLiteral("tillgate");
const QString TillgateConfig::SECTION = QStringLiteral("TILLGATE");
const QString TillgateConfig::ALLOWED_ORIGINS = QStringLiteral("origins");
const QString TillgateConfig::ALLOWED_HOSTS = QStringLiteral("allowedHosts");
const QString TillgateConfig::DEVICE_TYPE = QStringLiteral("deviceType");
const QString TillgateConfig::BUS_HOST = QStringLiteral("busHost");
const QString TillgateConfig::BUS_MSG_PORT = QStringLiteral("busMsgPort");
const QString TillgateConfig::BUS_QUERY_PORT = QStringLiteral("busQueryPort");
const QString TillgateConfig::DISCOVERY_ADDRESS = QStringLiteral("discoveryAddress");
const QString TillgateConfig::METRICS_PEERS = QStringLiteral("metricsPeers");
const QString TillgateConfig::METRICS_TEXTFILE = QStringLiteral("metricsTextfile");
const QString TillgateConfig::COMBINE_SECTION = QStringLiteral("COMBINE");
const QString TillgateConfig::COMBINE_CASHIER_NAME = QStringLiteral("cashier");
const QString TillgateConfig::COMBINE_CASHIER_INN = QStringLiteral("cashierInn");
const QString TillgateConfig::ATOL_SECTION = QStringLiteral("ATOL");
const QString TillgateConfig::ATOL_DRIVER_PATHS = QStringLiteral("driverPaths");
const QString TillgateConfig::IMAGES_LIMIT = QStringLiteral("imagesLimit");
const QStringList TillgateConfig::PACKAGE_DRIVER_DIRS = {QStringLiteral("/opt/zelvotillgate/lib/fptr"),
                                                         QStringLiteral("/opt/zelvotillgate/sim/lib/fptr")};

namespace {

// Settings are read on every request; the data directories need to be made
// once per process and installation root, not looked up each time. Whoever
// writes into a directory later makes it again should it have gone.
void makeDirectoriesOnce(const QStringList &directories)
{
    static QMutex mutex;
    static QSet<QString> made;
    QMutexLocker locker(&mutex);
    for (const QString &directory : directories) {
        if (!made.contains(directory)
            && qt5ext::DirCreator::checkAndCreate(directory, qt5ext::DirCreator::DEFAULT_ALL))
            made.insert(directory);
    }
}

} // namespace

TillgateConfig::TillgateConfig()
    : qt5ext::InitConfig(SETTINGS_FILE, false)
{
    makeDirectoriesOnce({ tillgateDir(), tillgateCacheDir(), tillgateImages() });
}

TillgateConfig::DeviceType TillgateConfig::currentDevice() const
{
    return DeviceType(value(SECTION, DEVICE_TYPE, int(DeviceNone)).toInt());
}

void TillgateConfig::setCurrentDevice(DeviceType type)
{
    setValue(SECTION, DEVICE_TYPE, int(type));
}

QStringList TillgateConfig::allowedOrigins() const
{
    const QString origins = value(SECTION, ALLOWED_ORIGINS, QStringLiteral("*")).toString();
    if (origins.isEmpty())
        return {};
    return origins.split(QStringLiteral("####"), Qt::KeepEmptyParts, Qt::CaseSensitive);
}

QStringList TillgateConfig::allowedHosts() const
{
    return value(SECTION, ALLOWED_HOSTS).toString().split(QStringLiteral("####"), Qt::SkipEmptyParts,
                                                           Qt::CaseSensitive);
}

QString TillgateConfig::appBusHost() const
{
    return value(SECTION, BUS_HOST, QStringLiteral("localhost")).toString();
}

void TillgateConfig::setAppBusHost(const QString &host)
{
    setValue(SECTION, BUS_HOST, host);
}

quint16 TillgateConfig::busMsgPort() const
{
    return quint16(value(SECTION, BUS_MSG_PORT, 0).toUInt());
}

void TillgateConfig::setBusMsgPort(quint16 port)
{
    setValue(SECTION, BUS_MSG_PORT, port);
}

quint16 TillgateConfig::busQueryPort() const
{
    return quint16(value(SECTION, BUS_QUERY_PORT, 0).toUInt());
}

void TillgateConfig::setBusQueryPort(quint16 port)
{
    setValue(SECTION, BUS_QUERY_PORT, port);
}

QString TillgateConfig::discoveryAddress() const
{
    return value(SECTION, DISCOVERY_ADDRESS, QStringLiteral("255.255.255.255")).toString();
}

void TillgateConfig::setDiscoveryAddress(const QString &address)
{
    setValue(SECTION, DISCOVERY_ADDRESS, address);
}

QStringList TillgateConfig::metricsPeers() const
{
    // QSettings hands a comma-separated value back as a list already.
    const QVariant stored = value(SECTION, METRICS_PEERS);
    const QStringList parts = stored.type() == QVariant::StringList
                                  ? stored.toStringList()
                                  : stored.toString().split(QLatin1Char(','));
    QStringList peers;
    for (const QString &part : parts) {
        if (!part.trimmed().isEmpty())
            peers.append(part.trimmed());
    }
    return peers;
}

QString TillgateConfig::metricsTextfile() const
{
    return value(SECTION, METRICS_TEXTFILE).toString().trimmed();
}

QString TillgateConfig::combineCashierName() const
{
    return value(COMBINE_SECTION, COMBINE_CASHIER_NAME).toString();
}

void TillgateConfig::setCombineCashierName(const QString &name)
{
    setValue(COMBINE_SECTION, COMBINE_CASHIER_NAME, name);
}

QString TillgateConfig::combineCashierInn() const
{
    return value(COMBINE_SECTION, COMBINE_CASHIER_INN).toString();
}

void TillgateConfig::setCombineCashierInn(const QString &inn)
{
    setValue(COMBINE_SECTION, COMBINE_CASHIER_INN, inn);
}

AtolFrConfig TillgateConfig::atolconfig() const
{
    AtolFrConfig config;
    QSettings *store = settings();
    if (!store)
        return config;
    QVariantMap map;
    store->beginGroup(ATOL_SECTION);
    const QStringList keys = store->childKeys();
    for (const QString &key : keys)
        map.insert(key, store->value(key));
    store->endGroup();
    config.setPlainMap(map);
    return config;
}

void TillgateConfig::setAtolConfig(const AtolFrConfig &config)
{
    QSettings *store = settings();
    if (!store)
        return;
    const QVariantMap map = config.toPlainMap();
    const QVariant driverPaths = store->value(ATOL_SECTION + QLatin1Char('/') + ATOL_DRIVER_PATHS);
    // Keys the new configuration leaves out (a cleared password, the serial
    // keys after a switch to TCP) must not survive from the old one.
    store->remove(ATOL_SECTION);
    store->beginGroup(ATOL_SECTION);
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        store->setValue(it.key(), it.value());
    if (driverPaths.isValid())
        store->setValue(ATOL_DRIVER_PATHS, driverPaths);
    store->endGroup();
    store->sync();
}

QStringList TillgateConfig::atolDriverPaths() const
{
    const QVariant listed = value(ATOL_SECTION, ATOL_DRIVER_PATHS);
    // An INI value with commas reads back as a list.
    if (listed.type() == QVariant::StringList)
        return listed.toStringList().join(QLatin1Char(',')).split(QStringLiteral("####"), Qt::SkipEmptyParts);
    if (listed.isValid())
        return listed.toString().split(QStringLiteral("####"), Qt::SkipEmptyParts);
    QStringList paths = PACKAGE_DRIVER_DIRS;
    const QString configured = atolconfig().libDrvPath();
    if (!configured.isEmpty())
        paths.prepend(configured);
    return paths;
}

qint64 TillgateConfig::imagesLimit() const
{
    bool ok = false;
    const qint64 limit = value(SECTION, IMAGES_LIMIT, DEFAULT_IMAGES_LIMIT).toLongLong(&ok);
    return ok && limit >= 0 ? limit : DEFAULT_IMAGES_LIMIT;
}

QString TillgateConfig::tillgateDir() const
{
    return QStringLiteral("%1/tillgate").arg(workDir());
}

QString TillgateConfig::tillgateCacheDir() const
{
    return QStringLiteral("%1/cache").arg(tillgateDir());
}

QString TillgateConfig::tillgateCacheFile() const
{
    return QStringLiteral("%1/tillgate.cache").arg(tillgateCacheDir());
}

QString TillgateConfig::tillgateImages() const
{
    return QStringLiteral("%1/images").arg(tillgateDir());
}
