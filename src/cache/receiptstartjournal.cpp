#include "receiptstartjournal.h"

#include "tillgatecashe_p.h"
#include "tillgateconfig.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QUrl>

namespace {

QMutex journalMutex;

// The session id percent-encoded, so that no tab or line end of it can
// break a line.
QByteArray key(const QString &sessionId)
{
    return QUrl::toPercentEncoding(sessionId);
}

bool findIn(const QString &path, const QByteArray &wanted, qint64 &lastDocNumber, QDateTime &registerTime)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QList<QByteArray> fields = it->split('\t');
        if (fields.size() != 3 || fields.at(0) != wanted)
            continue;
        bool ok = false;
        lastDocNumber = fields.at(1).toLongLong(&ok);
        if (!ok)
            continue;
        registerTime = QDateTime::fromString(QString::fromLatin1(fields.at(2)), Qt::ISODate);
        return true;
    }
    return false;
}

} // namespace

QString ReceiptStartJournal::fileName()
{
    return TillgateConfig().tillgateCacheDir() + QStringLiteral("/receiptstarts.log");
}

bool ReceiptStartJournal::append(const QString &sessionId, qint64 lastDocNumber, const QDateTime &registerTime)
{
    const QByteArray line = key(sessionId) + '\t' + QByteArray::number(lastDocNumber) + '\t'
        + (registerTime.isValid() ? registerTime.toString(Qt::ISODate).toLatin1() : QByteArray()) + '\n';
    const QString path = fileName();
    QMutexLocker locker(&journalMutex);
    QFile file(path);
    if (file.size() > ROTATE_SIZE) {
        QFile::remove(path + QStringLiteral(".1"));
        QFile::rename(path, path + QStringLiteral(".1"));
    }
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)
        || file.write(line) != line.size()) {
        qCCritical(lcCache).noquote() << "Receipt start not written to" << path << file.errorString();
        return false;
    }
    return true;
}

bool ReceiptStartJournal::find(const QString &sessionId, qint64 &lastDocNumber, QDateTime &registerTime)
{
    const QString path = fileName();
    const QByteArray wanted = key(sessionId);
    QMutexLocker locker(&journalMutex);
    return findIn(path, wanted, lastDocNumber, registerTime)
        || findIn(path + QStringLiteral(".1"), wanted, lastDocNumber, registerTime);
}
