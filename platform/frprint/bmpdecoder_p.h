#ifndef FRPRINT_BMPDECODER_P_H
#define FRPRINT_BMPDECODER_P_H

#include "greyimage_p.h"

namespace frprint {

// Windows bitmaps: uncompressed 1, 4, 8, 16, 24 and 32 bits per pixel,
// bit-field masks included. Run-length compressed files are refused.
class BmpDecoder
{
public:
    static bool canDecode(const QByteArray &data);
    static bool decode(const QByteArray &data, GreyImage &image, QString *errorText);
};

} // namespace frprint

#endif
