#include "atol31apiwrapper.h"

#include "atol31drvworker.h"
#include "atollog_p.h"
#include "atoltables.h"
#include "tillgatecashe.h"
#include "tillgateconfig.h"

#include <basefiscaldocument.h>
#include <bbcodeparser.h>
#include <cashboxstatus.h>
#include <cashier.h>
#include <documentblock.h>
#include <fixnumber.h>
#include <fsstatus.h>
#include <logutils.h>
#include <regdata.h>

#include <QMutexLocker>

const int Atol31ApiWrapper::ERROR_NO_LINK = -1;
const QString Atol31ApiWrapper::NO_LINK_TEXT = QStringLiteral("Нет связи с ФР");
const QString Atol31ApiWrapper::NOT_SUPPORTED_TEXT = QStringLiteral("The operation is not supported on this device");
const QString Atol31ApiWrapper::CORRECTION_TEXT = QStringLiteral("Correction receipts are not supported on this device");

QSharedPointer<core::CashboxStatus> Atol31ApiWrapper::_currentStatus;
int Atol31ApiWrapper::_symbolsPerLine = 40;
quint64 Atol31ApiWrapper::_statusStores = 0;
QMutex Atol31ApiWrapper::_statusMutex;

namespace {

const QString KEY_RESULT = QStringLiteral("result");
const QString KEY_MESSAGE = QStringLiteral("message");
const QString KEY_DESCRIPTION = QStringLiteral("resultDescription");
const QString KEY_DATA = QStringLiteral("data");
const QString KEY_SESSION_ID = QStringLiteral("sessionId");

QMutex workerMutex;
QPointer<Atol31DrvWorker> serviceWorker;

QString passwordOf(const core::Cashier &cashier)
{
    return QString::number(cashier.password());
}

QString descriptionOf(const QVariantMap &result)
{
    return result.value(KEY_MESSAGE).toMap().value(KEY_DESCRIPTION).toString();
}

} // namespace

Atol31ApiWrapper::Atol31ApiWrapper(QObject *parent)
    : BaseCoreApiWrapper(parent)
{
    // Held under the lock while wiring, so the root cannot let the worker
    // go half way through.
    QMutexLocker locker(&workerMutex);
    Atol31DrvWorker *worker = serviceWorker.data();
    if (!worker)
        return;
    const auto type = Qt::BlockingQueuedConnection;
    connect(this, &Atol31ApiWrapper::cycleOpen, worker, &Atol31DrvWorker::openCycle, type);
    connect(this, &Atol31ApiWrapper::cycleClose, worker, &Atol31DrvWorker::closeCycle, type);
    connect(this, &Atol31ApiWrapper::updateStatus, worker, &Atol31DrvWorker::getCashboxStatus, type);
    connect(this, &Atol31ApiWrapper::fiscalDocByNymber, worker, &Atol31DrvWorker::fiscalDocByNymber, type);
    connect(this, QOverload<QString, QVariantMap, QVariantMap &>::of(&Atol31ApiWrapper::registreCheck), worker,
            &Atol31DrvWorker::registreCheck, type);
    connect(this, &Atol31ApiWrapper::recordedCheck, worker, &Atol31DrvWorker::registreRecordedCheck, type);
    connect(this, &Atol31ApiWrapper::readLastDocument, worker, &Atol31DrvWorker::lastDocument, type);
    connect(this, &Atol31ApiWrapper::registreCorrectionCheck, worker, &Atol31DrvWorker::registreCorrectionCheck, type);
    connect(this, &Atol31ApiWrapper::printTextDocument, worker, &Atol31DrvWorker::printTextPrinterDocument, type);
    connect(this, &Atol31ApiWrapper::makeXReport, worker, &Atol31DrvWorker::xReport, type);
    connect(this, &Atol31ApiWrapper::cashOperation, worker, &Atol31DrvWorker::cashOperation, type);
}

Atol31ApiWrapper::~Atol31ApiWrapper() = default;

void Atol31ApiWrapper::setWorker(Atol31DrvWorker *worker)
{
    QMutexLocker locker(&workerMutex);
    serviceWorker = worker;
}

QPointer<Atol31DrvWorker> Atol31ApiWrapper::worker()
{
    QMutexLocker locker(&workerMutex);
    return serviceWorker;
}

void Atol31ApiWrapper::setCurrentStatus(const core::CashboxStatus &status)
{
    QMutexLocker locker(&_statusMutex);
    ++_statusStores;
    if (_currentStatus)
        *_currentStatus = status;
    else
        _currentStatus = QSharedPointer<core::CashboxStatus>::create(status);
}

void Atol31ApiWrapper::cleanStatus()
{
    QMutexLocker locker(&_statusMutex);
    _currentStatus.reset();
}

QSharedPointer<core::CashboxStatus> Atol31ApiWrapper::getCurrentStatus()
{
    QMutexLocker locker(&_statusMutex);
    if (!_currentStatus)
        return QSharedPointer<core::CashboxStatus>();
    return QSharedPointer<core::CashboxStatus>::create(*_currentStatus);
}

quint64 Atol31ApiWrapper::statusStoreCount()
{
    QMutexLocker locker(&_statusMutex);
    return _statusStores;
}

int Atol31ApiWrapper::getSymbolsPerLine()
{
    QMutexLocker locker(&_statusMutex);
    return _symbolsPerLine;
}

void Atol31ApiWrapper::setSymbolsPerLine(const int &symbols)
{
    QMutexLocker locker(&_statusMutex);
    _symbolsPerLine = symbols;
}

bool Atol31ApiWrapper::hasApi() const
{
    return true;
}

bool Atol31ApiWrapper::jobResult(QVariantMap &result, int &error)
{
    if (result.isEmpty()) {
        result = QVariantMap{{KEY_RESULT, ERROR_NO_LINK}, {KEY_MESSAGE, QVariantMap{{KEY_DESCRIPTION, NO_LINK_TEXT}}}};
    } else if (!result.contains(KEY_RESULT)) {
        qCWarning(lcAtol).noquote() << "Job answer without a result:" << qt5ext::logvariant(result);
        result.insert(KEY_RESULT, ERROR_NO_LINK);
        result.insert(KEY_MESSAGE, QVariantMap{{KEY_DESCRIPTION, NO_LINK_TEXT}});
    }
    bool ok = false;
    error = result.value(KEY_RESULT).toInt(&ok);
    if (!ok)
        error = ERROR_NO_LINK;
    return error == 0;
}

QVariantMap Atol31ApiWrapper::notSupported(int &error)
{
    error = -12;
    return QVariantMap{{KEY_RESULT, error}, {KEY_MESSAGE, QVariantMap{{KEY_DESCRIPTION, NOT_SUPPORTED_TEXT}}}};
}

bool Atol31ApiWrapper::getFsStatus(fiscal::FsStatus &status)
{
    emit updateStatus();
    const QSharedPointer<core::CashboxStatus> current = getCurrentStatus();
    if (current)
        status = current->fs();
    return !current.isNull();
}

bool Atol31ApiWrapper::getFullFrCoreState(QVariantMap &state, bool flag)
{
    emit updateStatus();
    const QSharedPointer<core::CashboxStatus> current = getCurrentStatus();
    if (current)
        state = current->toMap(!flag);
    return !current.isNull();
}

bool Atol31ApiWrapper::getFiscalDoc(const core::Cashier &cashier, int number, bool print, QVariantMap &document)
{
    document.clear();
    quint16 docType = 0;
    QVariantList props;
    emit fiscalDocByNymber(passwordOf(cashier), quint32(number), print, docType, props);
    if (props.isEmpty())
        return false;
    document = QVariantMap{{KEY_RESULT, 0},
                           {KEY_DATA, QVariantMap{{QStringLiteral("fiscprops"), props},
                                                  {QStringLiteral("docNumber"), number},
                                                  {QStringLiteral("docType"), int(docType)},
                                                  {QStringLiteral("name"),
                                                   fiscal::BaseFiscalDocument::docName(docType)}}}};
    return true;
}

bool Atol31ApiWrapper::registreCheck(const QVariantMap &check, const core::Cashier &cashier, QVariantMap &result,
                                     int &error)
{
    result.clear();
    qCDebug(lcAtol).noquote() << qt5ext::logvariant(check);
    const QVariantMap document = check.value(QStringLiteral("document")).toMap();
    const QString sessionId = document.value(KEY_SESSION_ID).toString();
    const QVariantMap data = document.value(KEY_DATA).toMap();
    const quint8 type = quint8(data.value(QStringLiteral("type")).toInt());
    if (type > fiscal::CheckBuyAnnulate) {
        result = QVariantMap{{KEY_RESULT, -12}, {KEY_MESSAGE, QVariantMap{{KEY_DESCRIPTION, CORRECTION_TEXT}}}};
        error = -12;
        result.insert(KEY_SESSION_ID, sessionId);
        return false;
    }
    emit registreCheck(passwordOf(cashier), data, result);
    return receiptAnswer(sessionId, result, error);
}

bool Atol31ApiWrapper::receiptAnswer(const QString &sessionId, QVariantMap &result, int &error)
{
    // A receipt the register may have closed without the service learning
    // of it (the link went while it was sent, or its document could not be
    // read back) has an unknown outcome, like one the device never
    // answered: the session keeps it until a retry settles it.
    const bool unknown = result.value(Atol31DrvWorker::KEY_MAY_BE_CLOSED).toBool();
    result.remove(Atol31DrvWorker::KEY_MAY_BE_CLOSED);
    bool ok = jobResult(result, error);
    if (!ok && unknown)
        error = ERROR_TIMEOUT;
    result.insert(KEY_SESSION_ID, sessionId);
    // A repeat of this session is answered from the cache, not registered
    // again.
    if (ok && !TillgateCashe(nullptr).storeOutgoingCheckData(sessionId, result))
        qCWarning(lcAtol) << "Receipt answer not stored for session" << sessionId;
    return ok;
}

bool Atol31ApiWrapper::registreRecordedCheck(const QVariantMap &check, const core::Cashier &cashier,
                                             const StartRecorder &record, QVariantMap &result, int &error)
{
    result.clear();
    const QVariantMap document = check.value(QStringLiteral("document")).toMap();
    const QString sessionId = document.value(KEY_SESSION_ID).toString();
    const QVariantMap data = document.value(KEY_DATA).toMap();
    if (quint8(data.value(QStringLiteral("type")).toInt()) > fiscal::CheckBuyAnnulate)
        return registreCheck(check, cashier, result, error);
    qCDebug(lcAtol).noquote() << qt5ext::logvariant(check);
    emit recordedCheck(passwordOf(cashier), data, record, result);
    return receiptAnswer(sessionId, result, error);
}

bool Atol31ApiWrapper::lastDocument(quint32 &number, QDateTime &dt)
{
    bool found = false;
    emit readLastDocument(QString(), number, dt, found);
    return found;
}

bool Atol31ApiWrapper::fiscalDocSummary(const core::Cashier &cashier, quint32 number, FiscalDocSummary &document)
{
    QVariantMap answer;
    if (!getFiscalDoc(cashier, int(number), false, answer))
        return false;
    const QVariantMap data = answer.value(KEY_DATA).toMap();
    const QVariantList props = data.value(QStringLiteral("fiscprops")).toList();
    const int docType = data.value(QStringLiteral("docType")).toInt();
    // Receipts and forms of strict accountability (FFD form codes 3 and 4).
    document.receipt = docType == 3 || docType == 4;
    const QVariant type = ReceiptSettlement::findTag(props, 1054);
    document.type = type.isValid() ? type.toInt() : -1;
    const QVariant total = ReceiptSettlement::findTag(props, 1020);
    document.total = total.isValid() ? total.toLongLong() : -1;
    document.positions = ReceiptSettlement::countTag(props, 1059);
    document.dt = ReceiptSettlement::findTag(props, 1012).toDateTime();
    document.answer = answer;
    return true;
}

bool Atol31ApiWrapper::openCycle(const core::Cashier &cashier, bool print, int &error, QVariantMap &result)
{
    Q_UNUSED(print)
    result.clear();
    quint16 docType = 0;
    quint32 docNumber = 0;
    emit cycleOpen(passwordOf(cashier), result, docType, docNumber);
    return jobResult(result, error);
}

bool Atol31ApiWrapper::closeCycle(const core::Cashier &cashier, bool print, int &error, QVariantMap &result)
{
    Q_UNUSED(print)
    result.clear();
    quint16 docType = 0;
    quint32 docNumber = 0;
    emit cycleClose(passwordOf(cashier), result, docType, docNumber);
    return jobResult(result, error);
}

bool Atol31ApiWrapper::xReport(const core::Cashier &cashier, bool print, bool secondFlag, int &error,
                               QVariantMap &result)
{
    Q_UNUSED(print)
    Q_UNUSED(secondFlag)
    result.clear();
    emit makeXReport(passwordOf(cashier), result);
    return jobResult(result, error);
}

bool Atol31ApiWrapper::calcReport(const core::Cashier &cashier, bool print, int &error, QVariantMap &result)
{
    Q_UNUSED(cashier)
    Q_UNUSED(print)
    result = notSupported(error);
    return false;
}

bool Atol31ApiWrapper::printText(const core::Cashier &cashier, const QVariantMap &text, int &error,
                                 QVariantMap &result)
{
    Q_UNUSED(cashier)
    Q_UNUSED(text)
    result = notSupported(error);
    return false;
}

bool Atol31ApiWrapper::activate(const core::Cashier &cashier, bool printOnly, const QString &sessionId,
                                const QVariantMap &data, int &error, QVariantMap &result)
{
    Q_UNUSED(cashier)
    Q_UNUSED(printOnly)
    Q_UNUSED(sessionId)
    Q_UNUSED(data)
    result = notSupported(error);
    return false;
}

bool Atol31ApiWrapper::getRegData(fiscal::RegData &data)
{
    const QSharedPointer<core::CashboxStatus> current = getCurrentStatus();
    if (current)
        data = current->regData();
    return !current.isNull();
}

bool Atol31ApiWrapper::printBbcode(const QString &text, QString &errorText, int &error)
{
    Q_UNUSED(errorText)
    frprint::BbCodeParser parser(this);
    parser.setImagesPath(TillgateConfig().tillgateImages());
    parser.setSymbolsPerLine(quint8(qBound(40, getSymbolsPerLine(), 255)));
    parser.parseText(text);
    emit printTextDocument(parser.document());
    error = 0;
    return true;
}

bool Atol31ApiWrapper::printPlainText(QString text, QString &errorText, int &error)
{
    Q_UNUSED(errorText)
    const int width = getSymbolsPerLine();
    const QStringList lines = AtolTables::wrapPlainText(text, width);
    frprint::TextPrinterDocument document;
    document.appendBlock(frprint::DocumentBlock::createSimpleBlock(lines, frprint::DocumentBlock::AlignAsIs, 0, 0, 0,
                                                                   width));
    document.setCurrentTicketAction(frprint::TextPrinterDocument::FeedPaper | frprint::TextPrinterDocument::NewTicket);
    document.setDoInit(false);
    document.setLoopPolicy(frprint::TextPrinterDocument::NoLoop);
    document.setPreviousTicketAction(frprint::TextPrinterDocument::NewTicket);
    emit printTextDocument(document);
    error = 0;
    return true;
}

bool Atol31ApiWrapper::cashJob(const core::Cashier &cashier, bool income, const qt5ext::FixNumber &sum, int &error,
                               QString &errorText)
{
    QVariantMap result;
    const qint64 kopecks = sum.multiplier() == 100 ? sum.value() : qint64(sum.toDouble() * 100.0 + 0.5);
    emit cashOperation(passwordOf(cashier), income, kopecks, result);
    const bool ok = jobResult(result, error);
    errorText = descriptionOf(result);
    return ok;
}

bool Atol31ApiWrapper::introduction(const core::Cashier &cashier, const qt5ext::FixNumber &sum, int &error,
                                    QString &errorText)
{
    return cashJob(cashier, true, sum, error, errorText);
}

bool Atol31ApiWrapper::payout(const core::Cashier &cashier, const qt5ext::FixNumber &sum, int &error,
                              QString &errorText)
{
    return cashJob(cashier, false, sum, error, errorText);
}

bool Atol31ApiWrapper::closeFs(const core::Cashier &cashier, int &error, QString &errorText, QVariantMap &result)
{
    Q_UNUSED(cashier)
    result = notSupported(error);
    errorText = NOT_SUPPORTED_TEXT;
    return false;
}
