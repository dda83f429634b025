#include "xmldocumentreader.h"

#include <fiscaldoccomplexproperty.h>
#include <fiscaldocpropertytemplateloader.h>

#include <QXmlStreamReader>

Q_LOGGING_CATEGORY(lcXml, "tillgate.xml")

namespace {

QString lowerName(const QXmlStreamReader *reader)
{
    return reader->name().toString().toLower();
}

// The text of the current element and of everything inside it, leaving the
// reader after its end tag. Iterative, so a body of deeply nested elements
// costs no stack.
QString wholeElementText(QXmlStreamReader *reader)
{
    QString text;
    int depth = 1;
    while (depth > 0 && !reader->atEnd()) {
        switch (reader->readNext()) {
        case QXmlStreamReader::StartElement:
            ++depth;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::Characters:
        case QXmlStreamReader::EntityReference:
            text += reader->text();
            break;
        default:
            break;
        }
    }
    return text;
}

} // namespace

XmlDocumentReader::XmlDocumentReader(Operation operation)
    : m_operation(operation)
{
}

QString XmlDocumentReader::keyOf(const QString &name) const
{
    if (name == QLatin1String("sessionid"))
        return QStringLiteral("sessionId");
    if (name == QLatin1String("data") || name == QLatin1String("print"))
        return name;
    if (name == QLatin1String("brief"))
        return m_operation != PrintText ? name : QString();
    if (m_operation != Fiscalization && m_operation != RichText)
        return QString();
    if (name == QLatin1String("cabinetid"))
        return QStringLiteral("cabinetId");
    if (name == QLatin1String("clientid"))
        return QStringLiteral("clientId");
    if (name == QLatin1String("printonly"))
        return QStringLiteral("printOnly");
    if (name == QLatin1String("frmodel") || name == QLatin1String("frserial"))
        return name;
    if (m_operation != RichText)
        return QString();
    if (name == QLatin1String("plain") || name == QLatin1String("bbcode") || name == QLatin1String("images"))
        return name;
    return QString();
}

bool XmlDocumentReader::read(const QByteArray &body, QVariantMap &document, QString *error) const
{
    document.clear();
    if (error)
        error->clear();

    QXmlStreamReader reader(body);
    QString refusal;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.tokenType() == QXmlStreamReader::DTD && !reader.entityDeclarations().isEmpty()) {
            refusal = QStringLiteral("entity declarations are not accepted");
            break;
        }
        if (reader.isStartElement())
            break;
    }
    if (refusal.isEmpty()) {
        if (reader.isStartElement()) {
            if (lowerName(&reader) != QLatin1String("document"))
                refusal = QStringLiteral("the root element is \"%1\", not \"document\"").arg(reader.name());
        } else {
            refusal = reader.hasError() ? reader.errorString() : QStringLiteral("no root element");
        }
    }
    if (!refusal.isEmpty()) {
        qCWarning(lcXml) << "request document refused:" << refusal << "reader error:" << reader.errorString();
        if (error)
            *error = refusal;
        return false;
    }

    while (reader.readNextStartElement()) {
        const QString name = lowerName(&reader);
        const QString key = keyOf(name);
        if (key.isEmpty()) {
            if (m_operation == PrintText) {
                qCWarning(lcXml) << "unknown element" << reader.name();
                reader.skipCurrentElement();
            } else {
                const QString elementName = reader.name().toString();
                qCWarning(lcXml) << "unknown element" << elementName << "text" << wholeElementText(&reader);
            }
            continue;
        }
        if (name == QLatin1String("data")) {
            document.insert(key, readFiscalXmlDocumentData(&reader));
        } else if (name == QLatin1String("images")) {
            document.insert(key, readImagesList(&reader));
        } else {
            const QString text = reader.readElementText();
            // A value whose element was cut short by a fault is not taken.
            if (reader.hasError())
                break;
            const bool number = name == QLatin1String("print") || name == QLatin1String("brief");
            document.insert(key, number ? QVariant(text.toInt()) : QVariant(text));
        }
    }
    if (reader.error() == QXmlStreamReader::CustomError) {
        qCWarning(lcXml) << "request document refused:" << reader.errorString();
        if (error)
            *error = reader.errorString();
        return false;
    }
    if (reader.hasError()) {
        // What was read before the fault still goes on: a sender's trailing
        // damage must not cost the whole request.
        qCWarning(lcXml) << "request document read up to a fault:" << reader.errorString() << "at line"
                         << reader.lineNumber() << "column" << reader.columnNumber();
        if (error)
            *error = reader.errorString();
    }
    return true;
}

QVariant XmlDocumentReader::readFiscalXmlDocumentData(QXmlStreamReader *reader) const
{
    QVariantMap data;
    QVariantList lines;
    while (reader->readNextStartElement()) {
        const QString name = lowerName(reader);
        if (name == QLatin1String("fiscprops")) {
            data.insert(QStringLiteral("fiscprops"), readFiscalXmlDocumentProperties(reader));
            continue;
        }
        const bool isText = name == QLatin1String("type") || name == QLatin1String("moneytype")
            || name == QLatin1String("sum") || name == QLatin1String("tax") || name == QLatin1String("line")
            || name == QLatin1String("barcode");
        if (!isText) {
            qCWarning(lcXml) << "unknown element in data:" << reader->name();
            reader->skipCurrentElement();
            continue;
        }
        const int barcodeTag = reader->attributes().value(QLatin1String("tag")).toInt();
        const QString text = reader->readElementText();
        if (reader->hasError())
            break;
        if (name == QLatin1String("type"))
            data.insert(QStringLiteral("type"), text.toInt());
        else if (name == QLatin1String("moneytype"))
            data.insert(QStringLiteral("moneyType"), text.toInt());
        else if (name == QLatin1String("sum"))
            data.insert(QStringLiteral("sum"), text.toLongLong());
        else if (name == QLatin1String("tax"))
            data.insert(QStringLiteral("tax"), text.toInt());
        else if (name == QLatin1String("line"))
            lines.append(text);
        else
            lines.append(QVariantMap { { QStringLiteral("tag"), barcodeTag }, { QStringLiteral("value"), text } });
    }
    if (!lines.isEmpty())
        data.insert(QStringLiteral("lines"), lines);
    return data;
}

QVariant XmlDocumentReader::readFiscalXmlDocumentProperties(QXmlStreamReader *reader) const
{
    return readProperties(reader, 1);
}

QVariantList XmlDocumentReader::readProperties(QXmlStreamReader *reader, int nesting) const
{
    const fiscal::FiscalDocPropertyTemplateLoader loader;
    QVariantList list;
    int depth = 1;
    // A token read while looking for a compound's "fiscprops" that turned out
    // to be something else is handled by the next round.
    bool tokenPending = false;
    while (true) {
        if (!tokenPending)
            reader->readNext();
        tokenPending = false;
        if (reader->atEnd())
            return list;
        if (reader->isEndElement()) {
            if (--depth == 0)
                return list;
            continue;
        }
        if (!reader->isStartElement())
            continue;
        ++depth;
        if (lowerName(reader) != QLatin1String("prop") || !reader->attributes().hasAttribute(QLatin1String("tag")))
            continue;
        const QStringRef tagText = reader->attributes().value(QLatin1String("tag"));
        const fiscal::FiscalDocPropertyPtr property = loader[tagText.toUInt()];
        if (!property)
            continue;
        const uint tag = property->tag();

        if (property->propertyType() != fiscal::FiscalDocPropertyBase::ComplexProperty) {
            const QString value = reader->attributes().value(QLatin1String("value")).toString();
            // A value the register would take as empty or zero must not
            // become a document: the whole request is refused.
            if (!property->setValueFromString(value)) {
                reader->raiseError(QStringLiteral("property %1 value \"%2\" refused: %3")
                                       .arg(tag).arg(value, property->errorString()));
                return list;
            }
            list.append(QVariantMap { { QStringLiteral("tag"), tag },
                                      { QStringLiteral("value"), property->value() } });
            continue;
        }

        do {
            reader->readNext();
        } while (reader->isCharacters() || reader->isComment());
        if (!reader->isStartElement() || lowerName(reader) != QLatin1String("fiscprops")) {
            tokenPending = true;
            continue;
        }
        // The fiscal data format nests compound properties two deep; a body
        // nesting them past the library's own limit is cut off here rather
        // than followed down the stack.
        if (nesting >= fiscal::FiscalDocComplexProperty::MAX_NESTING) {
            qCWarning(lcXml) << "compound property" << tag << "nested too deep, dropped";
            reader->skipCurrentElement();
            continue;
        }
        list.append(QVariantMap { { QStringLiteral("tag"), tag },
                                  { QStringLiteral("fiscprops"), readProperties(reader, nesting + 1) } });
    }
}

QVariant XmlDocumentReader::readImagesList(QXmlStreamReader *reader) const
{
    QVariantList images;
    while (reader->readNextStartElement()) {
        if (lowerName(reader) == QLatin1String("image")) {
            const QString fileName = reader->attributes().value(QLatin1String("fileName")).toString();
            const QString image = reader->readElementText();
            if (reader->hasError())
                break;
            images.append(QVariantMap { { QStringLiteral("fileName"), fileName }, { QStringLiteral("image"), image } });
        } else {
            const QString name = reader->name().toString();
            qCWarning(lcXml) << "unknown element in images:" << name << "text" << wholeElementText(reader);
        }
    }
    return images;
}
