#ifndef COREAPIWRAPPER_H
#define COREAPIWRAPPER_H

#include "basecoreapiwrapper.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSharedPointer>

#include <functional>

class TillgateBusController;
class TillgateCoreApi;

// The back-end of the Ostrak cashboxes: a thin adapter over the fiscal core
// client. The client is made on first need through the service's bus
// controller (a wrapper with a factory of its own makes it at once) and is
// this wrapper's child; while there is no controller every operation answers
// false without contacting anything.
//
// Request threads make wrappers while the main thread starts and stops the
// bus controller, so the controller is handed over under a lock.
class CoreApiWrapper : public BaseCoreApiWrapper
{
    Q_OBJECT
public:
    // Makes a client with the given parent, or returns null when there is
    // nothing to make it with; asked each time a client is needed.
    using ClientFactory = std::function<TillgateCoreApi *(QObject *parent)>;

    // Clients come from the service's bus controller (setBusController()).
    explicit CoreApiWrapper(QObject *parent = nullptr);
    CoreApiWrapper(ClientFactory clientFactory, QObject *parent);
    ~CoreApiWrapper() override;

    // The service root registers its bus controller here while the Ostrak
    // back-end runs. Only a weak reference is kept: once the root lets the
    // controller go, no new clients are made from it.
    static void setBusController(const QSharedPointer<TillgateBusController> &controller);
    static QSharedPointer<TillgateBusController> busController();
    // A client of the registered bus controller, or null without one.
    static TillgateCoreApi *createServiceClient(QObject *parent);

    // The client, made now if there is none and a bus controller exists;
    // null otherwise.
    QPointer<TillgateCoreApi> api();

    // Adds the registration data shared on the bus to a cashbox state that
    // holds a fiscalised storage's "fsStatus": the display values, the ten
    // registration flags as booleans and the registration cashier as
    // "regCashierName"/"regCashierInn". Keys the state already has keep their
    // value; "serial", "regNumber" and "regFlags" stay the core's, while
    // "atmNumber" is taken from the registration data.
    static void addRegistrationData(QVariantMap &state);

    bool hasApi() const override;
    bool getFsStatus(fiscal::FsStatus &status) override;
    bool getFullFrCoreState(QVariantMap &state, bool flag) override;
    bool getFiscalDoc(const core::Cashier &cashier, int number, bool print,
                      QVariantMap &document) override;
    bool registreCheck(const QVariantMap &check, const core::Cashier &cashier,
                       QVariantMap &result, int &error) override;
    bool openCycle(const core::Cashier &cashier, bool print, int &error,
                   QVariantMap &result) override;
    bool closeCycle(const core::Cashier &cashier, bool print, int &error,
                    QVariantMap &result) override;
    bool xReport(const core::Cashier &cashier, bool print, bool secondFlag, int &error,
                 QVariantMap &result) override;
    bool calcReport(const core::Cashier &cashier, bool print, int &error,
                    QVariantMap &result) override;
    bool printText(const core::Cashier &cashier, const QVariantMap &text, int &error,
                   QVariantMap &result) override;
    bool activate(const core::Cashier &cashier, bool printOnly, const QString &sessionId,
                  const QVariantMap &data, int &error, QVariantMap &result) override;
    bool getRegData(fiscal::RegData &data) override;
    bool printBbcode(const QString &text, QString &errorText, int &error) override;
    bool printPlainText(QString text, QString &errorText, int &error) override;
    bool introduction(const core::Cashier &cashier, const qt5ext::FixNumber &sum, int &error,
                      QString &errorText) override;
    bool payout(const core::Cashier &cashier, const qt5ext::FixNumber &sum, int &error,
                QString &errorText) override;
    bool closeFs(const core::Cashier &cashier, int &error, QString &errorText,
                 QVariantMap &result) override;

    // The storage status is asked first, and the receipt gets what is left
    // of one command time-out: a silent core holds a receipt 10 s at most.
    bool receiptStart(ReceiptStart &start, bool &timedOut) override;
    bool registreRecordedCheck(const QVariantMap &check, const core::Cashier &cashier,
                               const StartRecorder &record, QVariantMap &result, int &error) override;
    bool lastDocument(quint32 &number, QDateTime &dt) override;
    bool fiscalDocSummary(const core::Cashier &cashier, quint32 number, FiscalDocSummary &document) override;

private:
    struct ServiceClientsTag
    {
    };
    CoreApiWrapper(ServiceClientsTag, QObject *parent);

    ClientFactory m_clientFactory;
    QPointer<TillgateCoreApi> m_api;
    // Clients come from the service's bus controller, made on first need.
    bool m_serviceClients;
    // Runs from the storage status read ahead of a receipt.
    QElapsedTimer m_receiptClock;
    bool m_receiptStartRead = false;
    // The core let a whole command time-out pass in this request.
    bool m_coreSilent = false;
};

#endif
