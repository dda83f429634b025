#include "tillgaterequesthandler.h"

#include "baserequestprocessor.h"
#include "coreapiwrapper.h"
#include "htmlrequestprocessor.h"
#include "jsonrequestprocessor.h"
#include "requestguard.h"
#include "tillgatebuscontroller.h"
#include "tillgateconfig.h"
#include "tillgatecoreapi.h"
#include "xmlrequestprocessor.h"

#include <httprequest.h>
#include <httpresponse.h>

#include <appbusobject.h>
#include <basesqlitedbconnector.h>
#include <regdata.h>
#include <sharedobjectsstorage.h>

#include <QElapsedTimer>
#include <QFile>

#include <memory>

Q_LOGGING_CATEGORY(HTTPACCESS, "access")

const QByteArray TillgateRequestHandler::REALM = QByteArrayLiteral("kxvd_T3pQwzLm9RaH");
const QByteArray TillgateRequestHandler::CHALLENGE = QByteArrayLiteral("Basic realm=\"kxvd_T3pQwzLm9RaH:\"");
const QByteArray TillgateRequestHandler::ROBOTS_TEXT = QByteArrayLiteral("User-agent:*\nDisallow: /");
const QString TillgateRequestHandler::FAVICON_RESOURCE = QStringLiteral(":/icons/favicon.png");

namespace {

using Route = TillgateRequestHandler::Route;

struct RouteRow
{
    const char *prefix;
    Route route;
};

const RouteRow GET_ROUTES[] = {
    {"/fsstatus", Route::FsStatus},
    {"/fs-status", Route::FsStatus},
    {"/fs_status", Route::FsStatus},
    {"/fs_state", Route::FsStatus},
    {"/fs-state", Route::FsStatus},
    {"/fsstate", Route::FsStatus},
    {"/cashboxstatus", Route::CashboxStatus},
    {"/cashbox-status", Route::CashboxStatus},
    {"/cashbox_status", Route::CashboxStatus},
    {"/cashbox_state", Route::CashboxStatus},
    {"/cashbox-state", Route::CashboxStatus},
    {"/cashboxstate", Route::CashboxStatus},
    {"/cashboxver", Route::CashboxVersion},
    {"/cashbox-ver", Route::CashboxVersion},
    {"/cashbox_ver", Route::CashboxVersion},
    {"/cashbox_version", Route::CashboxVersion},
    {"/cashbox-version", Route::CashboxVersion},
    {"/cashboxversion", Route::CashboxVersion},
    {"/fiscaldoc", Route::FiscalDoc},
    {"/fiscal-doc", Route::FiscalDoc},
    {"/fiscal_doc", Route::FiscalDoc},
    {"/cycleopen", Route::CycleOpen},
    {"/cycle-open", Route::CycleOpen},
    {"/cycle_open", Route::CycleOpen},
    {"/calcreport", Route::CalcReport},
    {"/calc-report", Route::CalcReport},
    {"/calc_report", Route::CalcReport},
    {"/cycleclose", Route::CycleClose},
    {"/cycle-close", Route::CycleClose},
    {"/cycle_close", Route::CycleClose},
    {"/xreport", Route::XReport},
    {"/x-report", Route::XReport},
    {"/x_report", Route::XReport},
    {"/introduction", Route::Introduction},
    {"/payout", Route::Payout},
    {"/closefs", Route::CloseFs},
    {"/close_fs", Route::CloseFs},
    {"/close-fs", Route::CloseFs},
    {"/discover", Route::Search},
    {"/search", Route::Search},
    {"/cashboxes", Route::Cashboxes},
    {"/foundcashboxes", Route::Cashboxes},
    {"/found_cashboxes", Route::Cashboxes},
    {"/choosecashbox", Route::ChooseCashbox},
    {"/choose_cashbox", Route::ChooseCashbox},
    {"/robots.txt", Route::Robots},
    {"/favicon.ico", Route::Favicon},
};

const RouteRow POST_ROUTES[] = {
    {"/fiscalcheck", Route::FiscalCheck},
    {"/fiscal-check", Route::FiscalCheck},
    {"/fiscal_check", Route::FiscalCheck},
    {"/printtext", Route::PrintText},
    {"/print-text", Route::PrintText},
    {"/print_text", Route::PrintText},
    {"/chooseatol", Route::ChooseAtol},
    {"/choose_atol", Route::ChooseAtol},
    {"/choosecombine", Route::ChooseCombine},
    {"/choose_combine", Route::ChooseCombine},
    {"/printrichtext", Route::RichText},
    {"/storeimages", Route::RichText},
    {"/fiscalize", Route::Fiscalize},
    {"/activate", Route::Fiscalize},
};

const char *const PUBLIC_PREFIXES[] = {
    "/discover",       "/search",         "/cashboxes",     "/foundcashboxes", "/found_cashboxes",
    "/choosecashbox",  "/choose_cashbox", "/chooseatol",    "/choose_atol",    "/choosecombine",
    "/choose_combine", "/robots.txt",     "/favicon.ico",
};

template<size_t N>
Route findRoute(const RouteRow (&table)[N], const QString &path)
{
    const QString lower = path.toLower();
    for (const RouteRow &row : table) {
        if (lower.startsWith(QLatin1String(row.prefix)))
            return row.route;
    }
    return Route::NotFound;
}

QString textParameter(const HttpRequest &request, const char *name)
{
    return TillgateRequestHandler::utf8Text(request.getParameter(QString::fromLatin1(name)));
}

QString latin1Parameter(const HttpRequest &request, const char *name)
{
    return QString::fromLatin1(request.getParameter(QString::fromLatin1(name)));
}

} // namespace

TillgateRequestHandler::TillgateRequestHandler(QObject *parent)
    : HttpRequestHandler(parent)
{
    // The favicon lives in the API's static library, whose resource object
    // the linker would otherwise leave out.
    Q_INIT_RESOURCE(api);
}

QString TillgateRequestHandler::utf8Text(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes.constData(), int(qstrnlen(bytes.constData(), uint(bytes.size()))));
}

TillgateRequestHandler::Route TillgateRequestHandler::getRoute(const QString &path)
{
    return findRoute(GET_ROUTES, path);
}

TillgateRequestHandler::Route TillgateRequestHandler::postRoute(const QString &path)
{
    return findRoute(POST_ROUTES, path);
}

bool TillgateRequestHandler::isPublicPath(const QString &path)
{
    const QString lower = path.toLower().trimmed();
    for (const char *prefix : PUBLIC_PREFIXES) {
        if (lower.startsWith(QLatin1String(prefix)))
            return true;
    }
    return false;
}

bool TillgateRequestHandler::readFlag(const QByteArray &value)
{
    if (value.isEmpty())
        return false;
    if (value.toLower() == "true")
        return true;
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok, 10);
    return ok && number != 0;
}

void TillgateRequestHandler::parseCredentials(const QByteArray &header, QString &login, QString &password)
{
    const QString text = utf8Text(QByteArray::fromBase64(header.mid(6).trimmed()));
    const int colon = text.indexOf(QLatin1Char(':'));
    if (colon < 0) {
        login = text;
        password = text;
        return;
    }
    login = text.left(colon);
    password = text.mid(colon + 1);
}

void TillgateRequestHandler::answer(HttpResponse &response, int status, const QByteArray &statusText,
                                    const QByteArray &body)
{
    response.setStatus(status, statusText);
    response.write(body, true);
}

void TillgateRequestHandler::badRequest(HttpResponse &response, const QByteArray &path)
{
    qCDebug(lcApi) << path << "Bad request";
    answer(response, 400, QByteArrayLiteral("Bad request"), QByteArrayLiteral("400 Bad request"));
}

void TillgateRequestHandler::notFound(HttpResponse &response, const QByteArray &path)
{
    qCDebug(lcApi) << path << "Not found";
    answer(response, 404, QByteArrayLiteral("Not found"), QByteArrayLiteral("404 Not found"));
}

void TillgateRequestHandler::connectionEnded()
{
    qt5ext::BaseSqliteDbConnector::closeThreadConnections();
}

void TillgateRequestHandler::service(HttpRequest &request, HttpResponse &response)
{
    QElapsedTimer timer;
    timer.start();

    const TillgateConfig config;
    // Nothing is done for a request that is not the till's own front end's.
    if (RequestGuard(config.allowedOrigins(), config.allowedHosts()).admit(request, response)) {
        if (request.getMethod().toUpper() == "OPTIONS")
            answer(response, 200, QByteArrayLiteral("OK"), QByteArray());
        else
            processRequest(request, response, config.currentDevice());
    }

    qCWarning(HTTPACCESS).noquote() << request.getMethod() << request.getPath() << timer.elapsed();
}

void TillgateRequestHandler::processRequest(HttpRequest &request, HttpResponse &response)
{
    processRequest(request, response, TillgateConfig().currentDevice());
}

void TillgateRequestHandler::processRequest(HttpRequest &request, HttpResponse &response,
                                            TillgateConfig::DeviceType device)
{
    const QByteArray authorization = request.getHeader(QByteArrayLiteral("Authorization"));
    const QByteArray rawPath = request.getPath();
    const QString path = QString::fromUtf8(rawPath);
    const bool needsAuthorisation = !notAutorized(path, device);

    if (needsAuthorisation && !authorization.startsWith("Basic ")) {
        response.setHeader(QByteArrayLiteral("WWW-Authenticate"), CHALLENGE);
        response.setStatus(401, QByteArrayLiteral("Unauthorized"));
        qCDebug(lcApi) << rawPath << "Unauthorized";
        return;
    }

    QString login;
    QString password;
    parseCredentials(authorization, login, password);

    core::Cashier cashier;
    const QString clientId = textParameter(request, "clientid");
    QString regNumber = textParameter(request, "frregnum");
    QString inn = textParameter(request, "inn");
    const QString serial = textParameter(request, "frserial");
    const QString model = textParameter(request, "frmodel");

    if (needsAuthorisation) {
        // A guesser held off is not let near the fiscal core at all.
        const QHostAddress peer = request.getPeerAddress();
        if (const int wait = m_loginThrottle.retryAfter(peer)) {
            response.setHeader(QByteArrayLiteral("Retry-After"), QByteArray::number(wait));
            answer(response, 429, QByteArrayLiteral("Too Many Requests"), QByteArrayLiteral("429 Too Many Requests"));
            qCDebug(lcApi) << rawPath << "Too Many Requests" << peer.toString();
            return;
        }
        QString message;
        if (!checkAuthorisation(login, password, clientId, cashier, message, device)) {
            m_loginThrottle.failed(peer);
            response.setHeader(QByteArrayLiteral("WWW-Authenticate"), CHALLENGE);
            response.setStatus(401, QByteArrayLiteral("Unauthorized"));
            response.write(QByteArrayLiteral("401 Unauthorized ") + message.toUtf8(), true);
            qCDebug(lcApi) << rawPath << "Unauthorized " << message;
            return;
        }
        m_loginThrottle.succeeded(peer);
    }

    const QString lowerPath = path.toLower();
    std::unique_ptr<BaseRequestProcessor> processor;
    if (lowerPath.endsWith(QLatin1String(".xml"))) {
        processor = std::make_unique<XmlRequestProcessor>(device, nullptr);
        response.setHeader(QByteArrayLiteral("Content-Type"), QByteArrayLiteral("text/xml; charset=utf-8"));
    } else if (lowerPath.endsWith(QLatin1String(".json"))) {
        processor = std::make_unique<JsonRequestProcessor>(device, nullptr);
        response.setHeader(QByteArrayLiteral("Content-Type"), QByteArrayLiteral("text/json; charset=utf-8"));
    } else {
        processor = std::make_unique<HtmlRequestProcessor>(device, nullptr);
    }

    const QByteArray method = request.getMethod().toUpper();
    // A receipt that names its register by model and serial may leave the
    // registration number and INN to the register itself. Only receipts use
    // them, so no other request waits for the core's registration data.
    if (method == "POST" && postRoute(path) == Route::FiscalCheck
        && (regNumber.isEmpty() || inn.isEmpty())) {
        const fiscal::RegData regData = processor->getRegData();
        const bool sameRegister = regData.model() == model.toUInt(nullptr, 10)
            && serial.trimmed() == regData.cashBoxSerial().trimmed();
        if (regNumber.isEmpty() && sameRegister)
            regNumber = regData.regNumeber();
        if (inn.isEmpty() && sameRegister)
            inn = regData.userInn();
    }

    processor->setCashier(cashier);
    processor->setInn(inn);
    processor->setRegNumber(regNumber);

    if (method == "GET") {
        prepareGetRequest(request, response, processor.get());
    } else if (method == "POST") {
        preparePostRequest(request, response, processor.get());
    } else {
        qCDebug(lcApi) << rawPath << "Bad request " << method;
        answer(response, 400, QByteArrayLiteral("Bad request"), QByteArrayLiteral("400 Bad request ") + method);
    }
}

bool TillgateRequestHandler::notAutorized(const QString &path)
{
    return notAutorized(path, TillgateConfig().currentDevice());
}

bool TillgateRequestHandler::notAutorized(const QString &path, TillgateConfig::DeviceType device)
{
    if (device == TillgateConfig::DeviceCombine)
        return true;
    return isPublicPath(path);
}

bool TillgateRequestHandler::checkAuthorisation(const QString &login, const QString &password,
                                                const QString &clientId, core::Cashier &cashier,
                                                QString &message)
{
    return checkAuthorisation(login, password, clientId, cashier, message, TillgateConfig().currentDevice());
}

bool TillgateRequestHandler::checkAuthorisation(const QString &login, const QString &password,
                                                const QString &clientId, core::Cashier &cashier,
                                                QString &message, TillgateConfig::DeviceType device)
{
    cashier = core::Cashier();
    if (device == TillgateConfig::DeviceAtol) {
        // The ATOL register keeps its own cashiers: any credentials pass.
        cashier.setName(QStringLiteral("TEMP"));
        cashier.setPassword(password.toUInt(nullptr, 10));
        return true;
    }

    if (const auto bus = CoreApiWrapper::busController()) {
        // A client of our own for this one question, gone before we answer.
        const std::unique_ptr<TillgateCoreApi> api(bus->createApi(nullptr));
        bool timedOut = false;
        QString error;
        if (api->cashboxIsRegistered(timedOut, error)) {
            QVariant clientIdValue(clientId);
            const bool ok = api->getLoginOnline(login, password, cashier, clientIdValue, error);
            if (ok) {
                cashier.setClientId(clientIdValue);
            } else {
                qCWarning(lcApi) << error;
                message = error;
            }
            return ok;
        }
        // A silent core leaves the decision to the cashier list it last
        // published.
        if (timedOut)
            qCWarning(lcApi) << error;
    }
    return checkOffline(login, password, cashier);
}

bool TillgateRequestHandler::checkOffline(const QString &login, const QString &password, core::Cashier &cashier)
{
    cashier = core::Cashier();
    bus::AppBusObject object;
    if (!bus::SharedObjectsStorage().get(core::Cashier::CASHIERS_OBJECT_NAME, object))
        return false;
    bool ok = false;
    const uint number = login.trimmed().toUInt(&ok, 10);
    if (!ok)
        return false;
    const uint pass = password.trimmed().toUInt(&ok, 10);
    if (!ok)
        return false;
    const auto cashiers = core::Cashier::parseCashiers(object.content());
    // Cashier numbers are one-based positions in the list, in a byte.
    const int index = qint8(quint8(number - 1));
    if (index >= 0 && index < cashiers.size() && cashiers.at(index).password() == pass) {
        cashier = cashiers.at(index);
        return true;
    }
    for (const core::Cashier &candidate : cashiers) {
        if (candidate.password() == pass) {
            cashier = candidate;
            return true;
        }
    }
    return false;
}

void TillgateRequestHandler::prepareGetRequest(HttpRequest &request, HttpResponse &response,
                                               BaseRequestProcessor *processor)
{
    const QByteArray rawPath = request.getPath();
    if (!processor) {
        badRequest(response, rawPath);
        return;
    }
    const bool print = readFlag(request.getParameter(QStringLiteral("print")));
    QByteArray body;
    QByteArray statusText;
    int status = 0;
    switch (getRoute(QString::fromUtf8(rawPath))) {
    case Route::FsStatus:
        status = processor->getFsStatus(body, statusText);
        break;
    case Route::CashboxStatus:
        status = processor->getCashboxStatus(body, statusText);
        break;
    case Route::CashboxVersion:
        status = processor->getCashboxVersion(body, statusText);
        break;
    case Route::FiscalDoc: {
        bool ok = false;
        const int number = textParameter(request, "number").toInt(&ok, 10);
        if (!ok) {
            badRequest(response, rawPath);
            return;
        }
        status = print ? processor->printFiscalDoc(number, body, statusText)
                       : processor->getFiscalDoc(number, body, statusText);
        break;
    }
    case Route::CycleOpen:
        status = processor->getCycleOpen(print, body, statusText);
        break;
    case Route::CalcReport:
        status = processor->getCalcReport(print, body, statusText);
        break;
    case Route::CycleClose:
        status = processor->getCycleClose(print, body, statusText);
        break;
    case Route::XReport:
        status = processor->getXReport(print, body, statusText);
        break;
    case Route::Introduction:
        status = processor->getIntroduction(latin1Parameter(request, "sum"), body, statusText);
        break;
    case Route::Payout:
        status = processor->getPayout(latin1Parameter(request, "sum"), body, statusText);
        break;
    case Route::CloseFs:
        status = processor->getFsClosing(body, statusText);
        break;
    case Route::Search:
        status = processor->getInitSearch(readFlag(request.getParameter(QStringLiteral("cleanresults"))), body,
                                          statusText);
        break;
    case Route::Cashboxes:
        status = processor->getFindedCashboxes(body, statusText);
        break;
    case Route::ChooseCashbox: {
        bool ok = false;
        const qlonglong model = textParameter(request, "model").toLongLong(&ok, 10);
        status = processor->checkCashbox(ok ? quint16(model) : 0, latin1Parameter(request, "serial"), body,
                                         statusText);
        break;
    }
    case Route::Robots:
        status = 200;
        statusText = QByteArrayLiteral("Ok");
        body = ROBOTS_TEXT;
        break;
    case Route::Favicon: {
        status = 200;
        statusText = QByteArrayLiteral("Ok");
        QFile icon(FAVICON_RESOURCE);
        if (icon.open(QIODevice::ReadOnly))
            body = icon.readAll();
        break;
    }
    default:
        notFound(response, rawPath);
        return;
    }
    answer(response, status, statusText, body);
}

void TillgateRequestHandler::preparePostRequest(HttpRequest &request, HttpResponse &response,
                                                BaseRequestProcessor *processor)
{
    const QByteArray rawPath = request.getPath();
    if (!processor) {
        badRequest(response, rawPath);
        return;
    }
    const QByteArray requestBody = request.getBody();
    QByteArray body;
    QByteArray statusText;
    int status = 0;
    switch (postRoute(QString::fromUtf8(rawPath))) {
    case Route::FiscalCheck: {
        qCWarning(lcApi).noquote() << request.getPeerAddress().toString();
        QElapsedTimer timer;
        timer.start();
        status = processor->postFiscalCheck(requestBody, body, statusText);
        answer(response, status, statusText, body);
        qCWarning(lcApi).noquote() << QStringLiteral("CHECK_PROCESSED BY %1 ms").arg(timer.elapsed());
        return;
    }
    case Route::PrintText:
        status = processor->postPrintText(requestBody, body, statusText);
        break;
    case Route::ChooseAtol:
        status = processor->chooseAtol(requestBody, body, statusText);
        break;
    case Route::ChooseCombine:
        status = processor->chooseCombine(requestBody, body, statusText);
        break;
    case Route::RichText:
        status = processor->postRichText(requestBody, body, statusText);
        break;
    case Route::Fiscalize:
        status = processor->postFiscalization(requestBody, body, statusText);
        // A successful fiscalisation carries its answer and a refused one
        // the register's reason; the server closes the others with an empty
        // body.
        response.setStatus(status, statusText);
        if (status == 200 || status == 500)
            response.write(body, true);
        return;
    default:
        notFound(response, rawPath);
        return;
    }
    answer(response, status, statusText, body);
}
