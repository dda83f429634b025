#ifndef TILLGATECOREAPI_H
#define TILLGATECOREAPI_H

#include <frcoreexternalapi.h>
#include <ofdsettings.h>

#include <QMap>
#include <QSet>
#include <QVariant>

// The service's client of the fiscal core and the print service: the
// fiscal operations of the core client plus the login and registration
// checks, information queries and the two print jobs. Every call blocks the
// calling thread for at most COMMAND_TIMEOUT_MS.
class TillgateCoreApi : public core::FrcoreExternalApi
{
    Q_OBJECT
public:
    static const QString CASHBOXCORE_BUS_CLIENT;
    static constexpr int COMMAND_TIMEOUT_MS = 10000;

    TillgateCoreApi(const QString &busName, QObject *parent);
    explicit TillgateCoreApi(QObject *parent = nullptr);
    ~TillgateCoreApi() override;

    // Characters a line of dashes, stars and the like is made of.
    static const QSet<QChar> &DELIMS();

    QVariantMap getOnlineCashiersNames();
    bool reloadSettingsFromServer();
    bool cashboxIsRegistered(bool &timedOut, QString &errorText);
    bool getLoginOnline(const QString &login, const QString &password, core::Cashier &cashier, QVariant &clientId,
                        QString &errorText);
    QMap<QString, core::OfdSettings> getDownloadedOfd();

    // Both print jobs return false when the print service did not answer
    // in time (error 4351) or answered with an "error".
    bool printPlainText(QString text, QString &errorText, int &error);
    bool printBbcode(const QString &text, QString &errorText, int &error);

    // The lines of a plain text as they go to a printer of the given width.
    static QStringList plainTextLines(QString text, int width);

private:
    bool sendToCore(const QString &name, const QVariantMap &params, bus::AppBusCommand &answer);
    bool sendToPrinter(const QVariantMap &document, QString &errorText, int &error);
};

#endif
