#include "registerstate.h"

#include <QJsonArray>

#include <cmath>

namespace {

QString toText(const QDateTime &time)
{
    return time.isValid() ? time.toString(Qt::ISODate) : QString();
}

QDateTime toTime(const QJsonValue &value)
{
    return QDateTime::fromString(value.toString(), Qt::ISODate);
}

// Sums and numbers travel as JSON doubles. Only whole numbers within the
// range of their field are taken: converting anything else is undefined.
constexpr double MAX_SUM = 9007199254740992.0; // 2^53, exact as a double
constexpr double MAX_UINT32 = 4294967295.0;

bool integerIn(const QJsonValue &value, double min, double max, qint64 &out)
{
    const double number = value.toDouble();
    if (!(number >= min && number <= max) || std::trunc(number) != number)
        return false;
    out = qint64(number);
    return true;
}

QJsonArray recordsToJson(const QList<FiscalRecord> &records)
{
    QJsonArray array;
    for (const FiscalRecord &record : records)
        array.append(QJsonObject{{QStringLiteral("tag"), record.tag},
                                 {QStringLiteral("value"), QString::fromLatin1(record.value.toHex())},
                                 {QStringLiteral("print"), record.print}});
    return array;
}

QList<FiscalRecord> recordsFromJson(const QJsonArray &array)
{
    QList<FiscalRecord> records;
    for (const QJsonValue &value : array) {
        const QJsonObject object = value.toObject();
        FiscalRecord record;
        record.tag = quint16(object.value(QStringLiteral("tag")).toInt());
        record.value = QByteArray::fromHex(object.value(QStringLiteral("value")).toString().toLatin1());
        record.print = object.value(QStringLiteral("print")).toBool();
        records.append(record);
    }
    return records;
}

QJsonObject receiptToJson(const OpenReceipt &receipt)
{
    QJsonArray items;
    for (const ReceiptItem &item : receipt.items)
        items.append(QJsonObject{{QStringLiteral("name"), item.name},
                                 {QStringLiteral("price"), double(item.price)},
                                 {QStringLiteral("quantity"), item.quantity},
                                 {QStringLiteral("sum"), double(item.sum)},
                                 {QStringLiteral("vat"), item.vatCode},
                                 {QStringLiteral("itemType"), item.itemType},
                                 {QStringLiteral("paymentMethod"), item.paymentMethod},
                                 {QStringLiteral("properties"), recordsToJson(item.properties)}});
    QJsonArray paid;
    for (qint64 sum : receipt.paid)
        paid.append(double(sum));
    return QJsonObject{{QStringLiteral("chequeType"), receipt.chequeType},
                       {QStringLiteral("print"), receipt.print},
                       {QStringLiteral("items"), items},
                       {QStringLiteral("properties"), recordsToJson(receipt.properties)},
                       {QStringLiteral("paid"), paid}};
}

bool receiptFromJson(const QJsonObject &json, OpenReceipt &receipt)
{
    receipt.chequeType = json.value(QStringLiteral("chequeType")).toInt();
    receipt.print = json.value(QStringLiteral("print")).toBool(true);
    for (const QJsonValue &value : json.value(QStringLiteral("items")).toArray()) {
        const QJsonObject object = value.toObject();
        ReceiptItem item;
        item.name = object.value(QStringLiteral("name")).toString();
        if (!integerIn(object.value(QStringLiteral("price")), -MAX_SUM, MAX_SUM, item.price)
            || !integerIn(object.value(QStringLiteral("sum")), -MAX_SUM, MAX_SUM, item.sum))
            return false;
        item.quantity = object.value(QStringLiteral("quantity")).toDouble();
        item.vatCode = object.value(QStringLiteral("vat")).toInt();
        item.itemType = object.value(QStringLiteral("itemType")).toInt();
        item.paymentMethod = object.value(QStringLiteral("paymentMethod")).toInt();
        item.properties = recordsFromJson(object.value(QStringLiteral("properties")).toArray());
        receipt.items.append(item);
    }
    receipt.properties = recordsFromJson(json.value(QStringLiteral("properties")).toArray());
    const QJsonArray paid = json.value(QStringLiteral("paid")).toArray();
    for (int i = 0; i < 5 && i < paid.size(); ++i) {
        if (!integerIn(paid.at(i), -MAX_SUM, MAX_SUM, receipt.paid[i]))
            return false;
    }
    return true;
}

const QString FORMAT_KEY = QStringLiteral("format");
const QString FORMAT = QStringLiteral("tillgate-fptrsim-1");

} // namespace

qint64 OpenReceipt::total() const
{
    qint64 sum = 0;
    for (const ReceiptItem &item : items)
        sum += item.sum;
    return sum;
}

qint64 OpenReceipt::paidTotal() const
{
    qint64 sum = 0;
    for (qint64 part : paid)
        sum += part;
    return sum;
}

QJsonObject RegisterState::toJson() const
{
    QJsonObject tableObject;
    for (auto it = tables.cbegin(); it != tables.cend(); ++it)
        tableObject.insert(it.key(), it.value());
    QJsonArray docs;
    for (const StoredDocument &doc : documents)
        docs.append(QJsonObject{{QStringLiteral("number"), double(doc.number)},
                                {QStringLiteral("type"), doc.type},
                                {QStringLiteral("time"), toText(doc.time)},
                                {QStringLiteral("sign"), double(doc.sign)},
                                {QStringLiteral("tlv"), QString::fromLatin1(doc.tlv.toHex())}});
    return QJsonObject{
        {FORMAT_KEY, FORMAT},
        {QStringLiteral("serial"), serial},
        {QStringLiteral("model"), model},
        {QStringLiteral("inn"), inn},
        {QStringLiteral("regNumber"), regNumber},
        {QStringLiteral("fnSerial"), fnSerial},
        {QStringLiteral("userName"), userName},
        {QStringLiteral("address"), address},
        {QStringLiteral("place"), place},
        {QStringLiteral("ofdInn"), ofdInn},
        {QStringLiteral("ofdName"), ofdName},
        {QStringLiteral("taxation"), taxation},
        {QStringLiteral("logicalNumber"), logicalNumber},
        {QStringLiteral("ffdVersion"), ffdVersion},
        {QStringLiteral("lineWidth"), lineWidth},
        {QStringLiteral("registeredAt"), toText(registeredAt)},
        {QStringLiteral("mode"), mode},
        {QStringLiteral("operator"), operatorNumber},
        {QStringLiteral("shiftOpen"), shiftOpen},
        {QStringLiteral("shiftNumber"), shiftNumber},
        {QStringLiteral("shiftOpenedAt"), toText(shiftOpenedAt)},
        {QStringLiteral("shiftClosedAt"), toText(shiftClosedAt)},
        {QStringLiteral("receiptNumber"), receiptNumber},
        {QStringLiteral("cash"), double(cash)},
        {QStringLiteral("tables"), tableObject},
        {QStringLiteral("receipt"), receiptToJson(receipt)},
        {QStringLiteral("documents"), docs},
        {QStringLiteral("cursorDocument"), double(cursorDocument)},
        {QStringLiteral("cursorRecord"), cursorRecord},
    };
}

bool RegisterState::fromJson(const QJsonObject &json, RegisterState &state, QString &error)
{
    if (json.value(FORMAT_KEY).toString() != FORMAT) {
        error = QStringLiteral("not a register state (\"%1\" is not \"%2\")")
                    .arg(json.value(FORMAT_KEY).toString(), FORMAT);
        return false;
    }
    RegisterState s;
    s.serial = json.value(QStringLiteral("serial")).toString();
    s.model = json.value(QStringLiteral("model")).toInt();
    s.inn = json.value(QStringLiteral("inn")).toString();
    s.regNumber = json.value(QStringLiteral("regNumber")).toString();
    s.fnSerial = json.value(QStringLiteral("fnSerial")).toString();
    s.userName = json.value(QStringLiteral("userName")).toString();
    s.address = json.value(QStringLiteral("address")).toString();
    s.place = json.value(QStringLiteral("place")).toString();
    s.ofdInn = json.value(QStringLiteral("ofdInn")).toString();
    s.ofdName = json.value(QStringLiteral("ofdName")).toString();
    s.taxation = json.value(QStringLiteral("taxation")).toInt();
    s.logicalNumber = json.value(QStringLiteral("logicalNumber")).toInt();
    s.ffdVersion = json.value(QStringLiteral("ffdVersion")).toInt();
    s.lineWidth = json.value(QStringLiteral("lineWidth")).toInt();
    s.registeredAt = toTime(json.value(QStringLiteral("registeredAt")));
    s.mode = json.value(QStringLiteral("mode")).toInt();
    s.operatorNumber = json.value(QStringLiteral("operator")).toInt();
    s.shiftOpen = json.value(QStringLiteral("shiftOpen")).toBool();
    s.shiftNumber = json.value(QStringLiteral("shiftNumber")).toInt();
    s.shiftOpenedAt = toTime(json.value(QStringLiteral("shiftOpenedAt")));
    s.shiftClosedAt = toTime(json.value(QStringLiteral("shiftClosedAt")));
    s.receiptNumber = json.value(QStringLiteral("receiptNumber")).toInt();
    qint64 number = 0;
    qint64 sign = 0;
    if (!integerIn(json.value(QStringLiteral("cash")), -MAX_SUM, MAX_SUM, s.cash)
        || !integerIn(json.value(QStringLiteral("cursorDocument")), 0, MAX_UINT32, number)
        || !receiptFromJson(json.value(QStringLiteral("receipt")).toObject(), s.receipt)) {
        error = QStringLiteral("a sum or number is no whole number in its range");
        return false;
    }
    s.cursorDocument = quint32(number);
    const QJsonObject tableObject = json.value(QStringLiteral("tables")).toObject();
    for (auto it = tableObject.constBegin(); it != tableObject.constEnd(); ++it)
        s.tables.insert(it.key(), it.value().toString());
    for (const QJsonValue &value : json.value(QStringLiteral("documents")).toArray()) {
        const QJsonObject object = value.toObject();
        StoredDocument doc;
        if (!integerIn(object.value(QStringLiteral("number")), 0, MAX_UINT32, number)
            || !integerIn(object.value(QStringLiteral("sign")), 0, MAX_UINT32, sign)) {
            error = QStringLiteral("a document's number or sign is no whole number in its range");
            return false;
        }
        doc.number = quint32(number);
        doc.sign = quint32(sign);
        doc.type = quint16(object.value(QStringLiteral("type")).toInt());
        doc.time = toTime(object.value(QStringLiteral("time")));
        doc.tlv = QByteArray::fromHex(object.value(QStringLiteral("tlv")).toString().toLatin1());
        s.documents.append(doc);
    }
    s.cursorRecord = json.value(QStringLiteral("cursorRecord")).toInt();

    if (s.serial.isEmpty() || s.fnSerial.size() != 16 || s.lineWidth < 1
        || (s.ffdVersion != 100 && s.ffdVersion != 105 && s.ffdVersion != 110)
        || s.documents.isEmpty()) {
        error = QStringLiteral("register state incomplete (serial, 16-digit storage number, "
                               "line width, format version 100/105/110 and documents are needed)");
        return false;
    }
    state = s;
    return true;
}

quint32 RegisterState::lastDocumentNumber() const
{
    return documents.isEmpty() ? 0 : documents.last().number;
}

const StoredDocument *RegisterState::document(quint32 number) const
{
    if (number == 0 || number > quint32(documents.size()))
        return nullptr;
    const StoredDocument &doc = documents.at(int(number - 1));
    return doc.number == number ? &doc : nullptr;
}
