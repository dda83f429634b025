#ifndef FRPRINT_PNGDECODER_P_H
#define FRPRINT_PNGDECODER_P_H

#include "greyimage_p.h"

namespace frprint {

// Non-interlaced PNG of every standard colour type and depth (grey, RGB,
// palette, grey with alpha, RGBA; 1 to 16 bits), tRNS transparency included.
class PngDecoder
{
public:
    static bool canDecode(const QByteArray &data);
    static bool decode(const QByteArray &data, GreyImage &image, QString *errorText);
};

} // namespace frprint

#endif
