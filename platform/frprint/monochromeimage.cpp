#include "monochromeimage.h"

#include "bmpdecoder_p.h"
#include "greyimage_p.h"
#include "pngdecoder_p.h"

#include <QFile>
#include <QFileInfo>

namespace frprint {

namespace {

bool fail(QString *errorText, const QString &text)
{
    if (errorText)
        *errorText = text;
    return false;
}

} // namespace

bool MonochromeImage::load(const QString &fileName, QString *errorText)
{
    *this = MonochromeImage();
    const QFileInfo info(fileName);
    if (!info.isFile())
        return fail(errorText, QStringLiteral("Picture file %1 does not exist").arg(fileName));
    if (info.size() > MAX_FILE_SIZE)
        return fail(errorText, QStringLiteral("Picture file %1 is too large").arg(fileName));
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return fail(errorText, QStringLiteral("Cannot read picture file %1: %2").arg(fileName, file.errorString()));
    const QByteArray data = file.read(MAX_FILE_SIZE + 1);
    if (data.size() > MAX_FILE_SIZE)
        return fail(errorText, QStringLiteral("Picture file %1 is too large").arg(fileName));
    QString reason;
    if (!loadFromData(data, &reason))
        return fail(errorText, QStringLiteral("%1: %2").arg(fileName, reason));
    m_fileName = info.absoluteFilePath();
    return true;
}

bool MonochromeImage::loadFromData(const QByteArray &data, QString *errorText)
{
    GreyImage grey;
    bool decoded = false;
    if (PngDecoder::canDecode(data))
        decoded = PngDecoder::decode(data, grey, errorText);
    else if (BmpDecoder::canDecode(data))
        decoded = BmpDecoder::decode(data, grey, errorText);
    else
        return fail(errorText, QStringLiteral("Not a PNG or BMP picture"));
    if (!decoded)
        return false;

    m_width = grey.width;
    m_height = grey.height;
    const int stride = bytesPerLine();
    m_bits = QByteArray(stride * m_height, '\0');
    const auto *in = reinterpret_cast<const uchar *>(grey.pixels.constData());
    auto *out = reinterpret_cast<uchar *>(m_bits.data());
    for (int y = 0; y < m_height; ++y) {
        for (int x = 0; x < m_width; ++x) {
            if (in[qint64(y) * m_width + x] < THRESHOLD)
                out[y * stride + (x >> 3)] |= uchar(0x80 >> (x & 7));
        }
    }
    return true;
}

bool MonochromeImage::pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return false;
    return (uchar(m_bits.at(y * bytesPerLine() + (x >> 3))) >> (7 - (x & 7))) & 1;
}

QVariantMap MonochromeImage::toMap() const
{
    return {
        {QStringLiteral("fileName"), m_fileName},
        {QStringLiteral("width"), m_width},
        {QStringLiteral("height"), m_height},
        {QStringLiteral("bits"), QString::fromLatin1(m_bits.toBase64())},
    };
}

MonochromeImage MonochromeImage::fromMap(const QVariantMap &map, bool *ok, QString *errorText)
{
    MonochromeImage image;
    if (ok)
        *ok = false;
    bool widthOk = false;
    bool heightOk = false;
    const int width = map.value(QStringLiteral("width"), 0).toInt(&widthOk);
    const int height = map.value(QStringLiteral("height"), 0).toInt(&heightOk);
    const auto decoded = QByteArray::fromBase64Encoding(map.value(QStringLiteral("bits")).toString().toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!widthOk || !heightOk || width < 0 || height < 0 || (width == 0) != (height == 0)) {
        fail(errorText, QStringLiteral("Invalid picture size"));
        return MonochromeImage();
    }
    if (width > 0 && !GreyImage::checkSize(width, height, errorText))
        return MonochromeImage();
    if (!decoded) {
        fail(errorText, QStringLiteral("Picture bits are not Base64"));
        return MonochromeImage();
    }
    image.m_width = width;
    image.m_height = height;
    if (decoded.decoded.size() != image.bytesPerLine() * height) {
        fail(errorText, QStringLiteral("Picture bits do not match its size %1 x %2").arg(width).arg(height));
        return MonochromeImage();
    }
    image.m_bits = decoded.decoded;
    image.m_fileName = map.value(QStringLiteral("fileName")).toString();
    if (ok)
        *ok = true;
    return image;
}

bool MonochromeImage::operator==(const MonochromeImage &other) const
{
    return m_fileName == other.m_fileName && m_width == other.m_width && m_height == other.m_height
            && m_bits == other.m_bits;
}

} // namespace frprint
