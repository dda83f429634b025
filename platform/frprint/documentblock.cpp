#include "documentblock.h"

namespace frprint {

namespace {

const QString kType = QStringLiteral("type");
const QString kLines = QStringLiteral("lines");
const QString kAlignment = QStringLiteral("alignment");
const QString kFont = QStringLiteral("font");
const QString kAttributes = QStringLiteral("attributes");
const QString kIndent = QStringLiteral("indent");
const QString kWidth = QStringLiteral("width");
const QString kImage = QStringLiteral("image");
const QString kBarcodeType = QStringLiteral("barcodeType");
const QString kBarcode = QStringLiteral("barcode");

// Bounds that keep a hostile map from asking for absurd layouts.
constexpr int MAX_INDENT = 255;
constexpr int MAX_WIDTH = 1024;
constexpr int MAX_FONT = 255;

bool fail(QString *errorText, const QString &text)
{
    if (errorText)
        *errorText = text;
    return false;
}

bool readInt(const QVariantMap &map, const QString &key, int min, int max, int &value, QString *errorText)
{
    if (!map.contains(key)) {
        value = min;
        return true;
    }
    bool ok = false;
    const qlonglong number = map.value(key).toLongLong(&ok);
    if (!ok || number < min || number > max)
        return fail(errorText, QStringLiteral("Print block value \"%1\" is not a number from %2 to %3")
                                       .arg(key).arg(min).arg(max));
    value = int(number);
    return true;
}

// Cuts one line into pieces of at most `width` characters, breaking at the
// last blank that fits; a word longer than the line is cut. Works on
// positions so that a very long line costs linear time.
void wrapLine(const QString &line, int width, QStringList &out)
{
    const int size = line.size();
    int pos = 0;
    while (size - pos > width) {
        int space = pos + width;
        while (space > pos && line.at(space) != QLatin1Char(' '))
            --space;
        int pieceEnd = space;
        while (pieceEnd > pos && line.at(pieceEnd - 1) == QLatin1Char(' '))
            --pieceEnd;
        if (space == pos || pieceEnd == pos) {
            // No blank after the first character: cut the word.
            out.append(line.mid(pos, width));
            pos += width;
            continue;
        }
        out.append(line.mid(pos, pieceEnd - pos));
        pos = space;
        while (pos < size && line.at(pos) == QLatin1Char(' '))
            ++pos;
    }
    if (pos < size || out.isEmpty())
        out.append(line.mid(pos));
}

} // namespace

DocumentBlock DocumentBlock::createSimpleBlock(const QStringList &lines, int alignment, int font, int attributes,
                                               int indent, int width)
{
    DocumentBlock block;
    block.m_type = TextBlock;
    block.m_lines = lines;
    block.m_alignment = alignment;
    block.m_font = font;
    block.m_attributes = attributes;
    block.m_indent = qBound(0, indent, MAX_INDENT);
    block.m_width = qBound(0, width, MAX_WIDTH);
    return block;
}

DocumentBlock DocumentBlock::createImageBlock(const MonochromeImage &image, int alignment)
{
    DocumentBlock block;
    block.m_type = ImageBlock;
    block.m_image = image;
    block.m_alignment = alignment;
    return block;
}

DocumentBlock DocumentBlock::createBarcodeBlock(int barcodeType, const QByteArray &data)
{
    DocumentBlock block;
    block.m_type = BarcodeBlock;
    block.m_barcodeType = barcodeType;
    block.m_barcode = data;
    return block;
}

DocumentBlock DocumentBlock::createQrCodeBlock(const QByteArray &data)
{
    DocumentBlock block;
    block.m_type = QrCodeBlock;
    block.m_barcode = data;
    return block;
}

QStringList DocumentBlock::toStringList(int width) const
{
    if (m_type != TextBlock)
        return {};
    int lineWidth = width > 0 ? width : m_width;
    if (lineWidth <= 0)
        return m_lines;
    if (m_attributes & AttrBig)
        lineWidth = qMax(1, lineWidth / 2);
    const QString indent(qMin(m_indent, lineWidth - 1), QLatin1Char(' '));
    const int textWidth = lineWidth - indent.size();

    QStringList result;
    for (const QString &line : m_lines) {
        QStringList pieces;
        wrapLine(line, textWidth, pieces);
        for (const QString &piece : pieces) {
            const int free = textWidth - piece.size();
            switch (m_alignment) {
            case AlignCenter:
                result.append(indent + QString(free / 2, QLatin1Char(' ')) + piece);
                break;
            case AlignRight:
                result.append(indent + QString(free, QLatin1Char(' ')) + piece);
                break;
            default:
                result.append(indent + piece);
                break;
            }
        }
    }
    return result;
}

QVariantMap DocumentBlock::toMap() const
{
    QVariantMap map { { kType, int(m_type) } };
    switch (m_type) {
    case TextBlock:
        map.insert(kLines, m_lines);
        map.insert(kAlignment, m_alignment);
        map.insert(kFont, m_font);
        map.insert(kAttributes, m_attributes);
        map.insert(kIndent, m_indent);
        map.insert(kWidth, m_width);
        break;
    case ImageBlock:
        map.insert(kImage, m_image.toMap());
        map.insert(kAlignment, m_alignment);
        break;
    case BarcodeBlock:
        map.insert(kBarcodeType, m_barcodeType);
        map.insert(kBarcode, QString::fromLatin1(m_barcode.toBase64()));
        break;
    case QrCodeBlock:
        map.insert(kBarcode, QString::fromLatin1(m_barcode.toBase64()));
        break;
    case EmptyBlock:
        break;
    }
    return map;
}

bool DocumentBlock::setMap(const QVariantMap &map, QString *errorText)
{
    int type = 0;
    if (!readInt(map, kType, EmptyBlock, QrCodeBlock, type, errorText))
        return false;
    DocumentBlock block;
    block.m_type = BlockType(type);
    switch (block.m_type) {
    case TextBlock: {
        const QVariant lines = map.value(kLines);
        if (lines.isValid() && !lines.canConvert<QStringList>())
            return fail(errorText, QStringLiteral("Print block lines are not a list of texts"));
        for (const QVariant &line : lines.toList()) {
            if (line.userType() == QMetaType::QVariantMap || line.userType() == QMetaType::QVariantList)
                return fail(errorText, QStringLiteral("Print block lines are not a list of texts"));
        }
        block.m_lines = lines.toStringList();
        if (!readInt(map, kAlignment, AlignLeft, AlignAsIs, block.m_alignment, errorText)
            || !readInt(map, kFont, 0, MAX_FONT, block.m_font, errorText)
            || !readInt(map, kAttributes, AttrNone, AttrBold | AttrItalic | AttrUnderline | AttrBig,
                        block.m_attributes, errorText)
            || !readInt(map, kIndent, 0, MAX_INDENT, block.m_indent, errorText)
            || !readInt(map, kWidth, 0, MAX_WIDTH, block.m_width, errorText))
            return false;
        break;
    }
    case ImageBlock: {
        bool ok = false;
        block.m_image = MonochromeImage::fromMap(map.value(kImage).toMap(), &ok, errorText);
        if (!ok)
            return false;
        if (!readInt(map, kAlignment, AlignLeft, AlignAsIs, block.m_alignment, errorText))
            return false;
        break;
    }
    case BarcodeBlock:
        if (!readInt(map, kBarcodeType, MIN_BARCODE_TYPE, MAX_BARCODE_TYPE, block.m_barcodeType, errorText))
            return false;
        Q_FALLTHROUGH();
    case QrCodeBlock: {
        const auto decoded = QByteArray::fromBase64Encoding(map.value(kBarcode).toString().toLatin1(),
                                                            QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return fail(errorText, QStringLiteral("Barcode data is not Base64"));
        block.m_barcode = decoded.decoded;
        break;
    }
    case EmptyBlock:
        break;
    }
    *this = block;
    return true;
}

bool DocumentBlock::operator==(const DocumentBlock &other) const
{
    return m_type == other.m_type && m_lines == other.m_lines && m_alignment == other.m_alignment
        && m_font == other.m_font && m_attributes == other.m_attributes && m_indent == other.m_indent
        && m_width == other.m_width && m_image == other.m_image && m_barcode == other.m_barcode
        && m_barcodeType == other.m_barcodeType;
}

} // namespace frprint
