#ifndef HTTPREQUESTHANDLER_H
#define HTTPREQUESTHANDLER_H

#include <QObject>

class HttpRequest;
class HttpResponse;

// The one handler the server calls for every complete request. service() is
// entered from all connection threads at once, so a handler keeps no
// per-request state in members. This base answers 501.
class HttpRequestHandler : public QObject
{
    Q_OBJECT
public:
    explicit HttpRequestHandler(QObject *parent = nullptr);
    ~HttpRequestHandler() override;

    virtual void service(HttpRequest &request, HttpResponse &response);
    // Called on a connection thread when its client connection has ended,
    // so that what the handler keeps per thread can be let go while the
    // thread waits in the pool. Does nothing here.
    virtual void connectionEnded();
};

#endif
