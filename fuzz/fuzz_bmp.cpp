// Windows bitmaps as stored for printing.
#include "fuzzsupport.h"

#include <bmpdecoder_p.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzsupport::setUp();
    const QByteArray bytes = fuzzsupport::bytes(data, size);
    frprint::GreyImage image;
    QString error;
    // A decoded picture has one grey byte for each of its pixels.
    if (frprint::BmpDecoder::canDecode(bytes) && frprint::BmpDecoder::decode(bytes, image, &error)
        && image.pixels.size() != qint64(image.width) * image.height)
        __builtin_trap();
    return 0;
}
