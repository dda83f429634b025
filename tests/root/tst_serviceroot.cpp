#include "httptestclient.h"
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
};

void tst_ServiceRoot::startCreatesDataDirectoriesAndPidFile()
{
    ServiceRunner runner;
    QVERIFY(runner.isValid());
    const QString pidFile = runner.root() + QStringLiteral("/tillgate.pid");

    QProcess *service = runner.start({QStringLiteral("-pid"), pidFile});
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

    QVERIFY(ServiceRunner::stop(*service));
}

void tst_ServiceRoot::secondInstanceIsRefused()
{
    ServiceRunner runner;
    QProcess *first = runner.start();
    const quint16 port = ServiceRunner::waitForPort(*first);
    QVERIFY(port != 0);
    QTRY_VERIFY_WITH_TIMEOUT(runner.isReady(), 10000);

    const QString pidFile = runner.root() + QStringLiteral("/second.pid");
    QProcess *second = runner.start({QStringLiteral("-pid"), pidFile});
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 255);
    QVERIFY(ServiceRunner::output(*second).contains("The service is already running!"));
    // The refused instance writes no PID file and leaves the first alone:
    // it still serves.
    QVERIFY(!QFile::exists(pidFile));
    QCOMPARE(first->state(), QProcess::Running);
    QCOMPARE(HttpTestClient::exchange(port, "GET /robots.txt HTTP/1.1\r\n\r\n").code, 200);

    QVERIFY(ServiceRunner::stop(*first));
}

void tst_ServiceRoot::differentRootsRunSideBySide()
{
    ServiceRunner one, two;
    QProcess *a = one.start();
    QProcess *b = two.start();
    QTRY_VERIFY_WITH_TIMEOUT(one.isReady() && two.isReady(), 10000);
    QCOMPARE(a->state(), QProcess::Running);
    QCOMPARE(b->state(), QProcess::Running);
    QVERIFY(ServiceRunner::stop(*a));
    QVERIFY(ServiceRunner::stop(*b));
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
    QProcess *service = runner.start();
    QTRY_VERIFY_WITH_TIMEOUT(runner.isReady(), 10000);

    QElapsedTimer timer;
    timer.start();
    ::kill(pid_t(service->processId()), signo);
    QVERIFY(service->waitForFinished(10000));
    // Promptly: a stop takes a fraction of a second.
    QVERIFY2(timer.elapsed() < 5000, QByteArray::number(timer.elapsed()));
    QCOMPARE(service->exitStatus(), QProcess::NormalExit);
    QCOMPARE(service->exitCode(), 0);
    // After a clean stop the guard is free again for the next start: the
    // next instance gets as far as listening.
    QProcess *again = runner.start();
    QVERIFY(ServiceRunner::waitForPort(*again) != 0);
    QVERIFY(ServiceRunner::stop(*again));
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
    QVERIFY(runner.writeSettings(content));
    if (unreadable)
        QVERIFY(QFile::setPermissions(runner.settingsFile(), QFileDevice::WriteOwner));

    QProcess *service = runner.start();
    QTRY_VERIFY_WITH_TIMEOUT(runner.isReady(), 10000);
    QCOMPARE(service->state(), QProcess::Running);
    QVERIFY(ServiceRunner::stop(*service));
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
    QProcess *service = runner.start(arguments);
    QTRY_VERIFY_WITH_TIMEOUT(runner.isReady(), 10000);
    QCOMPARE(service->state(), QProcess::Running);
    QVERIFY(!QFile::exists(QStringLiteral("x.pid")));
    QVERIFY(ServiceRunner::stop(*service));
}

QTEST_GUILESS_MAIN(tst_ServiceRoot)
#include "tst_serviceroot.moc"
