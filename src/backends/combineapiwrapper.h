#ifndef COMBINEAPIWRAPPER_H
#define COMBINEAPIWRAPPER_H

#include "basecoreapiwrapper.h"

class CombineFrWorker;

// The back-end of the Combine fiscal device. It supports the shift, status and
// receipt operations and forwards them to its CombineFrWorker; everything else
// answers false. The worker's error codes stay inside: the caller's error
// argument is never written, and the cashier and flag arguments are not used.
class CombineApiWrapper : public BaseCoreApiWrapper
{
    Q_OBJECT
public:
    explicit CombineApiWrapper(QObject *parent = nullptr);
    // Takes the given worker as its own child (a different link to the device
    // stands in this way); a null worker gives the ordinary one.
    CombineApiWrapper(CombineFrWorker *worker, QObject *parent);
    ~CombineApiWrapper() override;

    CombineFrWorker *worker() const { return m_worker; }

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

private:
    CombineFrWorker *m_worker;
};

#endif
