#include "httpworker.h"

#include "httplistener.h"
#include "httptestclient.h"

#include <abstractworkerthread.h>
#include <fileconfighelper.h>

#include <QDir>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The worker on its own thread, with the listener settings file laid under a
// temporary file-system root.
class TestHttpWorker : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void servesWithDefaults();
    void readsListenerGroup();
    void restartReplacesListener();
    void startFailsWithoutListening();

private:
    void writeSettings(const QVariantMap &values);
    void startWorker();
    quint16 port() const;

    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<qt5ext::AbstractWorkerThread> m_thread;
    HttpWorker *m_worker = nullptr;
    // Results of the worker's starts, delivered queued on the test's thread.
    QList<bool> m_started;
};

// Whatever the service's handler answers, it is a complete HTTP/1.1 answer.
static bool answered(HttpTestClient &client)
{
    HttpTestClient::Answer answer;
    return client.waitForAnswer(answer) && answer.code >= 200 && answer.code < 600;
}

void TestHttpWorker::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    qt5ext::FileConfigHelper::setFileSystemRoot(m_root->path());
}

void TestHttpWorker::cleanup()
{
    m_thread.reset();
    m_started.clear();
    m_worker = nullptr;
    qt5ext::FileConfigHelper::setFileSystemRoot(QString());
    m_root.reset();
}

void TestHttpWorker::writeSettings(const QVariantMap &values)
{
    const QString path = qt5ext::FileConfigHelper::rootedPath(HttpWorker::LISTENER_SETTINGS_FILE);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(HttpWorker::LISTENER_SECTION);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        settings.setValue(it.key(), it.value());
}

void TestHttpWorker::startWorker()
{
    m_worker = new HttpWorker;
    connect(m_worker, &qt5ext::AbstractWorker::started, this, [this](bool ok) { m_started.append(ok); });
    m_thread = std::make_unique<qt5ext::AbstractWorkerThread>(m_worker);
    m_thread->start(QThread::InheritPriority);
}

// Read after the worker's started signal, once the listener is set up.
quint16 TestHttpWorker::port() const
{
    return m_worker->listener() ? m_worker->listener()->serverPort() : 0;
}

void TestHttpWorker::servesWithDefaults()
{
    startWorker();
    QTRY_COMPARE_WITH_TIMEOUT(m_started, QList<bool>{true}, 5000);
    QVERIFY(port() != 0);
    HttpTestClient client(port());
    client.send("GET /status.json HTTP/1.1\r\n\r\n");
    QVERIFY(answered(client));
    QVERIFY(client.received().isEmpty());
}

void TestHttpWorker::readsListenerGroup()
{
    writeSettings({{"port", 0}, {"maxThreads", 1}, {"readTimeout", 10000}});
    startWorker();
    QTRY_COMPARE_WITH_TIMEOUT(m_started, QList<bool>{true}, 5000);
    HttpTestClient first(port());
    first.send("GET / HTTP/1.1\r\n\r\n");
    QVERIFY(answered(first));
    HttpTestClient second(port());
    QTRY_VERIFY(second.isClosed());
    QCOMPARE(second.received(),
             QByteArray("HTTP/1.1 503 too many connections\r\nConnection: close\r\n\r\nToo many connections\r\n"));
}

void TestHttpWorker::restartReplacesListener()
{
    startWorker();
    QTRY_COMPARE_WITH_TIMEOUT(m_started, QList<bool>{true}, 5000);
    const quint16 before = port();
    HttpTestClient old(before);
    QTRY_VERIFY(old.isConnected());
    m_worker->restart();
    QTRY_COMPARE_WITH_TIMEOUT(m_started, (QList<bool>{true, true}), 5000);
    // The old listener and its connections are gone.
    QTRY_VERIFY(old.isClosed());
    HttpTestClient client(port());
    client.send("GET / HTTP/1.1\r\n\r\n");
    QVERIFY(answered(client));
}

// The service ends on a failed start: the worker must report it.
void TestHttpWorker::startFailsWithoutListening()
{
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
    writeSettings({{"port", taken.serverPort()}, {"host", "127.0.0.1"}});
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("^HttpListener: Cannot bind on port"));
    startWorker();
    QTRY_COMPARE(m_started, QList<bool>{false});
}

QTEST_GUILESS_MAIN(TestHttpWorker)
#include "tst_httpworker.moc"
