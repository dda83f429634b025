#include "announcer.h"
#include "simbusserver.h"
#include "simcashbox.h"
#include "simoptions.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("cashbox-sim"));

    SimOptions options;
    QString error;
    QStringList arguments = QCoreApplication::arguments();
    Announcer announcer;
    if (!announcer.takeOption(arguments, error) || !options.parse(arguments, error)) {
        QTextStream(stderr) << error << '\n';
        return 2;
    }

    SimBusServer server(QStringLiteral("cashboxsim"));
    SimCashbox cashbox(options, &server);
    if (!cashbox.init(error)
        || !server.listen(QHostAddress(options.listenAddress), options.msgPort, options.queryPort, error)) {
        QTextStream(stderr) << "cashbox-sim: " << error << '\n';
        return 1;
    }
    if (announcer.isAnnouncing()) {
        // The register is what it announces, and it announces what it is:
        // a search finds the model, serial and registration a receipt needs.
        cashbox.setIdentity(announcer.identity().model, announcer.identity().serial);
        announcer.setRegistration(cashbox.regData().regNumeber(), cashbox.regData().userInn());
        QObject::connect(&cashbox, &SimCashbox::registrationChanged, &announcer,
                         [&announcer](const fiscal::RegData &reg) {
                             announcer.setRegistration(reg.regNumeber(), reg.userInn());
                         });
        announcer.setBusPorts(server.msgPort(), server.queryPort());
        if (!announcer.start(error)) {
            QTextStream(stderr) << "cashbox-sim: " << error << '\n';
            return 1;
        }
    }
    // The first line tells whoever started us where we listen.
    QTextStream(stdout) << "msg=" << server.msgPort() << " query=" << server.queryPort() << Qt::endl;
    return app.exec();
}
