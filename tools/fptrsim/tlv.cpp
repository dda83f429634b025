#include "tlv.h"

#include <QHash>
#include <QTextCodec>
#include <QtEndian>

#include <cmath>

namespace {

QTextCodec *cp866()
{
    static QTextCodec *codec = QTextCodec::codecForName("IBM 866");
    return codec;
}

int fixedWidth(quint16 tag)
{
    switch (tag) {
    case 1017: case 1018: case 1203: case 1226:
        return 12;
    case 1037:
        return 20;
    case 1041:
        return 16;
    default:
        return 0;
    }
}

quint64 readUnsigned(const QByteArray &value)
{
    quint64 result = 0;
    for (int i = qMin(value.size(), 8) - 1; i >= 0; --i)
        result = (result << 8) | quint8(value.at(i));
    return result;
}

} // namespace

QByteArray Tlv::record(quint16 tag, const QByteArray &value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian<quint16>(tag, bytes.data());
    qToLittleEndian<quint16>(quint16(value.size()), bytes.data() + 2);
    return bytes + value;
}

QByteArray Tlv::byte(quint16 tag, quint8 value)
{
    return record(tag, QByteArray(1, char(value)));
}

QByteArray Tlv::uintValue(quint64 value, int bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
    return out;
}

QByteArray Tlv::uint32(quint16 tag, quint32 value)
{
    return record(tag, uintValue(value, 4));
}

QByteArray Tlv::vlnValue(quint64 value)
{
    QByteArray out;
    while (value != 0) {
        out.append(char(value & 0xFF));
        value >>= 8;
    }
    return out;
}

QByteArray Tlv::vln(quint16 tag, quint64 value)
{
    return record(tag, vlnValue(value));
}

QByteArray Tlv::fvln(quint16 tag, double value)
{
    // The fewest digits after the point (up to 6) that keep the value.
    int digits = 0;
    quint64 mantissa = quint64(std::llround(value));
    while (digits < 6 && std::fabs(double(mantissa) / std::pow(10.0, digits) - value) > 1e-9) {
        ++digits;
        mantissa = quint64(std::llround(value * std::pow(10.0, digits)));
    }
    return record(tag, QByteArray(1, char(digits)) + vlnValue(mantissa));
}

quint32 Tlv::unixSeconds(const QDateTime &time)
{
    return quint32(QDateTime(time.date(), time.time(), Qt::UTC).toSecsSinceEpoch());
}

QDateTime Tlv::fromUnixSeconds(quint32 seconds)
{
    const QDateTime utc = QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
    return QDateTime(utc.date(), utc.time());
}

QByteArray Tlv::unixTime(quint16 tag, const QDateTime &time)
{
    return uint32(tag, unixSeconds(time));
}

QByteArray Tlv::stringValue(quint16 tag, const QString &text)
{
    QByteArray bytes = cp866()->fromUnicode(text);
    const int width = fixedWidth(tag);
    if (width > 0)
        bytes = bytes.left(width).leftJustified(width, ' ');
    return bytes;
}

QByteArray Tlv::string(quint16 tag, const QString &text)
{
    return record(tag, stringValue(tag, text));
}

bool Tlv::split(const QByteArray &bytes, QList<Record> &records)
{
    QList<Record> out;
    int offset = 0;
    while (offset < bytes.size()) {
        if (offset + 4 > bytes.size())
            return false;
        Record record;
        record.tag = qFromLittleEndian<quint16>(bytes.constData() + offset);
        const int length = qFromLittleEndian<quint16>(bytes.constData() + offset + 2);
        if (offset + 4 + length > bytes.size())
            return false;
        record.value = bytes.mid(offset + 4, length);
        out.append(record);
        offset += 4 + length;
    }
    records = out;
    return true;
}

Tlv::Type Tlv::typeOf(quint16 tag)
{
    static const QHash<quint16, Type> types = {
        {1000, Type::String}, {1001, Type::Byte}, {1002, Type::Byte}, {1008, Type::String},
        {1009, Type::String}, {1012, Type::UnixTime}, {1013, Type::String},
        {1017, Type::String}, {1018, Type::String}, {1020, Type::Vln}, {1021, Type::String},
        {1023, Type::Fvln}, {1030, Type::String}, {1031, Type::Vln}, {1036, Type::String},
        {1037, Type::String}, {1038, Type::UInt32}, {1040, Type::UInt32},
        {1041, Type::String}, {1042, Type::UInt32}, {1043, Type::Vln}, {1046, Type::String},
        {1048, Type::String}, {1054, Type::Byte}, {1055, Type::Byte}, {1056, Type::Byte},
        {1057, Type::Byte}, {1059, Type::Stlv}, {1060, Type::String}, {1062, Type::Byte},
        {1077, Type::Bytes}, {1079, Type::Vln}, {1081, Type::Vln}, {1084, Type::Stlv},
        {1085, Type::String}, {1086, Type::String}, {1102, Type::Vln}, {1103, Type::Vln},
        {1104, Type::Vln}, {1105, Type::Vln}, {1106, Type::Vln}, {1107, Type::Vln},
        {1108, Type::Byte}, {1109, Type::Byte}, {1110, Type::Byte}, {1117, Type::String},
        {1126, Type::Byte}, {1162, Type::Bytes}, {1187, Type::String}, {1188, Type::String},
        {1189, Type::Byte}, {1190, Type::Byte}, {1192, Type::String}, {1193, Type::Byte},
        {1197, Type::String}, {1199, Type::Byte}, {1203, Type::String}, {1207, Type::Byte},
        {1209, Type::Byte}, {1212, Type::Byte}, {1214, Type::Byte}, {1215, Type::Vln},
        {1216, Type::Vln}, {1217, Type::Vln}, {1221, Type::Byte}, {1222, Type::Byte},
        {1223, Type::Stlv}, {1224, Type::Stlv}, {1226, Type::String},
    };
    return types.value(tag, Type::Bytes);
}

QString Tlv::display(quint16 tag, const QByteArray &value)
{
    switch (typeOf(tag)) {
    case Type::Byte:
    case Type::UInt32:
        return QString::number(readUnsigned(value));
    case Type::Vln: {
        const quint64 kopecks = readUnsigned(value);
        return QStringLiteral("%1.%2").arg(kopecks / 100).arg(kopecks % 100, 2, 10, QLatin1Char('0'));
    }
    case Type::Fvln: {
        if (value.isEmpty())
            return QStringLiteral("0");
        const int digits = quint8(value.at(0));
        return QString::number(double(readUnsigned(value.mid(1))) / std::pow(10.0, digits), 'f',
                               digits);
    }
    case Type::UnixTime:
        return fromUnixSeconds(quint32(readUnsigned(value))).toString(QStringLiteral("dd.MM.yyyy hh:mm"));
    case Type::String:
        return cp866()->toUnicode(value).trimmed();
    case Type::Stlv:
    case Type::Bytes:
        break;
    }
    if (tag == 1077 && value.size() == 6)
        return QString::number(qFromBigEndian<quint32>(value.constData() + 2));
    return QString::fromLatin1(value.toHex(' '));
}
