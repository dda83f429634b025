#ifndef BASECOREAPIWRAPPER_H
#define BASECOREAPIWRAPPER_H

#include "receiptsettlement.h"

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

namespace core {
class Cashier;
}
namespace fiscal {
class FsStatus;
class RegData;
}
namespace qt5ext {
class FixNumber;
}

// The one interface through which the request operations talk to a fiscal
// device, whatever stands behind it (the fiscal core service, an ATOL
// register, the Combine device).
//
// Every operation returns true when the device did what was asked and the out
// values hold its answer. On false, the int error holds the device's or the
// fiscal core's error code; ERROR_TIMEOUT means no answer came in time.
// Callers ask hasApi() first and do not call an operation when it is false.
class BaseCoreApiWrapper : public QObject
{
    Q_OBJECT
public:
    // The fiscal core library's code for "the device or the core did not
    // answer in time"; back-ends only pass it on.
    static constexpr int ERROR_TIMEOUT = 4351;
    // A receipt was not sent because where it began could not be stored.
    static constexpr int ERROR_START_NOT_STORED = -4352;

    // Stores where a receipt attempt begins; false stops the receipt before
    // anything reaches the register.
    using StartRecorder = std::function<bool(const ReceiptStart &start)>;

    explicit BaseCoreApiWrapper(QObject *parent = nullptr);
    ~BaseCoreApiWrapper() override;

    // The device, or the service in front of it, can be talked to now.
    virtual bool hasApi() const = 0;
    virtual bool getFsStatus(fiscal::FsStatus &status) = 0;
    // The request operations pass true as flag.
    virtual bool getFullFrCoreState(QVariantMap &state, bool flag) = 0;
    // A stored fiscal document by its fiscal document number.
    virtual bool getFiscalDoc(const core::Cashier &cashier, int number, bool print,
                              QVariantMap &document) = 0;
    virtual bool registreCheck(const QVariantMap &check, const core::Cashier &cashier,
                               QVariantMap &result, int &error) = 0;
    virtual bool openCycle(const core::Cashier &cashier, bool print, int &error,
                           QVariantMap &result) = 0;
    virtual bool closeCycle(const core::Cashier &cashier, bool print, int &error,
                            QVariantMap &result) = 0;
    // The request operations pass false as secondFlag.
    virtual bool xReport(const core::Cashier &cashier, bool print, bool secondFlag, int &error,
                         QVariantMap &result) = 0;
    // Report on the current state of settlements.
    virtual bool calcReport(const core::Cashier &cashier, bool print, int &error,
                            QVariantMap &result) = 0;
    virtual bool printText(const core::Cashier &cashier, const QVariantMap &text, int &error,
                           QVariantMap &result) = 0;
    // Fiscalisation (registration) of the cashbox.
    virtual bool activate(const core::Cashier &cashier, bool printOnly, const QString &sessionId,
                          const QVariantMap &data, int &error, QVariantMap &result) = 0;
    virtual bool getRegData(fiscal::RegData &data) = 0;
    virtual bool printBbcode(const QString &text, QString &errorText, int &error) = 0;
    virtual bool printPlainText(QString text, QString &errorText, int &error) = 0;
    // Cash deposit.
    virtual bool introduction(const core::Cashier &cashier, const qt5ext::FixNumber &sum,
                              int &error, QString &errorText) = 0;
    // Cash withdrawal.
    virtual bool payout(const core::Cashier &cashier, const qt5ext::FixNumber &sum, int &error,
                        QString &errorText) = 0;
    // Closes the fiscal storage.
    virtual bool closeFs(const core::Cashier &cashier, int &error, QString &errorText,
                         QVariantMap &result) = 0;

    // Where a receipt sent now would begin, read ahead of it. False when the
    // back-end reads it inside the receipt itself (and hands it to the
    // recorder there) or cannot tell; `timedOut` when the device did not
    // answer in time, so that the receipt is better not sent now.
    virtual bool receiptStart(ReceiptStart &start, bool &timedOut);
    // A receipt as registreCheck(), after `record` has been given the
    // register's newest document, unless receiptStart() told it already.
    // Back-ends that cannot read it record an unknown start and register
    // the receipt as before.
    virtual bool registreRecordedCheck(const QVariantMap &check, const core::Cashier &cashier,
                                       const StartRecorder &record, QVariantMap &result, int &error);
    // The number and time of the register's newest fiscal document.
    virtual bool lastDocument(quint32 &number, QDateTime &dt);
    // A fiscal document by its number, summarised; false when it cannot be
    // read.
    virtual bool fiscalDocSummary(const core::Cashier &cashier, quint32 number, FiscalDocSummary &document);

    // Looks on the register for the receipt `check` sent after `start`
    // without an answer: the documents made since, read one by one.
    ReceiptSettlement::Outcome settleCheck(const ReceiptStart &start, const QVariantMap &check,
                                           const core::Cashier &cashier, QVariantMap &answer, QString &why);
};

#endif
