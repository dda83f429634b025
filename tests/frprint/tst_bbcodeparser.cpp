#include "bbcodeparser.h"

#include "testimages.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace frprint;

namespace {

// One line per text line of the document with its look, and one entry per
// other block, so a whole parse compares as a list of texts.
QStringList describe(const TextPrinterDocument &document)
{
    QStringList out;
    for (const DocumentBlock &block : document.blocks()) {
        if (block.isText()) {
            for (const QString &line : block.lines())
                out << QStringLiteral("T%1%2:%3").arg(block.alignment()).arg(block.attributes()).arg(line);
        } else if (block.isImage()) {
            out << QStringLiteral("IMG:%1").arg(QFileInfo(block.img().fileName()).fileName());
        } else if (block.isBarcode()) {
            out << QStringLiteral("BC%1:%2").arg(block.barCodeType()).arg(QString::fromUtf8(block.barcode()));
        } else if (block.isQrCode()) {
            out << QStringLiteral("QR:%1").arg(QString::fromUtf8(block.barcode()));
        }
    }
    return out;
}

} // namespace

class TestBbCodeParser : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_images;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_images = m_dir.filePath(QStringLiteral("images"));
        QVERIFY(QDir().mkpath(m_images));
        QFile logo(m_images + QStringLiteral("/logo.bmp"));
        QVERIFY(logo.open(QIODevice::WriteOnly));
        logo.write(testimages::bmp1(16, 2, [](int x, int) { return x % 2 == 0; }));
        logo.close();
        QFile broken(m_images + QStringLiteral("/broken.png"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("\x89PNG\r\n\x1a\n garbage");
        broken.close();
        // A picture outside the images directory, and a link to it inside.
        QFile secret(m_dir.filePath(QStringLiteral("secret.bmp")));
        QVERIFY(secret.open(QIODevice::WriteOnly));
        secret.write(testimages::bmp1(8, 1, [](int, int) { return true; }));
        secret.close();
        QVERIFY(QFile::link(secret.fileName(), m_images + QStringLiteral("/link.bmp")));
    }

    void parses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");

        // Alignment 0 left, 1 centre, 2 right; attributes 1 bold, 2 italic,
        // 4 underline, 8 big.
        QTest::newRow("plain") << "one\ntwo" << QStringList { "T00:one", "T00:two" };
        QTest::newRow("line ends") << "a\r\nb\rc\n\nd" << QStringList { "T00:a", "T00:b", "T00:c", "T00:", "T00:d" };
        QTest::newRow("bold line") << "[b]Итого[/b]\nx" << QStringList { "T01:Итого", "T00:x" };
        QTest::newRow("bold word marks line") << "a [B]b[/B] c" << QStringList { "T01:a b c" };
        QTest::newRow("nested looks") << "[b][i][u][big]x[/big][/u][/i][/b]" << QStringList { "T015:x" };
        QTest::newRow("centre block") << "[center]Title[/center]\nbody"
                                      << QStringList { "T10:Title", "T00:body" };
        QTest::newRow("right inside line") << "left[right]r[/right]after"
                                           << QStringList { "T00:left", "T20:r", "T00:after" };
        QTest::newRow("br") << "a[br]b[br][br]c" << QStringList { "T00:a", "T00:b", "T00:", "T00:c" };
        QTest::newRow("hr") << "a[hr]b" << QStringList { "T00:a", QStringLiteral("T00:") + QString(10, '-'), "T00:b" };
        QTest::newRow("barcode") << "[barcode type=8]4601234567893[/barcode]" << QStringList { "BC8:4601234567893" };
        QTest::newRow("barcode quoted") << "[barcode type=\"10\"] data [/barcode]" << QStringList { "BC10:data" };
        QTest::newRow("qr") << "x\n[qr]t=20240315T1030&s=100.00[/qr]\ny"
                            << QStringList { "T00:x", "QR:t=20240315T1030&s=100.00", "T00:y" };
        QTest::newRow("qr keeps brackets") << "[qr]a[b]c[/qr]" << QStringList { "QR:a[b]c" };
        QTest::newRow("image") << "[img]logo.bmp[/img]" << QStringList { "IMG:logo.bmp" };

        // Everything that is not understood is printed as it stands.
        QTest::newRow("unknown tag") << "[blink]x[/blink]" << QStringList { "T00:[blink]x[/blink]" };
        QTest::newRow("unclosed bold") << "[b]x" << QStringList { "T00:[b]x" };
        QTest::newRow("stray close") << "x[/i]" << QStringList { "T00:x[/i]" };
        QTest::newRow("crossed tags") << "[b][i]x[/b][/i]" << QStringList { "T01:[i]x[/i]" };
        QTest::newRow("lone brackets") << "a [ b ] c [" << QStringList { "T00:a [ b ] c [" };
        QTest::newRow("bracket in tag") << "[[b]x[/b]" << QStringList { "T01:[x" };
        QTest::newRow("barcode type 0") << "[barcode type=0]1[/barcode]" << QStringList { "T00:[barcode type=0]1[/barcode]" };
        QTest::newRow("barcode type 11") << "[barcode type=11]1[/barcode]" << QStringList { "T00:[barcode type=11]1[/barcode]" };
        QTest::newRow("barcode no type") << "[barcode]1[/barcode]" << QStringList { "T00:[barcode]1[/barcode]" };
        QTest::newRow("qr unclosed") << "[qr]data" << QStringList { "T00:[qr]data" };
        QTest::newRow("br with argument") << "a[br x]b" << QStringList { "T00:a[br x]b" };
        QTest::newRow("image outside") << "[img]../secret.bmp[/img]" << QStringList { "T00:[img]../secret.bmp[/img]" };
        QTest::newRow("image absolute") << "[img]/etc/passwd[/img]" << QStringList { "T00:[img]/etc/passwd[/img]" };
        QTest::newRow("image link out") << "[img]link.bmp[/img]" << QStringList { "T00:[img]link.bmp[/img]" };
        QTest::newRow("image hidden") << "[img].logo.bmp[/img]" << QStringList { "T00:[img].logo.bmp[/img]" };
        QTest::newRow("image missing") << "[img]nothing.png[/img]" << QStringList {};
        QTest::newRow("image broken") << "[img]broken.png[/img]" << QStringList {};
        QTest::newRow("empty qr") << "[qr] [/qr]" << QStringList {};
        QTest::newRow("empty") << "" << QStringList {};
    }
    void parses()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        BbCodeParser parser;
        parser.setImagesPath(m_images);
        parser.setSymbolsPerLine(10);
        parser.parseText(text);
        QCOMPARE(describe(parser.document()), expected);
    }

    void blocksGroupLinesOfOneLook()
    {
        BbCodeParser parser;
        parser.setSymbolsPerLine(32);
        parser.parseText(QStringLiteral("a\nb\n[b]c\nd[/b]\ne"));
        const QList<DocumentBlock> blocks = parser.document().blocks();
        QCOMPARE(blocks.size(), 3);
        QCOMPARE(blocks.at(0).lines(), QStringList({ "a", "b" }));
        QCOMPARE(blocks.at(1).lines(), QStringList({ "c", "d" }));
        QCOMPARE(blocks.at(1).attributes(), int(DocumentBlock::AttrBold));
        QCOMPARE(blocks.at(2).width(), 32);
    }

    void documentFinishesTheTicket()
    {
        BbCodeParser parser;
        parser.parseText(QStringLiteral("x"));
        QVERIFY(parser.document().currentTicketAction() & TextPrinterDocument::FinishTicket);
    }

    void newParseReplacesDocument()
    {
        BbCodeParser parser;
        parser.parseText(QStringLiteral("first"));
        parser.parseText(QStringLiteral("second"));
        QCOMPARE(describe(parser.document()), QStringList({ "T00:second" }));
    }

    void deepNestingAndHugeTextDoNotFail()
    {
        // 1,000 open tags without partners, then 1,000 matched pairs.
        QString text;
        for (int i = 0; i < 1000; ++i)
            text += QStringLiteral("[b]");
        text += QStringLiteral("x\n");
        for (int i = 0; i < 1000; ++i)
            text += QStringLiteral("[center]");
        text += QStringLiteral("y");
        for (int i = 0; i < 1000; ++i)
            text += QStringLiteral("[/center]");
        text += QLatin1Char('\n') + QString(65536, QLatin1Char('z'));
        BbCodeParser parser;
        parser.setSymbolsPerLine(48);
        parser.parseText(text);
        const QStringList lines = describe(parser.document());
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines.at(0).size(), 4 + 3000 + 1);
        QCOMPARE(lines.at(1), QStringLiteral("T10:y"));
        QCOMPARE(lines.at(2).size(), 4 + 65536);
    }

    void roundTripsThroughMap()
    {
        BbCodeParser parser;
        parser.setImagesPath(m_images);
        parser.parseText(QStringLiteral("[center][b]Shop[/b][/center][img]logo.bmp[/img][qr]q[/qr]\n"
                                        "[barcode type=3]12345670[/barcode]tail"));
        TextPrinterDocument copy;
        QString error;
        QVERIFY2(copy.fromMap(parser.document().toMap(), &error), qPrintable(error));
        QCOMPARE(copy, parser.document());
        QCOMPARE(copy.blocks().size(), 5);
    }
};

QTEST_GUILESS_MAIN(TestBbCodeParser)
#include "tst_bbcodeparser.moc"
