#include "httpworker.h"

#include "metricsrequesthandler.h"
#include "tillgaterequesthandler.h"

#include <fileconfighelper.h>
#include <httplistener.h>
#include <httprequest.h>
#include <httplogging.h>
#include <iniguard.h>

#include <QMetaEnum>
#include <QSettings>

#include <string>
#include <vector>

const QString HttpWorker::LISTENER_SETTINGS_FILE = QStringLiteral("/opt/zelvotillgate/etc/tillgatelistener.conf");
const QString HttpWorker::LISTENER_SECTION = QStringLiteral("LISTENER");

namespace {

using Route = TillgateRequestHandler::Route;
using Group = ServiceMetrics::RouteGroup;

Group routeGroup(Route route)
{
    switch (route) {
    case Route::FiscalCheck:
        return Group::Receipt;
    case Route::CycleOpen:
    case Route::CycleClose:
    case Route::XReport:
    case Route::CalcReport:
    case Route::Introduction:
    case Route::Payout:
    case Route::FiscalDoc:
        return Group::Report;
    case Route::FsStatus:
    case Route::CashboxStatus:
    case Route::CashboxVersion:
        return Group::Status;
    case Route::PrintText:
    case Route::RichText:
        return Group::Print;
    case Route::Search:
    case Route::Cashboxes:
    case Route::ChooseCashbox:
    case Route::ChooseAtol:
    case Route::ChooseCombine:
        return Group::Choice;
    default:
        return Group::Other;
    }
}

// The route's enumerator name in snake case ("FsStatus": "fs_status"), made
// once: labels are a fixed set, whatever paths clients send.
const char *routeLabel(Route route)
{
    static const std::vector<std::string> labels = [] {
        const QMetaEnum meta = QMetaEnum::fromType<Route>();
        std::vector<std::string> names(size_t(meta.keyCount()));
        for (int i = 0; i < meta.keyCount(); ++i) {
            std::string name;
            for (const char *c = meta.key(i); *c; ++c) {
                if (*c >= 'A' && *c <= 'Z') {
                    if (!name.empty())
                        name += '_';
                    name += char(*c - 'A' + 'a');
                } else {
                    name += *c;
                }
            }
            names[size_t(meta.value(i))] = name;
        }
        return names;
    }();
    return labels.at(size_t(route)).c_str();
}

MetricsRequestHandler::Route classify(const HttpRequest &request)
{
    const QByteArray method = request.getMethod().toUpper();
    if (method == "OPTIONS")
        return {"preflight", Group::Other};
    const QString path = QString::fromUtf8(request.getPath());
    const Route route = method == "POST" ? TillgateRequestHandler::postRoute(path)
                        : method == "GET" ? TillgateRequestHandler::getRoute(path)
                                          : Route::NotFound;
    return {routeLabel(route), routeGroup(route)};
}

// The one handler that serves every request of the listener, counted and
// with /metrics in front.
HttpRequestHandler *createRequestHandler(QObject *parent)
{
    return new MetricsRequestHandler(new TillgateRequestHandler, classify, parent);
}

} // namespace

HttpWorker::HttpWorker(QObject *parent)
    : qt5ext::AbstractWorker(parent)
{
}

HttpWorker::~HttpWorker() = default;

bool HttpWorker::doStart()
{
    doStop();
    // A listener of an earlier start is deleted later on this thread; its
    // settings go after it, in the order the deletions were scheduled.
    if (m_settings)
        m_settings->deleteLater();
    m_settings = nullptr;
    const QString path = qt5ext::FileConfigHelper::rootedPath(LISTENER_SETTINGS_FILE);
    QString why;
    if (!qt5ext::IniGuard::fileIsSafe(path, why)) {
        qCCritical(lcHttp).noquote() << "Listener settings file" << path << why;
        return false;
    }
    m_settings = new QSettings(path, QSettings::IniFormat, this);
    m_settings->beginGroup(LISTENER_SECTION);
    HttpRequestHandler *handler = createRequestHandler(this);
    auto *listener = new HttpListener(m_settings, handler, this);
    // The handler lives as long as the listener: the listener's pool, whose
    // threads call it, is gone before the listener's children are deleted.
    handler->setParent(listener);
    m_listener.reset(listener, &QObject::deleteLater);
    return listener->isListening();
}

bool HttpWorker::doStop()
{
    m_listener.reset();
    return true;
}
