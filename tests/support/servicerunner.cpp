#include "servicerunner.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTimer>
#include <QVariant>

ServiceRunner::ServiceRunner() = default;

ServiceRunner::~ServiceRunner()
{
    stop();
}

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
    const QByteArray group = "[TILLGATE]\n";
    const QByteArray discovery = "discoveryAddress=127.0.0.1\n";
    QByteArray text = content;
    const int at = text.indexOf(group);
    if (at >= 0)
        text.insert(at + group.size(), discovery);
    else
        text += '\n' + group + discovery;
    if (!writeFile(settingsFile(), text))
        return false;
    // A running service notices a change by the file's time: make every
    // write a new one, however quickly the writes follow each other.
    static int writes = 0;
    QFile file(settingsFile());
    return file.open(QIODevice::ReadWrite)
        && file.setFileTime(QDateTime::currentDateTime().addSecs(++writes), QFileDevice::FileModificationTime);
}

bool ServiceRunner::writeListenerSettings(const QByteArray &content)
{
    return writeFile(listenerFile(), content);
}

QProcess *ServiceRunner::start(const QStringList &arguments)
{
    if (!QFileInfo::exists(settingsFile()))
        writeSettings();
    if (!QFileInfo::exists(listenerFile()))
        writeListenerSettings();
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TILLGATE_ROOT"), root());
    env.insert(m_environment);
    process->setProcessEnvironment(env);
    process->setProgram(QStringLiteral(TILLGATE_BIN_DIR "/tillgate"));
    process->setArguments(arguments);
    const QString log = QStringLiteral("%1/service-%2.log").arg(root()).arg(m_instances.size() + 1);
    process->setProperty("logFile", log);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardOutputFile(log);
    process->start();
    m_instances.push_back(std::move(process));
    return m_instances.back().get();
}

quint16 ServiceRunner::waitForPort(QProcess &instance, int timeoutMs)
{
    static const QRegularExpression listening(QStringLiteral("HttpListener: Listening on port (\\d+)"));
    const QDeadlineTimer deadline(timeoutMs);
    if (!instance.waitForStarted(timeoutMs))
        return 0;
    QFileSystemWatcher watcher({instance.property("logFile").toString()});
    for (;;) {
        const QRegularExpressionMatch match = listening.match(QString::fromUtf8(output(instance)));
        if (match.hasMatch())
            return quint16(match.captured(1).toUInt());
        if (instance.state() != QProcess::Running || deadline.hasExpired())
            return 0;
        QEventLoop loop;
        QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, &loop, &QEventLoop::quit);
        QObject::connect(&instance, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &loop,
                         &QEventLoop::quit);
        QTimer::singleShot(int(deadline.remainingTime()), &loop, &QEventLoop::quit);
        loop.exec();
    }
}

bool ServiceRunner::startListening()
{
    m_port = waitForPort(*start());
    return m_port != 0;
}

QByteArray ServiceRunner::output(const QProcess &instance)
{
    QFile file(instance.property("logFile").toString());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray ServiceRunner::output() const
{
    return m_instances.empty() ? QByteArray() : output(*m_instances.back());
}

bool ServiceRunner::isRunning() const
{
    return !m_instances.empty() && m_instances.back()->state() == QProcess::Running;
}

bool ServiceRunner::isReady() const
{
    const QString dir = workDir() + QStringLiteral("/tillgate");
    return QFileInfo(dir + QStringLiteral("/cache")).isDir() && QFileInfo(dir + QStringLiteral("/images")).isDir();
}

bool ServiceRunner::stop(QProcess &instance, int timeoutMs)
{
    if (instance.state() != QProcess::Running)
        return false;
    instance.terminate();
    return instance.waitForFinished(timeoutMs) && instance.exitStatus() == QProcess::NormalExit
        && instance.exitCode() == 0;
}

void ServiceRunner::stop()
{
    for (const auto &instance : m_instances) {
        if (instance->state() != QProcess::NotRunning && !stop(*instance)) {
            instance->kill();
            instance->waitForFinished(5000);
        }
    }
    m_port = 0;
}
