#include "cachetestsupport.h"
#include "tillgatecashedbinitializer.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <unistd.h>

namespace {

const char *const HELPER = TILLGATE_BIN_DIR "/cachehelper";
const int NOBODY = 65534;

}

class tst_CacheProcess : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void storedDataSurvivesSigkill_data();
    void storedDataSurvivesSigkill();
    void startUpCheckUnderOtherUser_data();
    void startUpCheckUnderOtherUser();

private:
    // Reads the helper's lines until one equals expected.
    static bool waitForLine(QProcess &process, const QString &expected);
    void startAsOtherUser(QProcess &process, const QStringList &args);

    CacheRoot m_root;
};

void tst_CacheProcess::initTestCase()
{
    QVERIFY(m_root.isValid());
    QVERIFY(QFileInfo(HELPER).isExecutable());
}

void tst_CacheProcess::init()
{
    m_root.wipe();
}

bool tst_CacheProcess::waitForLine(QProcess &process, const QString &expected)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 30000) {
        while (process.canReadLine()) {
            if (QString::fromUtf8(process.readLine()).trimmed() == expected)
                return true;
        }
        if (process.state() != QProcess::Running)
            return false;
        process.waitForReadyRead(1000);
    }
    return false;
}

void tst_CacheProcess::storedDataSurvivesSigkill_data()
{
    QTest::addColumn<int>("killAfter");

    QTest::newRow("first session") << 0;
    QTest::newRow("thirtieth session") << 29;
    QTest::newRow("all 95 sessions") << 94;
}

void tst_CacheProcess::storedDataSurvivesSigkill()
{
    QFETCH(int, killAfter);

    // 95 sessions stay below the rows that garbage collection keeps, so a
    // missing row can only have been lost.
    QProcess helper;
    helper.start(HELPER, {m_root.path(), QStringLiteral("store"), QStringLiteral("95")});
    QVERIFY(helper.waitForStarted());
    QVERIFY(waitForLine(helper, QStringLiteral("stored %1").arg(killAfter)));
    helper.kill();
    QVERIFY(helper.waitForFinished());
    QCOMPARE(helper.exitStatus(), QProcess::CrashExit);
    // The killed process never closed the database: what it committed is
    // still in the write-ahead log.
    QVERIFY(QFile::exists(m_root.cacheFile() + "-wal"));

    TillgateCashe cache;
    for (int i = 0; i <= killAfter; ++i) {
        const QString id = QStringLiteral("crash-%1").arg(i);
        QVariantMap data;
        QVERIFY2(cache.getOutgoingCheckData(id, data), qPrintable(id));
        QCOMPARE(data, (QVariantMap{{"answer", id}, {"n", i}}));
    }
    QVERIFY(TillgateCasheDbInitializer::initializeDatabase());
    QVariantMap data;
    QVERIFY(TillgateCashe().getOutgoingCheckData(QStringLiteral("crash-%1").arg(killAfter), data));
}

void tst_CacheProcess::startAsOtherUser(QProcess &process, const QStringList &args)
{
    // Permissions do not hold back root, so as root the helper runs as
    // nobody; the directories on the way must let it through.
    if (geteuid() != 0) {
        process.start(HELPER, args);
        return;
    }
    QString dir = m_root.cacheDir();
    while (dir.size() >= m_root.path().size()) {
        QFile::setPermissions(dir, QFile::permissions(dir) | QFile::ExeOther | QFile::ReadOther);
        dir = QFileInfo(dir).path();
    }
    process.start(QStringLiteral("setpriv"),
                  QStringList{QStringLiteral("--reuid=%1").arg(NOBODY), QStringLiteral("--regid=%1").arg(NOBODY),
                              QStringLiteral("--clear-groups"), QString::fromLatin1(HELPER)} + args);
}

void tst_CacheProcess::startUpCheckUnderOtherUser_data()
{
    QTest::addColumn<bool>("writableDir");
    QTest::addColumn<bool>("garbage");
    QTest::addColumn<bool>("initialized");

    QTest::newRow("read-only file, writable directory: replaced") << true << false << true;
    QTest::newRow("read-only file, read-only directory: reported") << false << false << false;
    QTest::newRow("garbage, read-only directory: reported") << false << true << false;
}

void tst_CacheProcess::startUpCheckUnderOtherUser()
{
    QFETCH(bool, writableDir);
    QFETCH(bool, garbage);
    QFETCH(bool, initialized);

    if (geteuid() == 0 && QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("running as root without setpriv to drop privileges");

    const QString file = m_root.cacheFile();
    QVERIFY(TillgateCasheDbInitializer::initializeDatabase());
    QVERIFY(TillgateCashe().storeIncomingCheckData(QStringLiteral("old"), {{"a", 1}}));
    m_root.releaseConnection();
    if (garbage) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("not a database at all");
    }
    const QFile::Permissions readOnlyFile = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
    const QFile::Permissions readOnlyDir = readOnlyFile | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(file, readOnlyFile));
    QVERIFY(QFile::setPermissions(m_root.cacheDir(),
                                  writableDir ? readOnlyDir | QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther
                                              : readOnlyDir));
    QProcess helper;
    helper.setProcessChannelMode(QProcess::SeparateChannels);
    startAsOtherUser(helper, {m_root.path(), QStringLiteral("init")});
    QVERIFY(helper.waitForFinished(30000));
    QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
    const QByteArray errors = helper.readAllStandardError();
    QCOMPARE(helper.exitCode(), initialized ? 0 : 1);
    QVERIFY2(initialized || errors.contains("Cannot remove the cache file"), errors.constData());

    QVERIFY(QFile::setPermissions(m_root.cacheDir(), readOnlyDir | QFile::WriteOwner));
    QVERIFY(QFile::exists(file));
    if (initialized) {
        QVERIFY(QFileInfo(file).isWritable());
        QCOMPARE(sqlColumn("select count(*) from checksCache"), QStringList{"0"});
    } else {
        QCOMPARE(QFileInfo(file).permissions() & QFile::WriteOwner, QFile::Permissions());
    }
    QFile::setPermissions(file, readOnlyFile | QFile::WriteOwner);
}

QTEST_GUILESS_MAIN(tst_CacheProcess)
#include "tst_cacheprocess.moc"
