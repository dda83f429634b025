#ifndef HTTPLISTENER_H
#define HTTPLISTENER_H

#include "httpconnectionhandler.h"

#include <QTcpServer>

#include <memory>

class HttpConnectionHandlerPool;
class HttpRequestHandler;
class QSettings;

// Accepts connections on "port" of "host" (every local address unless set)
// and passes each to a connection handler of the pool; when every handler is
// busy the client gets a fixed 503 answer and is closed. Lives on the thread
// that creates it.
class HttpListener : public QTcpServer
{
    Q_OBJECT
public:
    // The settings (group already entered) and the request handler are not
    // owned and must outlive the listener. Starts listening at once;
    // isListening() tells whether that worked.
    HttpListener(QSettings *settings, HttpRequestHandler *handler, QObject *parent = nullptr);
    ~HttpListener() override;

    HttpConnectionHandlerPool *pool() const { return m_pool.get(); }

signals:
    void handleConnection(tSocketDescriptor socketDescriptor);

protected:
    void incomingConnection(tSocketDescriptor socketDescriptor) override;

private:
    Q_DISABLE_COPY(HttpListener)

    std::unique_ptr<HttpConnectionHandlerPool> m_pool;
};

#endif
