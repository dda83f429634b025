#ifndef FRPRINT_DOCUMENTBLOCK_H
#define FRPRINT_DOCUMENTBLOCK_H

#include "monochromeimage.h"

#include <QByteArray>
#include <QMetaType>
#include <QStringList>
#include <QVariantMap>

namespace frprint {

// One piece of a print document: lines of text sharing one alignment and
// font, a picture, a barcode or a QR code.
class DocumentBlock
{
public:
    enum BlockType : int { EmptyBlock = 0, TextBlock = 1, ImageBlock = 2, BarcodeBlock = 3, QrCodeBlock = 4 };

    // AlignAsIs leaves the lines where the text puts them (leading blanks
    // and tabs included); the other values place each line on the paper.
    enum Alignment : int { AlignLeft = 0, AlignCenter = 1, AlignRight = 2, AlignAsIs = 3 };

    enum Attribute : int {
        AttrNone = 0x00,
        AttrBold = 0x01,
        AttrItalic = 0x02,
        AttrUnderline = 0x04,
        // Double width and height: a line holds half as many characters.
        AttrBig = 0x08
    };

    // Barcode symbologies of barCodeType().
    enum BarcodeType : int {
        BarcodeUpcA = 1,
        BarcodeUpcE = 2,
        BarcodeEan8 = 3,
        BarcodeItf14 = 4,
        BarcodeCodabar = 5,
        BarcodeCode93 = 6,
        BarcodeCode128 = 7,
        BarcodeEan13 = 8,
        BarcodeCode39 = 9,
        BarcodePdf417 = 10
    };
    static constexpr int MIN_BARCODE_TYPE = BarcodeUpcA;
    static constexpr int MAX_BARCODE_TYPE = BarcodePdf417;

    DocumentBlock() = default;

    // A text block. font is the printer's font number, attributes the
    // Attribute bits, indent the blanks put before every printed line and
    // width the line length the text was laid out for (0: none).
    static DocumentBlock createSimpleBlock(const QStringList &lines, int alignment, int font, int attributes,
                                           int indent, int width);
    static DocumentBlock createImageBlock(const MonochromeImage &image, int alignment = AlignCenter);
    static DocumentBlock createBarcodeBlock(int barcodeType, const QByteArray &data);
    static DocumentBlock createQrCodeBlock(const QByteArray &data);

    BlockType type() const { return m_type; }
    bool isEmpty() const { return m_type == EmptyBlock; }
    bool isText() const { return m_type == TextBlock; }
    bool isImage() const { return m_type == ImageBlock; }
    bool isBarcode() const { return m_type == BarcodeBlock; }
    bool isQrCode() const { return m_type == QrCodeBlock; }

    QStringList lines() const { return m_lines; }
    int alignment() const { return m_alignment; }
    int font() const { return m_font; }
    int attributes() const { return m_attributes; }
    int indent() const { return m_indent; }
    int width() const { return m_width; }
    MonochromeImage img() const { return m_image; }
    QByteArray barcode() const { return m_barcode; }
    int barCodeType() const { return m_barcodeType; }

    // The text lines laid out for a line of `width` characters: wrapped at
    // blanks (a word longer than a line is cut), indented and aligned. A
    // width of 0 or less uses the block's own width; with neither the lines
    // come back as they are. Blocks without text give an empty list.
    QStringList toStringList(int width) const;

    // "type", then per type "lines", "alignment", "font", "attributes",
    // "indent", "width" / "image", "alignment" / "barcodeType", "barcode"
    // (the data as Base64 text).
    QVariantMap toMap() const;
    // Reads a map made by toMap(); false with errorText, leaving the block
    // unchanged, when the map is not a valid block.
    bool setMap(const QVariantMap &map, QString *errorText = nullptr);

    bool operator==(const DocumentBlock &other) const;
    bool operator!=(const DocumentBlock &other) const { return !(*this == other); }

private:
    BlockType m_type = EmptyBlock;
    QStringList m_lines;
    int m_alignment = AlignLeft;
    int m_font = 0;
    int m_attributes = AttrNone;
    int m_indent = 0;
    int m_width = 0;
    MonochromeImage m_image;
    QByteArray m_barcode;
    int m_barcodeType = 0;
};

} // namespace frprint

Q_DECLARE_METATYPE(frprint::DocumentBlock)

#endif
