#include "greyimage_p.h"

namespace frprint {

bool GreyImage::checkSize(qint64 width, qint64 height, QString *errorText)
{
    if (width <= 0 || height <= 0) {
        if (errorText)
            *errorText = QStringLiteral("The picture has no pixels (%1 x %2)").arg(width).arg(height);
        return false;
    }
    if (width > MAX_SIDE || height > MAX_SIDE || width * height > MAX_PIXELS) {
        if (errorText)
            *errorText = QStringLiteral("The picture is too large (%1 x %2)").arg(width).arg(height);
        return false;
    }
    return true;
}

int GreyImage::luminance(int red, int green, int blue)
{
    return (red * 299 + green * 587 + blue * 114 + 500) / 1000;
}

int GreyImage::overWhite(int grey, int alpha)
{
    return (grey * alpha + 255 * (255 - alpha) + 127) / 255;
}

} // namespace frprint
