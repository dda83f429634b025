#include "servicerunner.h"

#include <QtTest>

#include <csignal>

// The whole process: data directories, PID file, the single-instance guard
// and an orderly stop on the quit signals.
class tst_ServiceRoot : public QObject
{
    Q_OBJECT
private slots:
    void startCreatesDataDirectoriesAndPidFile();
    void secondInstanceIsRefused();
    void differentRootsRunSideBySide();
    void quitSignalsStopCleanly_data();
    void quitSignalsStopCleanly();
    void brokenSettingsStillStart_data();
    void brokenSettingsStillStart();
    void unusablePidArgument_data();
    void unusablePidArgument();

private:
    static bool stopService(QProcess &process);
};

bool tst_ServiceRoot::stopService(QProcess &process)
{
    if (process.state() != QProcess::Running)
        return false;
    ::kill(pid_t(process.processId()), SIGTERM);
    return process.waitForFinished(2000) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
}

void tst_ServiceRoot::startCreatesDataDirectoriesAndPidFile()
{
    ServiceRunner runner;
    QVERIFY(runner.isValid());
    QVERIFY(runner.writeListenerSettings());
    const QString pidFile = runner.root() + QStringLiteral("/tillgate.pid");

    auto service = runner.start({QStringLiteral("-pid"), pidFile});
    QVERIFY(service->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(runner.isReady(), 10000);

    const QString dir = runner.workDir() + QStringLiteral("/tillgate");
    for (const QString &sub : {QString(), QStringLiteral("/cache"), QStringLiteral("/images")})
        QVERIFY2(QFileInfo(dir + sub).isDir(), qPrintable(dir + sub));
    // The check cache is created at start, before any request can need it.
    QTRY_VERIFY(QFileInfo(dir + QStringLiteral("/cache/tillgate.cache")).size() > 0);

    QFile pid(pidFile);
    QVERIFY(pid.open(QIODevice::ReadOnly));
    QCOMPARE(pid.readAll(), QByteArray::number(service->processId()) + '\n');

    QVERIFY(stopService(*service));
}

void tst_ServiceRoot::secondInstanceIsRefused()
{
    ServiceRunner runner;
    QVERIFY(runner.writeListenerSettings());
    auto first = runner.start();
    QVERIFY(first->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(runner.isReady(), 10000);

    const QString pidFile = runner.root() + QStringLiteral("/second.pid");
    auto second = runner.start({QStringLiteral("-pid"), pidFile});
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 255);
    QVERIFY(ServiceRunner::output(*second).contains("The service is already running!"));
    // The refused instance writes no PID file and leaves the first alone.
    QVERIFY(!QFile::exists(pidFile));
    QCOMPARE(first->state(), QProcess::Running);
    QVERIFY(!first->waitForFinished(300));

    QVERIFY(stopService(*first));
}

void tst_ServiceRoot::differentRootsRunSideBySide()
{
    ServiceRunner one, two;
    QVERIFY(one.writeListenerSettings());
    QVERIFY(two.writeListenerSettings());
    auto a = one.start();
    auto b = two.start();
    QTRY_VERIFY_WITH_TIMEOUT(one.isReady() && two.isReady(), 10000);
    QCOMPARE(a->state(), QProcess::Running);
    QCOMPARE(b->state(), QProcess::Running);
    QVERIFY(stopService(*a));
    QVERIFY(stopService(*b));
}

void tst_ServiceRoot::quitSignalsStopCleanly_data()
{
    QTest::addColumn<int>("signo");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void tst_ServiceRoot::quitSignalsStopCleanly()
{
    QFETCH(int, signo);
    ServiceRunner runner;
    QVERIFY(runner.writeListenerSettings());
    auto service = runner.start();
    QTRY_VERIFY_WITH_TIMEOUT(runner.isReady(), 10000);

    QElapsedTimer timer;
    timer.start();
    ::kill(pid_t(service->processId()), signo);
    QVERIFY(service->waitForFinished(2000));
    QVERIFY(timer.elapsed() < 2000);
    QCOMPARE(service->exitStatus(), QProcess::NormalExit);
    QCOMPARE(service->exitCode(), 0);
    // After a clean stop the guard is free again for the next start.
    auto again = runner.start();
    QVERIFY(again->waitForStarted());
    QVERIFY(!again->waitForFinished(1000));
    QVERIFY(stopService(*again));
}

void tst_ServiceRoot::brokenSettingsStillStart_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("unreadable");
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("not INI") << QByteArray("\x00\x01\xff{\"json\": true}\n[[[\n", 20) << false;
    QTest::newRow("unreadable") << QByteArray("[TILLGATE]\ndeviceType=0\n") << true;
    QTest::newRow("device type out of range") << QByteArray("[TILLGATE]\ndeviceType=77\n") << false;
}

void tst_ServiceRoot::brokenSettingsStillStart()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, unreadable);
    if (unreadable && ::geteuid() == 0)
        QSKIP("root reads every file");
    ServiceRunner runner;
    QVERIFY(runner.writeListenerSettings());
    QVERIFY(runner.writeSettings(content));
    if (unreadable)
        QVERIFY(QFile::setPermissions(runner.settingsFile(), QFileDevice::WriteOwner));

    auto service = runner.start();
    QTRY_VERIFY_WITH_TIMEOUT(runner.isReady(), 10000);
    QCOMPARE(service->state(), QProcess::Running);
    QVERIFY(stopService(*service));
}

void tst_ServiceRoot::unusablePidArgument_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("pid last") << QStringList{QStringLiteral("-pid")};
    QTest::newRow("unwritable path") << QStringList{QStringLiteral("-pid"), QStringLiteral("/nonexistent/dir/x.pid")};
    QTest::newRow("wrong case") << QStringList{QStringLiteral("-PID"), QStringLiteral("x.pid")};
}

void tst_ServiceRoot::unusablePidArgument()
{
    QFETCH(QStringList, arguments);
    ServiceRunner runner;
    QVERIFY(runner.writeListenerSettings());
    auto service = runner.start(arguments);
    QTRY_VERIFY_WITH_TIMEOUT(runner.isReady(), 10000);
    QCOMPARE(service->state(), QProcess::Running);
    QVERIFY(!QFile::exists(QStringLiteral("x.pid")));
    QVERIFY(stopService(*service));
}

QTEST_GUILESS_MAIN(tst_ServiceRoot)
#include "tst_serviceroot.moc"
