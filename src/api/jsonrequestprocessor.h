#ifndef JSONREQUESTPROCESSOR_H
#define JSONREQUESTPROCESSOR_H

#include "baserequestprocessor.h"

// Reads JSON request bodies and answers compact JSON inside the envelope
// { <operation key>: answer, "protocol": 1, "version": "1.0" }, keys sorted.
class JsonRequestProcessor : public BaseRequestProcessor
{
    Q_OBJECT
public:
    explicit JsonRequestProcessor(QObject *parent = nullptr);
    JsonRequestProcessor(const core::Cashier &cashier, QObject *parent = nullptr);
    JsonRequestProcessor(TillgateConfig::DeviceType device, QObject *parent);

    int checkCashbox(quint16 model, const QString &serial, QByteArray &body, QByteArray &statusText) override;
    int getFindedCashboxes(QByteArray &body, QByteArray &statusText) override;
    int chooseAtol(const QByteArray &request, QByteArray &body, QByteArray &statusText) override;
    int chooseCombine(const QByteArray &request, QByteArray &body, QByteArray &statusText) override;
    int getFsStatus(QByteArray &body, QByteArray &statusText) override;
    int getInitSearch(bool clean, QByteArray &body, QByteArray &statusText) override;
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

    // A version-2 receipt ("bso" with keys like p1054) in the internal form
    // ("fiscprops" lists of { "tag", "value" } or { "tag", "fiscprops" }).
    static QVariantMap prepareFiscalCheckP2(const QVariantMap &request);
    static QVariantList prepareFiscalPropsP2(const QVariantMap &map);

    // The envelope around an answer; an empty key leaves the answer out.
    static QByteArray envelope(const QString &key, const QVariantMap &answer);
    // Compact JSON of a map, keys in ascending order.
    static QByteArray toJson(const QVariantMap &map);
    // False with the parser's error text when the body is not JSON; a JSON
    // value that is not an object reads as an empty map.
    static bool parse(const QByteArray &body, QVariantMap &map, QString &error);
    // The low byte of "protocol"; 0 for anything that is not a number in
    // the range of an unsigned 32-bit integer.
    static quint8 protocolOf(const QVariantMap &request);

private:
    // Writes the envelope with "document" when the answer is not empty.
    static void writeDocument(const QVariantMap &answer, QByteArray &body);
};

#endif
