#ifndef REQUESTGUARD_H
#define REQUESTGUARD_H

#include <QByteArray>
#include <QList>
#include <QStringList>

class HttpRequest;
class HttpResponse;

// Decides, before anything else is done, whether a request comes from the
// till's own front end, and sets the CORS headers of the answer.
//
// A browser lets any web page send requests to the service: under a host
// name the attacker rebinds to 127.0.0.1, as a cross-site form or image
// (no pre-flight, cached Basic credentials included), or as a fetch from a
// foreign origin. CORS only hides the answer from such a page; the request
// itself has to be refused here:
// - the host part of "Host" must be localhost, an IP literal, this
//   machine's name or one of the allowed hosts (a request without "Host"
//   is served: HTTP/1.0 and native clients);
// - an "Origin" must be on the origins list ("*" allows every origin);
// - a cross-site or same-site request that is not a CORS request
//   (Sec-Fetch-Mode other than "cors") is refused, except for the robots
//   text and the favicon.
// Clients that send none of these headers are served as before.
class RequestGuard
{
public:
    enum Verdict {
        Served,
        ForeignHost,
        ForeignOrigin,
        NotCors,
    };

    static const QByteArray ALLOW_METHODS;
    static const QByteArray ALLOW_HEADERS;
    // How long a browser may keep a pre-flight's answer, in seconds.
    static const int MAX_AGE = 600;

    RequestGuard(const QStringList &origins, const QStringList &allowedHosts);

    Verdict verdict(const HttpRequest &request) const;
    // Sets the CORS headers; a refused request is then answered with 403
    // and false is returned: the caller does nothing more with it.
    bool admit(const HttpRequest &request, HttpResponse &response) const;
    void setCorsHeaders(const HttpRequest &request, HttpResponse &response) const;

    bool originAllowed(const QByteArray &origin) const;
    bool hostAllowed(const QByteArray &hostHeader) const;

private:
    // The host part of a "Host" value, lower-cased and without a trailing
    // dot; empty when the value is malformed.
    static QByteArray hostPart(const QByteArray &hostHeader, bool &ipLiteral);
    // refused: the header value the request is refused for.
    Verdict verdict(const HttpRequest &request, QByteArray &refused) const;

    QList<QByteArray> m_origins;
    QList<QByteArray> m_hosts;
    bool m_everyOrigin = false;
};

#endif
