#ifndef XMLREQUESTPROCESSOR_H
#define XMLREQUESTPROCESSOR_H

#include "baserequestprocessor.h"
#include "xmldocumentreader.h"

// ".xml" paths: request documents are read from XML (root "document", names
// in any letter case) into the maps the JSON protocol carries, and answers
// are written as XML documents whose root names the operation. The device
// choice is not offered over XML.
class XmlRequestProcessor : public BaseRequestProcessor
{
    Q_OBJECT
public:
    explicit XmlRequestProcessor(QObject *parent = nullptr);
    XmlRequestProcessor(const core::Cashier &cashier, QObject *parent = nullptr);
    XmlRequestProcessor(TillgateConfig::DeviceType device, QObject *parent);

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

private:
    // Reads the request document for `operation`; on a refusal writes the
    // 406 answer and returns false.
    static bool readDocument(XmlDocumentReader::Operation operation, const QByteArray &request,
                             QVariantMap &document, QByteArray &body, QByteArray &statusText);
    // The answer document under `root`, written only when there is an answer.
    static void writeAnswer(const QString &root, const QVariantMap &answer, QByteArray &body);
};

#endif
