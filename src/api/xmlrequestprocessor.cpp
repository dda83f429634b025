#include "xmlrequestprocessor.h"

#include "xmlanswerwriter.h"

#include <logutils.h>

namespace {

const QString ROOT_DOCUMENT = QStringLiteral("document");
const QString KEY_DOCUMENT = QStringLiteral("document");
const QByteArray NOT_ACCEPTABLE_BODY = QByteArrayLiteral("406 Not Acceptable");

int refuse(QByteArray &body, QByteArray &statusText)
{
    statusText = BaseRequestProcessor::TEXT_NOT_ACCEPTABLE;
    body = NOT_ACCEPTABLE_BODY;
    return BaseRequestProcessor::StatusNotAcceptable;
}

} // namespace

XmlRequestProcessor::XmlRequestProcessor(QObject *parent)
    : BaseRequestProcessor(parent)
{
}

XmlRequestProcessor::XmlRequestProcessor(const core::Cashier &cashier, QObject *parent)
    : BaseRequestProcessor(cashier, parent)
{
}

XmlRequestProcessor::XmlRequestProcessor(TillgateConfig::DeviceType device, QObject *parent)
    : BaseRequestProcessor(device, parent)
{
}

bool XmlRequestProcessor::readDocument(XmlDocumentReader::Operation operation, const QByteArray &request,
                                       QVariantMap &document, QByteArray &body, QByteArray &statusText)
{
    QString fault;
    if (XmlDocumentReader(operation).read(request, document, &fault)) {
        // A receipt or a registration cut short would go to the register with
        // only the part read before the fault: a wrong fiscal document.
        const bool fiscal = operation == XmlDocumentReader::FiscalCheck
                || operation == XmlDocumentReader::Fiscalization;
        if (fault.isEmpty() || !fiscal)
            return true;
        qCWarning(lcXml) << "fiscal document refused, it breaks off:" << fault;
    }
    refuse(body, statusText);
    return false;
}

void XmlRequestProcessor::writeAnswer(const QString &root, const QVariantMap &answer, QByteArray &body)
{
    if (!answer.isEmpty())
        body = XmlAnswerWriter::simpleVariantToXml(root, answer);
}

int XmlRequestProcessor::checkCashbox(quint16 model, const QString &serial, QByteArray &body,
                                      QByteArray &statusText)
{
    body.clear();
    int status = 0;
    writeAnswer(QStringLiteral("cashboxChoose"), prepareCheckCashbox(model, serial, status, statusText), body);
    return status;
}

int XmlRequestProcessor::getFindedCashboxes(QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    writeAnswer(QStringLiteral("searchResult"), prepareFindedCashboxes(status, statusText), body);
    return status;
}

// The device choice carries settings that only the JSON form describes.
int XmlRequestProcessor::chooseAtol(const QByteArray &, QByteArray &, QByteArray &statusText)
{
    statusText = TEXT_NOT_SUPPORTED;
    return StatusNotSupported;
}

int XmlRequestProcessor::chooseCombine(const QByteArray &, QByteArray &, QByteArray &statusText)
{
    statusText = TEXT_NOT_SUPPORTED;
    return StatusNotSupported;
}

int XmlRequestProcessor::getFsStatus(QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    writeAnswer(QStringLiteral("fsStatus"), prepareFsStatus(status, statusText), body);
    return status;
}

int XmlRequestProcessor::getInitSearch(bool clean, QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    // The search answers nothing now; its results are asked for later.
    prepareSearchCashboxes(clean, status, statusText);
    return status;
}

int XmlRequestProcessor::getCashboxStatus(QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    writeAnswer(QStringLiteral("cashboxStatus"), prepareCashboxStatus(status, statusText), body);
    return status;
}

int XmlRequestProcessor::getCashboxVersion(QByteArray &body, QByteArray &statusText)
{
    int status = 0;
    const QVariantMap state = prepareCashboxStatus(status, statusText);
    // The four fields are always there, empty when the register did not say.
    QVariantMap version;
    for (const char *key : { "model", "ver", "subver", "modelstr" })
        version.insert(QLatin1String(key), state.value(QLatin1String(key)));
    body = XmlAnswerWriter::simpleVariantToXml(QStringLiteral("cashboxVersion"), version);
    return status;
}

int XmlRequestProcessor::getFiscalDoc(int number, QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    writeAnswer(ROOT_DOCUMENT, prepareFiscalDoc(number, false, status, statusText), body);
    return status;
}

int XmlRequestProcessor::printFiscalDoc(int number, QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    writeAnswer(ROOT_DOCUMENT, prepareFiscalDoc(number, true, status, statusText), body);
    return status;
}

int XmlRequestProcessor::getCycleOpen(bool print, QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    writeAnswer(ROOT_DOCUMENT, processCycleOpen(print, status, statusText), body);
    return status;
}

int XmlRequestProcessor::getCycleClose(bool print, QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    writeAnswer(ROOT_DOCUMENT, processCycleClose(print, status, statusText), body);
    return status;
}

int XmlRequestProcessor::getXReport(bool print, QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    writeAnswer(ROOT_DOCUMENT, processXReport(print, status, statusText), body);
    return status;
}

int XmlRequestProcessor::getCalcReport(bool print, QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    writeAnswer(ROOT_DOCUMENT, processCalcReport(print, status, statusText), body);
    return status;
}

int XmlRequestProcessor::getIntroduction(const QString &sum, QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    const QVariantMap answer = processIntroduction(sum, status, statusText);
    if (status == StatusNotAcceptable)
        return refuse(body, statusText);
    writeAnswer(ROOT_DOCUMENT, answer, body);
    return status;
}

int XmlRequestProcessor::getPayout(const QString &sum, QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    const QVariantMap answer = processPayout(sum, status, statusText);
    if (status == StatusNotAcceptable)
        return refuse(body, statusText);
    writeAnswer(ROOT_DOCUMENT, answer, body);
    return status;
}

int XmlRequestProcessor::getFsClosing(QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    writeAnswer(ROOT_DOCUMENT, processFsClosing(status, statusText), body);
    return status;
}

int XmlRequestProcessor::postFiscalCheck(const QByteArray &request, QByteArray &body, QByteArray &statusText)
{
    body.clear();
    QVariantMap document;
    if (!readDocument(XmlDocumentReader::FiscalCheck, request, document, body, statusText))
        return StatusNotAcceptable;
    const QVariantMap check { { KEY_DOCUMENT, document } };
    qCWarning(lcApi).noquote() << "XML receipt:" << qt5ext::logvariant(check);
    int status = 0;
    writeAnswer(ROOT_DOCUMENT, processFiscalCheck(check, status, statusText), body);
    return status;
}

int XmlRequestProcessor::postPrintText(const QByteArray &request, QByteArray &body, QByteArray &statusText)
{
    body.clear();
    QVariantMap document;
    if (!readDocument(XmlDocumentReader::PrintText, request, document, body, statusText))
        return StatusNotAcceptable;
    int status = 0;
    writeAnswer(ROOT_DOCUMENT, processPrintText(QVariantMap { { KEY_DOCUMENT, document } }, status, statusText),
                body);
    return status;
}

int XmlRequestProcessor::postFiscalization(const QByteArray &request, QByteArray &body, QByteArray &statusText)
{
    body.clear();
    QVariantMap document;
    if (!readDocument(XmlDocumentReader::Fiscalization, request, document, body, statusText))
        return StatusNotAcceptable;
    int status = 0;
    writeAnswer(ROOT_DOCUMENT,
                processFiscalization(QVariantMap { { KEY_DOCUMENT, document } }, status, statusText), body);
    return status;
}

int XmlRequestProcessor::postRichText(const QByteArray &request, QByteArray &body, QByteArray &statusText)
{
    body.clear();
    QVariantMap document;
    if (!readDocument(XmlDocumentReader::RichText, request, document, body, statusText))
        return StatusNotAcceptable;
    int status = StatusOk;
    const QVariantMap answer = processPostRichText(document, status, statusText);
    // Texts that are not Base64 are refused before anything is printed.
    if (status == StatusNotAcceptable)
        return refuse(body, statusText);
    if (!answer.isEmpty())
        body = XmlAnswerWriter::simpleVariantToXml(ROOT_DOCUMENT, answer.value(KEY_DOCUMENT).toMap());
    return status;
}
