#include "httpresponse.h"

#include "httplogging.h"

#include <QTcpSocket>

namespace {

// Up to this size a body goes out together with the header block in one
// write; larger bodies are written on their own rather than copied.
constexpr int COALESCE_LIMIT = 65536;

bool isChunked(const QByteArray &transferEncoding)
{
    return transferEncoding == "chunked" || transferEncoding == "Chunked";
}

} // namespace

HttpResponse::HttpResponse(QTcpSocket *socket, int writeTimeout)
    : m_socket(socket)
    , m_writeTimeout(writeTimeout)
{
}

void HttpResponse::setStatus(int code, const QByteArray &text)
{
    m_statusCode = code;
    m_statusText = text;
}

void HttpResponse::setHeader(const QByteArray &name, const QByteArray &value)
{
    m_headers.insert(name, value);
}

void HttpResponse::setHeader(const QByteArray &name, int value)
{
    m_headers.insert(name, QByteArray::number(value));
}

void HttpResponse::setCookie(const QByteArray &name, const QByteArray &text)
{
    m_cookies.insert(name, text);
}

QByteArray HttpResponse::headerBlock() const
{
    QByteArray block;
    block.reserve(256);
    block += "HTTP/1.1 ";
    block += QByteArray::number(m_statusCode);
    block += ' ';
    block += m_statusText;
    block += "\r\n";
    for (auto it = m_headers.cbegin(); it != m_headers.cend(); ++it) {
        block += it.key();
        block += ": ";
        block += it.value();
        block += "\r\n";
    }
    for (const QByteArray &cookie : m_cookies) {
        block += "Set-Cookie: ";
        block += cookie;
        block += "\r\n";
    }
    block += "\r\n";
    return block;
}

void HttpResponse::write(const QByteArray &data, bool lastPart)
{
    if (m_lastPartSent) {
        // Anything more would be read by the client as the start of the
        // next response on the connection.
        qCWarning(lcHttp, "HttpResponse: ignoring %i bytes written after the last part", int(data.size()));
        return;
    }
    QByteArray out;
    if (!m_headersSent) {
        const QByteArray connection = m_headers.value("Connection");
        if (!m_headers.contains("Content-Length") && !m_headers.contains("Transfer-Encoding")
            && connection != "close" && connection != "Close") {
            if (lastPart)
                m_headers.insert("Content-Length", QByteArray::number(data.size()));
            else
                m_headers.insert("Transfer-Encoding", "chunked");
        }
        out = headerBlock();
        m_headersSent = true;
        if (data.size() > COALESCE_LIMIT) {
            writeToSocket(out);
            out.clear();
        }
    }
    const bool chunked = isChunked(m_headers.value("Transfer-Encoding"));
    if (chunked) {
        if (!data.isEmpty()) {
            out += QByteArray::number(data.size(), 16);
            out += "\r\n";
            out += data;
            out += "\r\n";
        }
        if (lastPart)
            out += "0\r\n\r\n";
    } else {
        out += data;
    }
    writeToSocket(out);
    if (lastPart) {
        // Without a length or chunks, closing the connection ends the body.
        if (!chunked && !m_headers.contains("Content-Length"))
            m_socket->disconnectFromHost();
        m_lastPartSent = true;
    }
}

void HttpResponse::redirect(const QByteArray &url)
{
    setStatus(303, "See Other");
    setHeader("Location", url);
    write("Redirect", true);
}

// Hands the bytes to the socket and waits until they have left its buffer.
// Each wait is bounded: a client that takes nothing for the write time-out
// is dropped. A connection closed meanwhile ends the write quietly.
bool HttpResponse::writeToSocket(const QByteArray &data)
{
    qint64 offset = 0;
    while (offset < data.size()) {
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            return false;
        const qint64 written = m_socket->write(data.constData() + offset, data.size() - offset);
        if (written < 0)
            return false;
        offset += written;
        m_socket->flush();
        while (m_socket->bytesToWrite() > 0) {
            if (m_socket->waitForBytesWritten(m_writeTimeout))
                continue;
            if (m_socket->state() == QAbstractSocket::ConnectedState) {
                qCWarning(lcHttp, "HttpResponse: the client took no data for %i ms, dropping the connection",
                          m_writeTimeout);
                m_socket->abort();
            }
            return false;
        }
    }
    return true;
}
