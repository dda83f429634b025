#ifndef TESTIMAGES_H
#define TESTIMAGES_H

#include <QByteArray>
#include <QtEndian>

#include <functional>

#include <zlib.h>

// Picture files built byte by byte, so the decoders are checked against
// the file formats rather than against another decoder.
namespace testimages {

using Pixel = std::function<quint32(int x, int y)>; // 0xAARRGGBB

inline void appendLe32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

inline void appendLe16(QByteArray &out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

inline void appendBe32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    out.append(bytes, 4);
}

// Bottom-up 24-bit BMP with a 40-byte info header.
inline QByteArray bmp24(int width, int height, const Pixel &pixel)
{
    const int stride = ((width * 24 + 31) / 32) * 4;
    QByteArray out("BM");
    appendLe32(out, quint32(54 + stride * height));
    appendLe32(out, 0);
    appendLe32(out, 54);
    appendLe32(out, 40);
    appendLe32(out, quint32(width));
    appendLe32(out, quint32(height));
    appendLe16(out, 1);
    appendLe16(out, 24);
    for (int i = 0; i < 6; ++i)
        appendLe32(out, 0);
    for (int y = height - 1; y >= 0; --y) {
        QByteArray row;
        for (int x = 0; x < width; ++x) {
            const quint32 p = pixel(x, y);
            row.append(char(p & 0xff)).append(char((p >> 8) & 0xff)).append(char((p >> 16) & 0xff));
        }
        row.append(QByteArray(stride - row.size(), '\0'));
        out.append(row);
    }
    return out;
}

// Top-down 1-bit BMP with a two-colour palette (0 white, 1 black).
inline QByteArray bmp1(int width, int height, const std::function<bool(int, int)> &black)
{
    const int stride = ((width + 31) / 32) * 4;
    QByteArray out("BM");
    appendLe32(out, quint32(62 + stride * height));
    appendLe32(out, 0);
    appendLe32(out, 62);
    appendLe32(out, 40);
    appendLe32(out, quint32(width));
    appendLe32(out, quint32(-height));
    appendLe16(out, 1);
    appendLe16(out, 1);
    for (int i = 0; i < 6; ++i)
        appendLe32(out, 0);
    appendLe32(out, 0x00ffffff);
    appendLe32(out, 0x00000000);
    for (int y = 0; y < height; ++y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < width; ++x) {
            if (black(x, y))
                row[x >> 3] = char(uchar(row.at(x >> 3)) | (0x80 >> (x & 7)));
        }
        out.append(row);
    }
    return out;
}

inline void appendChunk(QByteArray &out, const char *type, const QByteArray &body)
{
    appendBe32(out, quint32(body.size()));
    const QByteArray typed = QByteArray(type, 4) + body;
    out.append(typed);
    appendBe32(out, quint32(crc32(0L, reinterpret_cast<const Bytef *>(typed.constData()), uInt(typed.size()))));
}

// 8-bit RGBA PNG; every row uses filter `filter` (0 none .. 4 Paeth),
// encoded here so the decoder's unfiltering is exercised.
inline QByteArray pngRgba(int width, int height, const Pixel &pixel, int filter = 0)
{
    QByteArray raw;
    QByteArray previous(width * 4, '\0');
    for (int y = 0; y < height; ++y) {
        QByteArray row;
        for (int x = 0; x < width; ++x) {
            const quint32 p = pixel(x, y);
            row.append(char((p >> 16) & 0xff)).append(char((p >> 8) & 0xff)).append(char(p & 0xff))
                .append(char(p >> 24));
        }
        raw.append(char(filter));
        for (int i = 0; i < row.size(); ++i) {
            const int cur = uchar(row.at(i));
            const int left = i >= 4 ? uchar(row.at(i - 4)) : 0;
            const int up = uchar(previous.at(i));
            const int upLeft = i >= 4 ? uchar(previous.at(i - 4)) : 0;
            int predictor = 0;
            switch (filter) {
            case 1: predictor = left; break;
            case 2: predictor = up; break;
            case 3: predictor = (left + up) / 2; break;
            case 4: {
                const int p = left + up - upLeft;
                const int pa = qAbs(p - left), pb = qAbs(p - up), pc = qAbs(p - upLeft);
                predictor = (pa <= pb && pa <= pc) ? left : (pb <= pc ? up : upLeft);
                break;
            }
            default: break;
            }
            raw.append(char(uchar(cur - predictor)));
        }
        previous = row;
    }
    uLongf size = compressBound(uLong(raw.size()));
    QByteArray compressed(int(size), '\0');
    compress(reinterpret_cast<Bytef *>(compressed.data()), &size, reinterpret_cast<const Bytef *>(raw.constData()),
             uLong(raw.size()));
    compressed.resize(int(size));

    QByteArray out("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    appendBe32(header, quint32(width));
    appendBe32(header, quint32(height));
    header.append(char(8)).append(char(6)).append(char(0)).append(char(0)).append(char(0));
    appendChunk(out, "IHDR", header);
    appendChunk(out, "tEXt", QByteArray("Comment\0test", 12));
    appendChunk(out, "IDAT", compressed);
    appendChunk(out, "IEND", QByteArray());
    return out;
}

} // namespace testimages

#endif
