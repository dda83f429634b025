#include "baserequestprocessor.h"

#include "atol31apiwrapper.h"
#include "atolfrconfig.h"
#include "basecoreapiwrapper.h"
#include "cashboxfinder.h"
#include "combineapiwrapper.h"
#include "coreapiwrapper.h"
#include "receiptregistrar.h"
#include "servicemetrics.h"
#include "tillgatebuscontroller.h"
#include "tillgatecashe.h"
#include "tillgateconfig.h"
#include "tillgateroot.h"

#include <dircreator.h>
#include <fixnumber.h>
#include <fsstatus.h>

#include <monochromeimage.h>

#include <QDir>
#include <QHash>
#include <QSaveFile>
#include <QRegularExpression>

Q_LOGGING_CATEGORY(lcApi, "tillgate.api")

const QByteArray BaseRequestProcessor::TEXT_OK = QByteArrayLiteral("OK");
const QByteArray BaseRequestProcessor::TEXT_INTERNAL_ERROR = QByteArrayLiteral("Internal server error");
// The trailing blank is part of the phrase the front ends compare against.
const QByteArray BaseRequestProcessor::TEXT_INSUFFICIENT_STORAGE = QByteArrayLiteral("Insufficient Storage ");
const QByteArray BaseRequestProcessor::TEXT_ORIGIN_UNREACHABLE = QByteArrayLiteral("Origin Is Unreachable");
const QByteArray BaseRequestProcessor::TEXT_TIMEOUT = QByteArrayLiteral("A Timeout Occured");
const QByteArray BaseRequestProcessor::TEXT_NOT_SUPPORTED = QByteArrayLiteral("Not supported");
const QByteArray BaseRequestProcessor::TEXT_NOT_ACCEPTABLE = QByteArrayLiteral("Not Acceptable");
const QByteArray BaseRequestProcessor::TEXT_FORBIDDEN = QByteArrayLiteral("Forbidden");

namespace {

const QString KEY_CASHIER = QStringLiteral("cashier");
const QString KEY_DOCUMENT = QStringLiteral("document");
const QString KEY_SESSION_ID = QStringLiteral("sessionId");
const QString KEY_RESULT = QStringLiteral("result");
const QString KEY_MESSAGE = QStringLiteral("message");
const QString KEY_RESULT_DESCRIPTION = QStringLiteral("resultDescription");
const QString KEY_CASHBOXES = QStringLiteral("cashboxes");
const QString KEY_CONNECTED = QStringLiteral("connected");
const QString KEY_SETTINGS = QStringLiteral("settings");
const QString KEY_LIB_PATH = QStringLiteral("libPath");

void setStatus(int code, const QByteArray &text, int &status, QByteArray &statusText)
{
    status = code;
    statusText = text;
}

// Bytes read as UTF-8 up to the first NUL; null bytes give a null text.
QString utf8UpToNul(const QByteArray &bytes)
{
    if (bytes.isNull())
        return QString();
    return QString::fromUtf8(bytes.constData(), int(qstrnlen(bytes.constData(), uint(bytes.size()))));
}

} // namespace

BaseRequestProcessor::BaseRequestProcessor(QObject *parent)
    : QObject(parent)
{
    init(TillgateConfig().currentDevice());
}

BaseRequestProcessor::BaseRequestProcessor(const core::Cashier &cashier, QObject *parent)
    : QObject(parent)
    , m_cashier(cashier)
{
    init(TillgateConfig().currentDevice());
}

BaseRequestProcessor::BaseRequestProcessor(TillgateConfig::DeviceType device, QObject *parent)
    : QObject(parent)
{
    init(device);
}

BaseRequestProcessor::~BaseRequestProcessor() = default;

void BaseRequestProcessor::init(TillgateConfig::DeviceType device)
{
    switch (device) {
    case TillgateConfig::DeviceOstrak:
        m_api = new CoreApiWrapper(this);
        break;
    case TillgateConfig::DeviceCombine:
        m_api = new CombineApiWrapper(this);
        break;
    case TillgateConfig::DeviceAtol:
        m_api = new Atol31ApiWrapper(this);
        break;
    default:
        break;
    }

    TillgateRoot *root = TillgateRoot::instance();
    if (!root)
        return;
    // Everything addressed to the bus, the finder and the root runs on their
    // threads after this request has been answered.
    if (const auto bus = CoreApiWrapper::busController()) {
        connect(this, &BaseRequestProcessor::sendCommand, bus.data(), &TillgateBusController::sendCommand,
                Qt::QueuedConnection);
        connect(this, &BaseRequestProcessor::setBus, bus.data(), &TillgateBusController::setBus,
                Qt::QueuedConnection);
    }
    if (CashboxFinder *finder = root->finder()) {
        connect(this, &BaseRequestProcessor::initCashboxesSearch, finder, &CashboxFinder::init,
                Qt::QueuedConnection);
        connect(this, &BaseRequestProcessor::cleanAndinitCashboxesSearch, finder, &CashboxFinder::cleanAndInit,
                Qt::QueuedConnection);
    }
    connect(this, &BaseRequestProcessor::startOstrakCashbox, root, &TillgateRoot::startOstrakCashbox,
            Qt::QueuedConnection);
    connect(this, &BaseRequestProcessor::startAtolCashbox, root, &TillgateRoot::startAtolCashbox,
            Qt::QueuedConnection);
    connect(this, &BaseRequestProcessor::startCombineCashbox, root, &TillgateRoot::startCombineCashbox,
            Qt::QueuedConnection);
}

void BaseRequestProcessor::setBackEnd(BaseCoreApiWrapper *api)
{
    if (m_api && m_api != api)
        delete m_api.data();
    m_api = api;
    m_regDataRead = false;
    m_regData = fiscal::RegData();
    if (api)
        api->setParent(this);
}

bool BaseRequestProcessor::isUsable() const
{
    return m_api && m_api->hasApi();
}

fiscal::RegData BaseRequestProcessor::getRegData() const
{
    // The dispatcher and the receipt both want them; the core is asked once.
    if (!m_regDataRead && isUsable()) {
        m_api->getRegData(m_regData);
        m_regDataRead = true;
    }
    return m_regData;
}

QVariantMap BaseRequestProcessor::commandAnswer(bool ok, int error, const QVariantMap &result, int &status,
                                                QByteArray &statusText) const
{
    if (ok) {
        setStatus(StatusOk, TEXT_OK, status, statusText);
        return result;
    }
    if (error == BaseCoreApiWrapper::ERROR_TIMEOUT) {
        setStatus(StatusTimeout, TEXT_TIMEOUT, status, statusText);
        return QVariantMap();
    }
    // The device's own explanation, if any, stays in the answer.
    setStatus(StatusInternalError, TEXT_INTERNAL_ERROR, status, statusText);
    return result;
}

QVariantMap BaseRequestProcessor::cashAnswer(bool ok, int error, const QString &errorText, int &status,
                                             QByteArray &statusText) const
{
    if (!ok && error == 0) {
        setStatus(StatusTimeout, TEXT_TIMEOUT, status, statusText);
        return QVariantMap();
    }
    setStatus(StatusOk, TEXT_OK, status, statusText);
    QVariantMap answer{{KEY_RESULT, error}};
    if (!errorText.isEmpty())
        answer.insert(KEY_MESSAGE, QVariantMap{{KEY_RESULT_DESCRIPTION, errorText}});
    return answer;
}

QVariantMap BaseRequestProcessor::prepareFsStatus(int &status, QByteArray &statusText) const
{
    fiscal::FsStatus fsStatus;
    if (isUsable() && m_api->getFsStatus(fsStatus)) {
        setStatus(StatusOk, TEXT_OK, status, statusText);
        return fsStatus.toBeautyMap();
    }
    setStatus(StatusOriginUnreachable, TEXT_ORIGIN_UNREACHABLE, status, statusText);
    return QVariantMap();
}

QVariantMap BaseRequestProcessor::prepareCashboxStatus(int &status, QByteArray &statusText)
{
    QVariantMap state;
    if (isUsable() && m_api->getFullFrCoreState(state, true)) {
        setStatus(StatusOk, TEXT_OK, status, statusText);
        return state;
    }
    setStatus(StatusOriginUnreachable, TEXT_ORIGIN_UNREACHABLE, status, statusText);
    return QVariantMap();
}

QVariantMap BaseRequestProcessor::prepareFiscalDoc(int number, bool print, int &status, QByteArray &statusText)
{
    if (!isUsable()) {
        setStatus(StatusOriginUnreachable, TEXT_ORIGIN_UNREACHABLE, status, statusText);
        return QVariantMap();
    }
    QVariantMap document;
    if (m_api->getFiscalDoc(m_cashier, number, print, document)) {
        setStatus(StatusOk, TEXT_OK, status, statusText);
        return document;
    }
    setStatus(StatusTimeout, TEXT_TIMEOUT, status, statusText);
    return QVariantMap();
}

QVariantMap BaseRequestProcessor::processFiscalCheck(const QVariantMap &check, int &status, QByteArray &statusText)
{
    ReceiptOutcome outcome = ReceiptOutcome::Refused;
    QVariantMap answer;
    if (isUsable()) {
        answer = fiscalCheck(check, outcome, status, statusText);
    } else {
        setStatus(StatusOriginUnreachable, TEXT_ORIGIN_UNREACHABLE, status, statusText);
    }
    // Every receipt ends here, with exactly one outcome.
    qCDebug(lcApi).noquote() << "Receipt outcome:" << ReceiptRegistrar::outcomeName(outcome);
    ServiceMetrics::instance().countReceipt(outcome, status, answer);
    return answer;
}

QVariantMap BaseRequestProcessor::fiscalCheck(const QVariantMap &check, ReceiptOutcome &outcome, int &status,
                                              QByteArray &statusText)
{
    QVariantMap prepared = check;
    if (!prepared.contains(KEY_CASHIER))
        prepared.insert(KEY_CASHIER, m_cashier.toMap());
    QVariantMap document = prepared.value(KEY_DOCUMENT).toMap();
    const QString sessionId = document.value(KEY_SESSION_ID).toString();
    const QString docModel = document.value(QStringLiteral("frmodel")).toString().trimmed();
    const QString docSerial = document.value(QStringLiteral("frserial")).toString().trimmed();
    const QString docInn = document.value(QStringLiteral("inn")).toString().trimmed();
    const QString docRegNumber = document.value(QStringLiteral("frregnum")).toString().trimmed();

    if (!docInn.isEmpty())
        m_inn = docInn;
    const fiscal::RegData regData = getRegData();
    if (!docRegNumber.isEmpty()) {
        m_regNumber = docRegNumber;
    } else if (!docModel.isEmpty() && !docSerial.isEmpty()) {
        bool ok = false;
        const uint model = docModel.toUInt(&ok, 10);
        if (ok && model == regData.model() && docSerial == regData.cashBoxSerial().trimmed()) {
            m_regNumber = regData.regNumeber();
            m_inn = regData.userInn();
        }
    }
    if (m_regNumber.isEmpty() && docRegNumber.isEmpty()) {
        m_regNumber = regData.regNumeber();
        qCWarning(lcApi) << "REQUEST REG NUMBER IS EMPTY";
    }
    // A receipt that names its register is trusted with its INN as well.
    if (m_inn.isEmpty() && docRegNumber.isEmpty()) {
        m_inn = regData.userInn();
        qCWarning(lcApi) << "REQUEST INN IS EMPTY";
    }
    qCWarning(lcApi).noquote() << docInn << docRegNumber << "\t - \t" << m_inn << m_regNumber;
    if (docInn.isEmpty() && !m_inn.isEmpty())
        document.insert(QStringLiteral("inn"), m_inn);
    if (docRegNumber.isEmpty() && !m_regNumber.isEmpty())
        document.insert(QStringLiteral("frregnum"), m_regNumber);
    prepared.insert(KEY_DOCUMENT, document);

    return ReceiptRegistrar(m_api.data(), m_cashier).registerCheck(sessionId, prepared, outcome, status, statusText);
}

QVariantMap BaseRequestProcessor::idempotent(const QString &sessionId, const QVariantMap &incoming,
                                             const std::function<bool(int &, QVariantMap &)> &call, int &status,
                                             QByteArray &statusText) const
{
    QVariantMap result;
    int error = 0;
    // Without a session the caller cannot repeat the request safely anyway:
    // nothing is remembered and every request is a new document.
    if (sessionId.isEmpty()) {
        if (!isUsable()) {
            setStatus(StatusOriginUnreachable, TEXT_ORIGIN_UNREACHABLE, status, statusText);
            return QVariantMap();
        }
        const bool ok = call(error, result);
        return commandAnswer(ok, error, result, status, statusText);
    }
    TillgateCashe cache(nullptr);
    if (cache.getOutgoingCheckData(sessionId, result)) {
        setStatus(StatusOk, TEXT_OK, status, statusText);
        return result;
    }
    // One incoming document per session: a repeat whose answer has not come
    // yet must not be registered a second time.
    if (!cache.storeIncomingCheckData(sessionId, incoming)) {
        setStatus(StatusInsufficientStorage, TEXT_INSUFFICIENT_STORAGE, status, statusText);
        return QVariantMap();
    }
    if (!isUsable()) {
        setStatus(StatusOriginUnreachable, TEXT_ORIGIN_UNREACHABLE, status, statusText);
        return QVariantMap();
    }
    const bool ok = call(error, result);
    if (ok) {
        // On disk before the caller hears of it: a repeat after a crash or
        // a lost push of the core still finds the document. An answer the
        // core pushed first stays.
        if (!cache.storeOutgoingCheckDataOnce(sessionId, result))
            qCCritical(lcApi).noquote() << "Answer of session" << sessionId << "not stored";
    } else if (error != BaseCoreApiWrapper::ERROR_TIMEOUT) {
        // Refused: nothing was registered, so the session may try again once
        // the cause is fixed. After a time-out the outcome is unknown and the
        // session stays locked until the core's answer arrives.
        if (!cache.removeUnansweredCheck(sessionId))
            qCCritical(lcApi).noquote() << "Refused session" << sessionId << "stays locked";
    }
    return commandAnswer(ok, error, result, status, statusText);
}

QVariantMap BaseRequestProcessor::deviceCommand(const std::function<bool(int &, QVariantMap &)> &call, int &status,
                                                QByteArray &statusText) const
{
    if (!isUsable()) {
        setStatus(StatusOriginUnreachable, TEXT_ORIGIN_UNREACHABLE, status, statusText);
        return QVariantMap();
    }
    int error = 0;
    QVariantMap result;
    const bool ok = call(error, result);
    return commandAnswer(ok, error, result, status, statusText);
}

QVariantMap BaseRequestProcessor::processCycleOpen(bool print, int &status, QByteArray &statusText)
{
    return deviceCommand([&](int &error, QVariantMap &result) { return m_api->openCycle(m_cashier, print, error, result); }, status, statusText);
}

QVariantMap BaseRequestProcessor::processCycleClose(bool print, int &status, QByteArray &statusText)
{
    return deviceCommand([&](int &error, QVariantMap &result) { return m_api->closeCycle(m_cashier, print, error, result); }, status, statusText);
}

QVariantMap BaseRequestProcessor::processXReport(bool print, int &status, QByteArray &statusText)
{
    return deviceCommand([&](int &error, QVariantMap &result) { return m_api->xReport(m_cashier, print, false, error, result); }, status, statusText);
}

QVariantMap BaseRequestProcessor::processCalcReport(bool print, int &status, QByteArray &statusText)
{
    return deviceCommand([&](int &error, QVariantMap &result) { return m_api->calcReport(m_cashier, print, error, result); }, status, statusText);
}

QVariantMap BaseRequestProcessor::processPrintText(const QVariantMap &text, int &status, QByteArray &statusText)
{
    QVariantMap prepared = text;
    if (!prepared.contains(KEY_CASHIER))
        prepared.insert(KEY_CASHIER, m_cashier.toMap());
    return deviceCommand([&](int &error, QVariantMap &result) { return m_api->printText(m_cashier, prepared, error, result); },
                         status, statusText);
}

QVariantMap BaseRequestProcessor::processFiscalization(const QVariantMap &request, int &status,
                                                       QByteArray &statusText)
{
    const QVariantMap document = request.value(KEY_DOCUMENT).toMap();
    const QString sessionId = document.value(KEY_SESSION_ID).toString();
    const QString printOnlyKey = QStringLiteral("printOnly");
    const bool printOnly = document.contains(printOnlyKey) ? document.value(printOnlyKey).toBool() : false;
    QVariantMap data = document.value(QStringLiteral("data")).toMap();
    data.insert(printOnlyKey, printOnly);
    if (!data.contains(KEY_CASHIER))
        data.insert(KEY_CASHIER, m_cashier.toMap());

    return idempotent(sessionId, data, [&](int &error, QVariantMap &result) {
        return m_api->activate(m_cashier, printOnly, sessionId, data, error, result);
    }, status, statusText);
}

bool BaseRequestProcessor::decodeBase64(const QString &text, QByteArray &bytes)
{
    static const QRegularExpression whiteSpace(QStringLiteral("\\s+"));
    QString compact = text;
    compact.remove(whiteSpace);
    const auto decoded = QByteArray::fromBase64Encoding(compact.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return false;
    bytes = decoded.decoded;
    return true;
}

QVariantMap BaseRequestProcessor::processPostRichText(const QVariantMap &document, int &status,
                                                      QByteArray &statusText)
{
    if (!isUsable()) {
        setStatus(StatusOriginUnreachable, TEXT_ORIGIN_UNREACHABLE, status, statusText);
        return QVariantMap();
    }
    const QString plainKey = QStringLiteral("plain");
    const QString bbcodeKey = QStringLiteral("bbcode");
    // Both texts are checked before anything is stored or printed, so a
    // request with a broken text leaves no half-done work behind.
    QByteArray plain;
    QByteArray bbcode;
    if ((document.contains(plainKey) && !decodeBase64(document.value(plainKey).toString(), plain))
        || (document.contains(bbcodeKey) && !decodeBase64(document.value(bbcodeKey).toString(), bbcode))) {
        qCWarning(lcApi) << "Text to print is not Base64";
        setStatus(StatusNotAcceptable, TEXT_NOT_ACCEPTABLE, status, statusText);
        return QVariantMap();
    }

    // Pictures are checked whole before anything is stored or printed: a
    // request with one unusable picture, or one that would overfill the
    // store, leaves the store as it was.
    const QString imagesKey = QStringLiteral("images");
    QList<StoredImage> images;
    if (document.contains(imagesKey)) {
        QString reason;
        const int refusal = checkImages(document.value(imagesKey).toList(), images, reason);
        if (refusal != StatusOk) {
            qCWarning(lcApi).noquote() << "Images refused, none stored:" << reason;
            setStatus(refusal, refusal == StatusInsufficientStorage ? TEXT_INSUFFICIENT_STORAGE : TEXT_NOT_ACCEPTABLE,
                      status, statusText);
            return QVariantMap{{KEY_DOCUMENT, QVariantMap{{KEY_RESULT, ERROR_IMAGE_NOT_STORED},
                                                          {KEY_MESSAGE, QVariantMap{{KEY_RESULT_DESCRIPTION, reason}}}}}};
        }
    }

    int error = 0;
    QString errorText;
    QStringList notStored = storeImages(images);
    if (document.contains(plainKey))
        m_api->printPlainText(utf8UpToNul(plain), errorText, error);
    if (document.contains(bbcodeKey))
        m_api->printBbcode(utf8UpToNul(bbcode), errorText, error);
    if (!notStored.isEmpty()) {
        if (error == 0)
            error = ERROR_IMAGE_NOT_STORED;
        notStored.prepend(errorText);
        notStored.removeAll(QString());
        errorText = notStored.join(QStringLiteral("; "));
    }

    setStatus(StatusOk, TEXT_OK, status, statusText);
    QVariantMap answer{{KEY_RESULT, error}};
    if (!errorText.isEmpty())
        answer.insert(KEY_MESSAGE, QVariantMap{{KEY_RESULT_DESCRIPTION, errorText}});
    return QVariantMap{{KEY_DOCUMENT, answer}};
}

bool BaseRequestProcessor::isSafeImageName(const QString &fileName)
{
    return !fileName.isEmpty() && fileName != QLatin1String(".") && fileName != QLatin1String("..")
        && !fileName.contains(QLatin1Char('/')) && !fileName.contains(QLatin1Char('\\'))
        && !fileName.contains(QChar(0));
}

bool BaseRequestProcessor::isPictureName(const QString &fileName)
{
    return isSafeImageName(fileName)
        && (fileName.endsWith(QLatin1String(".png"), Qt::CaseInsensitive)
            || fileName.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive));
}

int BaseRequestProcessor::checkImages(const QVariantList &entries, QList<StoredImage> &images, QString &reason)
{
    images.clear();
    const QString fileNameKey = QStringLiteral("fileName");
    const QString imageKey = QStringLiteral("image");
    const QDir directory(TillgateConfig().tillgateImages());
    QHash<QString, qint64> sizes;
    const QFileInfoList stored = directory.entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &file : stored)
        sizes.insert(file.fileName(), file.size());
    for (const QVariant &entry : entries) {
        const QVariantMap image = entry.toMap();
        if (!image.contains(fileNameKey) || !image.contains(imageKey))
            continue;
        StoredImage picture;
        picture.fileName = image.value(fileNameKey).toString();
        if (!isPictureName(picture.fileName)) {
            reason = QStringLiteral("image \"%1\": not a plain file name ending in .png or .bmp")
                         .arg(picture.fileName);
            return StatusNotAcceptable;
        }
        if (!decodeBase64(image.value(imageKey).toString(), picture.content)) {
            reason = QStringLiteral("image \"%1\": the content is not Base64").arg(picture.fileName);
            return StatusNotAcceptable;
        }
        QString pictureError;
        if (!frprint::MonochromeImage().loadFromData(picture.content, &pictureError)) {
            reason = QStringLiteral("image \"%1\": not a PNG or BMP picture (%2)").arg(picture.fileName, pictureError);
            return StatusNotAcceptable;
        }
        // A picture stored again under its name replaces the old one.
        sizes.insert(picture.fileName, picture.content.size());
        images.append(picture);
    }
    qint64 total = 0;
    for (const qint64 size : qAsConst(sizes))
        total += size;
    const qint64 limit = TillgateConfig().imagesLimit();
    if (!images.isEmpty() && total > limit) {
        reason = QStringLiteral("the images would take %1 bytes, more than the %2 allowed").arg(total).arg(limit);
        images.clear();
        return StatusInsufficientStorage;
    }
    return StatusOk;
}

QStringList BaseRequestProcessor::storeImages(const QList<StoredImage> &images)
{
    QStringList notStored;
    if (images.isEmpty())
        return notStored;
    const QString directory = TillgateConfig().tillgateImages();
    qt5ext::DirCreator::checkAndCreate(directory, qt5ext::DirCreator::DEFAULT_ALL);
    for (const StoredImage &image : images) {
        const QString path = QStringLiteral("%1/%2").arg(directory, image.fileName);
        qCWarning(lcApi) << "Storing image" << path << image.content.size() << "bytes";
        // Written aside and renamed into place: a printer never reads half a
        // picture, and of two stores of one name one whole picture remains.
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(image.content) != image.content.size() || !file.commit()) {
            qCWarning(lcApi) << "Image not stored:" << path << file.errorString();
            notStored << QStringLiteral("image \"%1\" not stored: %2").arg(image.fileName, file.errorString());
        }
    }
    return notStored;
}

QStringList BaseRequestProcessor::saveImages(const QVariantList &images)
{
    QList<StoredImage> checked;
    QString reason;
    if (checkImages(images, checked, reason) != StatusOk) {
        qCWarning(lcApi).noquote() << "Images refused, none stored:" << reason;
        return {reason};
    }
    return storeImages(checked);
}

bool BaseRequestProcessor::isDriverPathAllowed(const QString &directory, const QStringList &allowed)
{
    const QString wanted = QDir::cleanPath(directory.trimmed());
    if (!QDir::isAbsolutePath(wanted))
        return false;
    for (const QString &entry : allowed) {
        if (QDir::cleanPath(entry.trimmed()) == wanted)
            return true;
    }
    return false;
}

bool BaseRequestProcessor::readKopecks(const QString &sum, qt5ext::FixNumber &amount)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    bool ok = false;
    const qlonglong kopecks = sum.toLongLong(&ok, 10);
    if (!ok || kopecks <= 0 || !digits.match(sum).hasMatch())
        return false;
    amount = qt5ext::FixNumber(100, kopecks);
    return true;
}

QVariantMap BaseRequestProcessor::cashOperation(const QString &sum,
                                                const std::function<bool(const qt5ext::FixNumber &, int &, QString &)> &call,
                                                int &status, QByteArray &statusText) const
{
    // The query gives whole kopecks; anything else never reaches the device.
    qt5ext::FixNumber amount;
    if (!readKopecks(sum, amount)) {
        qCWarning(lcApi) << "Amount refused:" << sum;
        setStatus(StatusNotAcceptable, TEXT_NOT_ACCEPTABLE, status, statusText);
        return QVariantMap();
    }
    if (!isUsable()) {
        setStatus(StatusOriginUnreachable, TEXT_ORIGIN_UNREACHABLE, status, statusText);
        return QVariantMap();
    }
    int error = 0;
    QString errorText;
    const bool ok = call(amount, error, errorText);
    return cashAnswer(ok, error, errorText, status, statusText);
}

QVariantMap BaseRequestProcessor::processIntroduction(const QString &sum, int &status, QByteArray &statusText)
{
    return cashOperation(sum, [&](const qt5ext::FixNumber &amount, int &error, QString &errorText) {
        return m_api->introduction(m_cashier, amount, error, errorText);
    }, status, statusText);
}

QVariantMap BaseRequestProcessor::processPayout(const QString &sum, int &status, QByteArray &statusText)
{
    return cashOperation(sum, [&](const qt5ext::FixNumber &amount, int &error, QString &errorText) {
        return m_api->payout(m_cashier, amount, error, errorText);
    }, status, statusText);
}

QVariantMap BaseRequestProcessor::processFsClosing(int &status, QByteArray &statusText)
{
    // Closing asks only for a back-end object, not for a live link: the
    // back-end itself decides what an unreachable device means here.
    if (!m_api) {
        setStatus(StatusOriginUnreachable, TEXT_ORIGIN_UNREACHABLE, status, statusText);
        return QVariantMap();
    }
    int error = 0;
    QString errorText;
    QVariantMap result;
    const bool ok = m_api->closeFs(m_cashier, error, errorText, result);
    return cashAnswer(ok, error, errorText, status, statusText);
}

QVariantMap BaseRequestProcessor::prepareSearchCashboxes(bool clean, int &status, QByteArray &statusText)
{
    if (clean)
        emit cleanAndinitCashboxesSearch();
    else
        emit initCashboxesSearch();
    setStatus(StatusOk, TEXT_OK, status, statusText);
    return QVariantMap();
}

QVariantMap BaseRequestProcessor::prepareFindedCashboxes(int &status, QByteArray &statusText)
{
    const QString busHost = TillgateConfig().appBusHost().trimmed();
    QVariantList list;
    const auto cashboxes = CashboxFinder::cashboxes();
    for (const FindedCashbox &cashbox : cashboxes) {
        QVariantMap map = cashbox.toBeautyMap();
        if (cashbox.ip().toString().trimmed() == busHost)
            map.insert(KEY_CONNECTED, 1);
        list.append(map);
    }
    setStatus(StatusOk, TEXT_OK, status, statusText);
    return QVariantMap{{KEY_CASHBOXES, list}};
}

QVariantMap BaseRequestProcessor::prepareCheckCashbox(quint16 model, const QString &serial, int &status,
                                                      QByteArray &statusText)
{
    const auto cashboxes = CashboxFinder::cashboxes();
    const auto found = cashboxes.constFind(FindedCashbox::genKey(serial, model));
    if (found == cashboxes.constEnd()) {
        setStatus(StatusOriginUnreachable, TEXT_ORIGIN_UNREACHABLE, status, statusText);
        return QVariantMap();
    }
    const FindedCashbox &cashbox = found.value();
    const QString host = cashbox.ip().toString();
    {
        TillgateConfig config;
        config.setAppBusHost(host);
        config.setBusMsgPort(cashbox.busMsgPort());
        config.setBusQueryPort(cashbox.busQueryPort());
        config.setCurrentDevice(TillgateConfig::DeviceOstrak);
    }
    emit startOstrakCashbox();
    emit setBus(host, cashbox.busMsgPort(), cashbox.busQueryPort());
    QVariantMap map = cashbox.toBeautyMap();
    map.insert(KEY_CONNECTED, 1);
    setStatus(StatusOk, TEXT_OK, status, statusText);
    return QVariantMap{{KEY_CASHBOXES, QVariantList{map}}};
}

QVariantMap BaseRequestProcessor::prepareChooseAtol(const QVariantMap &settings, int &status, QByteArray &statusText)
{
    {
        TillgateConfig config;
        AtolFrConfig atol;
        atol.setMap(settings);
        // The driver library runs inside the service: a caller may only pick
        // one of the directories the operator listed, and a choice without
        // one keeps the directory configured.
        if (!settings.contains(KEY_LIB_PATH)) {
            atol.setLibDrvPath(config.atolconfig().libDrvPath());
        } else if (!isDriverPathAllowed(atol.libDrvPath(), config.atolDriverPaths())) {
            const QString reason = QStringLiteral("the driver directory \"%1\" is not among the allowed ones")
                                       .arg(atol.libDrvPath());
            qCWarning(lcApi).noquote() << "ATOL device choice refused:" << reason;
            setStatus(StatusForbidden, TEXT_FORBIDDEN, status, statusText);
            return QVariantMap{{KEY_RESULT, int(StatusForbidden)},
                               {KEY_MESSAGE, QVariantMap{{KEY_RESULT_DESCRIPTION, reason}}}};
        }
        config.setCurrentDevice(TillgateConfig::DeviceAtol);
        config.setAtolConfig(atol);
    }
    emit startAtolCashbox();
    setStatus(StatusOk, TEXT_OK, status, statusText);
    return QVariantMap{{KEY_RESULT, 0}, {KEY_SETTINGS, settings}};
}

QVariantMap BaseRequestProcessor::prepareChooseCombine(const QVariantMap &settings, int &status,
                                                       QByteArray &statusText)
{
    {
        TillgateConfig config;
        config.setCurrentDevice(TillgateConfig::DeviceCombine);
        config.setCombineCashierInn(settings.value(QStringLiteral("cashierInn")).toString());
        config.setCombineCashierName(settings.value(KEY_CASHIER).toString());
    }
    emit startCombineCashbox();
    setStatus(StatusOk, TEXT_OK, status, statusText);
    return QVariantMap{{KEY_RESULT, 0}, {KEY_SETTINGS, settings}};
}
