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
    answered = api() && api()->getRegData(data);
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
