#include "simregister.h"

#include "driverproperties.h"
#include "registerstate.h"

#include <fptrtypes.h>

#include <QFileInfo>
#include <QRegularExpression>

using namespace TED::Fptr;

namespace {

const QString LINE_WIDTH_KEY = QStringLiteral("2/1/55");

bool digitsOnly(const QString &text, int minimum, int maximum)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    return text.size() >= minimum && text.size() <= maximum && digits.match(text).hasMatch();
}

bool validBarcode(int type, const QString &code)
{
    switch (type) {
    case BarcodeEAN8: return digitsOnly(code, 7, 8);
    case BarcodeEAN13: return digitsOnly(code, 12, 13);
    case BarcodeUPCA: return digitsOnly(code, 11, 12);
    case BarcodeUPCE: return digitsOnly(code, 6, 8);
    case BarcodeITF14: return digitsOnly(code, 13, 14);
    case BarcodeInterleaved2of5: return digitsOnly(code, 2, 80) && code.size() % 2 == 0;
    default: return !code.isEmpty();
    }
}

QString barcodeName(int type)
{
    static const char *const names[] = {"EAN-8",  "EAN-13", "UPC-A", "Code 39", "QR",      "PDF417",
                                         "ITF-14", "2 of 5", "UPC-E", "Codabar", "Code 93", "Code 128"};
    return QString::fromLatin1(names[type]);
}

QString money(qint64 kopecks)
{
    const QString sign = kopecks < 0 ? QStringLiteral("-") : QString();
    kopecks = qAbs(kopecks);
    return sign + QStringLiteral("%1.%2").arg(kopecks / 100).arg(kopecks % 100, 2, 10, QLatin1Char('0'));
}

} // namespace

SimRegister::SimRegister(RegisterState &state, DriverProperties &props, bool paperOut, const QDateTime &now)
    : m_state(state)
    , m_props(props)
    , m_paperOut(paperOut)
    , m_now(now)
{
}

TapeFormatter SimRegister::formatter() const
{
    return TapeFormatter(m_state.lineWidth);
}

int SimRegister::fail(int code, const QString &badParam)
{
    m_badParam = badParam;
    return code;
}

void SimRegister::print(const QStringList &lines)
{
    m_tape += lines;
}

int SimRegister::requireMode(int mode) const
{
    return m_state.mode == mode ? EC_OK : EC_NOT_IN_THIS_MODE;
}

int SimRegister::requirePaper() const
{
    return m_paperOut ? EC_NO_PAPER : EC_OK;
}

QString SimRegister::cashierName() const
{
    if (m_state.operatorNumber == OperatorSystemAdministrator)
        return QStringLiteral("СИС. АДМИНИСТРАТОР");
    if (m_state.operatorNumber == OperatorAdministrator)
        return QStringLiteral("АДМИНИСТРАТОР");
    return QStringLiteral("КАССИР %1").arg(m_state.operatorNumber);
}

QString SimRegister::paymentCaption(int type) const
{
    static const QString defaults[] = {QStringLiteral("НАЛИЧНЫМИ"), QStringLiteral("ЭЛЕКТРОННЫМИ"),
                                       QStringLiteral("АВАНС"), QStringLiteral("КРЕДИТ"),
                                       QStringLiteral("ИНАЯ ФОРМА ОПЛАТЫ")};
    const QString caption = m_state.tables.value(QStringLiteral("12/%1/1").arg(type)).trimmed();
    bool numeric = false;
    caption.toInt(&numeric);
    return caption.isEmpty() || numeric ? defaults[qBound(0, type, 4)] : caption;
}

int SimRegister::ensureShift()
{
    if (m_state.shiftOpen) {
        if (m_state.shiftOpenedAt.addSecs(24 * 3600) < m_now)
            return EC_SHIFT_EXPIRED;
        return EC_OK;
    }
    ++m_state.shiftNumber;
    m_state.shiftOpen = true;
    m_state.shiftOpenedAt = m_now;
    m_state.receiptNumber = 0;
    const StoredDocument &doc = storage().addShiftOpen(cashierName(), m_now);
    print(formatter().document(doc));
    return EC_OK;
}

void SimRegister::readStatus()
{
    m_props.checkNumber = m_state.receiptNumber;
    m_props.session = m_state.shiftNumber;
    m_props.sessionOpened = m_state.shiftOpen ? 1 : 0;
    m_props.operatorNumber = m_state.operatorNumber;
    m_props.logicalNumber = m_state.logicalNumber;
    m_props.mode = m_state.mode;
    m_props.advancedMode = 0;
    m_props.model = m_state.model;
    m_props.checkState = m_state.receipt.chequeType;
    m_props.serialNumber = m_state.serial;
    m_props.charLineLength = m_state.lineWidth;
    m_props.checkPaperPresent = m_paperOut ? 0 : 1;
    m_props.fiscal = 1;
    m_props.day = m_now.date().day();
    m_props.month = m_now.date().month();
    m_props.year = m_now.date().year();
    m_props.hour = m_now.time().hour();
    m_props.minute = m_now.time().minute();
    m_props.second = m_now.time().second();
}

int SimRegister::getStatus()
{
    readStatus();
    return EC_OK;
}

int SimRegister::getDeviceMetrics()
{
    readStatus();
    m_props.deviceDescription = QStringLiteral("ATOL simulator, model %1").arg(m_state.model);
    return EC_OK;
}

int SimRegister::getRegister()
{
    const auto setDateTime = [this](const QDateTime &time) {
        m_props.day = time.date().day();
        m_props.month = time.date().month();
        m_props.year = time.date().year();
        m_props.hour = time.time().hour();
        m_props.minute = time.time().minute();
        m_props.second = time.time().second();
    };
    switch (m_props.registerNumber) {
    case 10:
        m_props.summ = double(m_state.cash) / 100.0;
        return EC_OK;
    case 18:
        // Shift state and the end of the shift: the end of its 24 hours
        // while open, the time it was closed otherwise.
        m_props.count = m_state.shiftOpen ? 1 : 0;
        setDateTime(m_state.shiftOpen ? m_state.shiftOpenedAt.addSecs(24 * 3600)
                                      : (m_state.shiftClosedAt.isValid() ? m_state.shiftClosedAt : m_now));
        return EC_OK;
    case 70:
        m_props.count = m_state.shiftNumber;
        setDateTime(m_state.shiftOpenedAt.isValid() ? m_state.shiftOpenedAt : m_now);
        return EC_OK;
    case 23:
        m_props.count = m_state.shiftNumber;
        setDateTime(m_now);
        return EC_OK;
    case 27:
        m_props.inn = m_state.inn;
        m_props.machineNumber = m_state.regNumber;
        return EC_OK;
    case 52: {
        const StoredDocument &last = m_state.documents.last();
        m_props.docNumber = int(last.number);
        m_props.summ = double(last.sign);
        setDateTime(last.time);
        return EC_OK;
    }
    case 54:
        m_props.ffdVersion = m_state.ffdVersion;
        m_props.deviceFfdVersion = m_state.ffdVersion;
        m_props.fnFfdVersion = m_state.ffdVersion;
        return EC_OK;
    default:
        return fail(EC_BAD_REGISTER, QStringLiteral("RegisterNumber"));
    }
}

int SimRegister::setMode()
{
    if (m_state.receipt.chequeType != 0)
        return EC_CHECK_OPENED;
    const int mode = m_props.mode;
    if (mode == ModeSelect) {
        m_state.mode = mode;
        return EC_OK;
    }
    if (mode == ModeFiscalMemory || mode == ModeFN)
        return EC_NOT_SUPPORTED;
    if (mode < ModeSelect || mode > ModeFN)
        return fail(EC_INVALID_PARAM, QStringLiteral("Mode"));
    bool ok = false;
    const int number = m_props.userPassword.trimmed().toInt(&ok);
    const bool administrator = number == OperatorAdministrator || number == OperatorSystemAdministrator;
    const bool cashier = number >= OperatorFirstCashier && number <= OperatorLastCashier;
    const bool allowed = mode == ModeRegistration || mode == ModeXReport ? administrator || cashier
                                                                          : administrator;
    if (!ok || !allowed)
        return EC_WRONG_PASSWORD;
    m_state.mode = mode;
    m_state.operatorNumber = number;
    return EC_OK;
}

int SimRegister::resetMode()
{
    if (m_state.receipt.chequeType != 0)
        return EC_CHECK_OPENED;
    m_state.mode = ModeSelect;
    return EC_OK;
}

QString SimRegister::tableKey() const
{
    return QStringLiteral("%1/%2/%3").arg(m_props.table).arg(m_props.row).arg(m_props.field);
}

int SimRegister::setTableField()
{
    if (m_props.table < 1 || m_props.table > 30)
        return fail(EC_INVALID_PARAM, QStringLiteral("Table"));
    if (m_props.row < 1)
        return fail(EC_INVALID_PARAM, QStringLiteral("Row"));
    if (m_props.field < 1)
        return fail(EC_INVALID_PARAM, QStringLiteral("Field"));
    if (m_props.fieldType < 0 || m_props.fieldType > 1)
        return fail(EC_INVALID_PARAM, QStringLiteral("FieldType"));
    bool numeric = false;
    const int number = m_props.caption.trimmed().toInt(&numeric);
    if (m_props.fieldType == 0 && !numeric)
        return fail(EC_INVALID_PARAM, QStringLiteral("Caption"));
    if (tableKey() == LINE_WIDTH_KEY) {
        if (!numeric || number < 20 || number > 64)
            return fail(EC_INVALID_PARAM, QStringLiteral("Caption"));
        m_state.lineWidth = number;
        return EC_OK;
    }
    m_state.tables.insert(tableKey(), m_props.caption);
    return EC_OK;
}

int SimRegister::getTableField()
{
    if (m_props.table < 1 || m_props.table > 30)
        return fail(EC_INVALID_PARAM, QStringLiteral("Table"));
    if (m_props.row < 1 || m_props.field < 1)
        return fail(EC_INVALID_PARAM, m_props.row < 1 ? QStringLiteral("Row") : QStringLiteral("Field"));
    m_props.caption = tableKey() == LINE_WIDTH_KEY ? QString::number(m_state.lineWidth)
                                                   : m_state.tables.value(tableKey());
    return EC_OK;
}

int SimRegister::openSession()
{
    if (int code = requireMode(ModeRegistration))
        return code;
    if (m_state.receipt.chequeType != 0)
        return EC_CHECK_OPENED;
    if (m_state.shiftOpen)
        return EC_SHIFT_OPENED;
    if (int code = requirePaper())
        return code;
    if (!m_props.caption.isEmpty())
        print(formatter().text(m_props.caption, 1));
    return ensureShift();
}

int SimRegister::report()
{
    const TapeFormatter tape = formatter();
    switch (m_props.reportType) {
    case ReportZ: {
        if (int code = requireMode(ModeZReport))
            return code;
        if (m_state.receipt.chequeType != 0)
            return EC_CHECK_OPENED;
        if (!m_state.shiftOpen)
            return EC_SHIFT_CLOSED;
        if (int code = requirePaper())
            return code;
        const StoredDocument &doc = storage().addShiftClose(cashierName(), m_now);
        m_state.shiftOpen = false;
        m_state.shiftClosedAt = m_now;
        print(tape.text(QStringLiteral("Z-ОТЧЕТ"), 1));
        print(QStringList{tape.pair(QStringLiteral("НАЛИЧНЫХ В КАССЕ"), money(m_state.cash))});
        print(tape.document(doc));
        return EC_OK;
    }
    case ReportX:
        if (int code = requireMode(ModeXReport))
            return code;
        if (int code = requirePaper())
            return code;
        print(tape.text(QStringLiteral("X-ОТЧЕТ"), 1));
        print(QStringList{tape.pair(QStringLiteral("СМЕНА"), QString::number(m_state.shiftNumber)),
                          tape.pair(QStringLiteral("ЧЕКОВ ЗА СМЕНУ"), QString::number(m_state.receiptNumber)),
                          tape.pair(QStringLiteral("НАЛИЧНЫХ В КАССЕ"), money(m_state.cash)),
                          tape.rule()});
        return EC_OK;
    case ReportDocumentByNumber: {
        const StoredDocument *doc = m_state.document(quint32(qMax(0, m_props.docNumber)));
        if (!doc)
            return fail(EC_INVALID_PARAM, QStringLiteral("DocNumber"));
        if (int code = requirePaper())
            return code;
        print(tape.text(QStringLiteral("КОПИЯ"), 1));
        print(tape.document(*doc));
        return EC_OK;
    }
    case ReportSettlementState:
        if (int code = requireMode(ModeXReport))
            return code;
        if (int code = requirePaper())
            return code;
        print(tape.document(storage().addStateReport(m_now)));
        return EC_OK;
    default:
        return EC_NOT_SUPPORTED;
    }
}

int SimRegister::cashOperation(bool income)
{
    if (int code = requireMode(ModeRegistration))
        return code;
    if (m_state.receipt.chequeType != 0)
        return EC_CHECK_OPENED;
    const qint64 sum = qRound64(m_props.summ * 100.0);
    if (sum <= 0 || (!income && sum > m_state.cash))
        return fail(EC_INVALID_PARAM, QStringLiteral("Summ"));
    if (int code = requirePaper())
        return code;
    if (int code = ensureShift())
        return code;
    m_state.cash += income ? sum : -sum;
    const TapeFormatter tape = formatter();
    print(tape.text(income ? QStringLiteral("ВНЕСЕНИЕ") : QStringLiteral("ВЫПЛАТА"), 1));
    print(QStringList{tape.pair(QStringLiteral("СУММА"), money(sum)),
                      tape.pair(QStringLiteral("НАЛИЧНЫХ В КАССЕ"), money(m_state.cash)),
                      tape.pair(cashierName(), m_now.toString(QStringLiteral("dd.MM.yy hh:mm"))),
                      tape.rule()});
    return EC_OK;
}

int SimRegister::cashIncome()
{
    return cashOperation(true);
}

int SimRegister::cashOutcome()
{
    return cashOperation(false);
}

int SimRegister::runFnCommand()
{
    static const QRegularExpression hexText(QStringLiteral("^[0-9A-Fa-f\\s]+$"));
    const QString text = m_props.commandBuffer.trimmed();
    const QString compact = QString(text).remove(QRegularExpression(QStringLiteral("\\s")));
    if (!hexText.match(text).hasMatch() || compact.size() % 2 != 0)
        return fail(EC_INVALID_PARAM, QStringLiteral("CommandBuffer"));
    const QByteArray command = QByteArray::fromHex(compact.toLatin1());
    QByteArray answer;
    m_props.answerBuffer.clear();
    m_props.commandCode = quint8(command.at(0));
    m_props.errorCode = storage().exchange(command, answer);
    if (m_props.errorCode != FiscalStorage::NoError)
        return EC_BAD_DATA;
    m_props.answerBuffer = QString::fromLatin1(answer.toHex(' ').toUpper());
    return EC_OK;
}

int SimRegister::printString()
{
    if (m_props.alignment < AlignmentLeft || m_props.alignment > AlignmentRight)
        return fail(EC_INVALID_PARAM, QStringLiteral("Alignment"));
    if (m_props.textWrap < TextWrapNone || m_props.textWrap > TextWrapLine)
        return fail(EC_INVALID_PARAM, QStringLiteral("TextWrap"));
    if (int code = requirePaper())
        return code;
    print(formatter().text(m_props.caption, m_props.alignment, m_props.textWrap));
    return EC_OK;
}

int SimRegister::printBarcode()
{
    if (m_props.barcodeType < BarcodeEAN8 || m_props.barcodeType > BarcodeCode128)
        return fail(EC_INVALID_PARAM, QStringLiteral("BarcodeType"));
    if (!validBarcode(m_props.barcodeType, m_props.barcode))
        return fail(EC_INVALID_PARAM, QStringLiteral("Barcode"));
    if (int code = requirePaper())
        return code;
    print(formatter().text(
        QStringLiteral("[%1: %2]").arg(barcodeName(m_props.barcodeType), m_props.barcode), 1, 2));
    return EC_OK;
}

int SimRegister::printPicture()
{
    const QFileInfo file(m_props.fileName);
    if (m_props.fileName.isEmpty() || !file.isFile() || !file.isReadable())
        return fail(EC_INVALID_PARAM, QStringLiteral("FileName"));
    if (int code = requirePaper())
        return code;
    print(formatter().text(
        QStringLiteral("[picture %1, %2 bytes]").arg(file.fileName()).arg(file.size()), 1, 2));
    return EC_OK;
}

int SimRegister::finishTicket()
{
    if (int code = requirePaper())
        return code;
    print(QStringList{QString(), QStringLiteral("8<") + formatter().rule(QLatin1Char('~')).mid(2)});
    return EC_OK;
}
