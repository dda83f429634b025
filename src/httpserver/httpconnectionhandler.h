#ifndef HTTPCONNECTIONHANDLER_H
#define HTTPCONNECTIONHANDLER_H

#include <QThread>

#include <atomic>
#include <memory>

class HttpRequest;
class HttpRequestHandler;
class QSettings;
class QTcpSocket;
class QTimer;

// The platform's socket descriptor, named so that it can travel through
// queued signals.
typedef qintptr tSocketDescriptor;

// Serves one connection at a time on a thread of its own: reads requests,
// hands each complete one to the request handler and keeps the connection
// open for the next request unless the client asks to close it. The
// handler, its socket and its timer all live on the handler's own thread;
// the pool reuses the handler for later connections.
class HttpConnectionHandler : public QThread
{
    Q_OBJECT
public:
    // Reads "readTimeout", "maxRequestSize" and "maxMultiPartSize" from the
    // settings group in effect, on the constructing thread, and starts the
    // thread.
    HttpConnectionHandler(QSettings *settings, HttpRequestHandler *requestHandler);
    ~HttpConnectionHandler() override;

    bool isBusy() const { return m_busy; }
    void setBusy() { m_busy = true; }

public slots:
    void handleConnection(tSocketDescriptor socketDescriptor);

private slots:
    void read();
    void disconnected();
    void readTimeout();

protected:
    void run() override;

private:
    Q_DISABLE_COPY(HttpConnectionHandler)

    void releaseSocket();
    void serveRequest();

    HttpRequestHandler *m_requestHandler;
    int m_readTimeout;
    int m_maxRequestSize;
    int m_maxMultiPartSize;
    // A fresh socket per connection, so nothing buffered for an earlier
    // client can reach a later one.
    std::unique_ptr<QTcpSocket> m_socket;
    QTimer *m_readTimer;
    std::unique_ptr<HttpRequest> m_request;
    // Set by the pool on the listener's thread, cleared here.
    std::atomic<bool> m_busy{false};
};

#endif
