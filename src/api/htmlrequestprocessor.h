#ifndef HTMLREQUESTPROCESSOR_H
#define HTMLREQUESTPROCESSOR_H

#include "baserequestprocessor.h"

// Serves plain paths (neither ".json" nor ".xml"). Only the cashbox search
// is carried out; everything else is refused with 501 so that a plain path
// never reaches the device, the cache or the configuration.
class HtmlRequestProcessor : public BaseRequestProcessor
{
    Q_OBJECT
public:
    explicit HtmlRequestProcessor(QObject *parent = nullptr);
    HtmlRequestProcessor(const core::Cashier &cashier, QObject *parent = nullptr);
    HtmlRequestProcessor(TillgateConfig::DeviceType device, QObject *parent);

    int getInitSearch(bool clean, QByteArray &body, QByteArray &statusText) override;

    int checkCashbox(quint16 model, const QString &serial, QByteArray &body, QByteArray &statusText) override;
    int getFindedCashboxes(QByteArray &body, QByteArray &statusText) override;
    int chooseAtol(const QByteArray &request, QByteArray &body, QByteArray &statusText) override;
    int chooseCombine(const QByteArray &request, QByteArray &body, QByteArray &statusText) override;
    int getFsStatus(QByteArray &body, QByteArray &statusText) override;
    int getCashboxStatus(QByteArray &body, QByteArray &statusText) override;
    int getCashboxVersion(QByteArray &body, QByteArray &statusText) override;
    int getFiscalDoc(int number, QByteArray &body, QByteArray &statusText) override;
    int printFiscalDoc(int number, QByteArray &body, QByteArray &statusText) override;
    int postFiscalCheck(const QByteArray &request, QByteArray &body, QByteArray &statusText) override;
    int getCycleOpen(bool print, QByteArray &body, QByteArray &statusText) override;
    int getCycleClose(bool print, QByteArray &body, QByteArray &statusText) override;
    int getXReport(bool print, QByteArray &body, QByteArray &statusText) override;
    int getCalcReport(bool print, QByteArray &body, QByteArray &statusText) override;
    int postPrintText(const QByteArray &request, QByteArray &body, QByteArray &statusText) override;
    int postFiscalization(const QByteArray &request, QByteArray &body, QByteArray &statusText) override;
    int postRichText(const QByteArray &request, QByteArray &body, QByteArray &statusText) override;
    int getIntroduction(const QString &sum, QByteArray &body, QByteArray &statusText) override;
    int getPayout(const QString &sum, QByteArray &body, QByteArray &statusText) override;
    int getFsClosing(QByteArray &body, QByteArray &statusText) override;

private:
    static int notSupported(QByteArray &statusText);
};

#endif
