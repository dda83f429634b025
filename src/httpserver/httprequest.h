#ifndef HTTPREQUEST_H
#define HTTPREQUEST_H

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QMultiMap>
#include <QString>

#include <map>
#include <memory>

class QSettings;
class QTcpSocket;
class QTemporaryFile;

// One HTTP request, read incrementally as its bytes arrive. The parser
// works on plain bytes (feed()); readFromSocket() takes from a socket only
// the bytes that belong to this request, so a following request on the same
// connection stays in the socket for the next HttpRequest.
class HttpRequest
{
public:
    enum RequestStatus {
        WAITING_FOR_REQUEST,
        WAITING_FOR_HEADER,
        WAITING_FOR_BODY,
        COMPLETE,
        ABORT
    };

    // Reads "maxRequestSize" and "maxMultiPartSize" from the settings group
    // in effect.
    explicit HttpRequest(QSettings *settings);
    HttpRequest(int maxSize, int maxMultiPartSize);
    ~HttpRequest();

    void readFromSocket(QTcpSocket &socket);
    // Parses as much of the data as belongs to this request and returns how
    // many bytes that was; parsing stops on completion or abort.
    qint64 feed(const char *data, qint64 size);

    int getStatus() const { return m_status; }
    QByteArray getMethod() const { return m_method; }
    QByteArray getPath() const;
    QByteArray getVersion() const { return m_version; }
    QByteArray getBody() const { return m_body; }
    QHostAddress getPeerAddress() const { return m_peerAddress; }

    // Header names are compared without case; the header map keeps them as
    // received.
    QByteArray getHeader(const QByteArray &name) const;
    QList<QByteArray> getHeaders(const QByteArray &name) const;
    QMultiMap<QByteArray, QByteArray> getHeaderMap() const { return m_headers; }

    QByteArray getParameter(const QByteArray &name) const;
    // Parameter names compared without case: the text is looked up among
    // the lower-cased names as given (callers pass lower-case names).
    QByteArray getParameter(const QString &name) const;
    QList<QByteArray> getParameters(const QByteArray &name) const;
    QMultiMap<QByteArray, QByteArray> getParameterMap() const { return m_parameters; }

    // The uploaded file of a multipart file field, positioned at its start;
    // owned by the request.
    QTemporaryFile *getUploadedFile(const QByteArray &fieldName) const;

    static QByteArray urlDecode(const QByteArray &source);

private:
    Q_DISABLE_COPY(HttpRequest)

    qint64 readLine(const char *data, qint64 size);
    void parseRequestLine(const QByteArray &line);
    void parseHeaderLine(const QByteArray &line);
    void addHeader(const QByteArray &name, const QByteArray &value);
    void finishHeaders();
    bool readBodyLength();
    qint64 readBody(const char *data, qint64 size);
    qint64 readMultiPartBody(const char *data, qint64 size);
    void checkSize();
    void abort(const char *reason);
    void decodeParameters();
    void parseMultiPartFile();

    RequestStatus m_status = WAITING_FOR_REQUEST;
    QByteArray m_method;
    QByteArray m_path;
    QByteArray m_version;
    QHostAddress m_peerAddress;
    QMultiMap<QByteArray, QByteArray> m_headers;
    // The same values under lower-cased names, for the lookups.
    QMultiMap<QByteArray, QByteArray> m_headersByLowerName;
    QMultiMap<QByteArray, QByteArray> m_parameters;
    mutable QMap<QString, QByteArray> m_lowerCaseNames;
    mutable bool m_lowerCaseNamesBuilt = false;
    QByteArray m_rawParameters;
    QByteArray m_body;
    QByteArray m_boundary;
    std::unique_ptr<QTemporaryFile> m_multiPartFile;
    qint64 m_multiPartFileSize = 0;
    std::map<QByteArray, std::unique_ptr<QTemporaryFile>> m_uploadedFiles;
    QByteArray m_currentHeader;
    QByteArray m_lineBuffer;
    qint64 m_currentSize = 0;
    qint64 m_expectedBodySize = 0;
    qint64 m_maxSize;
    qint64 m_maxMultiPartSize;
};

#endif
