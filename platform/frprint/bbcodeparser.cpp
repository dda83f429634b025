#include "bbcodeparser.h"

#include "frprintlog_p.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QVector>

#include <array>

namespace frprint {

namespace {

enum class TagKind { Attribute, Alignment, LineBreak, Rule, Image, Barcode, QrCode };

struct TagInfo
{
    const char *name;
    TagKind kind;
    int value;
};

const std::array<TagInfo, 12> TAGS = { {
    { "b", TagKind::Attribute, DocumentBlock::AttrBold },
    { "i", TagKind::Attribute, DocumentBlock::AttrItalic },
    { "u", TagKind::Attribute, DocumentBlock::AttrUnderline },
    { "big", TagKind::Attribute, DocumentBlock::AttrBig },
    { "left", TagKind::Alignment, DocumentBlock::AlignLeft },
    { "center", TagKind::Alignment, DocumentBlock::AlignCenter },
    { "right", TagKind::Alignment, DocumentBlock::AlignRight },
    { "br", TagKind::LineBreak, 0 },
    { "hr", TagKind::Rule, 0 },
    { "img", TagKind::Image, 0 },
    { "barcode", TagKind::Barcode, 0 },
    { "qr", TagKind::QrCode, 0 },
} };

const TagInfo *findTag(const QString &name)
{
    for (const TagInfo &tag : TAGS) {
        if (name == QLatin1String(tag.name))
            return &tag;
    }
    return nullptr;
}

bool isPaired(const TagInfo *tag)
{
    return tag->kind == TagKind::Attribute || tag->kind == TagKind::Alignment;
}

// A piece of the markup. Tags that turn out to have no partner, or that
// are not understood, print their raw text.
struct Token
{
    enum Kind { Text, Open, Close, Single, Content };
    Kind kind = Text;
    const TagInfo *tag = nullptr;
    QString raw;
    QString content;
    int barcodeType = 0;
    bool matched = false;
};

// [barcode type=N] or [barcode type="N"], N from 1 to 10.
int barcodeTypeOf(const QString &arguments)
{
    static const QRegularExpression re(QStringLiteral("^\\s*type\\s*=\\s*\"?(\\d{1,2})\"?\\s*$"),
                                       QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = re.match(arguments);
    if (!match.hasMatch())
        return 0;
    const int type = match.captured(1).toInt();
    return (type >= DocumentBlock::MIN_BARCODE_TYPE && type <= DocumentBlock::MAX_BARCODE_TYPE) ? type : 0;
}

QVector<Token> tokenize(const QString &text)
{
    QVector<Token> tokens;
    QString literal;
    auto flushLiteral = [&]() {
        if (!literal.isEmpty()) {
            Token token;
            token.raw = literal;
            tokens.append(token);
            literal.clear();
        }
    };

    const int size = text.size();
    int pos = 0;
    while (pos < size) {
        const int open = text.indexOf(QLatin1Char('['), pos);
        if (open < 0) {
            literal += text.midRef(pos);
            break;
        }
        literal += text.midRef(pos, open - pos);
        const int close = text.indexOf(QLatin1Char(']'), open + 1);
        const int nextOpen = text.indexOf(QLatin1Char('['), open + 1);
        if (close < 0 || (nextOpen >= 0 && nextOpen < close)) {
            // A bracket that starts no tag is text.
            literal += QLatin1Char('[');
            pos = open + 1;
            continue;
        }
        const QString raw = text.mid(open, close - open + 1);
        const QString inner = text.mid(open + 1, close - open - 1);
        pos = close + 1;

        const bool closing = inner.startsWith(QLatin1Char('/'));
        const QString body = closing ? inner.mid(1) : inner;
        int nameEnd = 0;
        while (nameEnd < body.size() && body.at(nameEnd).isLetter())
            ++nameEnd;
        const QString name = body.left(nameEnd).toLower();
        const QString arguments = body.mid(nameEnd);
        const TagInfo *tag = findTag(name);

        Token token;
        token.raw = raw;
        token.tag = tag;
        if (!tag || (closing && !arguments.trimmed().isEmpty())) {
            literal += raw;
            continue;
        }
        const bool takesArguments = tag->kind == TagKind::Barcode;
        if (!closing && !takesArguments && !arguments.trimmed().isEmpty()) {
            literal += raw;
            continue;
        }
        if (closing) {
            if (!isPaired(tag)) {
                // Closing tags of content tags are consumed with their opener.
                literal += raw;
                continue;
            }
            token.kind = Token::Close;
        } else if (isPaired(tag)) {
            token.kind = Token::Open;
        } else if (tag->kind == TagKind::LineBreak || tag->kind == TagKind::Rule) {
            token.kind = Token::Single;
        } else {
            if (tag->kind == TagKind::Barcode) {
                token.barcodeType = barcodeTypeOf(arguments);
                if (!token.barcodeType) {
                    literal += raw;
                    continue;
                }
            }
            const QString endTag = QStringLiteral("[/%1]").arg(QLatin1String(tag->name));
            const int end = text.indexOf(endTag, pos, Qt::CaseInsensitive);
            if (end < 0) {
                literal += raw;
                continue;
            }
            token.kind = Token::Content;
            token.content = text.mid(pos, end - pos);
            token.raw = text.mid(open, end + endTag.size() - open);
            pos = end + endTag.size();
        }
        flushLiteral();
        tokens.append(token);
    }
    flushLiteral();
    return tokens;
}

// Pairs every closing tag with the nearest open tag of the same name;
// tags left between them stay unmatched and print as text.
void matchTags(QVector<Token> &tokens)
{
    QVector<int> stack;
    for (int i = 0; i < tokens.size(); ++i) {
        Token &token = tokens[i];
        if (token.kind == Token::Open) {
            stack.append(i);
        } else if (token.kind == Token::Close) {
            for (int s = stack.size() - 1; s >= 0; --s) {
                if (tokens[stack.at(s)].tag == token.tag) {
                    tokens[stack.at(s)].matched = true;
                    token.matched = true;
                    stack.resize(s);
                    break;
                }
            }
        } else {
            token.matched = true;
        }
    }
}

// Builds the document line by line; consecutive lines of the same look
// share a text block.
class DocumentBuilder
{
public:
    explicit DocumentBuilder(int width) : m_width(width) {}

    void addText(const QString &text)
    {
        for (const QChar c : text) {
            if (c == QLatin1Char('\n')) {
                if (m_swallowNewline && m_line.isEmpty())
                    m_swallowNewline = false;
                else
                    endLine();
                continue;
            }
            if (m_line.isEmpty())
                m_lineAlignment = alignment();
            m_line.append(c);
            m_lineAttributes |= attributes();
            m_swallowNewline = false;
        }
    }

    void openTag(const TagInfo *tag)
    {
        if (tag->kind == TagKind::Attribute) {
            ++m_attributeDepth[attributeIndex(tag->value)];
            return;
        }
        endLineIfAny();
        m_alignments.append(tag->value);
        m_swallowNewline = true;
    }

    void closeTag(const TagInfo *tag)
    {
        if (tag->kind == TagKind::Attribute) {
            --m_attributeDepth[attributeIndex(tag->value)];
            return;
        }
        endLineIfAny();
        m_alignments.removeLast();
        m_swallowNewline = true;
    }

    void endLine()
    {
        pushLine(m_line, m_line.isEmpty() ? alignment() : m_lineAlignment, m_lineAttributes);
        m_line.clear();
        m_lineAttributes = 0;
    }

    void rule()
    {
        endLineIfAny();
        pushLine(QString(m_width, QLatin1Char('-')), DocumentBlock::AlignLeft, 0);
        m_swallowNewline = true;
    }

    void addBlock(const DocumentBlock &block)
    {
        endLineIfAny();
        finishTextBlock();
        m_document.appendBlock(block);
        m_swallowNewline = true;
    }

    TextPrinterDocument finish()
    {
        endLineIfAny();
        finishTextBlock();
        return m_document;
    }

private:
    static int attributeIndex(int attribute)
    {
        switch (attribute) {
        case DocumentBlock::AttrBold: return 0;
        case DocumentBlock::AttrItalic: return 1;
        case DocumentBlock::AttrUnderline: return 2;
        default: return 3;
        }
    }

    int attributes() const
    {
        static const int bits[4] = { DocumentBlock::AttrBold, DocumentBlock::AttrItalic,
                                     DocumentBlock::AttrUnderline, DocumentBlock::AttrBig };
        int result = 0;
        for (int i = 0; i < 4; ++i) {
            if (m_attributeDepth[i] > 0)
                result |= bits[i];
        }
        return result;
    }

    int alignment() const { return m_alignments.isEmpty() ? DocumentBlock::AlignLeft : m_alignments.last(); }

    void endLineIfAny()
    {
        if (!m_line.isEmpty())
            endLine();
    }

    void pushLine(const QString &line, int lineAlignment, int lineAttributes)
    {
        if (!m_lines.isEmpty() && (lineAlignment != m_blockAlignment || lineAttributes != m_blockAttributes))
            finishTextBlock();
        m_blockAlignment = lineAlignment;
        m_blockAttributes = lineAttributes;
        m_lines.append(line);
    }

    void finishTextBlock()
    {
        if (m_lines.isEmpty())
            return;
        m_document.appendBlock(
            DocumentBlock::createSimpleBlock(m_lines, m_blockAlignment, 0, m_blockAttributes, 0, m_width));
        m_lines.clear();
    }

    TextPrinterDocument m_document;
    QStringList m_lines;
    QString m_line;
    QVector<int> m_alignments;
    int m_attributeDepth[4] = { 0, 0, 0, 0 };
    int m_width;
    int m_blockAlignment = DocumentBlock::AlignLeft;
    int m_blockAttributes = 0;
    int m_lineAlignment = DocumentBlock::AlignLeft;
    int m_lineAttributes = 0;
    bool m_swallowNewline = false;
};

enum class ImageName { Refused, Missing, Found };

// Only a plain file name that resolves to a file inside the images
// directory is printed, so markup cannot reach other files; such a name
// whose file is not there is merely missing.
ImageName resolveImage(const QString &imagesPath, const QString &name, QString &filePath)
{
    if (imagesPath.isEmpty() || name.isEmpty() || name.startsWith(QLatin1Char('.'))
        || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name.contains(QChar(0)))
        return ImageName::Refused;
    const QString dir = QDir(imagesPath).canonicalPath();
    if (dir.isEmpty())
        return ImageName::Missing;
    const QFileInfo info(QDir(dir), name);
    if (!info.exists() && !info.isSymLink())
        return ImageName::Missing;
    const QString canonical = info.canonicalFilePath();
    if (canonical.isEmpty() || !canonical.startsWith(dir + QLatin1Char('/')))
        return ImageName::Refused;
    filePath = canonical;
    return ImageName::Found;
}

} // namespace

BbCodeParser::BbCodeParser(QObject *parent)
    : QObject(parent)
{
}

BbCodeParser::~BbCodeParser() = default;

void BbCodeParser::parseText(const QString &text)
{
    QString normalised = text;
    normalised.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    normalised.replace(QLatin1Char('\r'), QLatin1Char('\n'));

    QVector<Token> tokens = tokenize(normalised);
    matchTags(tokens);

    const int width = m_symbolsPerLine > 0 ? m_symbolsPerLine : 40;
    DocumentBuilder builder(width);
    for (const Token &token : qAsConst(tokens)) {
        if (!token.matched || token.kind == Token::Text) {
            builder.addText(token.raw);
            continue;
        }
        switch (token.kind) {
        case Token::Open:
            builder.openTag(token.tag);
            break;
        case Token::Close:
            builder.closeTag(token.tag);
            break;
        case Token::Single:
            if (token.tag->kind == TagKind::LineBreak)
                builder.endLine();
            else
                builder.rule();
            break;
        case Token::Content: {
            if (token.tag->kind == TagKind::Image) {
                const QString name = token.content.trimmed();
                QString filePath;
                const ImageName resolved = resolveImage(m_imagesPath, name, filePath);
                if (resolved == ImageName::Refused) {
                    builder.addText(token.raw);
                    break;
                }
                if (resolved == ImageName::Missing) {
                    qCWarning(lcFrprint) << "Picture not printed: no file" << name << "in" << m_imagesPath;
                    break;
                }
                MonochromeImage image;
                QString error;
                if (!image.load(filePath, &error)) {
                    qCWarning(lcFrprint) << "Picture not printed:" << error;
                    break;
                }
                builder.addBlock(DocumentBlock::createImageBlock(image));
                break;
            }
            const QByteArray data = token.content.trimmed().toUtf8();
            if (data.isEmpty())
                break;
            builder.addBlock(token.tag->kind == TagKind::Barcode
                                 ? DocumentBlock::createBarcodeBlock(token.barcodeType, data)
                                 : DocumentBlock::createQrCodeBlock(data));
            break;
        }
        case Token::Text:
            break;
        }
    }

    m_document = builder.finish();
    m_document.setCurrentTicketAction(TextPrinterDocument::FeedPaper | TextPrinterDocument::FinishTicket
                                      | TextPrinterDocument::NewTicket);
    m_document.setPreviousTicketAction(TextPrinterDocument::NewTicket);
    m_document.setLoopPolicy(TextPrinterDocument::NoLoop);
    m_document.setDoInit(true);
}

} // namespace frprint
