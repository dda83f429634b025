#include "xmlanswerwriter.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QXmlStreamWriter>

namespace {

const QChar REPLACEMENT(0xFFFD);

bool isXmlChar(uint c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
        || (c >= 0x10000 && c <= 0x10FFFF);
}

// Name characters of XML 1.0 (fifth edition), narrowed to what older
// readers (fourth edition) also take: beyond ASCII only letters and digits
// of the basic plane. No colon: it would make the name a namespace prefix
// that nobody declared.
bool isNameStartChar(uint c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z');
    const bool fifthEdition = (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF)
        || (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x2070 && c <= 0x218F)
        || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF)
        || (c >= 0xFDF0 && c <= 0xFFFD);
    return fifthEdition && QChar(c).isLetter();
}

bool isNameChar(uint c)
{
    if (c < 0x80)
        return isNameStartChar(c) || c == '-' || c == '.' || (c >= '0' && c <= '9');
    return isNameStartChar(c) || (c <= 0xFFFD && QChar(c).isDigit());
}

// Walks `text` by code point; a lone surrogate comes out as itself, which
// no test above accepts.
template<typename Visit>
void forEachCodePoint(const QString &text, Visit visit)
{
    for (int i = 0; i < text.size(); ++i) {
        uint c = text.at(i).unicode();
        int units = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            units = 2;
        }
        visit(c, text.mid(i, units));
        i += units - 1;
    }
}

enum class Kind { Map, List, Json, Other };

Kind kindOf(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash:
    case QMetaType::QJsonObject:
        return Kind::Map;
    case QMetaType::QVariantList:
    case QMetaType::QStringList:
    case QMetaType::QJsonArray:
        return Kind::List;
    case QMetaType::QJsonValue:
        return Kind::Json;
    default:
        return Kind::Other;
    }
}

// Character content; a carriage return goes out as a reference, since a
// reader turns a literal one into a line feed.
void writeText(const QString &text, QXmlStreamWriter *writer)
{
    // Closes the start tag even for empty text: <name></name>.
    writer->writeCharacters(QString());
    const QStringList pieces = XmlAnswerWriter::xmlText(text).split(QLatin1Char('\r'));
    for (int i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            writer->writeEntityReference(QStringLiteral("#13"));
        if (!pieces.at(i).isEmpty())
            writer->writeCharacters(pieces.at(i));
    }
}

void writeTextElement(const QString &name, const QString &text, QXmlStreamWriter *writer)
{
    writer->writeStartElement(XmlAnswerWriter::elementName(name));
    writeText(text, writer);
    writer->writeEndElement();
}

} // namespace

QString XmlAnswerWriter::elementName(const QString &name)
{
    QString result;
    result.reserve(name.size() + 1);
    forEachCodePoint(name, [&result](uint c, const QString &units) {
        if (result.isEmpty() && !isNameStartChar(c)) {
            result.append(QLatin1Char('_'));
            if (!isNameChar(c))
                return;
        }
        result.append(isNameChar(c) ? units : QStringLiteral("_"));
    });
    return result.isEmpty() ? QStringLiteral("_") : result;
}

QString XmlAnswerWriter::xmlText(const QString &text)
{
    bool clean = true;
    forEachCodePoint(text, [&clean](uint c, const QString &) { clean = clean && isXmlChar(c); });
    if (clean)
        return text;
    QString result;
    result.reserve(text.size());
    forEachCodePoint(text, [&result](uint c, const QString &units) {
        if (isXmlChar(c))
            result.append(units);
        else
            result.append(REPLACEMENT);
    });
    return result;
}

QByteArray XmlAnswerWriter::simpleVariantToXml(const QString &root, const QVariantMap &map)
{
    QByteArray body;
    QXmlStreamWriter writer(&body);
    writer.setAutoFormatting(true);
    writer.setAutoFormattingIndent(4);
    writer.writeStartDocument();
    writer.writeStartElement(elementName(root));
    writer.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
    writer.writeAttribute(QStringLiteral("protocol"), QStringLiteral("3"));
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        simpleVariantToXml(it.key(), it.value(), &writer);
    writer.writeEndElement();
    writer.writeEndDocument();
    return body;
}

void XmlAnswerWriter::simpleVariantToXml(const QString &name, const QVariantMap &map, QXmlStreamWriter *writer)
{
    writer->writeStartElement(elementName(name));
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        simpleVariantToXml(it.key(), it.value(), writer);
    writer->writeEndElement();
}

void XmlAnswerWriter::simpleVariantToXml(const QString &name, const QVariant &value, QXmlStreamWriter *writer)
{
    switch (kindOf(value)) {
    case Kind::Map:
        simpleVariantToXml(name, value.toMap(), writer);
        break;
    case Kind::List:
        simpleVariantToXml(name, value.toList(), writer);
        break;
    case Kind::Json:
        simpleVariantToXml(name, value.value<QJsonValue>().toVariant(), writer);
        break;
    case Kind::Other:
        writeTextElement(name, value.toString(), writer);
        break;
    }
}

void XmlAnswerWriter::simpleVariantToXml(const QString &name, const QVariantList &list, QXmlStreamWriter *writer)
{
    if (name == QLatin1String("fiscprops")) {
        writer->writeStartElement(name);
        for (const QVariant &property : list)
            fiscalPropertyToXml(QStringLiteral("prop"), property, writer);
        writer->writeEndElement();
    } else if (name == QLatin1String("cashboxes")) {
        writer->writeStartElement(name);
        for (const QVariant &cashbox : list)
            simpleVariantToXml(QStringLiteral("cashbox"), cashbox, writer);
        writer->writeEndElement();
    } else {
        for (const QVariant &entry : list)
            simpleVariantToXml(name, entry, writer);
    }
}

void XmlAnswerWriter::fiscalPropertyToXml(const QString &name, const QVariant &property, QXmlStreamWriter *writer)
{
    const QVariantMap map = property.toMap();
    writer->writeStartElement(elementName(name));
    writer->writeAttribute(QStringLiteral("tag"), xmlText(map.value(QStringLiteral("tag")).toString()));
    const QString caption = map.value(QStringLiteral("caption")).toString();
    if (!caption.isEmpty())
        writer->writeAttribute(QStringLiteral("caption"), xmlText(caption));
    writer->writeAttribute(QStringLiteral("value"), xmlText(map.value(QStringLiteral("value")).toString()));
    if (map.contains(QStringLiteral("fiscprops")))
        simpleVariantToXml(QStringLiteral("fiscprops"), map.value(QStringLiteral("fiscprops")).toList(), writer);
    else if (map.contains(QStringLiteral("printable")))
        writeText(map.value(QStringLiteral("printable")).toString(), writer);
    writer->writeEndElement();
}
