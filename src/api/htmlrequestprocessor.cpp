#include "htmlrequestprocessor.h"

HtmlRequestProcessor::HtmlRequestProcessor(QObject *parent)
    : BaseRequestProcessor(parent)
{
}

HtmlRequestProcessor::HtmlRequestProcessor(const core::Cashier &cashier, QObject *parent)
    : BaseRequestProcessor(cashier, parent)
{
}

HtmlRequestProcessor::HtmlRequestProcessor(TillgateConfig::DeviceType device, QObject *parent)
    : BaseRequestProcessor(device, parent)
{
}

int HtmlRequestProcessor::notSupported(QByteArray &statusText)
{
    statusText = TEXT_NOT_SUPPORTED;
    return StatusNotSupported;
}

int HtmlRequestProcessor::getInitSearch(bool clean, QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    prepareSearchCashboxes(clean, status, statusText);
    return StatusOk;
}

int HtmlRequestProcessor::checkCashbox(quint16, const QString &, QByteArray &, QByteArray &statusText)
{
    return notSupported(statusText);
}

int HtmlRequestProcessor::getFindedCashboxes(QByteArray &, QByteArray &statusText)
{
    return notSupported(statusText);
}

int HtmlRequestProcessor::chooseAtol(const QByteArray &, QByteArray &, QByteArray &statusText)
{
    return notSupported(statusText);
}

int HtmlRequestProcessor::chooseCombine(const QByteArray &, QByteArray &, QByteArray &statusText)
{
    return notSupported(statusText);
}

int HtmlRequestProcessor::getFsStatus(QByteArray &, QByteArray &statusText)
{
    return notSupported(statusText);
}

int HtmlRequestProcessor::getCashboxStatus(QByteArray &, QByteArray &statusText)
{
    return notSupported(statusText);
}

int HtmlRequestProcessor::getCashboxVersion(QByteArray &, QByteArray &statusText)
{
    return notSupported(statusText);
}

int HtmlRequestProcessor::getFiscalDoc(int, QByteArray &, QByteArray &statusText)
{
    return notSupported(statusText);
}

int HtmlRequestProcessor::printFiscalDoc(int, QByteArray &, QByteArray &statusText)
{
    return notSupported(statusText);
}

int HtmlRequestProcessor::postFiscalCheck(const QByteArray &, QByteArray &, QByteArray &statusText)
{
    return notSupported(statusText);
}

int HtmlRequestProcessor::getCycleOpen(bool, QByteArray &, QByteArray &statusText)
{
    return notSupported(statusText);
}

int HtmlRequestProcessor::getCycleClose(bool, QByteArray &, QByteArray &statusText)
{
    return notSupported(statusText);
}

int HtmlRequestProcessor::getXReport(bool, QByteArray &, QByteArray &statusText)
{
    return notSupported(statusText);
}

int HtmlRequestProcessor::getCalcReport(bool, QByteArray &, QByteArray &statusText)
{
    return notSupported(statusText);
}

int HtmlRequestProcessor::postPrintText(const QByteArray &, QByteArray &, QByteArray &statusText)
{
    return notSupported(statusText);
}

int HtmlRequestProcessor::postFiscalization(const QByteArray &, QByteArray &, QByteArray &statusText)
{
    return notSupported(statusText);
}

int HtmlRequestProcessor::postRichText(const QByteArray &, QByteArray &, QByteArray &statusText)
{
    return notSupported(statusText);
}

int HtmlRequestProcessor::getIntroduction(const QString &, QByteArray &, QByteArray &statusText)
{
    return notSupported(statusText);
}

int HtmlRequestProcessor::getPayout(const QString &, QByteArray &, QByteArray &statusText)
{
    return notSupported(statusText);
}

int HtmlRequestProcessor::getFsClosing(QByteArray &, QByteArray &statusText)
{
    return notSupported(statusText);
}
