#ifndef HTTPCONNECTIONHANDLERPOOL_H
#define HTTPCONNECTIONHANDLERPOOL_H

#include <QMutex>
#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

class HttpConnectionHandler;
class HttpRequestHandler;
class QSettings;

// The connection handlers (one thread each). The pool grows on demand up to
// "maxThreads"; every "cleanupInterval" ms it deletes one idle handler while
// more than "minThreads" are idle, so a burst of connections leaves no crowd
// of idle threads behind. Used on the listener's thread.
class HttpConnectionHandlerPool : public QObject
{
    Q_OBJECT
public:
    HttpConnectionHandlerPool(QSettings *settings, HttpRequestHandler *requestHandler, QObject *parent = nullptr);
    ~HttpConnectionHandlerPool() override;

    // A free handler, already marked busy, or null when all "maxThreads"
    // handlers are busy.
    HttpConnectionHandler *getConnectionHandler();
    int handlerCount() const;

public slots:
    void cleanup();

private:
    QSettings *m_settings;
    HttpRequestHandler *m_requestHandler;
    std::vector<std::unique_ptr<HttpConnectionHandler>> m_handlers;
    QTimer m_cleanupTimer;
    mutable QMutex m_mutex;
};

#endif
