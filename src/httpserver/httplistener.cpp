#include "httplistener.h"

#include "httpconnectionhandlerpool.h"
#include "httplogging.h"

#include <QSettings>
#include <QTcpSocket>

#include <sys/socket.h>
#include <unistd.h>

namespace {

const QByteArray TOO_MANY_CONNECTIONS =
    QByteArrayLiteral("HTTP/1.1 503 too many connections\r\nConnection: close\r\n\r\nToo many connections\r\n");

} // namespace

HttpListener::HttpListener(QSettings *settings, HttpRequestHandler *handler, QObject *parent)
    : QTcpServer(parent)
    , m_pool(std::make_unique<HttpConnectionHandlerPool>(settings, handler))
{
    qRegisterMetaType<tSocketDescriptor>("tSocketDescriptor");
    // A missing "port" reads as 0: the system picks a free port.
    const int port = settings->value(QStringLiteral("port")).toInt();
    const int backlog = settings->value(QStringLiteral("maxPendingConnections"), 100).toInt();
    setMaxPendingConnections(backlog);
    const QString host = settings->value(QStringLiteral("host")).toString().trimmed();
    const QHostAddress address = host.isEmpty() ? QHostAddress(QHostAddress::Any) : QHostAddress(host);
    if (address.isNull()) {
        qCCritical(lcHttp, "HttpListener: Cannot bind on port %i: \"%s\" is not an IP address", port,
                   qPrintable(host));
    } else if (listen(address, quint16(port))) {
        // Listening again on a listening socket only changes its backlog,
        // which the server would otherwise leave at its built-in size.
        ::listen(int(socketDescriptor()), backlog);
        qCInfo(lcHttp, "HttpListener: Listening on port %i", int(serverPort()));
    } else {
        qCCritical(lcHttp, "HttpListener: Cannot bind on port %i: %s", port, qPrintable(errorString()));
    }
}

HttpListener::~HttpListener()
{
    close();
    qCDebug(lcHttp, "HttpListener: closed");
    m_pool.reset();
    qCDebug(lcHttp, "HttpListener: destroyed");
}

void HttpListener::incomingConnection(tSocketDescriptor socketDescriptor)
{
    HttpConnectionHandler *handler = m_pool->getConnectionHandler();
    if (handler) {
        // Queued: the handler takes the descriptor on its own thread.
        connect(this, &HttpListener::handleConnection, handler, &HttpConnectionHandler::handleConnection);
        emit handleConnection(socketDescriptor);
        disconnect(this, &HttpListener::handleConnection, handler, &HttpConnectionHandler::handleConnection);
        return;
    }
    qCDebug(lcHttp, "HttpListener: Too many incoming connections");
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(socketDescriptor)) {
        ::close(int(socketDescriptor));
        delete socket;
        return;
    }
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->write(TOO_MANY_CONNECTIONS);
    socket->flush();
    socket->disconnectFromHost();
}
