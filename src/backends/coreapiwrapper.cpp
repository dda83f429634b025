#include "coreapiwrapper.h"

#include "regdatacache.h"
#include "tillgatebuscontroller.h"
#include "tillgatecoreapi.h"

#include <appbusobject.h>
#include <cashier.h>
#include <fixnumber.h>
#include <fsstatus.h>
#include <regdata.h>
#include <sharedobjectsstorage.h>

#include <QMutex>
#include <QMutexLocker>
#include <QWeakPointer>

#include <utility>

namespace {

QMutex busControllerMutex;
QWeakPointer<TillgateBusController> serviceBusController;

// A map-based core operation that says false but still filled its result
// produced a document; the caller gets it as a success.
bool mapResult(bool ok, const QVariantMap &result)
{
    return ok || !result.isEmpty();
}

// A refused receipt or fiscalisation answers the core's code and reason, so
// that the cashier learns what to fix before sending it again.
void explainRefusal(bool ok, int error, const QString &errorText, QVariantMap &result)
{
    if (ok || error == BaseCoreApiWrapper::ERROR_TIMEOUT)
        return;
    result = QVariantMap{{QStringLiteral("result"), error}};
    if (!errorText.isEmpty())
        result.insert(QStringLiteral("message"), QVariantMap{{QStringLiteral("resultDescription"), errorText}});
}

// The core's operations on behalf of a receipt wait this long, in total.
constexpr int RECEIPT_TIMEOUT_MS = TillgateCoreApi::COMMAND_TIMEOUT_MS;

// A client's time-out for the calls of one scope.
class OperationTimeout
{
public:
    OperationTimeout(TillgateCoreApi *api, int timeoutMs)
        : m_api(api)
        , m_before(api ? api->operationTimeout() : 0)
    {
        if (api)
            api->setOperationTimeout(timeoutMs);
    }
    ~OperationTimeout()
    {
        if (m_api)
            m_api->setOperationTimeout(m_before);
    }

private:
    QPointer<TillgateCoreApi> m_api;
    int m_before;
};

struct RegistrationFlag
{
    const char *key;
    quint16 bit;
};

const RegistrationFlag REGISTRATION_FLAGS[] = {
    {"useEncryption", 0x001}, {"offlineMode", 0x002},    {"automatMode", 0x004},
    {"allowServices", 0x008}, {"makeBso", 0x010},        {"internetOnly", 0x020},
    {"externPrinter", 0x040}, {"excisableGoods", 0x080}, {"allowGames", 0x100},
    {"allowLotteries", 0x200},
};

} // namespace

CoreApiWrapper::CoreApiWrapper(QObject *parent)
    : CoreApiWrapper(ServiceClientsTag(), parent)
{
}

CoreApiWrapper::CoreApiWrapper(ClientFactory clientFactory, QObject *parent)
    : BaseCoreApiWrapper(parent)
    , m_clientFactory(std::move(clientFactory))
    , m_serviceClients(false)
{
    // The client is made as early as possible, so that it is connected
    // before the first operation needs it.
    api();
}

CoreApiWrapper::CoreApiWrapper(ServiceClientsTag, QObject *parent)
    : BaseCoreApiWrapper(parent)
    , m_clientFactory(createServiceClient)
    , m_serviceClients(true)
{
}

CoreApiWrapper::~CoreApiWrapper() = default;

void CoreApiWrapper::setBusController(const QSharedPointer<TillgateBusController> &controller)
{
    QMutexLocker locker(&busControllerMutex);
    serviceBusController = controller;
    // Another controller may reach another core.
    RegDataCache::invalidate();
}

QSharedPointer<TillgateBusController> CoreApiWrapper::busController()
{
    QMutexLocker locker(&busControllerMutex);
    return serviceBusController.toStrongRef();
}

TillgateCoreApi *CoreApiWrapper::createServiceClient(QObject *parent)
{
    // The strong reference keeps the controller alive while the client is
    // wired to it.
    const QSharedPointer<TillgateBusController> controller = busController();
    return controller ? controller->createApi(parent) : nullptr;
}

QPointer<TillgateCoreApi> CoreApiWrapper::api()
{
    // Made as this wrapper's child, in this wrapper's thread: the client is
    // used only by the request that owns the wrapper.
    if (!m_api && m_clientFactory)
        m_api = m_clientFactory(this);
    return m_api;
}

bool CoreApiWrapper::hasApi() const
{
    // Most requests never talk to the core (the registration data they
    // need are remembered), so a client of the service's bus controller is
    // made only when an operation needs it. Every operation still checks
    // that it got one: the controller may go in between.
    if (m_api)
        return true;
    if (m_serviceClients)
        return !busController().isNull();
    // Making the client on demand is no visible change of the wrapper.
    return !const_cast<CoreApiWrapper *>(this)->api().isNull();
}

void CoreApiWrapper::addRegistrationData(QVariantMap &state)
{
    const QString fsStatusKey = QStringLiteral("fsStatus");
    if (!state.contains(fsStatusKey))
        return;
    fiscal::FsStatus fsStatus;
    fsStatus.setMap(state.value(fsStatusKey).toMap());
    if (!fsStatus.fiscalized())
        return;

    bus::AppBusObject object;
    if (!bus::SharedObjectsStorage().get(fiscal::RegData::BUS_OBJECT_NAME, object))
        return;
    fiscal::RegData regData;
    regData.setMap(object.content());
    QVariantMap display = regData.toBeutyMap();

    display.remove(QStringLiteral("serial"));
    display.remove(QStringLiteral("regNumber"));
    display.remove(QStringLiteral("regFlags"));
    state.remove(QStringLiteral("atmNumber"));

    const quint16 flags = regData.cashboxRegistrationFlags();
    for (const RegistrationFlag &flag : REGISTRATION_FLAGS)
        display.insert(QLatin1String(flag.key), (flags & flag.bit) != 0);

    const auto moveKey = [&display](const QString &from, const QString &to) {
        if (display.contains(from))
            display.insert(to, display.take(from));
    };
    moveKey(QStringLiteral("cashier"), QStringLiteral("regCashierName"));
    moveKey(QStringLiteral("cashierInn"), QStringLiteral("regCashierInn"));

    // A key the state already holds keeps the state's value: the answer
    // must hold one value per key.
    for (auto it = display.cbegin(); it != display.cend(); ++it) {
        if (!state.contains(it.key()))
            state.insert(it.key(), it.value());
    }
}

bool CoreApiWrapper::getFsStatus(fiscal::FsStatus &status)
{
    status = fiscal::FsStatus();
    return api() && api()->getFsStatus(status);
}

bool CoreApiWrapper::getFullFrCoreState(QVariantMap &state, bool flag)
{
    if (!api())
        return false;
    const bool ok = api()->getFullFrCoreState(state, flag);
    addRegistrationData(state);
    return ok;
}

bool CoreApiWrapper::getFiscalDoc(const core::Cashier &cashier, int number, bool print,
                                  QVariantMap &document)
{
    document.clear();
    return api() && api()->getFiscalDoc(cashier, number, print, document);
}

bool CoreApiWrapper::registreCheck(const QVariantMap &check, const core::Cashier &cashier,
                                   QVariantMap &result, int &error)
{
    result.clear();
    error = 0;
    if (!api())
        return false;
    const bool ok = mapResult(api()->registreCheck(check, cashier, result, error), result);
    explainRefusal(ok, error, api()->lastErrorText(), result);
    return ok;
}

bool CoreApiWrapper::receiptStart(ReceiptStart &start, bool &timedOut)
{
    m_receiptClock.start();
    m_receiptStartRead = false;
    timedOut = m_coreSilent;
    if (!api() || m_coreSilent)
        return false;
    start.known = lastDocument(start.lastDocNumber, start.registerTime);
    // A core that let the time pass is silent: the receipt is not sent.
    timedOut = !start.known && m_receiptClock.elapsed() >= RECEIPT_TIMEOUT_MS;
    m_receiptStartRead = start.known;
    return start.known;
}

bool CoreApiWrapper::registreRecordedCheck(const QVariantMap &check, const core::Cashier &cashier,
                                           const StartRecorder &record, QVariantMap &result, int &error)
{
    result.clear();
    error = 0;
    if (!api())
        return false;
    if (!m_receiptClock.isValid())
        m_receiptClock.start();
    // A core that refused the status question gets the receipt all the
    // same, as before; its outcome then cannot be settled.
    if (!m_receiptStartRead && !record(ReceiptStart())) {
        error = ERROR_START_NOT_STORED;
        return false;
    }
    const int left = qMax(1, RECEIPT_TIMEOUT_MS - int(m_receiptClock.elapsed()));
    bool ok = false;
    {
        const OperationTimeout timeout(api(), left);
        ok = mapResult(api()->registreCheck(check, cashier, result, error), result);
    }
    m_receiptClock.invalidate();
    m_receiptStartRead = false;
    explainRefusal(ok, error, api()->lastErrorText(), result);
    return ok;
}

bool CoreApiWrapper::lastDocument(quint32 &number, QDateTime &dt)
{
    if (!api())
        return false;
    fiscal::FsStatus status;
    const OperationTimeout timeout(api(), RECEIPT_TIMEOUT_MS);
    if (!api()->getFsStatus(status))
        return false;
    number = status.lastFd();
    dt = status.dt();
    return true;
}

bool CoreApiWrapper::fiscalDocSummary(const core::Cashier &cashier, quint32 number, FiscalDocSummary &document)
{
    if (!api())
        return false;
    QVariantMap answer;
    const OperationTimeout timeout(api(), RECEIPT_TIMEOUT_MS);
    if (!api()->getFiscalDoc(cashier, int(number), false, answer))
        return false;
    const QString checkType = QStringLiteral("checkType");
    document.receipt = answer.contains(checkType);
    document.type = answer.value(checkType, -1).toInt();
    document.total = answer.value(QStringLiteral("total"), -1).toLongLong();
    document.positions = answer.value(QStringLiteral("positions"), -1).toInt();
    document.dt = QDateTime::fromString(answer.value(QStringLiteral("dt")).toString(), Qt::ISODate);
    document.sessionId = answer.value(QStringLiteral("sessionId")).toString();
    document.answer = answer;
    return true;
}

bool CoreApiWrapper::openCycle(const core::Cashier &cashier, bool print, int &error,
                               QVariantMap &result)
{
    result.clear();
    error = 0;
    return api() && mapResult(api()->openCycle(cashier, print, error, result), result);
}

bool CoreApiWrapper::closeCycle(const core::Cashier &cashier, bool print, int &error,
                                QVariantMap &result)
{
    result.clear();
    error = 0;
    return api()
        && mapResult(api()->closeCycle(cashier, print, false, error, result), result);
}

bool CoreApiWrapper::xReport(const core::Cashier &cashier, bool print, bool secondFlag,
                             int &error, QVariantMap &result)
{
    result.clear();
    error = 0;
    return api()
        && mapResult(api()->xReport(cashier, print, secondFlag, error, result), result);
}

bool CoreApiWrapper::calcReport(const core::Cashier &cashier, bool print, int &error,
                                QVariantMap &result)
{
    result.clear();
    error = 0;
    return api() && mapResult(api()->calcReport(cashier, print, error, result), result);
}

bool CoreApiWrapper::printText(const core::Cashier &cashier, const QVariantMap &text,
                               int &error, QVariantMap &result)
{
    result.clear();
    error = 0;
    return api() && mapResult(api()->printText(cashier, text, error, result), result);
}

bool CoreApiWrapper::activate(const core::Cashier &cashier, bool printOnly,
                              const QString &sessionId, const QVariantMap &data, int &error,
                              QVariantMap &result)
{
    result.clear();
    error = 0;
    if (!api())
        return false;
    // The core takes the data before the session identifier.
    const bool ok = mapResult(api()->activate(cashier, printOnly, data, sessionId, error, result), result);
    explainRefusal(ok, error, api()->lastErrorText(), result);
    // Even a refused or unanswered fiscalisation may have changed them.
    RegDataCache::invalidate();
    return ok;
}

bool CoreApiWrapper::getRegData(fiscal::RegData &data)
{
    data = fiscal::RegData();
    if (!hasApi())
        return false;
    // Remembered answers are those of the service's own core; a wrapper
    // with a factory of its own asks its client every time.
    if (!m_serviceClients)
        return api() && api()->getRegData(data);
    bool answered = false;
    if (RegDataCache::get(data, &answered))
        return answered;
    const RegDataCache::Ticket ticket = RegDataCache::ticket();
    QElapsedTimer clock;
    clock.start();
    {
        // A query: no need to wait longer than for a receipt.
        const OperationTimeout timeout(api(), RECEIPT_TIMEOUT_MS);
        answered = api() && api()->getRegData(data);
    }
    // A core that let this time pass will not answer the receipt of this
    // request either: it is not kept waiting a second time.
    m_coreSilent = !answered && clock.elapsed() >= RECEIPT_TIMEOUT_MS;
    if (!answered)
        data = fiscal::RegData();
    RegDataCache::put(data, ticket, answered);
    return answered;
}

bool CoreApiWrapper::printBbcode(const QString &text, QString &errorText, int &error)
{
    return api() && api()->printBbcode(text, errorText, error);
}

bool CoreApiWrapper::printPlainText(QString text, QString &errorText, int &error)
{
    return api() && api()->printPlainText(std::move(text), errorText, error);
}

bool CoreApiWrapper::introduction(const core::Cashier &cashier, const qt5ext::FixNumber &sum,
                                  int &error, QString &errorText)
{
    return api() && api()->introduction(cashier, sum, error, errorText);
}

bool CoreApiWrapper::payout(const core::Cashier &cashier, const qt5ext::FixNumber &sum,
                            int &error, QString &errorText)
{
    return api() && api()->payout(cashier, sum, error, errorText);
}

bool CoreApiWrapper::closeFs(const core::Cashier &cashier, int &error, QString &errorText,
                             QVariantMap &result)
{
    if (!api())
        return false;
    const bool ok = api()->closeFs(cashier, error, errorText, result);
    RegDataCache::invalidate();
    return ok;
}
