#include "tillgatecashe.h"

#include "tillgatecashe_p.h"
#include "tillgatecashedbinitializer.h"
#include "tillgateconfig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QMutex>
#include <QSqlError>

Q_LOGGING_CATEGORY(lcCache, "tillgate.cache")

QThreadStorage<int> TillgateCashe::_rwopened;
QThreadStorage<int> TillgateCashe::_roopened;

namespace {

// The writers of this process take turns here before they ask SQLite for the
// write lock. Threads that met at BEGIN IMMEDIATE would wait in SQLite's busy
// handler, which sleeps in growing steps and lets a newcomer overtake a
// thread that has waited for seconds; a mutex queues them. Readers need no
// turn: write-ahead logging lets them read beside the writer.
QMutex writerTurn;

QString toJson(const QVariantMap &data)
{
    return QString::fromUtf8(QJsonDocument(QJsonObject::fromVariantMap(data)).toJson(QJsonDocument::Compact));
}

// The register's own time, without a zone: it is only ever compared with
// other times of the same register.
QString timeText(const QDateTime &dt)
{
    return dt.isValid() ? dt.toString(Qt::ISODate) : QString();
}

// Qt binds a null text as SQL NULL, which would match no row and slip past
// the unique index; an identifier is always bound as text.
QString sessionKey(const QString &sessionId)
{
    return sessionId.isNull() ? QStringLiteral("") : sessionId;
}

}

TillgateCashe::TillgateCashe(QObject *parent)
    : qt5ext::BaseSqliteDbConnector(QStringLiteral("TillgateCache-"), ReadWrite, &_rwopened, parent)
{
    init();
}

TillgateCashe::TillgateCashe(ConnectionMode mode, QObject *parent)
    : qt5ext::BaseSqliteDbConnector(QStringLiteral("TillgateCashe-"), mode,
                                    mode != ReadOnly ? &_rwopened : &_roopened, parent)
{
    init();
}

TillgateCashe::~TillgateCashe() = default;

bool TillgateCashe::beginTransaction(bool forWriting)
{
    // A writer takes the write lock at once: a deferred transaction that
    // read first could not get it when another thread committed meanwhile,
    // while waiting for the lock here is covered by the busy time-out.
    bool begun = false;
    if (forWriting) {
        QSqlQuery begin(db());
        begun = begin.exec(QStringLiteral("BEGIN IMMEDIATE"));
    } else {
        begun = db().transaction();
    }
    if (!begun)
        qCWarning(lcCache) << "TRANSACTION ERROR";
    return begun;
}

bool TillgateCashe::execute(QSqlQuery &query, const QString &statement, const QVariantMap &bindings)
{
    bool done = query.prepare(statement);
    if (done) {
        for (auto it = bindings.cbegin(); it != bindings.cend(); ++it)
            query.bindValue(it.key(), it.value());
        done = query.exec();
    }
    if (!done) {
        qCCritical(lcCache).noquote() << query.lastError().text() << statement;
        query.finish();
        db().rollback();
    }
    return done;
}

bool TillgateCashe::commit()
{
    if (db().commit())
        return true;
    qCCritical(lcCache).noquote() << db().lastError().text();
    db().rollback();
    return false;
}

bool TillgateCashe::storeIncomingCheckData(const QString &sessionId, const QVariantMap &data)
{
    return insertIncoming(sessionId, data, QVariant(), QDateTime());
}

bool TillgateCashe::storeIncomingCheckData(const QString &sessionId, const QVariantMap &data, qint64 lastDocNumber,
                                           const QDateTime &registerTime)
{
    return insertIncoming(sessionId, data, lastDocNumber, registerTime);
}

bool TillgateCashe::insertIncoming(const QString &sessionId, const QVariantMap &data, const QVariant &lastDocNumber,
                                   const QDateTime &registerTime)
{
    QMutexLocker turn(&writerTurn);
    if (!beginTransaction(true))
        return false;
    QSqlQuery query(db());
    if (!execute(query,
                 QStringLiteral("insert into checksCache (sessionId, incoming, lastDocNumber, registerTime) "
                                "values (:sessionId, :incoming, :lastDocNumber, :registerTime)"),
                 {{QStringLiteral(":sessionId"), sessionKey(sessionId)},
                  {QStringLiteral(":incoming"), toJson(data)},
                  {QStringLiteral(":lastDocNumber"), lastDocNumber},
                  {QStringLiteral(":registerTime"), timeText(registerTime)}}))
        return false;
    query.finish();
    // Old rows go in the same transaction, which saves a flush per receipt.
    // Its outcome does not decide the insert's: a failed statement undoes
    // only itself, and an error that ends the whole transaction makes the
    // commit below fail, so true still means the new row is on disk.
    deleteOldRows();
    return commit();
}

bool TillgateCashe::restartUnansweredCheck(const QString &sessionId, const QVariantMap &data, qint64 lastDocNumber,
                                           const QDateTime &registerTime)
{
    return write(QStringLiteral("update checksCache set incoming = :incoming, lastDocNumber = :lastDocNumber, "
                                "registerTime = :registerTime where sessionId = :sessionId and outgoing is null"),
                 {{QStringLiteral(":sessionId"), sessionKey(sessionId)},
                  {QStringLiteral(":incoming"), toJson(data)},
                  {QStringLiteral(":lastDocNumber"), lastDocNumber},
                  {QStringLiteral(":registerTime"), timeText(registerTime)}});
}

bool TillgateCashe::getUnansweredCheck(const QString &sessionId, QVariantMap &data, qint64 &lastDocNumber,
                                       QDateTime &registerTime)
{
    if (!beginTransaction(false))
        return false;
    QSqlQuery query(db());
    if (!execute(query,
                 QStringLiteral("select incoming, lastDocNumber, registerTime from checksCache "
                                "where sessionId = :sessionId and outgoing is null"),
                 {{QStringLiteral(":sessionId"), sessionKey(sessionId)}}))
        return false;
    const bool found = query.next();
    if (found) {
        data = QJsonDocument::fromJson(query.value(0).toString().toUtf8()).toVariant().toMap();
        lastDocNumber = query.value(1).isNull() ? START_UNKNOWN : query.value(1).toLongLong();
        registerTime = QDateTime::fromString(query.value(2).toString(), Qt::ISODate);
    }
    query.finish();
    if (!db().commit())
        db().rollback();
    return found;
}

bool TillgateCashe::write(const QString &statement, const QVariantMap &bindings)
{
    QMutexLocker turn(&writerTurn);
    if (!beginTransaction(true))
        return false;
    QSqlQuery query(db());
    if (!execute(query, statement, bindings))
        return false;
    query.finish();
    return commit();
}

bool TillgateCashe::storeOutgoingCheckData(const QString &sessionId, const QVariantMap &data)
{
    // The core's later copy of an answer stored already changes nothing, so
    // it is not written again: no second flush for the same receipt.
    const QString json = toJson(data);
    return write(QStringLiteral("update checksCache set outgoing = :outgoing where sessionId = :sessionId "
                                "and (outgoing is null or outgoing <> :same)"),
                 {{QStringLiteral(":sessionId"), sessionKey(sessionId)},
                  {QStringLiteral(":outgoing"), json},
                  {QStringLiteral(":same"), json}});
}

bool TillgateCashe::storeOutgoingCheckDataOnce(const QString &sessionId, const QVariantMap &data)
{
    return write(QStringLiteral("update checksCache set outgoing = :outgoing "
                                "where sessionId = :sessionId and outgoing is null"),
                 {{QStringLiteral(":sessionId"), sessionKey(sessionId)}, {QStringLiteral(":outgoing"), toJson(data)}});
}

bool TillgateCashe::removeUnansweredCheck(const QString &sessionId)
{
    return write(QStringLiteral("delete from checksCache where sessionId = :sessionId and outgoing is null"),
                 {{QStringLiteral(":sessionId"), sessionKey(sessionId)}});
}

bool TillgateCashe::getOutgoingCheckData(const QString &sessionId, QVariantMap &data)
{
    if (!beginTransaction(false))
        return false;
    QSqlQuery query(db());
    if (!execute(query, QStringLiteral("select outgoing from checksCache where sessionId = :sessionId"),
                 {{QStringLiteral(":sessionId"), sessionKey(sessionId)}}))
        return false;
    if (!query.next()) {
        query.finish();
        db().rollback();
        return false;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(
                query.value(QStringLiteral("outgoing")).toString().toUtf8(), &error);
    query.finish();
    if (error.error != QJsonParseError::NoError) {
        qCCritical(lcCache).noquote() << error.errorString();
        db().rollback();
        return false;
    }
    if (!db().commit())
        db().rollback();
    data = document.toVariant().toMap();
    return !data.isEmpty();
}

bool TillgateCashe::collectGarbage()
{
    QMutexLocker turn(&writerTurn);
    if (!beginTransaction(true))
        return false;
    if (!deleteOldRows()) {
        db().rollback();
        return false;
    }
    if (!db().commit()) {
        qCWarning(lcCache).noquote() << db().lastError().text();
        db().rollback();
        return false;
    }
    return true;
}

bool TillgateCashe::deleteOldRows()
{
    const QString maxStatement = QStringLiteral("select max(id) from checksCache");
    QSqlQuery query(db());
    if (!query.exec(maxStatement) || !query.first()) {
        qCWarning(lcCache).noquote() << query.lastError().text() << maxStatement;
        return false;
    }
    const qint64 threshold = query.value(0).toLongLong() - (KEPT_ROWS - 1);
    query.finish();
    if (threshold > 0) {
        const QString deleteStatement = QStringLiteral("delete from checksCache where id < %1").arg(threshold);
        if (!query.exec(deleteStatement)) {
            qCWarning(lcCache).noquote() << query.lastError().text() << deleteStatement;
            return false;
        }
    }
    return true;
}

QString TillgateCashe::databaseFileName() const
{
    return TillgateConfig().tillgateCacheFile();
}

QString TillgateCashe::connectionName() const
{
    return objectName();
}

bool TillgateCashe::getMetaData(int &version, EMetadataState &)
{
    version = 0;
    if (!db().isOpen())
        return false;
    QSqlQuery query(db());
    if (!query.exec(QStringLiteral("select metadataVersion from metadata"))) {
        qCCritical(lcCache).noquote() << query.lastError().text();
        return false;
    }
    if (!query.next()) {
        qCCritical(lcCache).noquote() << tr("The box is not registered");
        return false;
    }
    version = query.value(0).toInt();
    return true;
}

int TillgateCashe::actualMetadataVersion() const
{
    // 2: where each receipt attempt began on the register.
    return 2;
}

bool TillgateCashe::updateDatabase(int currentVersion)
{
    TillgateCasheDbInitializer initializer;
    for (int version = currentVersion + 1; version <= actualMetadataVersion(); ++version) {
        if (!initializer.updateDatabase(&db(), version))
            return false;
    }
    return true;
}
