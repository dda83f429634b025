#include "requestguard.h"

#include "baserequestprocessor.h"

#include <httprequest.h>
#include <httpresponse.h>

#include <QHostAddress>
#include <QHostInfo>

const QByteArray RequestGuard::ALLOW_METHODS = QByteArrayLiteral("GET, POST, OPTIONS");
const QByteArray RequestGuard::ALLOW_HEADERS = QByteArrayLiteral(
    "DNT,X-CustomHeader,Keep-Alive,User-Agent,X-Requested-With,If-Modified-Since,Cache-Control,Content-Type,"
    "Content-Range,Range,Authorization");

namespace {

QByteArray lowerHostName(QByteArray name)
{
    name = name.trimmed().toLower();
    if (name.endsWith('.'))
        name.chop(1);
    return name;
}

bool isDecimal(const QByteArray &text)
{
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// Four decimal parts of at most 255: the form a browser sends an IPv4
// address in. No name resolves to such a text, so it cannot be rebound.
bool isIpv4Literal(const QByteArray &host)
{
    const QList<QByteArray> parts = host.split('.');
    if (parts.size() != 4)
        return false;
    for (const QByteArray &part : parts) {
        if (part.isEmpty() || part.size() > 3 || !isDecimal(part) || part.toInt() > 255)
            return false;
    }
    return true;
}

// A refused value goes into the answer and the log: only the characters a
// host name or an origin is made of, and not too many of them.
QByteArray printable(const QByteArray &value)
{
    QByteArray out = value.left(128);
    for (char &c : out) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || c == '.' || c == '-' || c == '_' || c == ':' || c == '/' || c == '[' || c == ']';
        if (!plain)
            c = '?';
    }
    return out;
}

void refuse(HttpResponse &response, const QByteArray &reason)
{
    qCWarning(lcApi).noquote() << "Forbidden:" << reason;
    response.setHeader(QByteArrayLiteral("Content-Type"), QByteArrayLiteral("text/plain; charset=utf-8"));
    response.setStatus(403, QByteArrayLiteral("Forbidden"));
    response.write(QByteArrayLiteral("403 Forbidden: ") + reason, true);
}

} // namespace

RequestGuard::RequestGuard(const QStringList &origins, const QStringList &allowedHosts)
{
    for (const QString &origin : origins) {
        if (origin == QLatin1String("*"))
            m_everyOrigin = true;
        else
            m_origins.append(origin.toUtf8());
    }
    for (const QString &host : allowedHosts) {
        const QByteArray name = lowerHostName(host.toUtf8());
        if (!name.isEmpty())
            m_hosts.append(name);
    }
}

QByteArray RequestGuard::hostPart(const QByteArray &hostHeader, bool &ipLiteral)
{
    ipLiteral = false;
    const QByteArray value = hostHeader.trimmed();
    if (value.startsWith('[')) {
        const int close = value.indexOf(']');
        if (close < 0)
            return QByteArray();
        const QByteArray host = value.mid(1, close - 1);
        const QByteArray rest = value.mid(close + 1);
        if ((!rest.isEmpty() && !rest.startsWith(':')) || !isDecimal(rest.mid(1)))
            return QByteArray();
        QHostAddress address;
        if (!address.setAddress(QString::fromLatin1(host)) || address.protocol() != QAbstractSocket::IPv6Protocol)
            return QByteArray();
        ipLiteral = true;
        return host.toLower();
    }
    const int colon = value.lastIndexOf(':');
    QByteArray host = colon < 0 ? value : value.left(colon);
    const QByteArray port = colon < 0 ? QByteArray() : value.mid(colon + 1);
    if (host.contains(':') || !isDecimal(port))
        return QByteArray();
    host = lowerHostName(host);
    ipLiteral = isIpv4Literal(host);
    return host;
}

bool RequestGuard::hostAllowed(const QByteArray &hostHeader) const
{
    // Without a name there is nothing a page could have rebound.
    if (hostHeader.trimmed().isEmpty())
        return true;
    bool ipLiteral = false;
    const QByteArray host = hostPart(hostHeader, ipLiteral);
    if (host.isEmpty())
        return false;
    if (ipLiteral || host == "localhost" || m_hosts.contains(host))
        return true;
    return host == lowerHostName(QHostInfo::localHostName().toUtf8());
}

bool RequestGuard::originAllowed(const QByteArray &origin) const
{
    return m_everyOrigin || m_origins.contains(origin);
}

RequestGuard::Verdict RequestGuard::verdict(const HttpRequest &request) const
{
    QByteArray refused;
    return verdict(request, refused);
}

RequestGuard::Verdict RequestGuard::verdict(const HttpRequest &request, QByteArray &refused) const
{
    for (const QByteArray &host : request.getHeaders(QByteArrayLiteral("Host"))) {
        if (!hostAllowed(host)) {
            refused = host;
            return ForeignHost;
        }
    }

    // Images, forms, frames and no-cors fetches of another site carry no
    // pre-flight and the cached credentials: only a crawler's or a
    // browser's own look-ups are answered to them.
    const QByteArray site = request.getHeader(QByteArrayLiteral("Sec-Fetch-Site")).toLower();
    if ((site == "cross-site" || site == "same-site")
        && request.getHeader(QByteArrayLiteral("Sec-Fetch-Mode")).toLower() != "cors") {
        const QByteArray path = request.getPath().toLower();
        if (path != "/robots.txt" && path != "/favicon.ico")
            return NotCors;
    }

    // A pre-flight does nothing; an unlisted origin just gets no CORS
    // headers for it, and the browser does not send the request.
    if (request.getMethod().toUpper() != "OPTIONS") {
        for (const QByteArray &origin : request.getHeaders(QByteArrayLiteral("Origin"))) {
            if (!originAllowed(origin)) {
                refused = origin;
                return ForeignOrigin;
            }
        }
    }
    return Served;
}

void RequestGuard::setCorsHeaders(const HttpRequest &request, HttpResponse &response) const
{
    if (!m_everyOrigin && m_origins.isEmpty())
        return;
    // The headers depend on the caller's origin: a cached answer must not
    // be reused for another one.
    response.setHeader(QByteArrayLiteral("Vary"), QByteArrayLiteral("Origin"));
    const QList<QByteArray> requestOrigins = request.getHeaders(QByteArrayLiteral("Origin"));
    QByteArray allowed;
    if (!requestOrigins.isEmpty()) {
        // An origin off the list learns nothing: its browser then refuses
        // to send the request or to show the answer.
        if (requestOrigins.size() > 1 || !originAllowed(requestOrigins.first()))
            return;
        allowed = requestOrigins.first();
    } else if (!m_everyOrigin) {
        // Not a CORS request; a list of its own names its front end as
        // before. "*" is never sent together with credentials.
        allowed = m_origins.last();
    }
    if (!allowed.isEmpty()) {
        response.setHeader(QByteArrayLiteral("Access-Control-Allow-Origin"), allowed);
        response.setHeader(QByteArrayLiteral("Access-Control-Allow-Credentials"), QByteArrayLiteral("true"));
    }
    response.setHeader(QByteArrayLiteral("Access-Control-Allow-Methods"), ALLOW_METHODS);
    response.setHeader(QByteArrayLiteral("Access-Control-Allow-Headers"), ALLOW_HEADERS);
    if (requestOrigins.isEmpty() || request.getMethod().toUpper() != "OPTIONS")
        return;
    response.setHeader(QByteArrayLiteral("Access-Control-Max-Age"), MAX_AGE);
    // A public page calling the till's loopback address: Chromium's
    // private network pre-flight asks for this.
    if (request.getHeader(QByteArrayLiteral("Access-Control-Request-Private-Network")).toLower() == "true")
        response.setHeader(QByteArrayLiteral("Access-Control-Allow-Private-Network"), QByteArrayLiteral("true"));
}

bool RequestGuard::admit(const HttpRequest &request, HttpResponse &response) const
{
    setCorsHeaders(request, response);
    QByteArray refused;
    switch (verdict(request, refused)) {
    case Served:
        return true;
    case ForeignHost:
        refuse(response, "the host \"" + printable(refused)
                   + "\" is not served; name it in \"allowedHosts\" of group TILLGATE in tillgate.conf");
        break;
    case ForeignOrigin:
        refuse(response, "the origin \"" + printable(refused)
                   + "\" is not allowed; name it in \"origins\" of group TILLGATE in tillgate.conf");
        break;
    case NotCors:
        refuse(response, QByteArrayLiteral("a request of another site that is not a CORS request"));
        break;
    }
    return false;
}
