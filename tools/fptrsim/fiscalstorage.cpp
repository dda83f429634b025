#include "fiscalstorage.h"

#include "registerstate.h"
#include "tlv.h"

#include <QCryptographicHash>
#include <QMap>
#include <QtEndian>

namespace {

QByteArray dateTimeBytes(const QDateTime &time)
{
    QByteArray bytes;
    bytes.append(char(time.date().year() - 2000));
    bytes.append(char(time.date().month()));
    bytes.append(char(time.date().day()));
    bytes.append(char(time.time().hour()));
    bytes.append(char(time.time().minute()));
    return bytes;
}

QByteArray dateBytes(const QDate &date)
{
    return QByteArray() + char(date.year() - 2000) + char(date.month()) + char(date.day());
}

QByteArray padded(const QString &text, int width)
{
    return text.toLatin1().left(width).leftJustified(width, ' ');
}

// VAT rate code -> tag of the receipt's sum at that rate, and the share of
// the sum that is VAT (numerator, denominator; 0 for the totals at 0% and
// without VAT, which carry the whole sum).
struct VatRule
{
    quint16 tag;
    int numerator;
    int denominator;
};

const QMap<int, VatRule> &vatRules()
{
    static const QMap<int, VatRule> rules = {
        {1, {1102, 20, 120}}, {2, {1103, 10, 110}}, {3, {1106, 20, 120}},
        {4, {1107, 10, 110}}, {5, {1104, 0, 0}},    {6, {1105, 0, 0}},
    };
    return rules;
}

quint8 operationType(int chequeType)
{
    switch (chequeType) {
    case 2: return 2;
    case 4: return 3;
    case 5: return 4;
    default: return 1;
    }
}

} // namespace

FiscalStorage::FiscalStorage(RegisterState &state)
    : m_state(state)
{
}

QString FiscalStorage::documentName(quint16 type)
{
    switch (type) {
    case Registration: return QStringLiteral("ОТЧЕТ О РЕГИСТРАЦИИ");
    case ShiftOpen: return QStringLiteral("ОТЧЕТ ОБ ОТКРЫТИИ СМЕНЫ");
    case StateReport: return QStringLiteral("ОТЧЕТ О ТЕКУЩЕМ СОСТОЯНИИ РАСЧЕТОВ");
    case Receipt: return QStringLiteral("КАССОВЫЙ ЧЕК");
    case ShiftClose: return QStringLiteral("ОТЧЕТ О ЗАКРЫТИИ СМЕНЫ");
    default: return QString();
    }
}

int FiscalStorage::ffdCode(int ffdVersion)
{
    return ffdVersion == 100 ? 1 : ffdVersion == 105 ? 2 : 3;
}

QByteArray FiscalStorage::userTags() const
{
    return Tlv::string(1048, m_state.userName) + Tlv::string(1018, m_state.inn)
           + Tlv::string(1009, m_state.address) + Tlv::string(1187, m_state.place)
           + Tlv::string(1037, m_state.regNumber);
}

const StoredDocument &FiscalStorage::store(quint16 type, const QByteArray &body, const QDateTime &now)
{
    StoredDocument doc;
    doc.number = m_state.lastDocumentNumber() + 1;
    doc.type = type;
    doc.time = now;
    const QByteArray head = Tlv::string(1000, documentName(type)) + Tlv::unixTime(1012, now)
                            + Tlv::uint32(1040, doc.number) + Tlv::string(1041, m_state.fnSerial);
    const QByteArray unsigned_ = head + body + Tlv::byte(1209, quint8(ffdCode(m_state.ffdVersion)));
    const QByteArray hash = QCryptographicHash::hash(m_state.fnSerial.toLatin1() + unsigned_,
                                                     QCryptographicHash::Sha256);
    doc.sign = qFromBigEndian<quint32>(hash.constData() + 2);
    doc.tlv = unsigned_ + Tlv::record(1077, hash.left(6));
    m_state.documents.append(doc);
    return m_state.documents.last();
}

void FiscalStorage::initialise(const QDateTime &now)
{
    m_state.registeredAt = now;
    const quint8 ffd = quint8(ffdCode(m_state.ffdVersion));
    store(Registration,
          userTags() + Tlv::string(1013, m_state.serial) + Tlv::string(1017, m_state.ofdInn)
              + Tlv::string(1046, m_state.ofdName)
              + Tlv::string(1060, QStringLiteral("www.nalog.gov.ru"))
              + Tlv::byte(1062, quint8(m_state.taxation)) + Tlv::byte(1056, 0)
              + Tlv::byte(1002, 0) + Tlv::byte(1001, 0) + Tlv::byte(1109, 0)
              + Tlv::byte(1110, 0) + Tlv::byte(1108, 0) + Tlv::byte(1189, ffd)
              + Tlv::byte(1190, ffd) + Tlv::string(1188, QStringLiteral("3.0"))
              + Tlv::string(1021, QStringLiteral("СИС. АДМИНИСТРАТОР")),
          now);
}

const StoredDocument &FiscalStorage::addShiftOpen(const QString &cashier, const QDateTime &now)
{
    return store(ShiftOpen,
                 userTags() + Tlv::uint32(1038, quint32(m_state.shiftNumber))
                     + Tlv::string(1021, cashier) + Tlv::string(1188, QStringLiteral("3.0")),
                 now);
}

const StoredDocument &FiscalStorage::addShiftClose(const QString &cashier, const QDateTime &now)
{
    return store(ShiftClose,
                 userTags() + Tlv::uint32(1038, quint32(m_state.shiftNumber))
                     + Tlv::string(1021, cashier),
                 now);
}

const StoredDocument &FiscalStorage::addStateReport(const QDateTime &now)
{
    return store(StateReport, userTags(), now);
}

QByteArray FiscalStorage::receiptBody(const QString &cashier, qint64 change) const
{
    const OpenReceipt &receipt = m_state.receipt;
    // Tags the register fills in itself; a property the caller wrote with
    // the same tag takes the place of the register's value.
    QList<QPair<quint16, QByteArray>> records = {
        {1038, Tlv::uint32(1038, quint32(m_state.shiftNumber))},
        {1042, Tlv::uint32(1042, quint32(m_state.receiptNumber + 1))},
        {1054, Tlv::byte(1054, operationType(receipt.chequeType))},
        {1055, Tlv::byte(1055, quint8(m_state.taxation & -m_state.taxation))},
        {1021, Tlv::string(1021, cashier)},
    };
    QMap<int, qint64> vatSums;
    for (const ReceiptItem &item : receipt.items) {
        QByteArray stlv = Tlv::string(1030, item.name) + Tlv::vln(1079, quint64(item.price))
                          + Tlv::fvln(1023, item.quantity) + Tlv::vln(1043, quint64(item.sum))
                          + Tlv::byte(1199, quint8(item.vatCode));
        if (item.itemType > 0)
            stlv += Tlv::byte(1212, quint8(item.itemType));
        if (item.paymentMethod > 0)
            stlv += Tlv::byte(1214, quint8(item.paymentMethod));
        for (const FiscalRecord &property : item.properties)
            stlv += Tlv::record(property.tag, property.value);
        records.append({1059, Tlv::record(1059, stlv)});
        vatSums[item.vatCode] += item.sum;
    }
    records.append({1020, Tlv::vln(1020, quint64(receipt.total()))});
    const quint16 paymentTags[5] = {1031, 1081, 1215, 1216, 1217};
    for (int i = 0; i < 5; ++i) {
        const qint64 sum = i == 0 ? qMax<qint64>(0, receipt.paid[0] - change) : receipt.paid[i];
        records.append({paymentTags[i], Tlv::vln(paymentTags[i], quint64(sum))});
    }
    for (auto it = vatSums.cbegin(); it != vatSums.cend(); ++it) {
        const VatRule rule = vatRules().value(it.key());
        const qint64 amount = rule.denominator == 0
                                  ? it.value()
                                  : (it.value() * rule.numerator + rule.denominator / 2) / rule.denominator;
        records.append({rule.tag, Tlv::vln(rule.tag, quint64(amount))});
    }
    for (const FiscalRecord &property : receipt.properties) {
        const QByteArray bytes = Tlv::record(property.tag, property.value);
        auto it = std::find_if(records.begin(), records.end(),
                               [&](const QPair<quint16, QByteArray> &r) { return r.first == property.tag; });
        if (it != records.end() && property.tag != 1059)
            it->second = bytes;
        else
            records.append({property.tag, bytes});
    }
    QByteArray body = userTags();
    for (const auto &record : records)
        body += record.second;
    return body;
}

const StoredDocument &FiscalStorage::addReceipt(const QString &cashier, qint64 change, const QDateTime &now)
{
    return store(Receipt, receiptBody(cashier, change), now);
}

FiscalStorage::Error FiscalStorage::exchange(const QByteArray &command, QByteArray &answer)
{
    answer.clear();
    if (command.isEmpty())
        return BadCommand;
    const StoredDocument &last = m_state.documents.last();
    switch (quint8(command.at(0))) {
    case 0x30:
        answer = QByteArray(1, char(0x03)) + char(0) + char(0) + char(m_state.shiftOpen ? 1 : 0)
                 + char(0) + dateTimeBytes(last.time) + padded(m_state.fnSerial, 16)
                 + Tlv::uintValue(last.number, 4);
        return NoError;
    case 0x33:
        answer = padded(QStringLiteral("fptrsim 1.0"), 16) + char(1);
        return NoError;
    case 0x20: {
        const StoredDocument &first = m_state.documents.first();
        answer = QByteArray(1, char(0x02)) + char(0)
                 + Tlv::uintValue(quint64(m_state.documents.size()), 2)
                 + Tlv::uintValue(first.number, 4) + dateTimeBytes(first.time);
        return NoError;
    }
    case 0x32:
        answer = dateBytes(m_state.registeredAt.date().addMonths(13)) + char(11) + char(1);
        return NoError;
    case 0x43:
        return registration(command, answer);
    case 0x45:
        return findDocument(command, answer);
    case 0x46:
        return nextRecord(answer);
    default:
        return BadCommand;
    }
}

FiscalStorage::Error FiscalStorage::registration(const QByteArray &command, QByteArray &answer) const
{
    if (command.size() > 2)
        return BadParameter;
    // One registration: number 1, or the latest when no number is given.
    if (command.size() == 2 && quint8(command.at(1)) != 1)
        return NoData;
    const StoredDocument &doc = m_state.documents.first();
    answer = dateTimeBytes(doc.time) + padded(m_state.inn, 12) + padded(m_state.regNumber, 20)
             + char(m_state.taxation) + char(0);
    if (m_state.ffdVersion >= 110)
        answer += char(0) + padded(m_state.ofdInn, 12);
    answer += Tlv::uintValue(doc.number, 4) + Tlv::uintValue(doc.sign, 4);
    return NoError;
}

FiscalStorage::Error FiscalStorage::findDocument(const QByteArray &command, QByteArray &answer)
{
    if (command.size() != 5)
        return BadParameter;
    const quint32 number = qFromLittleEndian<quint32>(command.constData() + 1);
    const StoredDocument *doc = m_state.document(number);
    m_state.cursorDocument = 0;
    m_state.cursorRecord = 0;
    if (!doc)
        return NoData;
    m_state.cursorDocument = number;
    answer = Tlv::uintValue(doc->type, 2) + Tlv::uintValue(quint64(doc->tlv.size()), 2);
    return NoError;
}

FiscalStorage::Error FiscalStorage::nextRecord(QByteArray &answer)
{
    const StoredDocument *doc = m_state.document(m_state.cursorDocument);
    if (!doc)
        return WrongState;
    QList<Tlv::Record> records;
    Tlv::split(doc->tlv, records);
    if (m_state.cursorRecord >= records.size()) {
        m_state.cursorDocument = 0;
        m_state.cursorRecord = 0;
        return NoData;
    }
    const Tlv::Record &record = records.at(m_state.cursorRecord++);
    answer = Tlv::record(record.tag, record.value);
    return NoError;
}
