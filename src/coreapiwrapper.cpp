#include "coreapiwrapper.h"

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
    : CoreApiWrapper(createServiceClient, parent)
{
}

CoreApiWrapper::CoreApiWrapper(ClientFactory clientFactory, QObject *parent)
    : BaseCoreApiWrapper(parent)
    , m_clientFactory(std::move(clientFactory))
{
    // The client is made as early as possible, so that it is connected
    // before the first operation needs it.
    api();
}

CoreApiWrapper::~CoreApiWrapper() = default;

void CoreApiWrapper::setBusController(const QSharedPointer<TillgateBusController> &controller)
{
    QMutexLocker locker(&busControllerMutex);
    serviceBusController = controller;
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
    return hasApi() && api()->getFsStatus(status);
}

bool CoreApiWrapper::getFullFrCoreState(QVariantMap &state, bool flag)
{
    if (!hasApi())
        return false;
    const bool ok = api()->getFullFrCoreState(state, flag);
    addRegistrationData(state);
    return ok;
}

bool CoreApiWrapper::getFiscalDoc(const core::Cashier &cashier, int number, bool print,
                                  QVariantMap &document)
{
    document.clear();
    return hasApi() && api()->getFiscalDoc(cashier, number, print, document);
}

bool CoreApiWrapper::registreCheck(const QVariantMap &check, const core::Cashier &cashier,
                                   QVariantMap &result, int &error)
{
    result.clear();
    error = 0;
    return hasApi() && mapResult(api()->registreCheck(check, cashier, result, error), result);
}

bool CoreApiWrapper::openCycle(const core::Cashier &cashier, bool print, int &error,
                               QVariantMap &result)
{
    result.clear();
    error = 0;
    return hasApi() && mapResult(api()->openCycle(cashier, print, error, result), result);
}

bool CoreApiWrapper::closeCycle(const core::Cashier &cashier, bool print, int &error,
                                QVariantMap &result)
{
    result.clear();
    error = 0;
    return hasApi()
        && mapResult(api()->closeCycle(cashier, print, false, error, result), result);
}

bool CoreApiWrapper::xReport(const core::Cashier &cashier, bool print, bool secondFlag,
                             int &error, QVariantMap &result)
{
    result.clear();
    error = 0;
    return hasApi()
        && mapResult(api()->xReport(cashier, print, secondFlag, error, result), result);
}

bool CoreApiWrapper::calcReport(const core::Cashier &cashier, bool print, int &error,
                                QVariantMap &result)
{
    result.clear();
    error = 0;
    return hasApi() && mapResult(api()->calcReport(cashier, print, error, result), result);
}

bool CoreApiWrapper::printText(const core::Cashier &cashier, const QVariantMap &text,
                               int &error, QVariantMap &result)
{
    result.clear();
    error = 0;
    return hasApi() && mapResult(api()->printText(cashier, text, error, result), result);
}

bool CoreApiWrapper::activate(const core::Cashier &cashier, bool printOnly,
                              const QString &sessionId, const QVariantMap &data, int &error,
                              QVariantMap &result)
{
    result.clear();
    error = 0;
    // The core takes the data before the session identifier.
    return hasApi()
        && mapResult(api()->activate(cashier, printOnly, data, sessionId, error, result), result);
}

bool CoreApiWrapper::getRegData(fiscal::RegData &data)
{
    data = fiscal::RegData();
    return hasApi() && api()->getRegData(data);
}

bool CoreApiWrapper::printBbcode(const QString &text, QString &errorText, int &error)
{
    return hasApi() && api()->printBbcode(text, errorText, error);
}

bool CoreApiWrapper::printPlainText(QString text, QString &errorText, int &error)
{
    return hasApi() && api()->printPlainText(std::move(text), errorText, error);
}

bool CoreApiWrapper::introduction(const core::Cashier &cashier, const qt5ext::FixNumber &sum,
                                  int &error, QString &errorText)
{
    return hasApi() && api()->introduction(cashier, sum, error, errorText);
}

bool CoreApiWrapper::payout(const core::Cashier &cashier, const qt5ext::FixNumber &sum,
                            int &error, QString &errorText)
{
    return hasApi() && api()->payout(cashier, sum, error, errorText);
}

bool CoreApiWrapper::closeFs(const core::Cashier &cashier, int &error, QString &errorText,
                             QVariantMap &result)
{
    return hasApi() && api()->closeFs(cashier, error, errorText, result);
}
