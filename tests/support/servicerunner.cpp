#include "servicerunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QVariant>

ServiceRunner::ServiceRunner() = default;

QString ServiceRunner::settingsFile() const
{
    return root() + QStringLiteral("/opt/zelvotillgate/etc/tillgate.conf");
}

QString ServiceRunner::listenerFile() const
{
    return root() + QStringLiteral("/opt/zelvotillgate/etc/tillgatelistener.conf");
}

QString ServiceRunner::workDir() const
{
    return root() + QStringLiteral("/var/lib/zelvotillgate");
}

bool ServiceRunner::writeFile(const QString &path, const QByteArray &content)
{
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

bool ServiceRunner::writeSettings(const QByteArray &content)
{
    return writeFile(settingsFile(), content);
}

bool ServiceRunner::writeListenerSettings(const QByteArray &content)
{
    return writeFile(listenerFile(), content);
}

std::unique_ptr<QProcess> ServiceRunner::start(const QStringList &arguments)
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TILLGATE_ROOT"), root());
    process->setProcessEnvironment(env);
    process->setProgram(QStringLiteral(TILLGATE_BIN_DIR "/tillgate"));
    process->setArguments(arguments);
    const QString log = QStringLiteral("%1/service-%2.log").arg(root()).arg(++m_started);
    process->setProperty("logFile", log);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardOutputFile(log);
    process->start();
    return process;
}

bool ServiceRunner::isReady() const
{
    const QString dir = workDir() + QStringLiteral("/tillgate");
    return QFileInfo(dir + QStringLiteral("/cache")).isDir() && QFileInfo(dir + QStringLiteral("/images")).isDir();
}

QByteArray ServiceRunner::output(const QProcess &process)
{
    QFile file(process.property("logFile").toString());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
