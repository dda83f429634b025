#include "fiscaldocstringproperty.h"

#include "cp866codec.h"
#include "fiscaldocpropertyinfo_p.h"

namespace fiscal {

namespace {

constexpr int STRING_TYPE_MAX = 0xFFFF;

} // namespace

FiscalDocStringProperty::FiscalDocStringProperty(PropertyTag tag)
    : FiscalDocPropertyBase(tag, STRING_TYPE_MAX)
{
}

QString FiscalDocStringProperty::printableValue() const
{
    return hasValue() ? m_text : QString();
}

QByteArray FiscalDocStringProperty::toByteArray(bool, bool) const
{
    QByteArray bytes;
    // Texts are checked when set, so this cannot fail.
    Cp866Codec::fromUnicode(m_text, bytes);
    return bytes;
}

FiscalDocPropertyPtr FiscalDocStringProperty::clone() const
{
    return FiscalDocPropertyPtr(new FiscalDocStringProperty(*this));
}

bool FiscalDocStringProperty::doSetValue(const QVariant &value, int)
{
    switch (value.userType()) {
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::QChar:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return setText(value.toString());
    default:
        return fail(QStringLiteral("a value of type %1 where a text is expected")
                    .arg(QString::fromLatin1(value.typeName())));
    }
}

bool FiscalDocStringProperty::setText(const QString &text)
{
    // One CP866 byte per character, so the length can be checked first and
    // a huge text is refused without being converted.
    if (text.size() > maxLength())
        return fail(QStringLiteral("a text of %1 characters is longer than the %2 the tag allows")
                    .arg(text.size()).arg(maxLength()));
    QByteArray unused;
    QString error;
    if (!Cp866Codec::fromUnicode(text, unused, &error))
        return fail(error);
    m_text = text;
    return true;
}

bool FiscalDocStringProperty::doParseValue(const QByteArray &bytes, int)
{
    m_text = Cp866Codec::toUnicode(bytes);
    return true;
}

QVariant FiscalDocStringProperty::doValue() const
{
    return m_text;
}

void FiscalDocStringProperty::doClearValue()
{
    m_text.clear();
}

} // namespace fiscal
