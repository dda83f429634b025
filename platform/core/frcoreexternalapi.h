#ifndef CORE_FRCOREEXTERNALAPI_H
#define CORE_FRCOREEXTERNALAPI_H

#include "cashier.h"
#include "frprintersettings.h"

#include <appbuscommand.h>
#include <appbusobject.h>
#include <fixnumber.h>
#include <fsstatus.h>
#include <regdata.h>

#include <QObject>
#include <QVariantMap>

namespace core {

// Client of the fiscal core service ("cashboxcore") on the application bus.
// Every operation is one command sent through sendCommand() and answered on
// the bus; the calling thread blocks until the answer or the time-out, and
// only that thread: any number of threads may wait at the same time.
//
// Answers of the fiscal operations carry "error" (0 on success), optionally
// "errorText", and "result", the operation's result map.
class FrcoreExternalApi : public QObject
{
    Q_OBJECT
public:
    // Bus name of the fiscal core service.
    static const QString FRCORE_BUSNAME;
    // Error code of an operation that got no answer in time.
    static constexpr int ERROR_TIMEOUT = 4351;
    static constexpr int DEFAULT_OPERATION_TIMEOUT_MS = 30000;

    FrcoreExternalApi(const QString &busName, QObject *parent = nullptr);
    ~FrcoreExternalApi() override;

    QString busName() const { return m_busName; }
    int operationTimeout() const { return m_operationTimeoutMs; }
    void setOperationTimeout(int timeoutMs) { m_operationTimeoutMs = timeoutMs; }

    // Sends the command and waits for the answer with the same identifier
    // (a command without one gets a fresh one). False when no answer came
    // within timeoutMs, or at once when the command cannot leave (nobody
    // carries it, or the bus link is down).
    bool sendSyncCommand(const bus::AppBusCommand &command, bus::AppBusCommand &answer, int timeoutMs);

    virtual bool getFsStatus(fiscal::FsStatus &status);
    virtual bool getRegData(fiscal::RegData &data);
    // The cashbox state; brief leaves out the full registration data and
    // the readable storage status.
    virtual bool getFullFrCoreState(QVariantMap &state, bool brief);
    virtual bool getFiscalDoc(const Cashier &cashier, int number, bool print, QVariantMap &document);
    virtual bool registreCheck(const QVariantMap &check, const Cashier &cashier, QVariantMap &result, int &error);
    virtual bool openCycle(const Cashier &cashier, bool print, int &error, QVariantMap &result);
    // xReportBefore: an X report is printed before the shift is closed.
    virtual bool closeCycle(const Cashier &cashier, bool print, bool xReportBefore, int &error,
                            QVariantMap &result);
    // byCashiers: the report is broken down by cashier.
    virtual bool xReport(const Cashier &cashier, bool print, bool byCashiers, int &error, QVariantMap &result);
    virtual bool calcReport(const Cashier &cashier, bool print, int &error, QVariantMap &result);
    virtual bool printText(const Cashier &cashier, const QVariantMap &text, int &error, QVariantMap &result);
    virtual bool activate(const Cashier &cashier, bool printOnly, const QVariantMap &data, const QString &sessionId,
                          int &error, QVariantMap &result);
    virtual bool introduction(const Cashier &cashier, const qt5ext::FixNumber &sum, int &error, QString &errorText);
    virtual bool payout(const Cashier &cashier, const qt5ext::FixNumber &sum, int &error, QString &errorText);
    virtual bool closeFs(const Cashier &cashier, int &error, QString &errorText, QVariantMap &result);
    virtual bool getPrinterSettings(FrPrinterSettings &settings);

    // The core's explanation of the last refused operation of this client;
    // empty after a success or when the core gave none.
    QString lastErrorText() const { return m_lastErrorText; }

signals:
    void sendCommand(const bus::AppBusCommand &command);
    void publish(const bus::AppBusObject &object);
    void loadObject(const QString &name);

protected:
    // A command to the fiscal core, stamped, addressed and identified.
    bus::AppBusCommand coreCommand(const QString &name, const QVariantMap &params) const;

private:
    // Runs one fiscal operation. True when the core answered with error 0;
    // error is 4351 without an answer, else the core's code; result and
    // errorText are what the core sent.
    bool call(const QString &name, const QVariantMap &params, int &error, QVariantMap &result,
              QString &errorText);
    bool call(const QString &name, const QVariantMap &params, int &error, QVariantMap &result);

    QString m_busName;
    int m_operationTimeoutMs = DEFAULT_OPERATION_TIMEOUT_MS;
    QString m_lastErrorText;
};

} // namespace core

#endif
