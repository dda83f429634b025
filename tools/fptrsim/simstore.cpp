#include "simstore.h"

#include "registerstate.h"
#include "simlog.h"

#include <strictjson.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QString STATE_FILE = QStringLiteral("state.json");
const QString LOCK_FILE = QStringLiteral("state.lock");
const QString TAPE_FILE = QStringLiteral("tape.txt");
const QString CALLS_FILE = QStringLiteral("calls.log");
const QString TIMING_FILE = QStringLiteral("timing.log");
const QString FAULTS_FILE = QStringLiteral("faults");

} // namespace

QString SimStore::defaultDirectory()
{
    const QString configured = qEnvironmentVariable("FPTR_SIM_DIR");
    if (!configured.isEmpty())
        return configured;
    return QDir(QDir::tempPath()).filePath(QStringLiteral("fptrsim-%1").arg(getuid()));
}

SimStore::SimStore(const QString &directory)
    : m_directory(directory)
{
}

QString SimStore::statePath() const
{
    return QDir(m_directory).filePath(STATE_FILE);
}

bool SimStore::ensureDirectory() const
{
    if (QDir().mkpath(m_directory))
        return true;
    qCCritical(lcFptrSim, "cannot create the state directory %s", qUtf8Printable(m_directory));
    return false;
}

SimStore::Lock::Lock(const SimStore &store)
{
    if (!store.ensureDirectory()) {
        m_error = QStringLiteral("cannot create %1").arg(store.m_directory);
        return;
    }
    const QByteArray path = QFile::encodeName(QDir(store.m_directory).filePath(LOCK_FILE));
    m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        m_error = QStringLiteral("cannot open %1: %2")
                      .arg(QFile::decodeName(path), QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    int rc;
    do {
        rc = ::flock(m_fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        m_error = QStringLiteral("cannot lock %1: %2")
                      .arg(QFile::decodeName(path), QString::fromLocal8Bit(std::strerror(errno)));
        ::close(m_fd);
        m_fd = -1;
    }
}

SimStore::Lock::~Lock()
{
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
    }
}

bool SimStore::load(RegisterState &state, bool &created, QString &error) const
{
    created = false;
    QFile file(statePath());
    if (!file.exists()) {
        state = RegisterState();
        created = true;
        return true;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    QJsonDocument json;
    QString parseError;
    int offset = 0;
    if (!qt5ext::StrictJson::parse(file.readAll(), json, parseError, &offset) || !json.isObject()) {
        error = QStringLiteral("%1 is not a JSON object: %2 at offset %3")
                    .arg(file.fileName(), parseError.isEmpty() ? QStringLiteral("no object") : parseError)
                    .arg(offset);
        return false;
    }
    if (!RegisterState::fromJson(json.object(), state, error)) {
        error = QStringLiteral("%1: %2").arg(file.fileName(), error);
        return false;
    }
    return true;
}

bool SimStore::save(const RegisterState &state, QString &error) const
{
    if (!ensureDirectory()) {
        error = QStringLiteral("cannot create %1").arg(m_directory);
        return false;
    }
    QSaveFile file(statePath());
    if (!file.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    file.write(QJsonDocument(state.toJson()).toJson(QJsonDocument::Indented));
    if (!file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    return true;
}

void SimStore::append(const QString &name, const QByteArray &bytes) const
{
    if (!ensureDirectory())
        return;
    QFile file(QDir(m_directory).filePath(name));
    // One write per call on a file opened for appending: lines of several
    // writers never interleave.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)
        || file.write(bytes) != bytes.size())
        qCWarning(lcFptrSim, "cannot append to %s: %s", qUtf8Printable(file.fileName()),
                  qUtf8Printable(file.errorString()));
}

void SimStore::appendTape(const QStringList &lines) const
{
    if (lines.isEmpty())
        return;
    append(TAPE_FILE, (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
}

void SimStore::appendCall(const QString &line) const
{
    append(CALLS_FILE, (line + QLatin1Char('\n')).toUtf8());
}

void SimStore::appendTiming(int calls, qint64 busyNs) const
{
    append(TIMING_FILE, QStringLiteral("calls=%1 busy_us=%2\n").arg(calls).arg(busyNs / 1000).toUtf8());
}

QString SimStore::faultsText() const
{
    QFile file(QDir(m_directory).filePath(FAULTS_FILE));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

bool SimStore::removeFault(const QString &fault) const
{
    QFile file(QDir(m_directory).filePath(FAULTS_FILE));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    file.close();
    const QString wanted = fault.simplified();
    for (int i = 0; i < lines.size(); ++i) {
        if (lines.at(i).simplified() == wanted) {
            lines.removeAt(i);
            QSaveFile rewritten(file.fileName());
            return rewritten.open(QIODevice::WriteOnly) && rewritten.write(lines.join(QLatin1Char('\n')).toUtf8()) >= 0
                && rewritten.commit();
        }
    }
    return false;
}
