#ifndef SERVICERUNNER_H
#define SERVICERUNNER_H

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

// The real tillgate binary under a temporary installation root: settings
// files are written there and the service keeps its data there, so tests
// run beside each other and beside a real installation. The runner owns
// the instances it starts and stops those still running when it goes.
class ServiceRunner
{
public:
    ServiceRunner();
    ~ServiceRunner();

    bool isValid() const { return m_root.isValid(); }
    QString root() const { return m_root.path(); }
    QString settingsFile() const;
    QString listenerFile() const;
    QString workDir() const;

    // Writes the main settings (INI text as given) with the discovery
    // broadcast kept on loopback: nothing a test does leaves the machine.
    bool writeSettings(const QByteArray &content = QByteArray());
    // Writes the listener settings; port 0 lets the system choose.
    bool writeListenerSettings(const QByteArray &content = "[LISTENER]\nport=0\n");

    // Starts one more instance under this root, with default settings files
    // where none are written yet. Its output goes to a file of its own: a
    // pipe nobody drains while a test blocks on a socket would fill up and
    // stall the service's logging.
    QProcess *start(const QStringList &arguments = {});
    // A variable the instances started from now on get, and not the test
    // (QT_LOGGING_RULES, say, whose debug output the test does not want).
    void setEnvironment(const QString &name, const QString &value) { m_environment.insert(name, value); }
    // The port the instance listens on, read from its log once it says so;
    // 0 when it ends or stays silent until the time is up.
    static quint16 waitForPort(QProcess &instance, int timeoutMs = 30000);
    // Starts an instance and waits until it listens on port().
    bool startListening();
    quint16 port() const { return m_port; }

    // Everything the instance has written to stdout and stderr so far.
    static QByteArray output(const QProcess &instance);
    // The same of the instance started last.
    QByteArray output() const;
    // Whether the instance started last still runs.
    bool isRunning() const;
    // True once the service has created its data directories, which it does
    // after its quit signals are in place.
    bool isReady() const;

    // Ends the instance by SIGTERM; true when it stopped in time with
    // status 0.
    static bool stop(QProcess &instance, int timeoutMs = 10000);
    // Ends every instance still running, killing those that do not stop.
    void stop();

private:
    bool writeFile(const QString &path, const QByteArray &content);

    QTemporaryDir m_root;
    QProcessEnvironment m_environment;
    std::vector<std::unique_ptr<QProcess>> m_instances;
    quint16 m_port = 0;
};

#endif
