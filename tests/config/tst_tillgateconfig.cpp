#include "tillgateconfig.h"

#include <QAtomicInt>
#include <QSaveFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>
#include <vector>

class tst_TillgateConfig : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void defaults();
    void origins_data();
    void origins();
    void allowedHosts();
    void numbers_data();
    void numbers();
    void brokenFile_data();
    void brokenFile();
    void writesAreSeenByNextReader();
    void outsideEditsSeenByNextReader_data();
    void outsideEditsSeenByNextReader();
    void writerSeesItsOwnWrites();
    void readersBesideAWriter();
    void directoriesCreated();
    void atolGroup();

private:
    void writeSettings(const QByteArray &content);
    QString settingsPath() const;

    QTemporaryDir m_root;
};

void tst_TillgateConfig::initTestCase()
{
    QVERIFY(m_root.isValid());
    qt5ext::FileConfigHelper::setFileSystemRoot(m_root.path());
    qt5ext::InitConfig::setAppWorkDir("zelvotillgate");
    QVERIFY(QDir().mkpath(QFileInfo(settingsPath()).path()));
}

void tst_TillgateConfig::init()
{
    QFile::remove(settingsPath());
}

QString tst_TillgateConfig::settingsPath() const
{
    return m_root.path() + "/opt/zelvotillgate/etc/tillgate.conf";
}

void tst_TillgateConfig::writeSettings(const QByteArray &content)
{
    QFile file(settingsPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

void tst_TillgateConfig::defaults()
{
    const TillgateConfig config;
    QCOMPARE(config.rootedSettingsFileName(), settingsPath());
    QCOMPARE(config.allowedOrigins(), QStringList{"*"});
    QCOMPARE(config.allowedHosts(), QStringList());
    QCOMPARE(config.currentDevice(), TillgateConfig::DeviceNone);
    QCOMPARE(config.appBusHost(), QString("localhost"));
    QCOMPARE(config.busMsgPort(), quint16(0));
    QCOMPARE(config.busQueryPort(), quint16(0));
    QCOMPARE(config.discoveryAddress(), QString("255.255.255.255"));
    QCOMPARE(config.combineCashierName(), QString());
    QVERIFY(config.atolconfig() == AtolFrConfig());
    QCOMPARE(config.tillgateCacheFile(),
             m_root.path() + "/var/lib/zelvotillgate/tillgate/cache/tillgate.cache");
}

void tst_TillgateConfig::origins_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("empty value") << QByteArray("origins=") << QStringList();
    QTest::newRow("one") << QByteArray("origins=http://pos.local") << QStringList{"http://pos.local"};
    QTest::newRow("two") << QByteArray("origins=http://a####http://b") << QStringList{"http://a", "http://b"};
    QTest::newRow("trailing separator")
            << QByteArray("origins=http://a####") << QStringList{"http://a", ""};
    QTest::newRow("separator is case-sensitive text")
            << QByteArray("origins=a###b") << QStringList{"a###b"};
}

void tst_TillgateConfig::origins()
{
    QFETCH(QByteArray, stored);
    writeSettings("[TILLGATE]\n" + stored + "\n");
    QTEST(TillgateConfig().allowedOrigins(), "expected");
}

void tst_TillgateConfig::allowedHosts()
{
    // Unlike origins, an empty name means nothing and is dropped.
    writeSettings("[TILLGATE]\nallowedHosts=till-3.shop.lan########pos.lan####\n");
    QCOMPARE(TillgateConfig().allowedHosts(), (QStringList{"till-3.shop.lan", "pos.lan"}));
}

void tst_TillgateConfig::numbers_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("device");
    QTest::addColumn<int>("msgPort");
    QTest::addColumn<int>("queryPort");
    QTest::newRow("ostrak") << QByteArray("deviceType=1\nbusMsgPort=5000\nbusQueryPort=5001")
                            << 1 << 5000 << 5001;
    QTest::newRow("port above 65535 keeps its low bits")
            << QByteArray("busMsgPort=65537\nbusQueryPort=131071") << 0 << 1 << 65535;
    QTest::newRow("not numbers") << QByteArray("deviceType=atol\nbusMsgPort=x\nbusQueryPort=-")
                                 << 0 << 0 << 0;
}

void tst_TillgateConfig::numbers()
{
    QFETCH(QByteArray, stored);
    writeSettings("[TILLGATE]\n" + stored + "\n");
    const TillgateConfig config;
    QTEST(int(config.currentDevice()), "device");
    QTEST(int(config.busMsgPort()), "msgPort");
    QTEST(int(config.busQueryPort()), "queryPort");
}

void tst_TillgateConfig::brokenFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("binary") << QByteArray("\x00\x01\xff\xfe[[[\x00=\n", 11);
    QTest::newRow("not ini") << QByteArray("{\"TILLGATE\": {\"deviceType\": 3}}");
}

void tst_TillgateConfig::brokenFile()
{
    QFETCH(QByteArray, content);
    writeSettings(content);
    const TillgateConfig config;
    QCOMPARE(config.currentDevice(), TillgateConfig::DeviceNone);
    QCOMPARE(config.allowedOrigins(), QStringList{"*"});
    QCOMPARE(config.appBusHost(), QString("localhost"));
}

void tst_TillgateConfig::writesAreSeenByNextReader()
{
    {
        TillgateConfig config;
        config.setCurrentDevice(TillgateConfig::DeviceAtol);
        config.setAppBusHost("bus.local");
        config.setBusMsgPort(6000);
        config.setBusQueryPort(6001);
        config.setDiscoveryAddress("127.0.0.1");
        config.setCombineCashierName(QString::fromUtf8("Кассир"));
        config.setCombineCashierInn("123456789012");
    }
    const TillgateConfig config;
    QCOMPARE(config.currentDevice(), TillgateConfig::DeviceAtol);
    QCOMPARE(config.appBusHost(), QString("bus.local"));
    QCOMPARE(config.busMsgPort(), quint16(6000));
    QCOMPARE(config.busQueryPort(), quint16(6001));
    QCOMPARE(config.discoveryAddress(), QString("127.0.0.1"));
    QCOMPARE(config.combineCashierName(), QString::fromUtf8("Кассир"));
    QCOMPARE(config.combineCashierInn(), QString("123456789012"));
}

void tst_TillgateConfig::outsideEditsSeenByNextReader_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("rewritten in place") << "in place";
    QTest::newRow("replaced by another file") << "rename";
    QTest::newRow("removed") << "remove";
    QTest::newRow("created") << "create";
}

void tst_TillgateConfig::outsideEditsSeenByNextReader()
{
    QFETCH(QString, how);
    const QByteArray before = "[TILLGATE]\ndeviceType=1\norigins=http://a\n";
    const QByteArray after = "[TILLGATE]\ndeviceType=3\norigins=http://bb####http://c\n";
    if (how != "create")
        writeSettings(before);
    {
        const TillgateConfig config;
        QCOMPARE(config.currentDevice(), how == "create" ? TillgateConfig::DeviceNone : TillgateConfig::DeviceOstrak);
    }

    if (how == "in place") {
        writeSettings(after);
    } else if (how == "rename") {
        const QString other = settingsPath() + ".new";
        QFile file(other);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(after), qint64(after.size()));
        file.close();
        QVERIFY(::rename(QFile::encodeName(other).constData(), QFile::encodeName(settingsPath()).constData()) == 0);
    } else if (how == "remove") {
        QVERIFY(QFile::remove(settingsPath()));
    } else {
        writeSettings(after);
    }

    const TillgateConfig config;
    if (how == "remove") {
        QCOMPARE(config.currentDevice(), TillgateConfig::DeviceNone);
        QCOMPARE(config.allowedOrigins(), QStringList{"*"});
    } else {
        QCOMPARE(config.currentDevice(), TillgateConfig::DeviceAtol);
        QCOMPARE(config.allowedOrigins(), (QStringList{"http://bb", "http://c"}));
    }
}

void tst_TillgateConfig::writerSeesItsOwnWrites()
{
    writeSettings("[TILLGATE]\ndeviceType=1\n");
    TillgateConfig writer;
    const TillgateConfig reader;
    QCOMPARE(writer.currentDevice(), TillgateConfig::DeviceOstrak);
    writer.setCurrentDevice(TillgateConfig::DeviceCombine);
    QCOMPARE(writer.currentDevice(), TillgateConfig::DeviceCombine);
    QVERIFY(writer.atolconfig() == AtolFrConfig());
    writer.setAppBusHost("after.local");
    QCOMPARE(writer.appBusHost(), QString("after.local"));
    // One made before the write keeps what it read; one made after sees it.
    QCOMPARE(reader.currentDevice(), TillgateConfig::DeviceOstrak);
    QCOMPARE(TillgateConfig().currentDevice(), TillgateConfig::DeviceCombine);
    QCOMPARE(TillgateConfig().appBusHost(), QString("after.local"));
}

void tst_TillgateConfig::readersBesideAWriter()
{
    // Request threads read the settings while the service or an
    // administrator rewrites them: every read gives one whole version.
    const QByteArray first = "[TILLGATE]\ndeviceType=1\norigins=http://first\n";
    const QByteArray second = "[TILLGATE]\ndeviceType=2\norigins=http://second.example####http://x\n";
    writeSettings(first);
    QAtomicInt stop(0);
    QAtomicInt reads(0);
    QAtomicInt torn(0);
    std::vector<std::unique_ptr<QThread>> readers;
    for (int i = 0; i < 4; ++i) {
        readers.emplace_back(QThread::create([&] {
            while (!stop.loadAcquire()) {
                const TillgateConfig config;
                const TillgateConfig::DeviceType device = config.currentDevice();
                const QStringList origins = config.allowedOrigins();
                const bool whole = (device == TillgateConfig::DeviceOstrak && origins == QStringList{"http://first"})
                    || (device == TillgateConfig::DeviceCombine
                        && origins == QStringList{"http://second.example", "http://x"});
                // Two reads of one object come from one version; the
                // writer below never leaves the file half written.
                if (!whole)
                    torn.ref();
                reads.ref();
            }
        }));
        readers.back()->start();
    }
    for (int round = 0; round < 200; ++round) {
        QSaveFile file(settingsPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(round % 2 ? first : second);
        QVERIFY(file.commit());
    }
    QTRY_VERIFY(reads.loadAcquire() > 400);
    stop.storeRelease(1);
    for (auto &reader : readers)
        QVERIFY(reader->wait(10000));
    QCOMPARE(torn.loadAcquire(), 0);
}

void tst_TillgateConfig::directoriesCreated()
{
    // The first settings read under an installation root makes the data
    // directories there.
    QTemporaryDir fresh;
    QVERIFY(fresh.isValid());
    qt5ext::FileConfigHelper::setFileSystemRoot(fresh.path());
    const auto restoreRoot = qScopeGuard([this] { qt5ext::FileConfigHelper::setFileSystemRoot(m_root.path()); });
    const TillgateConfig config;
    QVERIFY(QFileInfo(config.tillgateDir()).isDir());
    QVERIFY(QFileInfo(config.tillgateCacheDir()).isDir());
    QVERIFY(QFileInfo(config.tillgateImages()).isDir());
    QCOMPARE(config.tillgateImages(), fresh.path() + "/var/lib/zelvotillgate/tillgate/images");
}

void tst_TillgateConfig::atolGroup()
{
    AtolFrConfig serial;
    serial.setPlainMap({{"transport", "RS232"}, {"portName", "/dev/ttyS0"}, {"conPas", "30"}});
    TillgateConfig().setAtolConfig(serial);
    QVERIFY(TillgateConfig().atolconfig() == serial);

    // A later configuration replaces the group: no serial key or password
    // of the earlier one is read back with it.
    AtolFrConfig tcp;
    tcp.setPlainMap({{"transport", "TCP"}, {"host", "192.0.2.1"}, {"port", 5555}});
    TillgateConfig().setAtolConfig(tcp);
    const AtolFrConfig stored = TillgateConfig().atolconfig();
    QVERIFY(stored == tcp);
    QCOMPARE(stored.frConnectionPassword(), QString());
    QSettings raw(settingsPath(), QSettings::IniFormat);
    raw.beginGroup("ATOL");
    QCOMPARE(raw.childKeys(), (QStringList{"host", "port", "transport"}));
}

QTEST_GUILESS_MAIN(tst_TillgateConfig)
#include "tst_tillgateconfig.moc"
