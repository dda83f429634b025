#ifndef HTTPRESPONSE_H
#define HTTPRESPONSE_H

#include <QByteArray>
#include <QMap>

class QTcpSocket;

// One HTTP/1.1 response written to a connection, whole or in parts. The body
// is framed by "Content-Length" when it goes out in one part, by chunks when
// it goes out in several, and by closing the connection when the handler
// asks for "Connection: close" without giving a length.
class HttpResponse
{
public:
    static constexpr int DEFAULT_WRITE_TIMEOUT = 10000;

    // The socket is not owned. A client that takes no bytes for writeTimeout
    // milliseconds while a write waits is dropped, so it cannot hold the
    // connection thread for ever.
    explicit HttpResponse(QTcpSocket *socket, int writeTimeout = DEFAULT_WRITE_TIMEOUT);

    void setStatus(int code, const QByteArray &text);
    int getStatusCode() const { return m_statusCode; }
    QByteArray getStatusText() const { return m_statusText; }

    // One value per name, names exactly as given; written in ascending byte
    // order of the names.
    void setHeader(const QByteArray &name, const QByteArray &value);
    void setHeader(const QByteArray &name, int value);
    QMap<QByteArray, QByteArray> &getHeaders() { return m_headers; }

    // The whole text after "Set-Cookie: ", one per cookie name.
    void setCookie(const QByteArray &name, const QByteArray &text);

    // Sends the status line and headers on the first call, then the data;
    // lastPart finishes the response. Status and headers set after the first
    // call do not reach the client.
    void write(const QByteArray &data, bool lastPart = false);
    bool hasSentLastPart() const { return m_lastPartSent; }

    // 303 "See Other" to url, finished at once.
    void redirect(const QByteArray &url);

private:
    Q_DISABLE_COPY(HttpResponse)

    QByteArray headerBlock() const;
    bool writeToSocket(const QByteArray &data);

    QTcpSocket *m_socket;
    int m_writeTimeout;
    QMap<QByteArray, QByteArray> m_headers;
    QMap<QByteArray, QByteArray> m_cookies;
    int m_statusCode = 200;
    QByteArray m_statusText = "OK";
    bool m_headersSent = false;
    bool m_lastPartSent = false;
};

#endif
