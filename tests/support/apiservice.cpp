#include "apiservice.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcessEnvironment>
#include <QSet>
#include <QTcpSocket>

ApiService::ApiService() = default;

ApiService::~ApiService()
{
    stop();
}

bool ApiService::writeFile(const QString &path, const QByteArray &content)
{
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

bool ApiService::writeSettings(const QByteArray &content)
{
    const QString path = root() + "/opt/zelvotillgate/etc/tillgate.conf";
    if (!writeFile(path, content))
        return false;
    // The service notices a change by the file's time: make every write a
    // new one, however quickly the writes follow each other.
    static int writes = 0;
    QFile file(path);
    return file.open(QIODevice::ReadWrite)
        && file.setFileTime(QDateTime::currentDateTime().addSecs(++writes), QFileDevice::FileModificationTime);
}

bool ApiService::start()
{
    if (!writeFile(root() + "/opt/zelvotillgate/etc/tillgatelistener.conf",
                   "[LISTENER]\nport=0\nminThreads=1\nmaxThreads=10\nreadTimeout=5000\n"))
        return false;
    m_process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TILLGATE_ROOT", root());
    m_process->setProcessEnvironment(env);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    // Into a file, not a pipe: while a test blocks on a socket nobody drains
    // the pipe, and a full pipe stalls the service in its logging.
    m_process->setStandardOutputFile(root() + "/service.log");
    m_process->start(QStringLiteral(TILLGATE_BIN_DIR "/tillgate"), QStringList());
    if (!m_process->waitForStarted(10000))
        return false;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 20000 && m_process->state() == QProcess::Running) {
        m_port = listeningPort();
        if (m_port != 0)
            return true;
        m_process->waitForFinished(20);
    }
    return false;
}

void ApiService::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(10000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
    m_process.reset();
    m_port = 0;
}

QByteArray ApiService::output() const
{
    QFile log(root() + "/service.log");
    return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
}

quint16 ApiService::listeningPort() const
{
    const QString fdDir = QStringLiteral("/proc/%1/fd").arg(m_process->processId());
    QSet<QByteArray> inodes;
    const QStringList entries = QDir(fdDir).entryList(QDir::System | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        const QString target = QFileInfo(fdDir + "/" + entry).symLinkTarget();
        const QString name = QFileInfo(target).fileName();
        if (name.startsWith("socket:["))
            inodes.insert(name.mid(8, name.size() - 9).toLatin1());
    }
    for (const char *table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        QFile file(QString::fromLatin1(table));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        // Columns: sl local_address rem_address st ... inode.
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (int i = 1; i < lines.size(); ++i) {
            const QList<QByteArray> columns = lines.at(i).simplified().split(' ');
            if (columns.size() < 10 || columns.at(3) != "0A" || !inodes.contains(columns.at(9)))
                continue;
            const QByteArray local = columns.at(1);
            return quint16(local.mid(local.indexOf(':') + 1).toUInt(nullptr, 16));
        }
    }
    return 0;
}

bool ApiService::parseAnswer(Answer &answer)
{
    const int headerEnd = answer.raw.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return false;
    const QList<QByteArray> lines = answer.raw.left(headerEnd).split('\n');
    // The reason phrase keeps its blanks: only the line end goes.
    answer.statusLine = lines.first();
    answer.statusLine.chop(1);
    answer.headers.clear();
    for (int i = 1; i < lines.size(); ++i) {
        const int colon = lines.at(i).indexOf(':');
        answer.headers.insert(lines.at(i).left(colon), lines.at(i).mid(colon + 1).trimmed());
    }
    const qint64 length = answer.headers.value("Content-Length", "-1").toLongLong();
    if (length < 0 || answer.raw.size() < headerEnd + 4 + length)
        return false;
    answer.body = answer.raw.mid(headerEnd + 4, int(length));
    return true;
}

ApiService::Answer ApiService::exchange(const QByteArray &request, int timeoutMs) const
{
    Answer answer;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_port);
    if (!socket.waitForConnected(5000))
        return answer;
    socket.write(request);
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (!socket.bytesAvailable() && !socket.waitForReadyRead(100)
            && socket.state() != QAbstractSocket::ConnectedState)
            break;
        answer.raw += socket.readAll();
        if (parseAnswer(answer))
            break;
    }
    return answer;
}
