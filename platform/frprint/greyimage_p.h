#ifndef FRPRINT_GREYIMAGE_P_H
#define FRPRINT_GREYIMAGE_P_H

#include <QByteArray>
#include <QString>

namespace frprint {

// Intermediate form the picture decoders produce: one luminance byte per
// pixel, rows top to bottom, transparency already laid over white paper.
struct GreyImage
{
    int width = 0;
    int height = 0;
    QByteArray pixels;

    // Receipt pictures are small; these bounds keep a hostile header from
    // making the decoders allocate gigabytes.
    static constexpr int MAX_SIDE = 8192;
    static constexpr qint64 MAX_PIXELS = 8 * 1024 * 1024;

    static bool checkSize(qint64 width, qint64 height, QString *errorText);
    static int luminance(int red, int green, int blue);
    // Lays a pixel with the given alpha (0..255) over white.
    static int overWhite(int grey, int alpha);
};

} // namespace frprint

#endif
