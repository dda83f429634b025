#include "fiscaldocfixedstringproperty.h"

#include "cp866codec.h"
#include "fiscaldocpropertyinfo_p.h"

namespace fiscal {

namespace {

// Width of a fixed field whose tag has no entry: that of a tax number.
constexpr int DEFAULT_WIDTH = 12;

QString trimPadding(const QString &text)
{
    int begin = 0;
    int end = text.size();
    auto isPad = [](QChar c) { return c == QLatin1Char(' ') || c == QChar(0); };
    while (begin < end && isPad(text.at(begin)))
        ++begin;
    while (end > begin && isPad(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

FiscalDocFixedStringProperty::FiscalDocFixedStringProperty(PropertyTag tag)
    : FiscalDocStringProperty(tag)
{
    if (!propinfo::tagInfo(tag))
        setMaxLength(DEFAULT_WIDTH);
}

QByteArray FiscalDocFixedStringProperty::toByteArray(bool littleEndian, bool compact) const
{
    QByteArray bytes = FiscalDocStringProperty::toByteArray(littleEndian, compact);
    return bytes.leftJustified(maxLength(), ' ');
}

FiscalDocPropertyPtr FiscalDocFixedStringProperty::clone() const
{
    return FiscalDocPropertyPtr(new FiscalDocFixedStringProperty(*this));
}

bool FiscalDocFixedStringProperty::doParseValue(const QByteArray &bytes, int)
{
    m_text = trimPadding(Cp866Codec::toUnicode(bytes));
    return true;
}

bool FiscalDocFixedStringProperty::setText(const QString &text)
{
    // Padding is added when encoding, so it is not part of the value.
    return FiscalDocStringProperty::setText(trimPadding(text));
}

} // namespace fiscal
