#ifndef METRICSREQUESTHANDLER_H
#define METRICSREQUESTHANDLER_H

#include "servicemetrics.h"

#include <httprequesthandler.h>

#include <QHostAddress>
#include <QStringList>

#include <functional>

// Stands in front of the service's request handler: answers GET /metrics
// itself, to this machine and the configured peers only and never to a web
// page, and counts every other request by route and status code as the
// handler behind answered it.
class MetricsRequestHandler : public HttpRequestHandler
{
    Q_OBJECT
public:
    struct Route
    {
        // One of a fixed set of labels, alive as long as the process.
        const char *name;
        ServiceMetrics::RouteGroup group;
    };
    using Classifier = std::function<Route(const HttpRequest &)>;

    static const QByteArray PATH;

    // Takes ownership of the handler behind.
    MetricsRequestHandler(HttpRequestHandler *inner, Classifier classify, QObject *parent = nullptr);

    void service(HttpRequest &request, HttpResponse &response) override;
    void connectionEnded() override;

    // Loopback always; else the peer must be one of the addresses or
    // networks ("10.1.0.0/16") listed.
    static bool peerAllowed(const QHostAddress &peer, const QStringList &allowed);

private:
    void serveMetrics(HttpRequest &request, HttpResponse &response);

    HttpRequestHandler *m_inner;
    Classifier m_classify;
};

#endif
