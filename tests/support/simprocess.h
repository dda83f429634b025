#ifndef SIMPROCESS_H
#define SIMPROCESS_H

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

// The cashbox simulator as a child process.
class SimProcess
{
public:
    ~SimProcess() { stop(); }

    bool start(const QStringList &arguments)
    {
        m_process.setProgram(QStringLiteral(TILLGATE_BIN_DIR "/cashbox-sim"));
        m_process.setArguments(arguments);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return false;
        // The first line names the ports.
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(5000))
                return false;
        }
        const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^msg=(\\d+) query=(\\d+)$")).match(line);
        if (!match.hasMatch())
            return false;
        msgPort = quint16(match.captured(1).toUInt());
        queryPort = quint16(match.captured(2).toUInt());
        return true;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    quint16 msgPort = 0;
    quint16 queryPort = 0;

private:
    QProcess m_process;
};

#endif
