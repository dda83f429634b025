#include "httpconnectionhandlerpool.h"

#include "httpconnectionhandler.h"
#include "httplogging.h"

#include <QSettings>

HttpConnectionHandlerPool::HttpConnectionHandlerPool(QSettings *settings, HttpRequestHandler *requestHandler,
                                                     QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_requestHandler(requestHandler)
{
    connect(&m_cleanupTimer, &QTimer::timeout, this, &HttpConnectionHandlerPool::cleanup);
    m_cleanupTimer.start(m_settings->value(QStringLiteral("cleanupInterval"), 1000).toInt());
}

HttpConnectionHandlerPool::~HttpConnectionHandlerPool()
{
    m_cleanupTimer.stop();
    {
        QMutexLocker lock(&m_mutex);
        m_handlers.clear();
    }
    qCDebug(lcHttp, "HttpConnectionHandlerPool (%p): destroyed", static_cast<void *>(this));
}

HttpConnectionHandler *HttpConnectionHandlerPool::getConnectionHandler()
{
    QMutexLocker lock(&m_mutex);
    for (const auto &handler : m_handlers) {
        if (!handler->isBusy()) {
            handler->setBusy();
            return handler.get();
        }
    }
    if (int(m_handlers.size()) < m_settings->value(QStringLiteral("maxThreads"), 100).toInt()) {
        m_handlers.push_back(std::make_unique<HttpConnectionHandler>(m_settings, m_requestHandler));
        m_handlers.back()->setBusy();
        return m_handlers.back().get();
    }
    return nullptr;
}

int HttpConnectionHandlerPool::handlerCount() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_handlers.size());
}

void HttpConnectionHandlerPool::cleanup()
{
    QMutexLocker lock(&m_mutex);
    const int minThreads = m_settings->value(QStringLiteral("minThreads"), 1).toInt();
    int idle = 0;
    for (auto it = m_handlers.begin(); it != m_handlers.end(); ++it) {
        if ((*it)->isBusy() || ++idle <= minThreads)
            continue;
        const void *removed = it->get();
        const std::unique_ptr<HttpConnectionHandler> handler = std::move(*it);
        m_handlers.erase(it);
        // Deleting the handler waits for its thread to end.
        qCDebug(lcHttp, "HttpConnectionHandlerPool: Removed connection handler (%p), pool size is now %i", removed,
                int(m_handlers.size()));
        break;
    }
}
