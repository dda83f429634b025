// Serves one short fixed body on every path through the embedded HTTP server,
// so that load tools measure the server alone. Takes the listener settings
// file (group "LISTENER") as its argument and prints the port it listens on.

#include "httplistener.h"
#include "httprequesthandler.h"
#include "httpresponse.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSettings>

#include <cstdio>

namespace {

class FixedBodyHandler : public HttpRequestHandler
{
public:
    void service(HttpRequest &, HttpResponse &response) override
    {
        response.setHeader("Content-Type", "text/plain");
        response.write("{\"status\":\"ok\"}\n", true);
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s LISTENER-SETTINGS-FILE\n", argv[0]);
        return 2;
    }
    // One debug line per connection and request would measure the logger.
    QLoggingCategory::setFilterRules(QStringLiteral("tillgate.http.debug=false"));
    QSettings settings(QString::fromLocal8Bit(argv[1]), QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("LISTENER"));
    FixedBodyHandler handler;
    HttpListener listener(&settings, &handler);
    if (!listener.isListening())
        return 1;
    std::printf("%d\n", int(listener.serverPort()));
    std::fflush(stdout);
    return app.exec();
}
