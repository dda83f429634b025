// BB-code markup of printed texts, pictures looked up in an empty images
// directory; the document made from it is laid out as the printer would.
#include "fuzzsupport.h"

#include <bbcodeparser.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzsupport::setUp();
    frprint::BbCodeParser parser;
    parser.setImagesPath(fuzzsupport::scratchDir());
    parser.parseText(QString::fromUtf8(reinterpret_cast<const char *>(data), int(size)));
    const frprint::TextPrinterDocument document = parser.document();
    for (const frprint::DocumentBlock &block : document.blocks()) {
        if (block.isText())
            block.toStringList(parser.symbolsPerLine());
    }
    return 0;
}
