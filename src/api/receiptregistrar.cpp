#include "receiptregistrar.h"

#include "baserequestprocessor.h"
#include "basecoreapiwrapper.h"
#include "receiptstartjournal.h"
#include "tillgatecashe.h"

#include <QMutex>
#include <QMutexLocker>
#include <QSet>

namespace {

const QString KEY_SESSION_ID = QStringLiteral("sessionId");

// The sessions whose receipt a request of this process is working on now.
// A second post of such a session must neither send the receipt again nor
// settle it: the register may be closing it this very moment.
QMutex busySessionsMutex;
QSet<QString> busySessions;

class SessionClaim
{
public:
    explicit SessionClaim(const QString &sessionId)
        : m_sessionId(sessionId)
    {
        QMutexLocker locker(&busySessionsMutex);
        m_claimed = !busySessions.contains(sessionId);
        if (m_claimed)
            busySessions.insert(sessionId);
    }
    ~SessionClaim()
    {
        if (!m_claimed)
            return;
        QMutexLocker locker(&busySessionsMutex);
        busySessions.remove(m_sessionId);
    }
    SessionClaim(const SessionClaim &) = delete;
    SessionClaim &operator=(const SessionClaim &) = delete;

    bool isClaimed() const { return m_claimed; }

private:
    QString m_sessionId;
    bool m_claimed = false;
};

void setStatus(int code, const QByteArray &text, int &status, QByteArray &statusText)
{
    status = code;
    statusText = text;
}

const QString TEXT_UNKNOWN =
    QStringLiteral("The register did not answer in time: whether it registered the receipt is not known. "
                   "Post the receipt again with the same sessionId: the retry asks the register, answers the "
                   "receipt it registered, or registers it if it did not.");
const QString TEXT_BUSY =
    QStringLiteral("The receipt of this sessionId is being registered right now; post it again once that "
                   "request has been answered.");
const QString TEXT_NOT_STORED =
    QStringLiteral("The receipt could not be stored in the check cache, so it was not sent to the register.");

} // namespace

ReceiptRegistrar::ReceiptRegistrar(BaseCoreApiWrapper *api, const core::Cashier &cashier)
    : m_api(api)
    , m_cashier(cashier)
{
}

QString ReceiptRegistrar::outcomeName(ReceiptOutcome outcome)
{
    switch (outcome) {
    case ReceiptOutcome::Registered:
        return QStringLiteral("registered");
    case ReceiptOutcome::Replayed:
        return QStringLiteral("replayed");
    case ReceiptOutcome::Refused:
        return QStringLiteral("refused");
    case ReceiptOutcome::TimedOut:
        return QStringLiteral("timed_out");
    case ReceiptOutcome::Settled:
        return QStringLiteral("settled");
    case ReceiptOutcome::Unsettled:
        return QStringLiteral("unsettled");
    }
    return QString();
}

QVariantMap ReceiptRegistrar::explanation(const QString &sessionId, const QString &outcome, int result,
                                          const QString &text)
{
    return QVariantMap{{QStringLiteral("result"), result},
                       {QStringLiteral("outcome"), outcome},
                       {KEY_SESSION_ID, sessionId},
                       {QStringLiteral("message"), QVariantMap{{QStringLiteral("resultDescription"), text}}}};
}

QVariantMap ReceiptRegistrar::registerWithoutSession(const QVariantMap &check, ReceiptOutcome &outcome, int &status,
                                                     QByteArray &statusText)
{
    // Without a session the caller cannot repeat the request safely anyway:
    // nothing is remembered and every request is a new document.
    QVariantMap result;
    int error = 0;
    const bool ok = m_api->registreCheck(check, m_cashier, result, error);
    if (ok) {
        outcome = ReceiptOutcome::Registered;
        setStatus(BaseRequestProcessor::StatusOk, BaseRequestProcessor::TEXT_OK, status, statusText);
        return result;
    }
    if (error == BaseCoreApiWrapper::ERROR_TIMEOUT) {
        outcome = ReceiptOutcome::TimedOut;
        setStatus(BaseRequestProcessor::StatusTimeout, BaseRequestProcessor::TEXT_TIMEOUT, status, statusText);
        return QVariantMap();
    }
    outcome = ReceiptOutcome::Refused;
    setStatus(BaseRequestProcessor::StatusInternalError, BaseRequestProcessor::TEXT_INTERNAL_ERROR, status,
              statusText);
    return result;
}

QVariantMap ReceiptRegistrar::registerCheck(const QString &sessionId, const QVariantMap &check,
                                            ReceiptOutcome &outcome, int &status, QByteArray &statusText)
{
    if (sessionId.isEmpty())
        return registerWithoutSession(check, outcome, status, statusText);

    const SessionClaim claim(sessionId);
    TillgateCashe cache(nullptr);
    QVariantMap answer;
    if (cache.getOutgoingCheckData(sessionId, answer)) {
        outcome = ReceiptOutcome::Replayed;
        setStatus(BaseRequestProcessor::StatusOk, BaseRequestProcessor::TEXT_OK, status, statusText);
        return answer;
    }
    if (!claim.isClaimed()) {
        outcome = ReceiptOutcome::Unsettled;
        setStatus(BaseRequestProcessor::StatusInsufficientStorage, BaseRequestProcessor::TEXT_INSUFFICIENT_STORAGE,
                  status, statusText);
        return explanation(sessionId, QStringLiteral("inProgress"), BaseCoreApiWrapper::ERROR_TIMEOUT, TEXT_BUSY);
    }

    // Where the receipt begins on the register, when the back-end can tell
    // it now: it is stored with the receipt, in the same write. Else the
    // device worker writes it to the journal right before the receipt.
    qint64 lastDocNumber = TillgateCashe::START_IN_JOURNAL;
    QDateTime registerTime;
    if (!readStart(lastDocNumber, registerTime)) {
        // Nothing was stored or sent: a retry simply registers it.
        outcome = ReceiptOutcome::TimedOut;
        setStatus(BaseRequestProcessor::StatusTimeout, BaseRequestProcessor::TEXT_TIMEOUT, status, statusText);
        return explanation(sessionId, QStringLiteral("unknown"), BaseCoreApiWrapper::ERROR_TIMEOUT, TEXT_UNKNOWN);
    }
    if (!cache.storeIncomingCheckData(sessionId, check, lastDocNumber, registerTime)) {
        // One incoming document per session: this one was sent before.
        if (!settle(cache, sessionId, answer, outcome, status, statusText))
            return answer;
        // It did not register: this post takes the session over, with a
        // start read after the settling.
        const bool timedOut = !readStart(lastDocNumber, registerTime);
        if (timedOut || !cache.restartUnansweredCheck(sessionId, check, lastDocNumber, registerTime)) {
            outcome = timedOut ? ReceiptOutcome::TimedOut : ReceiptOutcome::Unsettled;
            setStatus(timedOut ? BaseRequestProcessor::StatusTimeout : BaseRequestProcessor::StatusInsufficientStorage,
                      timedOut ? BaseRequestProcessor::TEXT_TIMEOUT : BaseRequestProcessor::TEXT_INSUFFICIENT_STORAGE,
                      status, statusText);
            return explanation(sessionId, timedOut ? QStringLiteral("unknown") : QStringLiteral("notStored"),
                               BaseCoreApiWrapper::ERROR_TIMEOUT, timedOut ? TEXT_UNKNOWN : TEXT_NOT_STORED);
        }
    }
    return send(cache, sessionId, check, outcome, status, statusText);
}

bool ReceiptRegistrar::readStart(qint64 &lastDocNumber, QDateTime &registerTime)
{
    ReceiptStart start;
    bool timedOut = false;
    lastDocNumber = TillgateCashe::START_IN_JOURNAL;
    registerTime = QDateTime();
    if (m_api->receiptStart(start, timedOut)) {
        lastDocNumber = qint64(start.lastDocNumber);
        registerTime = start.registerTime;
    }
    return !timedOut;
}

bool ReceiptRegistrar::settle(TillgateCashe &cache, const QString &sessionId, QVariantMap &answer,
                              ReceiptOutcome &outcome, int &status, QByteArray &statusText)
{
    QVariantMap stored;
    qint64 lastDocNumber = TillgateCashe::START_UNKNOWN;
    QDateTime registerTime;
    if (!cache.getUnansweredCheck(sessionId, stored, lastDocNumber, registerTime)) {
        // Answered meanwhile by the core's own message, or the cache failed.
        if (cache.getOutgoingCheckData(sessionId, answer)) {
            outcome = ReceiptOutcome::Replayed;
            setStatus(BaseRequestProcessor::StatusOk, BaseRequestProcessor::TEXT_OK, status, statusText);
            return false;
        }
        outcome = ReceiptOutcome::Unsettled;
        setStatus(BaseRequestProcessor::StatusInsufficientStorage, BaseRequestProcessor::TEXT_INSUFFICIENT_STORAGE,
                  status, statusText);
        answer = explanation(sessionId, QStringLiteral("notStored"), BaseCoreApiWrapper::ERROR_TIMEOUT,
                             TEXT_NOT_STORED);
        return false;
    }
    // A line missing from the journal: the service ended before the worker
    // reached the receipt, or the system before the line reached the disk.
    // Only the first is harmless, so it is not taken for "never sent".
    if (lastDocNumber == TillgateCashe::START_IN_JOURNAL
        && !ReceiptStartJournal::find(sessionId, lastDocNumber, registerTime))
        lastDocNumber = TillgateCashe::START_UNKNOWN;

    ReceiptStart start;
    start.known = lastDocNumber >= 0;
    start.lastDocNumber = quint32(qMax<qint64>(lastDocNumber, 0));
    start.registerTime = registerTime;
    QString why;
    QVariantMap found;
    switch (m_api->settleCheck(start, stored, m_cashier, found, why)) {
    case ReceiptSettlement::NotRegistered:
        return true;
    case ReceiptSettlement::Registered:
        found.insert(KEY_SESSION_ID, sessionId);
        if (!cache.storeOutgoingCheckDataOnce(sessionId, found))
            qCCritical(lcApi).noquote() << "Settled answer of session" << sessionId << "not stored";
        // An answer that reached the cache first stays the answer.
        if (!cache.getOutgoingCheckData(sessionId, answer))
            answer = found;
        outcome = ReceiptOutcome::Settled;
        setStatus(BaseRequestProcessor::StatusOk, BaseRequestProcessor::TEXT_OK, status, statusText);
        return false;
    case ReceiptSettlement::Unknown:
        break;
    }
    qCWarning(lcApi).noquote() << "Receipt of session" << sessionId << "not settled:" << why;
    outcome = ReceiptOutcome::Unsettled;
    setStatus(BaseRequestProcessor::StatusInsufficientStorage, BaseRequestProcessor::TEXT_INSUFFICIENT_STORAGE,
              status, statusText);
    answer = explanation(sessionId, QStringLiteral("unknown"), BaseCoreApiWrapper::ERROR_TIMEOUT,
                         QStringLiteral("Whether the receipt of this sessionId was registered is not yet known: %1. "
                                        "Nothing was sent to the register; a later retry asks it again.")
                             .arg(why));
    return false;
}

QVariantMap ReceiptRegistrar::send(TillgateCashe &cache, const QString &sessionId, const QVariantMap &check,
                                   ReceiptOutcome &outcome, int &status, QByteArray &statusText)
{
    const BaseCoreApiWrapper::StartRecorder record = [sessionId](const ReceiptStart &start) {
        // Runs on whatever thread the back-end reads the register on.
        return ReceiptStartJournal::append(sessionId,
                                           start.known ? qint64(start.lastDocNumber) : TillgateCashe::START_UNKNOWN,
                                           start.registerTime);
    };
    QVariantMap result;
    int error = 0;
    const bool ok = m_api->registreRecordedCheck(check, m_cashier, record, result, error);
    if (ok) {
        // On disk before the caller hears of it: a repeat after a crash or
        // a lost push of the core still finds the document. An answer the
        // core pushed first stays.
        if (!cache.storeOutgoingCheckDataOnce(sessionId, result))
            qCCritical(lcApi).noquote() << "Answer of session" << sessionId << "not stored";
        outcome = ReceiptOutcome::Registered;
        setStatus(BaseRequestProcessor::StatusOk, BaseRequestProcessor::TEXT_OK, status, statusText);
        return result;
    }
    if (error == BaseCoreApiWrapper::ERROR_TIMEOUT) {
        // The session keeps the receipt: the next post settles it.
        outcome = ReceiptOutcome::TimedOut;
        setStatus(BaseRequestProcessor::StatusTimeout, BaseRequestProcessor::TEXT_TIMEOUT, status, statusText);
        return explanation(sessionId, QStringLiteral("unknown"), BaseCoreApiWrapper::ERROR_TIMEOUT, TEXT_UNKNOWN);
    }
    // Refused: nothing was registered, so the session may try again once
    // the cause is fixed.
    if (!cache.removeUnansweredCheck(sessionId))
        qCCritical(lcApi).noquote() << "Refused session" << sessionId << "stays locked";
    outcome = ReceiptOutcome::Refused;
    if (error == BaseCoreApiWrapper::ERROR_START_NOT_STORED) {
        setStatus(BaseRequestProcessor::StatusInsufficientStorage, BaseRequestProcessor::TEXT_INSUFFICIENT_STORAGE,
                  status, statusText);
        return explanation(sessionId, QStringLiteral("notStored"), error, TEXT_NOT_STORED);
    }
    setStatus(BaseRequestProcessor::StatusInternalError, BaseRequestProcessor::TEXT_INTERNAL_ERROR, status,
              statusText);
    return result;
}
