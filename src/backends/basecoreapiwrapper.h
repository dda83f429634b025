#ifndef BASECOREAPIWRAPPER_H
#define BASECOREAPIWRAPPER_H

#include <QObject>
#include <QString>
#include <QVariantMap>

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
};

#endif
