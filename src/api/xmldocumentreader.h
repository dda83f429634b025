#ifndef XMLDOCUMENTREADER_H
#define XMLDOCUMENTREADER_H

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>
#include <QVariant>
#include <QVariantMap>

class QXmlStreamReader;

Q_DECLARE_LOGGING_CATEGORY(lcXml)

// Reads the "document" request of an XML POST into the same map the JSON
// protocol carries. Element names match in any letter case; which children
// of "document" count depends on the operation, anything else is logged and
// skipped whole, so one stray element never swallows the ones after it.
class XmlDocumentReader
{
public:
    enum Operation { FiscalCheck, PrintText, Fiscalization, RichText };

    explicit XmlDocumentReader(Operation operation);

    // False, with `error` set, when the body is not XML, is empty, has a root
    // other than "document", has a fiscal property whose value does not
    // parse as its tag's type, or declares entities (their expansion would let
    // a few bytes of body grow into megabytes of text). A reader error after
    // the root ends the reading: the children read so far are returned, true
    // is returned and `error` holds the reader's complaint.
    bool read(const QByteArray &body, QVariantMap &document, QString *error = nullptr) const;

    // Each of these is entered just after the start tag of its element and
    // leaves after its end tag (or at a reader error).
    // Children of "data": a map.
    QVariant readFiscalXmlDocumentData(QXmlStreamReader *reader) const;
    // Children of "fiscprops": a list of {"tag", "value"} and
    // {"tag", "fiscprops"} maps, values typed by the fiscal library.
    QVariant readFiscalXmlDocumentProperties(QXmlStreamReader *reader) const;
    // Children of "images": a list of {"fileName", "image"} maps.
    QVariant readImagesList(QXmlStreamReader *reader) const;

private:
    QVariantList readProperties(QXmlStreamReader *reader, int nesting) const;
    // The map key of a child of "document" (its lower-cased name) for this
    // operation; empty for elements the operation does not take.
    QString keyOf(const QString &name) const;

    Operation m_operation;
};

#endif
