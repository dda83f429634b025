#include "httpconnectionhandler.h"

#include "httplogging.h"
#include "httprequest.h"
#include "httprequesthandler.h"
#include "httpresponse.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTcpSocket>
#include <QTimer>

#include <unistd.h>

namespace {

const QByteArray ENTITY_TOO_LARGE =
    QByteArrayLiteral("HTTP/1.1 413 entity too large\r\nConnection: close\r\n\r\n413 Entity too large\r\n");

} // namespace

HttpConnectionHandler::HttpConnectionHandler(QSettings *settings, HttpRequestHandler *requestHandler)
    : m_requestHandler(requestHandler)
    , m_readTimeout(settings->value(QStringLiteral("readTimeout"), 10000).toInt())
    , m_maxRequestSize(settings->value(QStringLiteral("maxRequestSize"), 16000).toInt())
    , m_maxMultiPartSize(settings->value(QStringLiteral("maxMultiPartSize"), 1000000).toInt())
    , m_readTimer(new QTimer(this))
{
    m_readTimer->setSingleShot(true);
    connect(m_readTimer, &QTimer::timeout, this, &HttpConnectionHandler::readTimeout);
    // Children follow their parent to the handler's own thread.
    moveToThread(this);
    qCDebug(lcHttp, "HttpConnectionHandler (%p): constructed", static_cast<void *>(this));
    start(QThread::InheritPriority);
}

HttpConnectionHandler::~HttpConnectionHandler()
{
    // The socket and timer are closed by the thread itself when its event
    // loop ends, so they are never touched from the destroying thread.
    quit();
    wait();
    qCDebug(lcHttp, "HttpConnectionHandler (%p): destroyed", static_cast<void *>(this));
}

void HttpConnectionHandler::run()
{
    qCDebug(lcHttp, "HttpConnectionHandler (%p): thread started", static_cast<void *>(this));
    try {
        exec();
    } catch (...) {
        qCCritical(lcHttp, "HttpConnectionHandler (%p): an uncatched exception occured in the thread",
                   static_cast<void *>(this));
    }
    // A connection handed over just before the thread was told to stop is
    // taken now and closed with the rest, rather than its descriptor leaked.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    m_readTimer->stop();
    releaseSocket();
    m_request.reset();
    qCDebug(lcHttp, "HttpConnectionHandler (%p): thread stopped", static_cast<void *>(this));
}

void HttpConnectionHandler::releaseSocket()
{
    if (!m_socket)
        return;
    // Unhooked first: aborting a connected socket signals disconnected().
    m_socket->disconnect(this);
    m_socket->abort();
    m_socket.reset();
}

void HttpConnectionHandler::handleConnection(tSocketDescriptor socketDescriptor)
{
    qCDebug(lcHttp, "HttpConnectionHandler (%p): handle new connection", static_cast<void *>(this));
    m_busy = true;
    releaseSocket();
    m_socket = std::make_unique<QTcpSocket>();
    connect(m_socket.get(), &QTcpSocket::readyRead, this, &HttpConnectionHandler::read);
    connect(m_socket.get(), &QTcpSocket::disconnected, this, &HttpConnectionHandler::disconnected);
    if (!m_socket->setSocketDescriptor(socketDescriptor)) {
        qCCritical(lcHttp, "HttpConnectionHandler (%p): cannot initialize socket: %s",
                   static_cast<void *>(this), qPrintable(m_socket->errorString()));
        // The descriptor is ours and would leak; the handler is free again
        // rather than lost to the pool for good.
        ::close(int(socketDescriptor));
        releaseSocket();
        m_busy = false;
        return;
    }
    // Small answers go out at once instead of waiting for the client's
    // acknowledgement of the previous segment.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_readTimer->start(m_readTimeout);
    m_request.reset();
}

void HttpConnectionHandler::read()
{
    // Several requests may have arrived together; each is served in turn,
    // as no further readyRead comes for bytes already buffered.
    while (m_socket && m_socket->state() == QAbstractSocket::ConnectedState && m_socket->bytesAvailable() > 0) {
        if (!m_request)
            m_request = std::make_unique<HttpRequest>(m_maxRequestSize, m_maxMultiPartSize);
        while (m_socket->bytesAvailable() > 0 && m_request->getStatus() != HttpRequest::COMPLETE
               && m_request->getStatus() != HttpRequest::ABORT) {
            m_request->readFromSocket(*m_socket);
            // A body that keeps arriving is not cut off by the timer.
            if (m_request->getStatus() == HttpRequest::WAITING_FOR_BODY)
                m_readTimer->start(m_readTimeout);
        }
        if (m_request->getStatus() == HttpRequest::ABORT) {
            m_socket->write(ENTITY_TOO_LARGE);
            m_socket->flush();
            m_socket->disconnectFromHost();
            m_request.reset();
            return;
        }
        if (m_request->getStatus() != HttpRequest::COMPLETE)
            return;
        serveRequest();
    }
}

void HttpConnectionHandler::serveRequest()
{
    m_readTimer->stop();
    qCDebug(lcHttp, "HttpConnectionHandler (%p): received request", static_cast<void *>(this));
    {
        HttpResponse response(m_socket.get(), m_readTimeout);
        try {
            m_requestHandler->service(*m_request, response);
        } catch (...) {
            qCCritical(lcHttp, "HttpConnectionHandler (%p): An uncatched exception occured in the request handler",
                       static_cast<void *>(this));
        }
        // Finishes answers whose handler only set a status.
        if (!response.hasSentLastPart())
            response.write(QByteArray(), true);
    }
    const bool closeRequested = m_request->getHeader("Connection").compare("close", Qt::CaseInsensitive) == 0;
    m_request.reset();
    if (closeRequested) {
        m_socket->disconnectFromHost();
        return;
    }
    // A connection dropped while the answer was written needs no timer.
    if (m_socket->state() == QAbstractSocket::ConnectedState)
        m_readTimer->start(m_readTimeout);
}

void HttpConnectionHandler::readTimeout()
{
    qCDebug(lcHttp, "HttpConnectionHandler (%p): read timeout occured", static_cast<void *>(this));
    if (m_socket)
        m_socket->disconnectFromHost();
    m_request.reset();
}

void HttpConnectionHandler::disconnected()
{
    qCDebug(lcHttp, "HttpConnectionHandler (%p): disconnected", static_cast<void *>(this));
    m_socket->close();
    m_readTimer->stop();
    m_requestHandler->connectionEnded();
    m_busy = false;
}
