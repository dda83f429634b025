#include "pngdecoder_p.h"

#include <QVector>
#include <QtEndian>

#include <zlib.h>

#include <cstdlib>

namespace frprint {

namespace {

const char SIGNATURE[] = "\x89PNG\r\n\x1a\n";

bool fail(QString *errorText, const QString &text)
{
    if (errorText)
        *errorText = text;
    return false;
}

struct Header
{
    qint64 width = 0;
    qint64 height = 0;
    int depth = 0;
    int colourType = 0;
    int channels = 0;
};

bool checkHeader(const uchar *data, Header &header, QString *errorText)
{
    header.width = qFromBigEndian<quint32>(data);
    header.height = qFromBigEndian<quint32>(data + 4);
    header.depth = data[8];
    header.colourType = data[9];
    if (data[10] != 0 || data[11] != 0)
        return fail(errorText, QStringLiteral("Unknown PNG compression or filter method"));
    if (data[12] != 0)
        return fail(errorText, QStringLiteral("Interlaced PNG pictures are not supported"));
    const int depth = header.depth;
    bool depthOk = false;
    switch (header.colourType) {
    case 0:
        header.channels = 1;
        depthOk = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        break;
    case 3:
        header.channels = 1;
        depthOk = depth == 1 || depth == 2 || depth == 4 || depth == 8;
        break;
    case 2:
    case 4:
    case 6:
        header.channels = header.colourType == 2 ? 3 : header.colourType == 4 ? 2 : 4;
        depthOk = depth == 8 || depth == 16;
        break;
    default:
        return fail(errorText, QStringLiteral("Unknown PNG colour type %1").arg(header.colourType));
    }
    if (!depthOk)
        return fail(errorText, QStringLiteral("Invalid PNG depth %1 for colour type %2")
                                       .arg(depth).arg(header.colourType));
    return GreyImage::checkSize(header.width, header.height, errorText);
}

bool inflateAll(const QByteArray &compressed, QByteArray &raw, QString *errorText)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return fail(errorText, QStringLiteral("Cannot start the PNG decompressor"));
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.constData()));
    stream.avail_in = uInt(compressed.size());
    stream.next_out = reinterpret_cast<Bytef *>(raw.data());
    stream.avail_out = uInt(raw.size());
    int result = Z_OK;
    while (result == Z_OK && stream.avail_out > 0)
        result = inflate(&stream, Z_NO_FLUSH);
    inflateEnd(&stream);
    // Output is bounded by the buffer, so a stream that inflates to more than
    // the picture needs cannot use up memory; its tail is simply not read.
    if (stream.avail_out == 0 && (result == Z_OK || result == Z_STREAM_END))
        return true;
    if (result == Z_STREAM_END || result == Z_BUF_ERROR)
        return fail(errorText, QStringLiteral("Truncated PNG pixel data"));
    return fail(errorText, QStringLiteral("Corrupt PNG pixel data"));
}

int paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc)
        return a;
    return pb <= pc ? b : c;
}

bool unfilter(QByteArray &raw, qint64 height, qint64 rowBytes, int pixelBytes, QString *errorText)
{
    auto *data = reinterpret_cast<uchar *>(raw.data());
    const uchar *previous = nullptr;
    for (qint64 y = 0; y < height; ++y) {
        uchar *line = data + y * (rowBytes + 1);
        const int filter = line[0];
        uchar *row = line + 1;
        for (qint64 i = 0; i < rowBytes; ++i) {
            const int left = i >= pixelBytes ? row[i - pixelBytes] : 0;
            const int up = previous ? previous[i] : 0;
            const int upLeft = (previous && i >= pixelBytes) ? previous[i - pixelBytes] : 0;
            switch (filter) {
            case 0: break;
            case 1: row[i] = uchar(row[i] + left); break;
            case 2: row[i] = uchar(row[i] + up); break;
            case 3: row[i] = uchar(row[i] + ((left + up) >> 1)); break;
            case 4: row[i] = uchar(row[i] + paeth(left, up, upLeft)); break;
            default:
                return fail(errorText, QStringLiteral("Unknown PNG row filter %1").arg(filter));
            }
        }
        previous = row;
    }
    return true;
}

} // namespace

bool PngDecoder::canDecode(const QByteArray &data)
{
    return data.startsWith(QByteArray::fromRawData(SIGNATURE, 8));
}

bool PngDecoder::decode(const QByteArray &data, GreyImage &image, QString *errorText)
{
    if (!canDecode(data))
        return fail(errorText, QStringLiteral("Not a PNG file"));
    const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
    const qint64 size = data.size();

    Header header;
    bool haveHeader = false;
    bool ended = false;
    QVector<uchar> paletteGrey;
    QVector<uchar> paletteAlpha;
    QByteArray transparent;
    QByteArray compressed;
    for (qint64 pos = 8; !ended;) {
        if (pos + 12 > size)
            return fail(errorText, QStringLiteral("Truncated PNG file"));
        const qint64 length = qFromBigEndian<quint32>(bytes + pos);
        const QByteArray type = data.mid(int(pos + 4), 4);
        if (length > size - pos - 12)
            return fail(errorText, QStringLiteral("Truncated PNG chunk %1").arg(QString::fromLatin1(type)));
        const uchar *body = bytes + pos + 8;
        const quint32 crc = quint32(crc32(crc32(0L, Z_NULL, 0), bytes + pos + 4, uInt(length + 4)));
        if (crc != qFromBigEndian<quint32>(body + length))
            return fail(errorText, QStringLiteral("Damaged PNG chunk %1").arg(QString::fromLatin1(type)));
        pos += length + 12;

        if (!haveHeader && type != "IHDR")
            return fail(errorText, QStringLiteral("PNG file does not start with its header"));
        if (type == "IHDR") {
            if (haveHeader || length != 13)
                return fail(errorText, QStringLiteral("Invalid PNG header"));
            if (!checkHeader(body, header, errorText))
                return false;
            haveHeader = true;
        } else if (type == "PLTE") {
            if (length % 3 != 0 || length / 3 > 256)
                return fail(errorText, QStringLiteral("Invalid PNG palette"));
            paletteGrey.clear();
            for (qint64 i = 0; i < length; i += 3)
                paletteGrey.append(uchar(GreyImage::luminance(body[i], body[i + 1], body[i + 2])));
        } else if (type == "tRNS") {
            if (header.colourType == 3)
                paletteAlpha = QVector<uchar>(body, body + qMin<qint64>(length, 256));
            else if ((header.colourType == 0 && length == 2) || (header.colourType == 2 && length == 6))
                transparent = QByteArray(reinterpret_cast<const char *>(body), int(length));
        } else if (type == "IDAT") {
            if (compressed.size() + length > 256 * 1024 * 1024)
                return fail(errorText, QStringLiteral("PNG pixel data is too large"));
            compressed.append(reinterpret_cast<const char *>(body), int(length));
        } else if (type == "IEND") {
            ended = true;
        } else if (!(type.at(0) & 0x20)) {
            // Lower-case first letter marks a chunk that may be ignored.
            return fail(errorText, QStringLiteral("Unknown critical PNG chunk %1").arg(QString::fromLatin1(type)));
        }
    }
    if (compressed.isEmpty())
        return fail(errorText, QStringLiteral("PNG file has no pixel data"));
    if (header.colourType == 3 && paletteGrey.isEmpty())
        return fail(errorText, QStringLiteral("PNG palette picture has no palette"));

    const int bitsPerPixel = header.channels * header.depth;
    const qint64 rowBytes = (header.width * bitsPerPixel + 7) / 8;
    QByteArray raw((rowBytes + 1) * header.height, Qt::Uninitialized);
    if (!inflateAll(compressed, raw, errorText))
        return false;
    if (!unfilter(raw, header.height, rowBytes, qMax(1, bitsPerPixel / 8), errorText))
        return false;

    const auto *rawBytes = reinterpret_cast<const uchar *>(raw.constData());
    const bool wide = header.depth == 16;
    const int maxSample = (1 << header.depth) - 1;
    image.width = int(header.width);
    image.height = int(header.height);
    image.pixels.resize(int(header.width * header.height));
    auto *out = reinterpret_cast<uchar *>(image.pixels.data());
    for (qint64 y = 0; y < header.height; ++y) {
        const uchar *row = rawBytes + y * (rowBytes + 1) + 1;
        // Reads sample number n of the row at full precision.
        auto sample = [&](qint64 n) -> int {
            if (wide)
                return (row[n * 2] << 8) | row[n * 2 + 1];
            if (header.depth == 8)
                return row[n];
            const qint64 bit = n * header.depth;
            return (row[bit >> 3] >> (8 - header.depth - (bit & 7))) & maxSample;
        };
        auto to8 = [&](int value) { return wide ? value >> 8 : value * 255 / maxSample; };
        for (qint64 x = 0; x < header.width; ++x) {
            const qint64 first = x * header.channels;
            int grey = 0;
            int alpha = 255;
            switch (header.colourType) {
            case 0: {
                const int value = sample(first);
                grey = to8(value);
                if (transparent.size() == 2 && value == qFromBigEndian<quint16>(transparent.constData()))
                    alpha = 0;
                break;
            }
            case 3: {
                const int index = sample(first);
                grey = index < paletteGrey.size() ? paletteGrey.at(index) : 0;
                alpha = index < paletteAlpha.size() ? paletteAlpha.at(index) : 255;
                break;
            }
            case 2: {
                const int r = sample(first), g = sample(first + 1), b = sample(first + 2);
                grey = GreyImage::luminance(to8(r), to8(g), to8(b));
                if (transparent.size() == 6) {
                    const auto *t = transparent.constData();
                    if (r == qFromBigEndian<quint16>(t) && g == qFromBigEndian<quint16>(t + 2)
                        && b == qFromBigEndian<quint16>(t + 4))
                        alpha = 0;
                }
                break;
            }
            case 4:
                grey = to8(sample(first));
                alpha = to8(sample(first + 1));
                break;
            default:
                grey = GreyImage::luminance(to8(sample(first)), to8(sample(first + 1)), to8(sample(first + 2)));
                alpha = to8(sample(first + 3));
                break;
            }
            out[y * header.width + x] = uchar(GreyImage::overWhite(grey, alpha));
        }
    }
    return true;
}

} // namespace frprint
