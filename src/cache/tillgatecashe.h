#ifndef TILLGATECASHE_H
#define TILLGATECASHE_H

#include <basesqlitedbconnector.h>

#include <QDateTime>
#include <QSqlQuery>
#include <QThreadStorage>
#include <QVariantMap>

// The check cache: per caller session, the receipt the service received and
// the answer the device gave, in the SQLite file of TillgateConfig.
//
// Make one on the stack where it is needed; it uses the calling thread's own
// connection, so any thread may use the cache at once. Every operation is
// one short transaction that is on disk when the operation returns true;
// the writing ones of this process run one at a time, in turn.
class TillgateCashe : public qt5ext::BaseSqliteDbConnector
{
    Q_OBJECT
public:
    explicit TillgateCashe(QObject *parent = nullptr);
    TillgateCashe(qt5ext::BaseSqliteDbConnector::ConnectionMode mode, QObject *parent = nullptr);
    ~TillgateCashe() override;

    // Inserts the received document of a new session and drops old rows in
    // the same transaction. False when the session already has a row: its
    // first document stays, and no row is dropped.
    bool storeIncomingCheckData(const QString &sessionId, const QVariantMap &data);
    // The same for a receipt, with where its attempt begins on the register:
    // the register's newest document number and its time, or one of the
    // markers below.
    bool storeIncomingCheckData(const QString &sessionId, const QVariantMap &data, qint64 lastDocNumber,
                                const QDateTime &registerTime);
    // The received document and the attempt's start of a session that has
    // no answer; false when there is no such row.
    bool getUnansweredCheck(const QString &sessionId, QVariantMap &data, qint64 &lastDocNumber,
                            QDateTime &registerTime);
    // Gives an unanswered session a new received document and start: a
    // retry takes over an attempt that did not register.
    bool restartUnansweredCheck(const QString &sessionId, const QVariantMap &data, qint64 lastDocNumber,
                                const QDateTime &registerTime);
    // Start markers: not known (also for receipts stored before starts
    // were), and written to the receipt start journal by the device worker.
    static constexpr qint64 START_UNKNOWN = -1;
    static constexpr qint64 START_IN_JOURNAL = -2;
    // Sets the answer of the session's row (true also when there is none).
    bool storeOutgoingCheckData(const QString &sessionId, const QVariantMap &data);
    // Sets the answer of the session's row unless one is stored already, so
    // an answer that arrived first is never replaced (true also when nothing
    // changed).
    bool storeOutgoingCheckDataOnce(const QString &sessionId, const QVariantMap &data);
    // Removes the session's row while it holds no answer: the device refused
    // the document, so the caller may send it again under the same session.
    bool removeUnansweredCheck(const QString &sessionId);
    // The stored answer of the session; false when the session is unknown,
    // has no answer yet, or the answer is empty.
    bool getOutgoingCheckData(const QString &sessionId, QVariantMap &data);
    // Keeps the 101 rows with the highest ids.
    bool collectGarbage();

    QString databaseFileName() const override;
    QString connectionName() const override;
    bool getMetaData(int &version, EMetadataState &state) override;
    int actualMetadataVersion() const override;
    bool updateDatabase(int currentVersion) override;

    static const int KEPT_ROWS = 101;

private:
    bool beginTransaction(bool forWriting);
    bool execute(QSqlQuery &query, const QString &statement, const QVariantMap &bindings);
    bool commit();
    // One writing statement in a transaction of its own.
    bool write(const QString &statement, const QVariantMap &bindings);
    // The statements of collectGarbage(), inside the caller's transaction.
    bool deleteOldRows();
    bool insertIncoming(const QString &sessionId, const QVariantMap &data, const QVariant &lastDocNumber,
                        const QDateTime &registerTime);

    static QThreadStorage<int> _rwopened;
    static QThreadStorage<int> _roopened;
};

#endif
