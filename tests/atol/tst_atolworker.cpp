#include "atol31apiwrapper.h"
#include "atol31drvworker.h"

#include <cashboxstatus.h>
#include <fileconfighelper.h>
#include <initconfig.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// The ATOL driver worker in this process, on the test's own thread, with
// the driver simulator: a start that finds no driver is tried again on the
// restart timer, and a driver installed later is found without restarting
// the service.
class TestAtolWorker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void driverInstalledLaterIsFound();

private:
    QTemporaryDir m_root;
    QTemporaryDir m_simDir;
    QTemporaryDir m_libDir;
};

void TestAtolWorker::initTestCase()
{
    QVERIFY(m_root.isValid() && m_simDir.isValid() && m_libDir.isValid());
    qputenv("FPTR_SIM_DIR", m_simDir.path().toLocal8Bit());
    qt5ext::FileConfigHelper::setFileSystemRoot(m_root.path());
    qt5ext::InitConfig::setAppWorkDir("zelvotillgate");
    const QString settings = m_root.filePath("opt/zelvotillgate/etc/tillgate.conf");
    QVERIFY(QDir().mkpath(QFileInfo(settings).path()));
    QFile file(settings);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[TILLGATE]\ndeviceType=3\ndiscoveryAddress=127.0.0.1\n"
               "[ATOL]\ntransport=TCP\nhost=127.0.0.1\nport=5555\nlibPath="
               + m_libDir.path().toLocal8Bit() + "\n");
}

void TestAtolWorker::driverInstalledLaterIsFound()
{
    Atol31DrvWorker worker;
    worker.setRestartInterval(50);
    QSignalSpy started(&worker, &qt5ext::AbstractWorker::started);
    worker.start();
    QCOMPARE(started.count(), 1);
    QCOMPARE(started.first().first().toBool(), false);
    // Tried again and again, and without a driver nothing is asked of one.
    QTRY_VERIFY(started.count() >= 3);
    QVERIFY(!started.last().first().toBool());
    QVERIFY(!QFile::exists(m_simDir.filePath("calls.log")));
    QVERIFY(Atol31ApiWrapper::getCurrentStatus().isNull());

    // Installed whole: renamed into place, as a package manager does.
    QVERIFY(QFile::copy(FPTRSIM_DIR "/libfptr.so", m_libDir.filePath("libfptr.so.new")));
    QVERIFY(QFile::rename(m_libDir.filePath("libfptr.so.new"), m_libDir.filePath("libfptr.so")));
    QTRY_VERIFY(started.last().first().toBool());
    const QSharedPointer<core::CashboxStatus> status = Atol31ApiWrapper::getCurrentStatus();
    QVERIFY(status);
    QCOMPARE(status->regData().userInn(), QString("7701234567"));
}

QTEST_GUILESS_MAIN(TestAtolWorker)
#include "tst_atolworker.moc"
