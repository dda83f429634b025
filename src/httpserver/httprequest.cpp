#include "httprequest.h"

#include "httplogging.h"

#include <QSettings>
#include <QTcpSocket>
#include <QTemporaryFile>

#include <cstring>

namespace {

// Multipart bodies go to disk, and are read back, in blocks of this size.
constexpr qint64 BLOCK_SIZE = 65536;

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isDecimal(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// The quoted value after e.g. ' name="' in a Content-Disposition line.
QByteArray quotedAttribute(const QByteArray &line, const QByteArray &prefix)
{
    const int start = line.indexOf(prefix);
    if (start < 0)
        return QByteArray();
    const int from = start + prefix.size();
    const int end = line.indexOf('"', from);
    return end < 0 ? line.mid(from) : line.mid(from, end - from);
}

void chopLineBreak(QByteArray &line)
{
    if (line.endsWith("\r\n"))
        line.chop(2);
    else if (line.endsWith('\n'))
        line.chop(1);
}

} // namespace

HttpRequest::HttpRequest(QSettings *settings)
    : HttpRequest(settings->value(QStringLiteral("maxRequestSize"), 16000).toInt(),
                  settings->value(QStringLiteral("maxMultiPartSize"), 1000000).toInt())
{
}

HttpRequest::HttpRequest(int maxSize, int maxMultiPartSize)
    : m_maxSize(maxSize)
    , m_maxMultiPartSize(maxMultiPartSize)
{
}

HttpRequest::~HttpRequest() = default;

void HttpRequest::readFromSocket(QTcpSocket &socket)
{
    if (m_status == WAITING_FOR_REQUEST)
        m_peerAddress = socket.peerAddress();
    // Peek, then skip what was used: bytes of a pipelined next request stay
    // in the socket.
    const QByteArray chunk = socket.peek(qMin(socket.bytesAvailable(), BLOCK_SIZE));
    socket.skip(feed(chunk.constData(), chunk.size()));
}

qint64 HttpRequest::feed(const char *data, qint64 size)
{
    qint64 used = 0;
    while (used < size && m_status != COMPLETE && m_status != ABORT) {
        if (m_status == WAITING_FOR_BODY) {
            used += m_boundary.isEmpty() ? readBody(data + used, size - used)
                                         : readMultiPartBody(data + used, size - used);
        } else {
            used += readLine(data + used, size - used);
        }
        checkSize();
        if (m_status == COMPLETE)
            decodeParameters();
    }
    return used;
}

void HttpRequest::abort(const char *reason)
{
    qCWarning(lcHttp, "HttpRequest: %s", reason);
    m_status = ABORT;
}

void HttpRequest::checkSize()
{
    if (m_status == ABORT)
        return;
    const qint64 limit = m_boundary.isEmpty() ? m_maxSize : m_maxMultiPartSize;
    if (m_currentSize > limit)
        abort("received too many bytes");
}

qint64 HttpRequest::readLine(const char *data, qint64 size)
{
    const void *lineEnd = std::memchr(data, '\n', size_t(size));
    const qint64 take = lineEnd ? static_cast<const char *>(lineEnd) - data + 1 : size;
    m_lineBuffer.append(data, int(take));
    if (!lineEnd) {
        // A line still open may not grow past what the limit allows (plus
        // its line break), so an endless line is cut off early.
        if (m_lineBuffer.size() > m_maxSize - m_currentSize + 2)
            abort("received too many bytes");
        return take;
    }
    const QByteArray line = m_lineBuffer.trimmed();
    m_lineBuffer.clear();
    m_currentSize += line.size();
    if (m_currentSize > m_maxSize)
        return take;    // checkSize() aborts
    if (m_status == WAITING_FOR_REQUEST)
        parseRequestLine(line);
    else
        parseHeaderLine(line);
    return take;
}

void HttpRequest::parseRequestLine(const QByteArray &line)
{
    if (line.isEmpty())
        return;
    const QList<QByteArray> words = line.split(' ');
    if (words.size() != 3 || !words.at(2).contains("HTTP")) {
        abort("received broken HTTP request, invalid first line");
        return;
    }
    m_method = words.at(0);
    m_path = words.at(1);
    m_version = words.at(2);
    m_status = WAITING_FOR_HEADER;
}

void HttpRequest::parseHeaderLine(const QByteArray &line)
{
    const int colon = line.indexOf(':');
    if (colon > 0) {
        m_currentHeader = line.left(colon);
        addHeader(m_currentHeader, line.mid(colon + 1).trimmed());
    } else if (!line.isEmpty()) {
        // A folded continuation of the header before.
        if (m_headers.contains(m_currentHeader))
            addHeader(m_currentHeader, m_headers.value(m_currentHeader) + ' ' + line);
    } else {
        finishHeaders();
    }
}

void HttpRequest::addHeader(const QByteArray &name, const QByteArray &value)
{
    m_headers.insert(name, value);
    m_headersByLowerName.insert(name.toLower(), value);
}

// The body length from "Content-Length". Anything that would let body bytes
// be taken for a following request is refused: a chunked (or any other)
// transfer coding, a length that is not a plain decimal number, or
// contradicting lengths.
bool HttpRequest::readBodyLength()
{
    if (m_headersByLowerName.contains("transfer-encoding")) {
        abort("received a request with Transfer-Encoding, which is not supported");
        return false;
    }
    QByteArray length;
    for (const QByteArray &value : getHeaders("Content-Length")) {
        if (!isDecimal(value) || (!length.isNull() && length != value)) {
            abort("received broken HTTP request, invalid Content-Length");
            return false;
        }
        length = value;
    }
    if (length.isNull())
        return true;
    bool ok = false;
    m_expectedBodySize = length.toLongLong(&ok);
    if (!ok) {
        // Only more digits than a 64-bit number holds get here.
        abort("expected body is too large");
        return false;
    }
    return true;
}

void HttpRequest::finishHeaders()
{
    const QByteArray contentType = getHeader("Content-Type");
    if (contentType.startsWith("multipart/form-data")) {
        const int at = contentType.indexOf("boundary=");
        if (at >= 0)
            m_boundary = contentType.mid(at + int(std::strlen("boundary=")));
    }
    if (!readBodyLength())
        return;
    if (m_expectedBodySize == 0) {
        m_status = COMPLETE;
    } else if (m_boundary.isEmpty()) {
        if (m_expectedBodySize > m_maxSize - m_currentSize)
            abort("expected body is too large");
        else
            m_status = WAITING_FOR_BODY;
    } else {
        if (m_expectedBodySize > m_maxMultiPartSize)
            abort("expected multipart body is too large");
        else
            m_status = WAITING_FOR_BODY;
    }
}

qint64 HttpRequest::readBody(const char *data, qint64 size)
{
    const qint64 take = qMin(size, m_expectedBodySize - m_body.size());
    m_body.append(data, int(take));
    m_currentSize += take;
    if (m_body.size() == m_expectedBodySize)
        m_status = COMPLETE;
    return take;
}

qint64 HttpRequest::readMultiPartBody(const char *data, qint64 size)
{
    if (!m_multiPartFile) {
        m_multiPartFile = std::make_unique<QTemporaryFile>();
        if (!m_multiPartFile->open()) {
            qCCritical(lcHttp, "HttpRequest: cannot open temp file, %s",
                       qPrintable(m_multiPartFile->errorString()));
            m_status = ABORT;
            return 0;
        }
    }
    const qint64 take = qMin(qMin(size, m_expectedBodySize - m_multiPartFileSize), BLOCK_SIZE);
    if (m_multiPartFile->write(data, take) != take) {
        qCCritical(lcHttp, "HttpRequest: Error writing temp file for multipart body");
        m_status = ABORT;
        return take;
    }
    m_multiPartFileSize += take;
    if (m_multiPartFileSize >= m_maxMultiPartSize) {
        abort("received too many multipart bytes");
    } else if (m_multiPartFileSize == m_expectedBodySize) {
        if (!m_multiPartFile->flush())
            qCCritical(lcHttp, "HttpRequest: Error writing temp file for multipart body");
        parseMultiPartFile();
        m_multiPartFile->close();
        m_status = COMPLETE;
    }
    return take;
}

void HttpRequest::decodeParameters()
{
    const int query = m_path.indexOf('?');
    if (query >= 0) {
        m_rawParameters = m_path.mid(query + 1);
        m_path.truncate(query);
    }
    if (!m_body.isEmpty()
        && (!m_headersByLowerName.contains("content-type")
            || getHeader("Content-Type").startsWith("application/x-www-form-urlencoded"))) {
        if (!m_rawParameters.isEmpty())
            m_rawParameters += '&';
        m_rawParameters += m_body;
    }
    const QList<QByteArray> parts = m_rawParameters.split('&');
    for (const QByteArray &part : parts) {
        if (part.isEmpty())
            continue;
        const int equals = part.indexOf('=');
        if (equals >= 0) {
            m_parameters.insert(urlDecode(part.left(equals).trimmed()),
                                urlDecode(part.mid(equals + 1).trimmed()));
        } else {
            m_parameters.insert(urlDecode(part), QByteArray());
        }
    }
}

void HttpRequest::parseMultiPartFile()
{
    qCDebug(lcHttp, "HttpRequest: parsing multipart temp file");
    QTemporaryFile &file = *m_multiPartFile;
    file.seek(0);
    const QByteArray delimiter = "--" + m_boundary;
    bool inHeaders = true;
    QByteArray fieldName;
    QByteArray fileName;
    bool isFile = false;
    QByteArray value;
    std::unique_ptr<QTemporaryFile> upload;
    // The line before a delimiter loses its line break, so each content line
    // is held back until the next one shows it is not the last.
    QByteArray heldLine;
    bool holding = false;

    while (!file.atEnd()) {
        const QByteArray line = file.readLine(BLOCK_SIZE);
        if (line.isEmpty()) {
            qCCritical(lcHttp, "HttpRequest: cannot read temp file, %s", qPrintable(file.errorString()));
            return;
        }
        if (inHeaders) {
            const QByteArray header = line.trimmed();
            if (header.isEmpty()) {
                inHeaders = false;
                holding = false;
                value.clear();
                if (isFile) {
                    upload = std::make_unique<QTemporaryFile>();
                    if (!upload->open())
                        qCCritical(lcHttp, "HttpRequest: error writing temp file, %s",
                                   qPrintable(upload->errorString()));
                }
            } else if (header.startsWith("Content-Disposition:")) {
                if (header.contains("form-data")) {
                    fieldName = quotedAttribute(header, " name=\"");
                    isFile = header.contains(" filename=\"");
                    fileName = quotedAttribute(header, " filename=\"");
                } else {
                    qCDebug(lcHttp, "HttpRequest: ignoring unsupported content part %s", header.constData());
                }
            }
            continue;
        }
        if (!line.startsWith(delimiter)) {
            if (holding) {
                if (upload) {
                    if (upload->write(heldLine) != heldLine.size())
                        qCCritical(lcHttp, "HttpRequest: error writing temp file, %s",
                                   qPrintable(upload->errorString()));
                } else {
                    value += heldLine;
                }
            }
            heldLine = line;
            holding = true;
            continue;
        }
        // Delimiter: the part ends.
        if (holding)
            chopLineBreak(heldLine);
        if (!fieldName.isEmpty() && !isFile) {
            if (holding)
                value += heldLine;
            qCDebug(lcHttp, "HttpRequest: set parameter %s=%s", fieldName.constData(), value.constData());
            m_parameters.insert(fieldName, value);
        } else if (!fieldName.isEmpty() && upload && upload->isOpen()) {
            if (holding && upload->write(heldLine) != heldLine.size())
                qCCritical(lcHttp, "HttpRequest: error writing temp file, %s",
                           qPrintable(upload->errorString()));
            upload->flush();
            upload->seek(0);
            qCDebug(lcHttp, "HttpRequest: uploaded file size is %i", int(upload->size()));
            m_parameters.insert(fieldName, fileName);
            m_uploadedFiles[fieldName] = std::move(upload);
        }
        upload.reset();
        inHeaders = true;
        holding = false;
        fieldName.clear();
        fileName.clear();
        isFile = false;
        value.clear();
    }
}

QByteArray HttpRequest::getPath() const
{
    return urlDecode(m_path);
}

QByteArray HttpRequest::getHeader(const QByteArray &name) const
{
    return m_headersByLowerName.value(name.toLower());
}

QList<QByteArray> HttpRequest::getHeaders(const QByteArray &name) const
{
    return m_headersByLowerName.values(name.toLower());
}

QByteArray HttpRequest::getParameter(const QByteArray &name) const
{
    return m_parameters.value(name);
}

QByteArray HttpRequest::getParameter(const QString &name) const
{
    if (!m_lowerCaseNamesBuilt) {
        const QList<QByteArray> names = m_parameters.uniqueKeys();
        for (const QByteArray &received : names)
            m_lowerCaseNames.insert(QString::fromUtf8(received.constData()).toLower(), received);
        m_lowerCaseNamesBuilt = true;
    }
    const auto it = m_lowerCaseNames.constFind(name);
    return it == m_lowerCaseNames.cend() ? QByteArray() : getParameter(it.value());
}

QList<QByteArray> HttpRequest::getParameters(const QByteArray &name) const
{
    return m_parameters.values(name);
}

QTemporaryFile *HttpRequest::getUploadedFile(const QByteArray &fieldName) const
{
    const auto it = m_uploadedFiles.find(fieldName);
    return it == m_uploadedFiles.end() ? nullptr : it->second.get();
}

QByteArray HttpRequest::urlDecode(const QByteArray &source)
{
    QByteArray decoded;
    decoded.reserve(source.size());
    const int size = source.size();
    for (int i = 0; i < size; ++i) {
        const char c = source.at(i);
        if (c == '+') {
            decoded += ' ';
        } else if (c == '%' && i + 2 < size && hexValue(source.at(i + 1)) >= 0
                   && hexValue(source.at(i + 2)) >= 0) {
            decoded += char(hexValue(source.at(i + 1)) * 16 + hexValue(source.at(i + 2)));
            i += 2;
        } else {
            decoded += c;
        }
    }
    return decoded;
}
