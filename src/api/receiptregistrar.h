#ifndef RECEIPTREGISTRAR_H
#define RECEIPTREGISTRAR_H

#include <cashier.h>

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariantMap>

#include "receiptoutcome.h"

class BaseCoreApiWrapper;
class TillgateCashe;

// Registers a receipt under the caller's session at most once. A session
// whose receipt was sent without an answer (a time-out, a crash) is settled
// from the register at the next post: the receipt found there is answered,
// one not found is sent again, and one that cannot be told apart is
// answered 507 with the reason until a retry can tell.
class ReceiptRegistrar
{
public:
    ReceiptRegistrar(BaseCoreApiWrapper *api, const core::Cashier &cashier);

    // `check` is the receipt as it goes to the back-end; the answer map is
    // returned with the HTTP status and reason phrase.
    QVariantMap registerCheck(const QString &sessionId, const QVariantMap &check, ReceiptOutcome &outcome,
                              int &status, QByteArray &statusText);

    static QString outcomeName(ReceiptOutcome outcome);

private:
    QVariantMap registerWithoutSession(const QVariantMap &check, ReceiptOutcome &outcome, int &status,
                                       QByteArray &statusText);
    // Sends the stored receipt and answers by the register's answer.
    QVariantMap send(TillgateCashe &cache, const QString &sessionId, const QVariantMap &check,
                     ReceiptOutcome &outcome, int &status, QByteArray &statusText);
    // The register's newest document ahead of a receipt, or the journal
    // marker when the back-end records it itself; false when the device did
    // not answer in time.
    bool readStart(qint64 &lastDocNumber, QDateTime &registerTime);
    // A session with a stored receipt and no answer: Settled or Unsettled
    // with the answer, or NotRegistered (true) to send this post's receipt.
    bool settle(TillgateCashe &cache, const QString &sessionId, QVariantMap &answer, ReceiptOutcome &outcome,
                int &status, QByteArray &statusText);
    // The answer of a receipt not registered (yet) or not known.
    static QVariantMap explanation(const QString &sessionId, const QString &outcome, int result,
                                   const QString &text);

    BaseCoreApiWrapper *m_api;
    core::Cashier m_cashier;
};

#endif
