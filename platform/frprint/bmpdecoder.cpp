#include "bmpdecoder_p.h"

#include <QVector>
#include <QtEndian>

namespace frprint {

namespace {

bool fail(QString *errorText, const QString &text)
{
    if (errorText)
        *errorText = text;
    return false;
}

// One colour channel taken out of a packed pixel and scaled to 0..255.
struct Channel
{
    quint32 mask = 0;
    int shift = 0;
    quint32 max = 0;

    explicit Channel(quint32 m = 0) : mask(m)
    {
        if (!mask)
            return;
        while (!((mask >> shift) & 1u))
            ++shift;
        max = mask >> shift;
    }
    int value(quint32 pixel) const
    {
        if (!max)
            return 255;
        return int(quint64((pixel & mask) >> shift) * 255 / max);
    }
};

} // namespace

bool BmpDecoder::canDecode(const QByteArray &data)
{
    return data.startsWith("BM");
}

bool BmpDecoder::decode(const QByteArray &data, GreyImage &image, QString *errorText)
{
    const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
    const qint64 size = data.size();
    if (size < 26 || !canDecode(data))
        return fail(errorText, QStringLiteral("Not a BMP file"));

    const quint32 pixelOffset = qFromLittleEndian<quint32>(bytes + 10);
    const quint32 headerSize = qFromLittleEndian<quint32>(bytes + 14);
    if (headerSize != 12 && headerSize < 40)
        return fail(errorText, QStringLiteral("Unsupported BMP header of %1 bytes").arg(headerSize));
    if (14 + qint64(headerSize) > size)
        return fail(errorText, QStringLiteral("Truncated BMP header"));

    qint64 width = 0;
    qint64 height = 0;
    int bitCount = 0;
    quint32 compression = 0;
    quint32 coloursUsed = 0;
    int paletteEntrySize = 4;
    if (headerSize == 12) {
        width = qFromLittleEndian<quint16>(bytes + 18);
        height = qFromLittleEndian<quint16>(bytes + 20);
        bitCount = qFromLittleEndian<quint16>(bytes + 24);
        paletteEntrySize = 3;
    } else {
        width = qFromLittleEndian<qint32>(bytes + 18);
        height = qFromLittleEndian<qint32>(bytes + 22);
        bitCount = qFromLittleEndian<quint16>(bytes + 28);
        compression = qFromLittleEndian<quint32>(bytes + 30);
        coloursUsed = qFromLittleEndian<quint32>(bytes + 46);
    }
    const bool topDown = height < 0;
    if (topDown)
        height = -height;
    if (!GreyImage::checkSize(width, height, errorText))
        return false;

    // Compression 0 is plain pixels, 3 and 6 are pixels described by masks.
    const bool bitFields = compression == 3 || compression == 6;
    if (compression != 0 && !bitFields)
        return fail(errorText, QStringLiteral("Compressed BMP files are not supported (method %1)").arg(compression));
    if (bitFields ? (bitCount != 16 && bitCount != 32)
                  : (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16
                     && bitCount != 24 && bitCount != 32))
        return fail(errorText, QStringLiteral("Unsupported BMP depth of %1 bits").arg(bitCount));

    qint64 tableOffset = 14 + qint64(headerSize);
    Channel red, green, blue, alpha;
    if (bitFields) {
        // A plain info header is followed by the masks; later headers hold them.
        const int maskCount = compression == 6 ? 4 : 3;
        const qint64 maskOffset = 14 + 40;
        if (headerSize == 40)
            tableOffset += 4 * maskCount;
        if (maskOffset + 4 * maskCount > size)
            return fail(errorText, QStringLiteral("Truncated BMP colour masks"));
        red = Channel(qFromLittleEndian<quint32>(bytes + maskOffset));
        green = Channel(qFromLittleEndian<quint32>(bytes + maskOffset + 4));
        blue = Channel(qFromLittleEndian<quint32>(bytes + maskOffset + 8));
        if (maskCount == 4 || (headerSize >= 56 && maskOffset + 16 <= size))
            alpha = Channel(qFromLittleEndian<quint32>(bytes + maskOffset + 12));
    } else if (bitCount == 16) {
        red = Channel(0x7c00);
        green = Channel(0x03e0);
        blue = Channel(0x001f);
    }

    QVector<uchar> palette;
    if (bitCount <= 8) {
        const qint64 maxColours = qint64(1) << bitCount;
        const qint64 colours = (coloursUsed == 0 || coloursUsed > maxColours) ? maxColours : coloursUsed;
        if (tableOffset + colours * paletteEntrySize > size)
            return fail(errorText, QStringLiteral("Truncated BMP colour table"));
        palette.resize(int(maxColours));
        palette.fill(0);
        for (qint64 i = 0; i < colours; ++i) {
            const uchar *entry = bytes + tableOffset + i * paletteEntrySize;
            palette[int(i)] = uchar(GreyImage::luminance(entry[2], entry[1], entry[0]));
        }
    }

    const qint64 stride = ((width * bitCount + 31) / 32) * 4;
    if (qint64(pixelOffset) + stride * height > size)
        return fail(errorText, QStringLiteral("Truncated BMP pixel data"));

    image.width = int(width);
    image.height = int(height);
    image.pixels.resize(int(width * height));
    auto *out = reinterpret_cast<uchar *>(image.pixels.data());
    for (qint64 y = 0; y < height; ++y) {
        const uchar *row = bytes + pixelOffset + stride * (topDown ? y : height - 1 - y);
        uchar *dest = out + y * width;
        for (qint64 x = 0; x < width; ++x) {
            switch (bitCount) {
            case 1:
                dest[x] = palette[(row[x >> 3] >> (7 - (x & 7))) & 1];
                break;
            case 4:
                dest[x] = palette[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0f];
                break;
            case 8:
                dest[x] = palette[row[x]];
                break;
            case 24:
                dest[x] = uchar(GreyImage::luminance(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]));
                break;
            case 32:
                if (!bitFields) {
                    // The fourth byte of plain 32-bit pixels is unused.
                    dest[x] = uchar(GreyImage::luminance(row[x * 4 + 2], row[x * 4 + 1], row[x * 4]));
                    break;
                }
                Q_FALLTHROUGH();
            default: {
                const quint32 pixel = bitCount == 16 ? qFromLittleEndian<quint16>(row + x * 2)
                                                     : qFromLittleEndian<quint32>(row + x * 4);
                const int grey = GreyImage::luminance(red.value(pixel), green.value(pixel), blue.value(pixel));
                dest[x] = uchar(alpha.mask ? GreyImage::overWhite(grey, alpha.value(pixel)) : grey);
                break;
            }
            }
        }
    }
    return true;
}

} // namespace frprint
