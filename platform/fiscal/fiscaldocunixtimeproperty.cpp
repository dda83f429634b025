#include "fiscaldocunixtimeproperty.h"

#include "fiscaldocpropertyinfo_p.h"

#include <QRegularExpression>

namespace fiscal {

namespace {

constexpr int UNIXTIME_SIZE = 4;

// Date ("yyyy-MM-dd" or "dd.MM.yyyy"), optionally followed by "T" or a blank
// and a time ("hh:mm[:ss[.zzz]]"). A zone designator after the time is
// dropped: the wall clock counts as written. Parsing date and time apart
// keeps clock times that the local zone skips (daylight saving) valid.
QDateTime wallClockFromText(const QString &text)
{
    static const QRegularExpression separator(QStringLiteral("[T ]"));
    static const QRegularExpression zone(QStringLiteral("(Z|[+-]\\d\\d(:?\\d\\d)?)$"));
    const int sep = text.indexOf(separator);
    const QString datePart = sep < 0 ? text : text.left(sep);
    QString timePart = sep < 0 ? QString() : text.mid(sep + 1).trimmed();
    timePart.remove(zone);
    QDate date = QDate::fromString(datePart, Qt::ISODate);
    if (!date.isValid())
        date = QDate::fromString(datePart, QStringLiteral("dd.MM.yyyy"));
    const QTime time = timePart.isEmpty() ? QTime(0, 0) : QTime::fromString(timePart, Qt::ISODate);
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time, Qt::UTC);
}

} // namespace

FiscalDocUnixTimeProperty::FiscalDocUnixTimeProperty(PropertyTag tag)
    : FiscalDocPropertyBase(tag, UNIXTIME_SIZE)
{
}

QDateTime FiscalDocUnixTimeProperty::dateTime() const
{
    return hasValue() ? QDateTime::fromSecsSinceEpoch(m_seconds, Qt::UTC) : QDateTime();
}

QString FiscalDocUnixTimeProperty::printableValue() const
{
    return hasValue() ? dateTime().toString(QStringLiteral("dd.MM.yyyy hh:mm")) : QString();
}

QByteArray FiscalDocUnixTimeProperty::toByteArray(bool littleEndian, bool) const
{
    QByteArray bytes(UNIXTIME_SIZE, '\0');
    for (int i = 0; i < UNIXTIME_SIZE; ++i)
        bytes[littleEndian ? i : UNIXTIME_SIZE - 1 - i] = char((m_seconds >> (8 * i)) & 0xFF);
    return bytes;
}

FiscalDocPropertyPtr FiscalDocUnixTimeProperty::clone() const
{
    return FiscalDocPropertyPtr(new FiscalDocUnixTimeProperty(*this));
}

bool FiscalDocUnixTimeProperty::doSetValue(const QVariant &value, int)
{
    switch (value.userType()) {
    case QMetaType::QDateTime:
        return setDateTime(value.toDateTime());
    case QMetaType::QDate:
        return setDateTime(QDateTime(value.toDate(), QTime(0, 0)));
    case QMetaType::QString:
    case QMetaType::QByteArray: {
        const QString text = value.toString().trimmed();
        bool digits = !text.isEmpty();
        for (const QChar c : text)
            digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (digits)
            break;
        const QDateTime dt = wallClockFromText(text);
        if (!dt.isValid())
            return fail(QStringLiteral("\"%1\" is not a date and time").arg(text.left(40)));
        return setDateTime(dt);
    }
    default:
        break;
    }
    quint64 seconds = 0;
    QString error;
    if (!propinfo::toUnsigned(value, 0xFFFFFFFFu, false, &seconds, &error))
        return fail(error);
    m_seconds = quint32(seconds);
    return true;
}

bool FiscalDocUnixTimeProperty::setDateTime(const QDateTime &dt)
{
    if (!dt.isValid())
        return fail(QStringLiteral("an invalid date and time"));
    // The wall clock as it reads, whatever zone the value was given in.
    const qint64 seconds = QDateTime(dt.date(), dt.time(), Qt::UTC).toSecsSinceEpoch();
    if (seconds < 0 || seconds > qint64(0xFFFFFFFFu))
        return fail(QStringLiteral("%1 is outside the years 1970 to 2106")
                    .arg(dt.toString(Qt::ISODate)));
    m_seconds = quint32(seconds);
    return true;
}

bool FiscalDocUnixTimeProperty::doParseValue(const QByteArray &bytes, int)
{
    if (bytes.size() != UNIXTIME_SIZE)
        return fail(QStringLiteral("a time encoded in %1 bytes instead of 4").arg(bytes.size()));
    quint32 seconds = 0;
    for (int i = 0; i < UNIXTIME_SIZE; ++i)
        seconds |= quint32(uchar(bytes.at(i))) << (8 * i);
    m_seconds = seconds;
    return true;
}

QVariant FiscalDocUnixTimeProperty::doValue() const
{
    return dateTime();
}

QVariant FiscalDocUnixTimeProperty::mapValue() const
{
    return dateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss"));
}

void FiscalDocUnixTimeProperty::doClearValue()
{
    m_seconds = 0;
}

} // namespace fiscal
