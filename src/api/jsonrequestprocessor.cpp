#include "jsonrequestprocessor.h"

#include <logutils.h>
#include <strictjson.h>

#include <QJsonDocument>

#include <cmath>

namespace {

const QString KEY_DOCUMENT = QStringLiteral("document");
const QString KEY_PROTOCOL = QStringLiteral("protocol");
const QString KEY_VERSION = QStringLiteral("version");
const QString KEY_DATA = QStringLiteral("data");
const QString KEY_BSO = QStringLiteral("bso");
const QString KEY_FISCPROPS = QStringLiteral("fiscprops");
const QString KEY_TAG = QStringLiteral("tag");
const QString KEY_VALUE = QStringLiteral("value");
const QByteArray NOT_ACCEPTABLE_BODY = QByteArrayLiteral("406 Not Acceptable");

// The tag of a version-2 property name: the name without its first
// character, in decimal; 0 when that is not a number.
uint tagOf(const QString &key)
{
    return key.mid(1).toUInt(nullptr, 10);
}

int refuse(const QByteArray &text, QByteArray &body, QByteArray &statusText)
{
    statusText = text;
    body = text;
    return BaseRequestProcessor::StatusNotAcceptable;
}

int refuseParseError(const QString &error, QByteArray &body, QByteArray &statusText)
{
    return refuse(QStringLiteral("406 Not Acceptable (%1)").arg(error).toUtf8(), body, statusText);
}

int refuseProtocol(quint8 protocol, QByteArray &body, QByteArray &statusText)
{
    return refuse(QStringLiteral("406 Not Acceptable protocol %1").arg(protocol).toUtf8(), body, statusText);
}

int refusePlain(QByteArray &body, QByteArray &statusText)
{
    statusText = BaseRequestProcessor::TEXT_NOT_ACCEPTABLE;
    body = NOT_ACCEPTABLE_BODY;
    return BaseRequestProcessor::StatusNotAcceptable;
}

} // namespace

JsonRequestProcessor::JsonRequestProcessor(QObject *parent)
    : BaseRequestProcessor(parent)
{
}

JsonRequestProcessor::JsonRequestProcessor(const core::Cashier &cashier, QObject *parent)
    : BaseRequestProcessor(cashier, parent)
{
}

JsonRequestProcessor::JsonRequestProcessor(TillgateConfig::DeviceType device, QObject *parent)
    : BaseRequestProcessor(device, parent)
{
}

QByteArray JsonRequestProcessor::toJson(const QVariantMap &map)
{
    return QJsonDocument::fromVariant(map).toJson(QJsonDocument::Compact);
}

QByteArray JsonRequestProcessor::envelope(const QString &key, const QVariantMap &answer)
{
    QVariantMap map;
    if (!key.isEmpty())
        map.insert(key, answer);
    map.insert(KEY_PROTOCOL, 1u);
    map.insert(KEY_VERSION, QStringLiteral("1.0"));
    return toJson(map);
}

bool JsonRequestProcessor::parse(const QByteArray &body, QVariantMap &map, QString &error)
{
    QJsonDocument document;
    if (!qt5ext::StrictJson::parse(body, document, error))
        return false;
    map = document.toVariant().toMap();
    return true;
}

quint8 JsonRequestProcessor::protocolOf(const QVariantMap &request)
{
    const QVariant value = request.value(KEY_PROTOCOL);
    // A number outside the unsigned range has no low byte worth reading
    // (and must not wrap round into a valid protocol).
    switch (int(value.type())) {
    case QVariant::Double:
    case QVariant::LongLong:
    case QVariant::ULongLong:
    case QVariant::Int: {
        const double number = value.toDouble();
        if (!std::isfinite(number) || number < 0 || number >= 4294967296.0)
            return 0;
        break;
    }
    default:
        break;
    }
    return quint8(value.toUInt() & 0xFF);
}

QVariantList JsonRequestProcessor::prepareFiscalPropsP2(const QVariantMap &map)
{
    QVariantList list;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        QVariantMap property{{KEY_TAG, tagOf(it.key())}};
        if (it.value().type() == QVariant::Map)
            property.insert(KEY_FISCPROPS, prepareFiscalPropsP2(it.value().toMap()));
        else
            property.insert(KEY_VALUE, it.value());
        list.append(property);
    }
    return list;
}

QVariantMap JsonRequestProcessor::prepareFiscalCheckP2(const QVariantMap &request)
{
    QVariantMap document = request.value(KEY_DOCUMENT).toMap();
    QVariantMap data = document.value(KEY_DATA).toMap();
    const QVariantMap bso = data.value(KEY_BSO).toMap();
    data.remove(KEY_BSO);

    QVariantList list;
    for (auto it = bso.constBegin(); it != bso.constEnd(); ++it) {
        const QString &key = it.key();
        const QVariant &value = it.value();
        if (key.toLower() == QLatin1String("p1059")) {
            // Receipt lines: one compound property per line item.
            const QVariantList items = value.toList();
            for (const QVariant &item : items)
                list.append(QVariantMap{{KEY_TAG, 1059u}, {KEY_FISCPROPS, prepareFiscalPropsP2(item.toMap())}});
        } else if (value.type() == QVariant::Map) {
            list.append(QVariantMap{{KEY_TAG, tagOf(key)}, {KEY_FISCPROPS, prepareFiscalPropsP2(value.toMap())}});
        } else {
            list.append(QVariantMap{{KEY_TAG, tagOf(key)}, {KEY_VALUE, value}});
        }
    }
    data.insert(KEY_FISCPROPS, list);
    document.insert(KEY_DATA, data);
    return QVariantMap{{KEY_DOCUMENT, document}};
}

void JsonRequestProcessor::writeDocument(const QVariantMap &answer, QByteArray &body)
{
    if (!answer.isEmpty())
        body = envelope(KEY_DOCUMENT, answer);
}

int JsonRequestProcessor::checkCashbox(quint16 model, const QString &serial, QByteArray &body,
                                       QByteArray &statusText)
{
    body.clear();
    int status = 0;
    const QVariantMap answer = prepareCheckCashbox(model, serial, status, statusText);
    if (!answer.isEmpty())
        body = envelope(QStringLiteral("cashboxChoose"), answer);
    return status;
}

int JsonRequestProcessor::getFindedCashboxes(QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    const QVariantMap answer = prepareFindedCashboxes(status, statusText);
    if (!answer.isEmpty())
        body = envelope(QStringLiteral("searchResult"), answer);
    return status;
}

int JsonRequestProcessor::getFsStatus(QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    const QVariantMap answer = prepareFsStatus(status, statusText);
    if (!answer.isEmpty())
        body = envelope(QStringLiteral("fsStatus"), answer);
    return status;
}

int JsonRequestProcessor::getCashboxStatus(QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    const QVariantMap answer = prepareCashboxStatus(status, statusText);
    if (!answer.isEmpty())
        body = envelope(QStringLiteral("cashboxStatus"), answer);
    return status;
}

int JsonRequestProcessor::getCashboxVersion(QByteArray &body, QByteArray &statusText)
{
    int status = 0;
    const QVariantMap state = prepareCashboxStatus(status, statusText);
    QVariantMap version;
    // Missing keys are answered as null so that the front end always sees
    // the same four fields.
    for (const char *key : {"model", "ver", "subver", "modelstr"})
        version.insert(QLatin1String(key), state.value(QLatin1String(key)));
    body = envelope(QStringLiteral("cashboxVersion"), version);
    return status;
}

int JsonRequestProcessor::getFiscalDoc(int number, QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    writeDocument(prepareFiscalDoc(number, false, status, statusText), body);
    return status;
}

int JsonRequestProcessor::printFiscalDoc(int number, QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    writeDocument(prepareFiscalDoc(number, true, status, statusText), body);
    return status;
}

int JsonRequestProcessor::getCycleOpen(bool print, QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    writeDocument(processCycleOpen(print, status, statusText), body);
    return status;
}

int JsonRequestProcessor::getCycleClose(bool print, QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    writeDocument(processCycleClose(print, status, statusText), body);
    return status;
}

int JsonRequestProcessor::getXReport(bool print, QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    writeDocument(processXReport(print, status, statusText), body);
    return status;
}

int JsonRequestProcessor::getCalcReport(bool print, QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    writeDocument(processCalcReport(print, status, statusText), body);
    return status;
}

int JsonRequestProcessor::getIntroduction(const QString &sum, QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    const QVariantMap answer = processIntroduction(sum, status, statusText);
    if (status == StatusNotAcceptable)
        return refusePlain(body, statusText);
    writeDocument(answer, body);
    return status;
}

int JsonRequestProcessor::getPayout(const QString &sum, QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    const QVariantMap answer = processPayout(sum, status, statusText);
    if (status == StatusNotAcceptable)
        return refusePlain(body, statusText);
    writeDocument(answer, body);
    return status;
}

int JsonRequestProcessor::getFsClosing(QByteArray &body, QByteArray &statusText)
{
    body.clear();
    int status = 0;
    writeDocument(processFsClosing(status, statusText), body);
    return status;
}

int JsonRequestProcessor::getInitSearch(bool clean, QByteArray &body, QByteArray &statusText)
{
    int status = 0;
    prepareSearchCashboxes(clean, status, statusText);
    body = envelope(QString(), QVariantMap());
    return status;
}

int JsonRequestProcessor::postFiscalCheck(const QByteArray &request, QByteArray &body, QByteArray &statusText)
{
    QVariantMap map;
    QString error;
    if (!parse(request, map, error)) {
        qCWarning(lcApi) << "Receipt is not JSON:" << error;
        return refuseParseError(error, body, statusText);
    }
    int status = 0;
    QVariantMap answer;
    if (!map.contains(KEY_PROTOCOL)) {
        answer = processFiscalCheck(map, status, statusText);
    } else {
        const quint8 protocol = protocolOf(map);
        if (protocol == 3) {
            qCWarning(lcApi) << "Receipt protocol refused:" << protocol;
            return refuseProtocol(protocol, body, statusText);
        }
        answer = processFiscalCheck(protocol == 2 ? prepareFiscalCheckP2(map) : map, status, statusText);
    }
    writeDocument(answer, body);
    return status;
}

int JsonRequestProcessor::postFiscalization(const QByteArray &request, QByteArray &body, QByteArray &statusText)
{
    QVariantMap map;
    QString error;
    if (!parse(request, map, error)) {
        qCWarning(lcApi) << "Fiscalisation is not JSON:" << error;
        return refusePlain(body, statusText);
    }
    int status = 0;
    QVariantMap answer;
    if (!map.contains(KEY_PROTOCOL)) {
        answer = processFiscalization(map, status, statusText);
    } else {
        const quint8 protocol = protocolOf(map);
        if (protocol == 3) {
            qCWarning(lcApi) << "Fiscalisation protocol refused:" << protocol << error;
            return refusePlain(body, statusText);
        }
        answer = processFiscalization(protocol == 2 ? prepareFiscalCheckP2(map) : map, status, statusText);
    }
    writeDocument(answer, body);
    return status;
}

int JsonRequestProcessor::chooseAtol(const QByteArray &request, QByteArray &body, QByteArray &statusText)
{
    QVariantMap map;
    QString error;
    if (!parse(request, map, error)) {
        qCWarning(lcApi) << "ATOL settings are not JSON:" << error;
        return refuseParseError(error, body, statusText);
    }
    if (map.contains(KEY_PROTOCOL) && protocolOf(map) == 3) {
        qCWarning(lcApi) << "ATOL settings protocol refused";
        return refuseProtocol(3, body, statusText);
    }
    int status = 0;
    writeDocument(prepareChooseAtol(map, status, statusText), body);
    return status;
}

int JsonRequestProcessor::chooseCombine(const QByteArray &request, QByteArray &body, QByteArray &statusText)
{
    QVariantMap map;
    QString error;
    if (!parse(request, map, error)) {
        qCWarning(lcApi) << "Combine settings are not JSON:" << error;
        return refuseParseError(error, body, statusText);
    }
    if (map.contains(KEY_PROTOCOL) && protocolOf(map) == 3) {
        qCWarning(lcApi) << "Combine settings protocol refused";
        return refuseProtocol(3, body, statusText);
    }
    int status = 0;
    writeDocument(prepareChooseCombine(map, status, statusText), body);
    return status;
}

int JsonRequestProcessor::postPrintText(const QByteArray &request, QByteArray &body, QByteArray &statusText)
{
    QVariantMap map;
    QString error;
    if (!parse(request, map, error)) {
        qCWarning(lcApi) << "Text to print is not JSON:" << error;
        return refusePlain(body, statusText);
    }
    int status = 0;
    writeDocument(processPrintText(map, status, statusText), body);
    return status;
}

int JsonRequestProcessor::postRichText(const QByteArray &request, QByteArray &body, QByteArray &statusText)
{
    const QByteArray trimmed = request.trimmed();
    QVariantMap map;
    QString error;
    if (!parse(trimmed, map, error)) {
        qCWarning(lcApi).noquote() << "Rich text is not JSON:" << error << qt5ext::logbinary(trimmed, "UTF-8");
        return refusePlain(body, statusText);
    }
    int status = StatusOk;
    QVariantMap answer = processPostRichText(map.value(KEY_DOCUMENT).toMap(), status, statusText);
    if (status == StatusNotAcceptable)
        return refusePlain(body, statusText);
    answer.insert(KEY_PROTOCOL, 1u);
    answer.insert(KEY_VERSION, QStringLiteral("1.0"));
    body = toJson(answer);
    return status;
}
