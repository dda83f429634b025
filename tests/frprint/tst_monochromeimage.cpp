#include "monochromeimage.h"

#include "testimages.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace frprint;

namespace {

// Left half black, right half white, with a black diagonal dot pattern in
// the right half so that rows and columns cannot be mixed up.
quint32 pattern(int x, int y)
{
    if (x < 5)
        return 0xff000000;
    return ((x + y) % 3 == 0) ? 0xff202020 : 0xffffffff;
}

bool expectedDot(int x, int y)
{
    return x < 5 || (x + y) % 3 == 0;
}

void checkPattern(const MonochromeImage &image, int width, int height)
{
    QCOMPARE(image.width(), width);
    QCOMPARE(image.height(), height);
    QCOMPARE(image.bytesPerLine(), (width + 7) / 8);
    QCOMPARE(image.bits().size(), image.bytesPerLine() * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            QVERIFY2(image.pixel(x, y) == expectedDot(x, y), qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
    }
}

} // namespace

class TestMonochromeImage : public QObject
{
    Q_OBJECT

private slots:
    void decodesBmp24()
    {
        MonochromeImage image;
        QString error;
        QVERIFY2(image.loadFromData(testimages::bmp24(11, 4, pattern), &error), qPrintable(error));
        checkPattern(image, 11, 4);
    }

    void decodesBmp1TopDown()
    {
        MonochromeImage image;
        QString error;
        QVERIFY2(image.loadFromData(testimages::bmp1(13, 5, expectedDot), &error), qPrintable(error));
        checkPattern(image, 13, 5);
    }

    void decodesPngWithEveryFilter_data()
    {
        QTest::addColumn<int>("filter");
        for (int filter = 0; filter <= 4; ++filter)
            QTest::newRow(qPrintable(QString::number(filter))) << filter;
    }
    void decodesPngWithEveryFilter()
    {
        QFETCH(int, filter);
        MonochromeImage image;
        QString error;
        QVERIFY2(image.loadFromData(testimages::pngRgba(12, 6, pattern, filter), &error), qPrintable(error));
        checkPattern(image, 12, 6);
    }

    void transparentPixelsAreNotPrinted()
    {
        // Black but fully transparent: paper shows through.
        const auto pixel = [](int x, int) -> quint32 { return x == 0 ? 0x00000000 : 0xff000000; };
        MonochromeImage image;
        QVERIFY(image.loadFromData(testimages::pngRgba(3, 1, pixel)));
        QVERIFY(!image.pixel(0, 0));
        QVERIFY(image.pixel(1, 0));
    }

    void badPicturesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("data");
        const QByteArray png = testimages::pngRgba(4, 4, pattern);
        QByteArray damagedCrc = png;
        damagedCrc[29] = char(damagedCrc.at(29) ^ 0x01);
        QByteArray hugePng = testimages::pngRgba(1, 1, pattern);
        // IHDR says 100000 x 100000; fix its CRC so only the size is wrong.
        {
            QByteArray header;
            testimages::appendBe32(header, 100000);
            testimages::appendBe32(header, 100000);
            header.append(char(8)).append(char(6)).append(char(0)).append(char(0)).append(char(0));
            QByteArray chunk;
            testimages::appendChunk(chunk, "IHDR", header);
            hugePng.replace(8, chunk.size(), chunk);
        }
        QByteArray rleBmp = testimages::bmp24(2, 2, pattern);
        rleBmp[30] = 1;
        QByteArray hugeBmp = testimages::bmp24(2, 2, pattern);
        hugeBmp[18] = char(0xff);
        hugeBmp[19] = char(0xff);
        hugeBmp[20] = char(0x0f);

        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not a picture") << QByteArray("GIF89a....");
        QTest::newRow("png crc") << damagedCrc;
        QTest::newRow("png huge") << hugePng;
        QTest::newRow("png without end") << png.left(png.size() - 12);
        QTest::newRow("bmp compressed") << rleBmp;
        QTest::newRow("bmp huge") << hugeBmp;
        QTest::newRow("bmp short") << testimages::bmp24(8, 8, pattern).left(100);
    }
    void badPicturesAreRefused()
    {
        QFETCH(QByteArray, data);
        MonochromeImage image;
        QString error;
        QVERIFY(!image.loadFromData(data, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(image.isNull());
    }

    void everyTruncationIsRefused_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("png") << testimages::pngRgba(5, 3, pattern, 4);
        QTest::newRow("bmp") << testimages::bmp24(5, 3, pattern);
    }
    void everyTruncationIsRefused()
    {
        QFETCH(QByteArray, data);
        for (int size = data.size() - 1; size >= 0; --size) {
            // A copy of exactly `size` bytes lets the sanitizers catch
            // reads past the end.
            const QByteArray prefix(data.constData(), size);
            MonochromeImage image;
            QVERIFY2(!image.loadFromData(prefix), qPrintable(QStringLiteral("accepted %1 bytes").arg(size)));
        }
    }

    void loadsFileAndKeepsItsPath()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("logo.bmp"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(testimages::bmp24(11, 4, pattern));
        file.close();

        MonochromeImage image;
        QString error;
        QVERIFY2(image.load(path, &error), qPrintable(error));
        QCOMPARE(image.fileName(), QFileInfo(path).absoluteFilePath());
        checkPattern(image, 11, 4);

        bool ok = false;
        const MonochromeImage copy = MonochromeImage::fromMap(image.toMap(), &ok);
        QVERIFY(ok);
        QCOMPARE(copy, image);

        QVERIFY(!image.load(dir.filePath(QStringLiteral("missing.png")), &error));
        QVERIFY(error.contains(QStringLiteral("missing.png")));
        QVERIFY(image.isNull());
    }
};

QTEST_GUILESS_MAIN(TestMonochromeImage)
#include "tst_monochromeimage.moc"
