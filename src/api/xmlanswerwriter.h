#ifndef XMLANSWERWRITER_H
#define XMLANSWERWRITER_H

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

class QXmlStreamWriter;

// Writes answer maps as XML documents: a UTF-8 declaration, a root element
// named by the operation with "version" and "protocol", and one child per
// map entry in key order, indented by four blanks.
//
// Map keys become element names and values become text, both coming from
// devices and stored answers; whatever XML 1.0 cannot carry is replaced, so
// the answer is always well-formed.
class XmlAnswerWriter
{
public:
    // The whole answer document.
    static QByteArray simpleVariantToXml(const QString &root, const QVariantMap &map);

    // A map: an element holding its entries in key order.
    static void simpleVariantToXml(const QString &name, const QVariantMap &map, QXmlStreamWriter *writer);
    // Any value: maps and lists by their own rules, anything else as a text
    // element holding the value's text.
    static void simpleVariantToXml(const QString &name, const QVariant &value, QXmlStreamWriter *writer);
    // A list: "fiscprops" holds "prop" elements, "cashboxes" holds "cashbox"
    // elements; any other list has no element of its own, its entries are
    // repeated elements under the list's name.
    static void simpleVariantToXml(const QString &name, const QVariantList &list, QXmlStreamWriter *writer);
    // One fiscal property map: attributes "tag", "caption" (when not empty)
    // and "value", then its nested "fiscprops" or its printable text.
    static void fiscalPropertyToXml(const QString &name, const QVariant &property, QXmlStreamWriter *writer);

    // `name` made a valid XML element name: characters a name cannot hold
    // become "_", and a name that cannot start as it is gets a leading "_".
    static QString elementName(const QString &name);
    // `text` without the characters XML 1.0 cannot carry at all (control
    // characters other than tab, line feed and carriage return, lone
    // surrogates, U+FFFE and U+FFFF); each becomes U+FFFD.
    static QString xmlText(const QString &text);
};

#endif
