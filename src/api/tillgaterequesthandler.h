#ifndef TILLGATEREQUESTHANDLER_H
#define TILLGATEREQUESTHANDLER_H

#include "loginthrottle.h"
#include "tillgateconfig.h"

#include <httprequesthandler.h>

#include <cashier.h>

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>
#include <QStringList>

class BaseRequestProcessor;

// One line per request: method, path, elapsed milliseconds.
Q_DECLARE_LOGGING_CATEGORY(HTTPACCESS)

// The service's one request handler, shared by every connection thread and
// therefore without per-request members (only the login throttle, which
// guards itself). It lets the request guard refuse what is not the till's
// own front end and set the CORS headers, answers
// pre-flight requests, authorises the cashier from Basic credentials, picks
// the processor by the path's extension and routes the path to one of its
// operations.
class TillgateRequestHandler : public HttpRequestHandler
{
    Q_OBJECT
public:
    enum class Route {
        NotFound,
        FsStatus,
        CashboxStatus,
        CashboxVersion,
        FiscalDoc,
        CycleOpen,
        CalcReport,
        CycleClose,
        XReport,
        Introduction,
        Payout,
        CloseFs,
        Search,
        Cashboxes,
        ChooseCashbox,
        Robots,
        Favicon,
        FiscalCheck,
        PrintText,
        ChooseAtol,
        ChooseCombine,
        RichText,
        Fiscalize,
    };
    Q_ENUM(Route)

    static const QByteArray REALM;
    static const QByteArray CHALLENGE;
    static const QByteArray ROBOTS_TEXT;
    static const QString FAVICON_RESOURCE;

    explicit TillgateRequestHandler(QObject *parent = nullptr);

    void service(HttpRequest &request, HttpResponse &response) override;
    // A pooled thread keeps no cache connection (three descriptors with the
    // write-ahead log) while it has no client.
    void connectionEnded() override;
    void processRequest(HttpRequest &request, HttpResponse &response);
    // True when the path is served without credentials.
    bool notAutorized(const QString &path);
    bool checkAuthorisation(const QString &login, const QString &password, const QString &clientId,
                            core::Cashier &cashier, QString &message);
    void prepareGetRequest(HttpRequest &request, HttpResponse &response, BaseRequestProcessor *processor);
    void preparePostRequest(HttpRequest &request, HttpResponse &response, BaseRequestProcessor *processor);

    // The routing tables: the first row whose prefix starts the lower-cased
    // path wins.
    static Route getRoute(const QString &path);
    static Route postRoute(const QString &path);
    // The path starts with one of the prefixes open to everybody.
    static bool isPublicPath(const QString &path);
    // "print" and "cleanresults": "true" in any case or a non-zero number.
    static bool readFlag(const QByteArray &value);
    // Login and password of a Basic header (without the "Basic " test);
    // a text without ":" is both login and password.
    static void parseCredentials(const QByteArray &header, QString &login, QString &password);
    // Bytes read as UTF-8 up to the first NUL.
    static QString utf8Text(const QByteArray &bytes);

private:
    // The same steps for a device type already read: the settings file is
    // parsed once per request, not once per decision.
    void processRequest(HttpRequest &request, HttpResponse &response, TillgateConfig::DeviceType device);
    static bool notAutorized(const QString &path, TillgateConfig::DeviceType device);
    bool checkAuthorisation(const QString &login, const QString &password, const QString &clientId,
                            core::Cashier &cashier, QString &message, TillgateConfig::DeviceType device);
    static void answer(HttpResponse &response, int status, const QByteArray &statusText, const QByteArray &body);
    static void badRequest(HttpResponse &response, const QByteArray &path);
    static void notFound(HttpResponse &response, const QByteArray &path);
    bool checkOffline(const QString &login, const QString &password, core::Cashier &cashier);

    // Failed logins by peer address: the one state the handler keeps
    // across requests, guarded inside.
    LoginThrottle m_loginThrottle;
};

#endif
