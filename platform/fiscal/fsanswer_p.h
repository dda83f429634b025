#ifndef FISCAL_FSANSWER_P_H
#define FISCAL_FSANSWER_P_H

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>

// Field readers for the data part of fiscal storage answers. Callers check
// the answer length first, so the offsets are always in range.
namespace fiscal {
namespace fsanswer {

inline quint8 byteAt(const QByteArray &data, int offset)
{
    return quint8(data.at(offset));
}

inline quint16 uint16At(const QByteArray &data, int offset)
{
    return quint16(byteAt(data, offset) | (quint16(byteAt(data, offset + 1)) << 8));
}

inline quint32 uint32At(const QByteArray &data, int offset)
{
    return quint32(uint16At(data, offset)) | (quint32(uint16At(data, offset + 2)) << 16);
}

// DATE: year - 2000, month, day. Invalid when the fields make no date.
inline QDate dateAt(const QByteArray &data, int offset)
{
    return QDate(2000 + byteAt(data, offset), byteAt(data, offset + 1), byteAt(data, offset + 2));
}

// DATE_TIME: DATE followed by hour and minute; invalid when the fields make
// no date or time (an all-zero field means "none").
inline QDateTime dateTimeAt(const QByteArray &data, int offset)
{
    const QDate date = dateAt(data, offset);
    const QTime time(byteAt(data, offset + 3), byteAt(data, offset + 4));
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time);
}

// Text padded with spaces or NULs on the right.
inline QString textAt(const QByteArray &data, int offset, int size)
{
    QByteArray field = data.mid(offset, size);
    const int nul = field.indexOf('\0');
    if (nul >= 0)
        field.truncate(nul);
    return QString::fromLatin1(field).trimmed();
}

// Date-times travel in maps as ISO text without a time zone: the storage
// keeps the register's wall clock.
inline QVariant dateTimeToVariant(const QDateTime &dt)
{
    return dt.isValid() ? QVariant(dt.toString(Qt::ISODate)) : QVariant(QString());
}

inline QDateTime dateTimeFromVariant(const QVariant &value)
{
    if (value.type() == QVariant::DateTime)
        return value.toDateTime();
    return QDateTime::fromString(value.toString(), Qt::ISODate);
}

} // namespace fsanswer
} // namespace fiscal

#endif
