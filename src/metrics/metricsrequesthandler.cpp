#include "metricsrequesthandler.h"

#include "metricslog_p.h"
#include "tillgateconfig.h"

#include <httprequest.h>
#include <httpresponse.h>

#include <QElapsedTimer>

const QByteArray MetricsRequestHandler::PATH = QByteArrayLiteral("/metrics");

namespace {

// Scrapes are counted as requests too, under a label of their own.
const char METRICS_ROUTE[] = "metrics";

void answer(HttpResponse &response, int code, const QByteArray &text, const QByteArray &body)
{
    response.setStatus(code, text);
    response.write(body, true);
}

} // namespace

MetricsRequestHandler::MetricsRequestHandler(HttpRequestHandler *inner, Classifier classify, QObject *parent)
    : HttpRequestHandler(parent)
    , m_inner(inner)
    , m_classify(std::move(classify))
{
    m_inner->setParent(this);
}

bool MetricsRequestHandler::peerAllowed(const QHostAddress &peer, const QStringList &allowed)
{
    // An IPv4 client of a dual-stack listener arrives as ::ffff:a.b.c.d.
    bool isV4 = false;
    const quint32 v4 = peer.toIPv4Address(&isV4);
    const QHostAddress address = isV4 ? QHostAddress(v4) : peer;
    if (address.isLoopback())
        return true;
    for (const QString &entry : allowed) {
        if (entry.contains(QLatin1Char('/'))) {
            const QPair<QHostAddress, int> subnet = QHostAddress::parseSubnet(entry);
            if (!subnet.first.isNull() && address.isInSubnet(subnet))
                return true;
        } else if (QHostAddress(entry) == address) {
            return true;
        }
    }
    return false;
}

void MetricsRequestHandler::service(HttpRequest &request, HttpResponse &response)
{
    QElapsedTimer timer;
    timer.start();
    if (request.getPath() == PATH) {
        serveMetrics(request, response);
        ServiceMetrics::instance().countRequest(METRICS_ROUTE, ServiceMetrics::RouteGroup::Other,
                                                response.getStatusCode(), double(timer.nsecsElapsed()) / 1e9);
        return;
    }
    const Route route = m_classify(request);
    ServiceMetrics &metrics = ServiceMetrics::instance();
    metrics.requestStarted();
    m_inner->service(request, response);
    metrics.requestFinished();
    metrics.countRequest(route.name, route.group, response.getStatusCode(), double(timer.nsecsElapsed()) / 1e9);
}

void MetricsRequestHandler::serveMetrics(HttpRequest &request, HttpResponse &response)
{
    // A page in a browser on this machine (a host name rebound to 127.0.0.1)
    // would pass as a loopback peer; scrapers send neither header, a browser
    // marks all but a typed-in address.
    const QByteArray fetchSite = request.getHeader(QByteArrayLiteral("Sec-Fetch-Site"));
    const bool fromPage = !request.getHeader(QByteArrayLiteral("Origin")).isEmpty()
                          || (!fetchSite.isEmpty() && fetchSite != "none");
    if (fromPage || !peerAllowed(request.getPeerAddress(), TillgateConfig().metricsPeers())) {
        qCWarning(lcMetrics).noquote() << "Metrics refused to" << request.getPeerAddress().toString();
        answer(response, 403, QByteArrayLiteral("Forbidden"), QByteArrayLiteral("403 Forbidden"));
        return;
    }
    if (request.getMethod().toUpper() != "GET") {
        response.setHeader(QByteArrayLiteral("Allow"), QByteArrayLiteral("GET"));
        answer(response, 405, QByteArrayLiteral("Method Not Allowed"), QByteArrayLiteral("405 Method Not Allowed"));
        return;
    }
    response.setHeader(QByteArrayLiteral("Content-Type"), ServiceMetrics::CONTENT_TYPE);
    response.setHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-store"));
    answer(response, 200, QByteArrayLiteral("OK"), ServiceMetrics::instance().text());
}

void MetricsRequestHandler::connectionEnded()
{
    m_inner->connectionEnded();
}
