#include "documentblock.h"
#include "printservicesettings.h"
#include "textprinterdocument.h"

#include <QtTest>

using namespace frprint;

namespace {

MonochromeImage twoByTwo()
{
    MonochromeImage image;
    bool ok = false;
    image = MonochromeImage::fromMap({ { "fileName", "/images/logo.png" }, { "width", 2 }, { "height", 2 },
                                       { "bits", QString::fromLatin1(QByteArray::fromHex("8040").toBase64()) } },
                                     &ok);
    Q_ASSERT(ok);
    return image;
}

} // namespace

class TestDocumentBlock : public QObject
{
    Q_OBJECT

private slots:
    void wrapsAtWordBoundaries_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("alignment");
        QTest::addColumn<int>("attributes");
        QTest::addColumn<int>("indent");
        QTest::addColumn<int>("width");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("fits") << QStringList { "one two" } << 0 << 0 << 0 << 10 << QStringList { "one two" };
        QTest::newRow("exact") << QStringList { "0123456789" } << 0 << 0 << 0 << 10
                               << QStringList { "0123456789" };
        QTest::newRow("break at blank") << QStringList { "one two three four" } << 0 << 0 << 0 << 10
                                        << QStringList { "one two", "three four" };
        QTest::newRow("blank at the edge") << QStringList { "0123456789 abc" } << 0 << 0 << 0 << 10
                                           << QStringList { "0123456789", "abc" };
        QTest::newRow("long word is cut") << QStringList { "abcdefghijklmnopqrstuvwxy z" } << 0 << 0 << 0 << 10
                                          << QStringList { "abcdefghij", "klmnopqrst", "uvwxy z" };
        QTest::newRow("runs of blanks") << QStringList { "one     two     three" } << 0 << 0 << 0 << 8
                                        << QStringList { "one", "two", "three" };
        QTest::newRow("empty line kept") << QStringList { "a", "", "b" } << 0 << 0 << 0 << 10
                                         << QStringList { "a", "", "b" };
        QTest::newRow("centre") << QStringList { "abcd" } << 1 << 0 << 0 << 10 << QStringList { "   abcd" };
        QTest::newRow("right") << QStringList { "abcd", "one two three" } << 2 << 0 << 0 << 10
                               << QStringList { "      abcd", "   one two", "     three" };
        QTest::newRow("as is keeps tabs") << QStringList { "\tTotal" } << 3 << 0 << 0 << 10
                                          << QStringList { "\tTotal" };
        QTest::newRow("big halves the line") << QStringList { "one two three" } << 0 << int(DocumentBlock::AttrBig)
                                             << 0 << 10 << QStringList { "one", "two", "three" };
        QTest::newRow("indent") << QStringList { "one two three" } << 0 << 0 << 2 << 10
                                << QStringList { "  one two", "  three" };
        QTest::newRow("no width") << QStringList { "one two three four five" } << 0 << 0 << 0 << 0
                                  << QStringList { "one two three four five" };
    }
    void wrapsAtWordBoundaries()
    {
        QFETCH(QStringList, lines);
        QFETCH(int, alignment);
        QFETCH(int, attributes);
        QFETCH(int, indent);
        QFETCH(int, width);
        QFETCH(QStringList, expected);
        const DocumentBlock block = DocumentBlock::createSimpleBlock(lines, alignment, 0, attributes, indent, 0);
        QCOMPARE(block.toStringList(width), expected);
    }

    void blockWidthIsUsedWithoutOne()
    {
        const DocumentBlock block =
            DocumentBlock::createSimpleBlock({ "one two three" }, DocumentBlock::AlignLeft, 0, 0, 0, 8);
        QCOMPARE(block.toStringList(0), QStringList({ "one two", "three" }));
        QCOMPARE(block.toStringList(20), QStringList({ "one two three" }));
    }

    void longLineWrapsEveryCharacter()
    {
        // A 64 KiB line without blanks is cut into whole lines, nothing lost.
        const QString line(65536, QLatin1Char('x'));
        const DocumentBlock block = DocumentBlock::createSimpleBlock({ line }, 0, 0, 0, 0, 48);
        const QStringList pieces = block.toStringList(48);
        QCOMPARE(pieces.size(), 1366);
        QCOMPARE(pieces.join(QString()), line);
    }

    void nonTextBlocksHaveNoLines()
    {
        QVERIFY(DocumentBlock::createBarcodeBlock(3, "12345670").toStringList(40).isEmpty());
        QVERIFY(DocumentBlock::createQrCodeBlock("https://example.org").toStringList(40).isEmpty());
        QVERIFY(DocumentBlock::createImageBlock(twoByTwo()).toStringList(40).isEmpty());
    }

    void kindsAreExclusive()
    {
        const DocumentBlock text = DocumentBlock::createSimpleBlock({ "a" }, 0, 0, 0, 0, 0);
        const DocumentBlock barcode = DocumentBlock::createBarcodeBlock(8, "4601234567893");
        const DocumentBlock qr = DocumentBlock::createQrCodeBlock("t=20240315T1030&s=100.00");
        const DocumentBlock image = DocumentBlock::createImageBlock(twoByTwo());
        QVERIFY(text.isText() && !text.isImage() && !text.isBarcode() && !text.isQrCode());
        QVERIFY(barcode.isBarcode() && !barcode.isQrCode() && barcode.barCodeType() == 8);
        QVERIFY(qr.isQrCode() && !qr.isBarcode());
        QVERIFY(image.isImage() && image.img().fileName() == QLatin1String("/images/logo.png"));
    }

    void documentRoundTrip()
    {
        TextPrinterDocument document;
        document.appendBlock(DocumentBlock::createSimpleBlock({ "Итого:", "\t100.00" }, DocumentBlock::AlignAsIs,
                                                              1, DocumentBlock::AttrBold, 2, 42));
        document.appendBlock(DocumentBlock::createImageBlock(twoByTwo()));
        document.appendBlock(DocumentBlock::createBarcodeBlock(DocumentBlock::BarcodeEan13, "4601234567893"));
        document.appendBlock(DocumentBlock::createQrCodeBlock(QByteArray("\x00\xff binary", 9)));
        document.setCurrentTicketAction(5);
        document.setPreviousTicketAction(4);
        document.setLoopPolicy(TextPrinterDocument::PresentNew);
        document.setDoInit(false);

        TextPrinterDocument copy;
        QString error;
        QVERIFY2(copy.fromMap(document.toMap(), &error), qPrintable(error));
        QCOMPARE(copy, document);

        // And through JSON, the form the print service receives.
        const QByteArray json = QJsonDocument(QJsonObject::fromVariantMap(document.toMap())).toJson();
        TextPrinterDocument fromJson;
        QVERIFY2(fromJson.fromMap(QJsonDocument::fromJson(json).object().toVariantMap(), &error),
                 qPrintable(error));
        QCOMPARE(fromJson, document);
        QCOMPARE(fromJson.blocks().at(3).barcode(), QByteArray("\x00\xff binary", 9));
    }

    void badMapsAreRefused_data()
    {
        QTest::addColumn<QVariantMap>("map");
        const QVariantMap text = DocumentBlock::createSimpleBlock({ "a" }, 0, 0, 0, 0, 40).toMap();
        auto withBlock = [](const QVariantMap &block) {
            return QVariantMap { { "blocks", QVariantList { block } } };
        };
        auto changed = [](QVariantMap map, const QString &key, const QVariant &value) {
            map.insert(key, value);
            return map;
        };
        QTest::newRow("blocks not a list") << QVariantMap { { "blocks", "x" } };
        QTest::newRow("block not a map") << QVariantMap { { "blocks", QVariantList { 1 } } };
        QTest::newRow("unknown block type") << withBlock(changed(text, "type", 9));
        QTest::newRow("type not a number") << withBlock(changed(text, "type", "text"));
        QTest::newRow("alignment out of range") << withBlock(changed(text, "alignment", 7));
        QTest::newRow("negative indent") << withBlock(changed(text, "indent", -1));
        QTest::newRow("lines not texts") << withBlock(changed(text, "lines", QVariantList { QVariantMap() }));
        QTest::newRow("unknown ticket flags") << QVariantMap { { "currentTicketAction", 0x100 } };
        QTest::newRow("negative loop policy") << QVariantMap { { "loopPolicy", -1 } };
        QTest::newRow("barcode type 11") << withBlock(QVariantMap { { "type", 3 }, { "barcodeType", 11 },
                                                                    { "barcode", "MTIz" } });
        QTest::newRow("barcode not base64") << withBlock(QVariantMap { { "type", 4 }, { "barcode", "!!" } });
        QTest::newRow("picture bits short") << withBlock(QVariantMap {
            { "type", 2 },
            { "image", QVariantMap { { "width", 16 }, { "height", 2 }, { "bits", "AAA=" } } } });
        QTest::newRow("picture huge") << withBlock(QVariantMap {
            { "type", 2 },
            { "image", QVariantMap { { "width", 100000 }, { "height", 100000 }, { "bits", "" } } } });
    }
    void badMapsAreRefused()
    {
        QFETCH(QVariantMap, map);
        TextPrinterDocument document;
        document.appendBlock(DocumentBlock::createSimpleBlock({ "kept" }, 0, 0, 0, 0, 0));
        const TextPrinterDocument before = document;
        QString error;
        QVERIFY(!document.fromMap(map, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(document, before);
    }

    void printServiceHasABusName()
    {
        QVERIFY(!PrintServiceSettings::SERVICE_BUSNAME.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDocumentBlock)
#include "tst_documentblock.moc"
