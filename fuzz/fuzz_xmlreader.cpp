// The XML request reader for each operation that takes a "document"; the
// first byte picks the operation, the rest is the body.
#include "fuzzsupport.h"
#include "xmldocumentreader.h"

#include <fiscaldocpropertytemplateloader.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzsupport::setUp();
    fiscal::FiscalDocPropertyTemplateLoader::init();
    if (size < 1)
        return 0;
    static const XmlDocumentReader::Operation operations[] = {
        XmlDocumentReader::FiscalCheck, XmlDocumentReader::PrintText, XmlDocumentReader::Fiscalization,
        XmlDocumentReader::RichText};
    const XmlDocumentReader reader(operations[data[0] % 4]);
    QVariantMap document;
    QString error;
    reader.read(fuzzsupport::bytes(data + 1, size - 1), document, &error);
    return 0;
}
