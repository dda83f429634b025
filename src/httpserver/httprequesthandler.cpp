#include "httprequesthandler.h"

#include "httplogging.h"
#include "httprequest.h"
#include "httpresponse.h"

HttpRequestHandler::HttpRequestHandler(QObject *parent)
    : QObject(parent)
{
}

HttpRequestHandler::~HttpRequestHandler() = default;

void HttpRequestHandler::connectionEnded() {}

void HttpRequestHandler::service(HttpRequest &request, HttpResponse &response)
{
    qCCritical(lcHttp, "HttpRequestHandler: you need to override the dispatch() function");
    qCDebug(lcHttp, "HttpRequestHandler: request=%s %s %s", request.getMethod().constData(),
            request.getPath().constData(), request.getVersion().constData());
    response.setStatus(501, "not implemented");
    response.write("501 not implemented", true);
}
