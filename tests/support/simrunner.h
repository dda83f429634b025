#ifndef SIMRUNNER_H
#define SIMRUNNER_H

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryFile>

// The cashbox simulator as a child process. It names its bus ports on the
// first line it prints; what it logs goes to a file, where a pipe nobody
// drains could not stall it.
class SimRunner
{
public:
    SimRunner();
    ~SimRunner();

    // Starts the simulator with these options (a running one is stopped
    // first) and reads its ports; false when it ends or says nothing first.
    bool start(const QStringList &arguments = {});
    void stop();

    quint16 msgPort() const { return m_msgPort; }
    quint16 queryPort() const { return m_queryPort; }
    // Everything the simulator has logged since it was last started.
    QByteArray log() const;
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
    QTemporaryFile m_log;
    quint16 m_msgPort = 0;
    quint16 m_queryPort = 0;
};

#endif
