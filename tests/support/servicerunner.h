#ifndef SERVICERUNNER_H
#define SERVICERUNNER_H

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// The real tillgate binary under a temporary installation root: settings
// files are written there and the service keeps its data there, so tests
// run beside each other and beside a real installation.
class ServiceRunner
{
public:
    ServiceRunner();

    bool isValid() const { return m_root.isValid(); }
    QString root() const { return m_root.path(); }
    QString settingsFile() const;
    QString listenerFile() const;
    QString workDir() const;

    // Writes the main settings file (INI text as given).
    bool writeSettings(const QByteArray &content);
    // Writes the listener settings; port 0 lets the system choose.
    bool writeListenerSettings(const QByteArray &content = "[LISTENER]\nport=0\n");

    // Starts one more instance of the service under this root. Its output
    // goes to a file of its own: a pipe nobody drains while a test blocks
    // on a socket would fill up and stall the service's logging.
    std::unique_ptr<QProcess> start(const QStringList &arguments = {});
    // Everything the instance has written to stdout and stderr so far.
    static QByteArray output(const QProcess &process);
    // True once the service has created its data directories, which it does
    // after its quit signals are in place.
    bool isReady() const;

private:
    bool writeFile(const QString &path, const QByteArray &content);

    QTemporaryDir m_root;
    int m_started = 0;
};

#endif
