#ifndef FRPRINT_MONOCHROMEIMAGE_H
#define FRPRINT_MONOCHROMEIMAGE_H

#include <QByteArray>
#include <QString>
#include <QVariantMap>

namespace frprint {

// A stored picture (PNG or BMP) reduced to one bit per pixel for a receipt
// printer. Rows run top to bottom, each padded to whole bytes, the leftmost
// pixel in the highest bit; a set bit is a printed (black) dot.
class MonochromeImage
{
public:
    // Files larger than this are refused before they are read.
    static constexpr qint64 MAX_FILE_SIZE = 16 * 1024 * 1024;
    // Luminance below this prints as a dot.
    static constexpr int THRESHOLD = 128;

    MonochromeImage() = default;

    // Reads and converts a picture file; the image keeps the file's absolute
    // path. On failure the image is left null and errorText says why.
    bool load(const QString &fileName, QString *errorText = nullptr);
    // Converts PNG or BMP bytes; the file name is left as it was.
    bool loadFromData(const QByteArray &data, QString *errorText = nullptr);

    bool isNull() const { return m_width == 0 || m_height == 0; }
    QString fileName() const { return m_fileName; }
    void setFileName(const QString &fileName) { m_fileName = fileName; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    int bytesPerLine() const { return (m_width + 7) / 8; }
    QByteArray bits() const { return m_bits; }
    bool pixel(int x, int y) const;

    // "fileName", "width", "height" and "bits" (Base64 text).
    QVariantMap toMap() const;
    static MonochromeImage fromMap(const QVariantMap &map, bool *ok = nullptr, QString *errorText = nullptr);

    bool operator==(const MonochromeImage &other) const;
    bool operator!=(const MonochromeImage &other) const { return !(*this == other); }

private:
    QString m_fileName;
    int m_width = 0;
    int m_height = 0;
    QByteArray m_bits;
};

} // namespace frprint

#endif
