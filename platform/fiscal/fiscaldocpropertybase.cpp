#include "fiscaldocpropertybase.h"

#include "fiscaldocpropertyinfo_p.h"

#include <QDataStream>

namespace fiscal {

FiscalDocPropertyBase::FiscalDocPropertyBase(PropertyTag tag, int typeMaxLength)
    : m_tag(tag)
    , m_maxLength(typeMaxLength)
    , m_format(propinfo::PlainFormat)
{
    const propinfo::TagInfo *info = propinfo::tagInfo(tag);
    if (info) {
        m_maxLength = qMin(int(info->maxLength), typeMaxLength);
        m_format = info->format;
    }
    m_captions = propinfo::captions(info);
    m_captIdx = m_captions.isEmpty() ? 0 : m_captions.size() - 1;
}

FiscalDocPropertyBase::~FiscalDocPropertyBase() = default;

QVariant FiscalDocPropertyBase::value() const
{
    return m_hasValue ? doValue() : QVariant();
}

bool FiscalDocPropertyBase::setValue(const QVariant &value)
{
    return setValueAt(value, 0);
}

bool FiscalDocPropertyBase::setValueFromString(const QString &text)
{
    return setValueAt(QVariant(text), 0);
}

void FiscalDocPropertyBase::clearValue()
{
    doClearValue();
    m_hasValue = false;
    m_error.clear();
}

bool FiscalDocPropertyBase::setValueAt(const QVariant &value, int depth)
{
    m_error.clear();
    // An absent (JSON null) value empties the property.
    if (!value.isValid() || (value.isNull() && value.userType() == QMetaType::Nullptr)) {
        clearValue();
        return true;
    }
    if (!doSetValue(value, depth))
        return false;
    m_hasValue = true;
    return true;
}

void FiscalDocPropertyBase::setCaptIdx(int index)
{
    if (index >= 0 && index < m_captions.size())
        m_captIdx = index;
}

QString FiscalDocPropertyBase::caption() const
{
    return m_captions.value(m_captIdx);
}

QString FiscalDocPropertyBase::printable(int width) const
{
    const QString cap = caption();
    const QString val = printableValue();
    if (cap.isEmpty())
        return propinfo::wrap(val, width).join(QLatin1Char('\n'));
    if (val.isEmpty())
        return propinfo::wrap(cap, width).join(QLatin1Char('\n'));
    // The printer shows the tab as ": ".
    if (width <= 0 || cap.size() + 2 + val.size() <= width)
        return cap + QLatin1Char('\t') + val;
    QStringList lines = propinfo::wrap(cap, width);
    for (const QString &line : propinfo::wrap(val, width))
        lines.append(QLatin1Char('\t') + line);
    return lines.join(QLatin1Char('\n'));
}

QVariantMap FiscalDocPropertyBase::toMap(bool withPrintable) const
{
    QVariantMap map;
    map.insert(QStringLiteral("tag"), uint(m_tag));
    map.insert(QStringLiteral("value"), m_hasValue ? mapValue() : QVariant());
    if (withPrintable) {
        map.insert(QStringLiteral("caption"), caption());
        map.insert(QStringLiteral("printable"), printableValue());
    }
    return map;
}

QVariant FiscalDocPropertyBase::mapValue() const
{
    return doValue();
}

bool FiscalDocPropertyBase::setMap(const QVariantMap &map)
{
    return setMapAt(map, 0);
}

bool FiscalDocPropertyBase::setMapAt(const QVariantMap &map, int depth)
{
    m_error.clear();
    bool ok = false;
    const uint tag = map.value(QStringLiteral("tag")).toUInt(&ok);
    if (!ok)
        return fail(QStringLiteral("the property map has no numeric \"tag\""));
    if (tag != m_tag)
        return fail(QStringLiteral("the property map is of tag %1").arg(tag));
    if (propertyType() == ComplexProperty) {
        const auto it = map.constFind(QStringLiteral("fiscprops"));
        if (it == map.constEnd())
            return fail(QStringLiteral("a compound property needs \"fiscprops\""));
        return setValueAt(it.value(), depth);
    }
    if (map.contains(QStringLiteral("fiscprops")))
        return fail(QStringLiteral("a simple property has no \"fiscprops\""));
    return setValueAt(map.value(QStringLiteral("value")), depth);
}

QByteArray FiscalDocPropertyBase::toTlv() const
{
    const QByteArray value = toByteArray(true, true);
    if (value.size() > 0xFFFF) {
        qCWarning(lcFiscalProperty) << "tag" << uint(m_tag) << "value of" << value.size()
                                    << "bytes does not fit a record";
        return QByteArray();
    }
    QByteArray record;
    record.reserve(TLV_HEADER_SIZE + value.size());
    const quint16 tag = m_tag;
    const quint16 length = quint16(value.size());
    record.append(char(tag & 0xFF)).append(char(tag >> 8));
    record.append(char(length & 0xFF)).append(char(length >> 8));
    record.append(value);
    return record;
}

bool FiscalDocPropertyBase::parse(QDataStream &stream)
{
    m_error.clear();
    char header[2];
    if (stream.readRawData(header, 2) != 2)
        return fail(QStringLiteral("the record ends before its value length"));
    const int length = uchar(header[0]) | (uchar(header[1]) << 8);
    // A value longer than the tag allows is refused before anything is
    // allocated for it; its bytes are passed over so the stream stays in step.
    if (length > m_maxLength) {
        stream.skipRawData(length);
        return fail(QStringLiteral("a value of %1 bytes is longer than the %2 the tag allows")
                    .arg(length).arg(m_maxLength));
    }
    QByteArray bytes(length, Qt::Uninitialized);
    const int got = length ? stream.readRawData(bytes.data(), length) : 0;
    if (got != length)
        return fail(QStringLiteral("the record announces %1 value bytes but holds %2")
                    .arg(length).arg(qMax(got, 0)));
    return parseValueAt(bytes, 0);
}

bool FiscalDocPropertyBase::parseValue(const QByteArray &bytes)
{
    return parseValueAt(bytes, 0);
}

bool FiscalDocPropertyBase::parseValueAt(const QByteArray &bytes, int depth)
{
    m_error.clear();
    if (bytes.size() > m_maxLength)
        return fail(QStringLiteral("a value of %1 bytes is longer than the %2 the tag allows")
                    .arg(bytes.size()).arg(m_maxLength));
    if (!doParseValue(bytes, depth))
        return false;
    m_hasValue = true;
    return true;
}

bool FiscalDocPropertyBase::fail(const QString &error)
{
    m_error = QStringLiteral("tag %1: %2").arg(uint(m_tag)).arg(error);
    qCDebug(lcFiscalProperty).noquote() << m_error;
    return false;
}

} // namespace fiscal
