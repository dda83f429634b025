#include "simrunner.h"

#include <QFile>
#include <QRegularExpression>

SimRunner::SimRunner()
{
    m_log.open();
}

SimRunner::~SimRunner()
{
    stop();
}

bool SimRunner::start(const QStringList &arguments)
{
    stop();
    m_msgPort = m_queryPort = 0;
    m_process.setProgram(QStringLiteral(TILLGATE_BIN_DIR "/cashbox-sim"));
    m_process.setArguments(arguments);
    m_process.setStandardErrorFile(m_log.fileName());
    m_process.start();
    if (!m_process.waitForStarted(10000))
        return false;
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(15000))
            return false;
    }
    static const QRegularExpression ports(QStringLiteral("^msg=(\\d+) query=(\\d+)$"));
    const QRegularExpressionMatch match = ports.match(QString::fromUtf8(m_process.readLine()).trimmed());
    if (!match.hasMatch())
        return false;
    m_msgPort = quint16(match.captured(1).toUInt());
    m_queryPort = quint16(match.captured(2).toUInt());
    return true;
}

void SimRunner::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QByteArray SimRunner::log() const
{
    QFile file(m_log.fileName());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
