#include "combinefrworker.h"
#include "combinelog_p.h"

#include <logutils.h>

#include <QJsonDocument>
#include <QTextCodec>

#include <cmath>

Q_LOGGING_CATEGORY(lcCombine, "tillgate.combine")

const QString CombineFrWorker::LOGIN = QStringLiteral("1");
const QString CombineFrWorker::PASSWORD = QStringLiteral("1");
const QString CombineFrWorker::DEFAULT_CASHIER_NAME = QStringLiteral("Кассир");
const QString CombineFrWorker::DEFAULT_CASHIER_INN = QStringLiteral("000000000000");

namespace {

const QString DOCUMENT = QStringLiteral("document");
const QString DATA = QStringLiteral("data");
const QString FISCPROPS = QStringLiteral("fiscprops");
const QString TAG = QStringLiteral("tag");
const QString VALUE = QStringLiteral("value");
const QString COMMAND = QStringLiteral("command");
const QString LOGIN_KEY = QStringLiteral("login");
const QString PASSWORD_KEY = QStringLiteral("password");

QTextCodec *cp1251()
{
    return QTextCodec::codecForName("Windows-1251");
}

// The receipt comes from the caller; a tag that is no unsigned 32-bit number
// reads as 0 (an ordinary property) instead of wrapping around or running
// into an undefined float-to-integer conversion.
uint readTag(const QVariant &value)
{
    if (value.userType() == QMetaType::Double || value.userType() == QMetaType::Float) {
        const double d = value.toDouble();
        return std::isfinite(d) && d >= 0.0 && d < 4294967296.0 ? static_cast<uint>(d) : 0;
    }
    bool ok = false;
    const qlonglong n = value.toLongLong(&ok);
    return ok && n >= 0 && n <= qlonglong(UINT_MAX) ? static_cast<uint>(n) : 0;
}

// A copy of the receipt's document whose data holds the given properties.
QVariantMap documentWith(const QVariantMap &check, const QVariantList &fiscprops)
{
    QVariantMap document = check.value(DOCUMENT).toMap();
    QVariantMap data = document.value(DATA).toMap();
    data.insert(FISCPROPS, fiscprops);
    document.insert(DATA, data);
    document.insert(LOGIN_KEY, CombineFrWorker::LOGIN);
    document.insert(PASSWORD_KEY, CombineFrWorker::PASSWORD);
    return document;
}

} // namespace

CombineFrWorker::CombineFrWorker(QObject *parent)
    : QObject(parent)
{
}

CombineFrWorker::~CombineFrWorker() = default;

bool CombineFrWorker::isOpen() const
{
    return false;
}

bool CombineFrWorker::checkHandle() const
{
    return false;
}

int CombineFrWorker::hostWrite(QByteArray)
{
    return -1;
}

int CombineFrWorker::hostRead(QByteArray &buffer, int)
{
    buffer.clear();
    return -1;
}

int CombineFrWorker::hostReadChanked(QByteArray &buffer, int)
{
    buffer.clear();
    return -1;
}

int CombineFrWorker::eoUWrite(QByteArray)
{
    return -1;
}

int CombineFrWorker::eoUReadd(QByteArray &buffer, int)
{
    buffer.clear();
    return -1;
}

QByteArray CombineFrWorker::utf8ToCp1251(const QByteArray &text) const
{
    return cp1251()->fromUnicode(QString::fromUtf8(text));
}

QByteArray CombineFrWorker::cp1251ToUtf8(const QByteArray &text) const
{
    const QString decoded = cp1251()->toUnicode(text);
    // The device's texts are JSON and may echo a credential.
    const QJsonDocument json = QJsonDocument::fromJson(decoded.toUtf8());
    qCWarning(lcCombine).noquote() << (json.isNull() ? decoded : qt5ext::logvariant(json.toVariant()));
    return decoded.toUtf8();
}

bool CombineFrWorker::sendCommand(const QByteArray &, QVariantMap &answer, int &error, int)
{
    error = 0;
    answer.clear();
    return error == 0;
}

bool CombineFrWorker::cycleOpen(QVariantMap &answer, int &error)
{
    return sendCommand(QByteArray(), answer, error, COMMAND_TIMEOUT_MS);
}

bool CombineFrWorker::cycleClose(QVariantMap &answer, int &error)
{
    return sendCommand(QByteArray(), answer, error, COMMAND_TIMEOUT_MS);
}

bool CombineFrWorker::getCashboxStatus(QVariantMap &state, int &error)
{
    QVariantMap answer;
    const bool ok = sendCommand(QByteArray(), answer, error, COMMAND_TIMEOUT_MS);
    const QString key = QStringLiteral("cashboxstatus");
    if (ok && answer.contains(key))
        state = answer.value(key).toMap();
    return ok;
}

bool CombineFrWorker::sendReceiptItem(QVariantMap &command, int &error)
{
    return sendJson(command, error, COMMAND_TIMEOUT_MS);
}

bool CombineFrWorker::sendReceiptTail(QVariantMap &command, int &error)
{
    return sendJson(command, error, RECEIPT_TAIL_TIMEOUT_MS);
}

bool CombineFrWorker::sendJson(QVariantMap &command, int &error, int timeoutMs)
{
    const QByteArray json = QJsonDocument::fromVariant(command).toJson(QJsonDocument::Compact);
    const bool ok = sendCommand(utf8ToCp1251(json), command, error, timeoutMs);
    qCWarning(lcCombine).noquote() << "Combine answer" << qt5ext::logvariant(command) << (ok ? "true" : "false");
    return ok;
}

bool CombineFrWorker::sendReceipt(QVariantMap &check, int &error)
{
    const QVariantMap data = check.value(DOCUMENT).toMap().value(DATA).toMap();
    const QVariantList fiscprops = data.value(FISCPROPS).toList();

    bool needName = true;
    bool needInn = true;
    QVariantList closing;
    for (const QVariant &property : fiscprops) {
        const QVariantMap map = property.toMap();
        const uint tag = readTag(map.value(TAG));
        if (tag == TAG_CASHIER_NAME)
            needName = false;
        else if (tag == TAG_CASHIER_INN)
            needInn = false;

        if (tag != TAG_ITEM) {
            closing.append(property);
            continue;
        }
        QVariantMap item = documentWith(check, map.value(FISCPROPS).toList());
        item.insert(QStringLiteral("sessionId"), QStringLiteral("0"));
        item.insert(QStringLiteral("print"), 1);
        item.insert(COMMAND, QStringLiteral("receipt_position"));
        QVariantMap command{{DOCUMENT, item}};
        if (!sendReceiptItem(command, error))
            return false;
    }
    if (needName)
        closing.append(QVariantMap{{TAG, int(TAG_CASHIER_NAME)}, {VALUE, DEFAULT_CASHIER_NAME}});
    if (needInn)
        closing.append(QVariantMap{{TAG, int(TAG_CASHIER_INN)}, {VALUE, DEFAULT_CASHIER_INN}});

    QVariantMap tail = documentWith(check, closing);
    tail.insert(COMMAND, QStringLiteral("fiscalcheck"));
    QVariantMap command{{DOCUMENT, tail}};
    return sendReceiptTail(command, error);
}
