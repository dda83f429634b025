#include <appbusframereader.h>

#include <QJsonArray>
#include <QtEndian>
#include <QtTest>

using bus::AppBusFrameReader;

namespace {

QByteArray header(quint32 length)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian<quint32>(length, bytes.data());
    return bytes;
}

QByteArray rawFrame(const QByteArray &body)
{
    return header(quint32(body.size())) + body;
}

} // namespace

class TestAppBusFrameReader : public QObject
{
    Q_OBJECT
private slots:
    void encodesLengthAndCompactJson();
    void readsFramesHoweverTheBytesAreCut_data();
    void readsFramesHoweverTheBytesAreCut();
    void truncatedFrameWaitsForMore_data();
    void truncatedFrameWaitsForMore();
    void badFrameBreaksTheStream_data();
    void badFrameBreaksTheStream();
    void oversizeIsRefusedBeforeItsBody();
    void failureStaysUntilCleared();
    void encodeRefusesOversize();
    void longStreamDoesNotGrowTheBuffer();
};

void TestAppBusFrameReader::encodesLengthAndCompactJson()
{
    const QByteArray bytes = AppBusFrameReader::encode({ { "type", "ping" }, { "text", QStringLiteral("Кассир") } });
    const QByteArray body = QByteArray("{\"text\":\"") + QStringLiteral("Кассир").toUtf8() + "\",\"type\":\"ping\"}";
    QCOMPARE(bytes, rawFrame(body));
}

void TestAppBusFrameReader::readsFramesHoweverTheBytesAreCut_data()
{
    QTest::addColumn<int>("chunk");
    QTest::newRow("one byte at a time") << 1;
    QTest::newRow("three bytes") << 3;
    QTest::newRow("header-sized") << 4;
    QTest::newRow("all at once") << 100000;
}

void TestAppBusFrameReader::readsFramesHoweverTheBytesAreCut()
{
    QFETCH(int, chunk);
    QByteArray stream;
    for (int i = 0; i < 5; ++i)
        stream += AppBusFrameReader::encode({ { "n", i }, { "pad", QString(i * 7, QLatin1Char('x')) } });

    AppBusFrameReader reader;
    QList<int> seen;
    for (int pos = 0; pos < stream.size(); pos += chunk) {
        reader.append(stream.mid(pos, chunk));
        QJsonObject frame;
        AppBusFrameReader::Result result;
        while ((result = reader.next(frame)) == AppBusFrameReader::FrameReady)
            seen.append(frame.value("n").toInt());
        QCOMPARE(result, AppBusFrameReader::NeedMore);
    }
    QCOMPARE(seen, QList<int>({ 0, 1, 2, 3, 4 }));
    QVERIFY(!reader.hasPartialFrame());
}

void TestAppBusFrameReader::truncatedFrameWaitsForMore_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray whole = AppBusFrameReader::encode({ { "type", "command" } });
    QTest::newRow("part of the header") << whole.left(2);
    QTest::newRow("header only") << whole.left(4);
    QTest::newRow("body cut short") << whole.left(whole.size() - 1);
}

void TestAppBusFrameReader::truncatedFrameWaitsForMore()
{
    QFETCH(QByteArray, bytes);
    AppBusFrameReader reader;
    reader.append(bytes);
    QJsonObject frame;
    QCOMPARE(reader.next(frame), AppBusFrameReader::NeedMore);
    QVERIFY(reader.hasPartialFrame());
    QVERIFY(!reader.failed());
    QVERIFY(frame.isEmpty());
}

void TestAppBusFrameReader::badFrameBreaksTheStream_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");
    QTest::newRow("not JSON") << rawFrame("hello there") << "not JSON";
    QTest::newRow("cut JSON") << rawFrame("{\"type\":") << "not JSON";
    QTest::newRow("array") << rawFrame("[1,2]") << "not a JSON object";
    QTest::newRow("bare string") << rawFrame("\"x\"") << "not JSON";
    QTest::newRow("empty frame") << header(0) << "empty frame";
    QTest::newRow("oversize") << header(AppBusFrameReader::MAX_FRAME_SIZE + 1) << "exceeds the limit";
    QTest::newRow("length with the top bit") << header(0x80000010u) << "exceeds the limit";
}

void TestAppBusFrameReader::badFrameBreaksTheStream()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    AppBusFrameReader reader;
    // A good frame before the bad one is still delivered.
    reader.append(AppBusFrameReader::encode({ { "n", 1 } }) + bytes);
    QJsonObject frame;
    QCOMPARE(reader.next(frame), AppBusFrameReader::FrameReady);
    QCOMPARE(frame.value("n").toInt(), 1);
    QCOMPARE(reader.next(frame), AppBusFrameReader::Failed);
    QVERIFY2(reader.error().contains(error), qPrintable(reader.error()));
}

void TestAppBusFrameReader::oversizeIsRefusedBeforeItsBody()
{
    AppBusFrameReader reader;
    reader.append(header(AppBusFrameReader::MAX_FRAME_SIZE + 1) + QByteArray(1000, 'a'));
    QJsonObject frame;
    QCOMPARE(reader.next(frame), AppBusFrameReader::Failed);
    // Nothing of the refused frame is kept, and later bytes are not taken.
    QCOMPARE(reader.bufferedSize(), 0);
    reader.append(QByteArray(1000, 'b'));
    QCOMPARE(reader.bufferedSize(), 0);
}

void TestAppBusFrameReader::failureStaysUntilCleared()
{
    AppBusFrameReader reader;
    reader.append(rawFrame("nope"));
    QJsonObject frame;
    QCOMPARE(reader.next(frame), AppBusFrameReader::Failed);
    reader.append(AppBusFrameReader::encode({ { "n", 2 } }));
    QCOMPARE(reader.next(frame), AppBusFrameReader::Failed);
    reader.clear();
    QVERIFY(!reader.failed());
    reader.append(AppBusFrameReader::encode({ { "n", 3 } }));
    QCOMPARE(reader.next(frame), AppBusFrameReader::FrameReady);
    QCOMPARE(frame.value("n").toInt(), 3);
}

void TestAppBusFrameReader::encodeRefusesOversize()
{
    const QString big(AppBusFrameReader::MAX_FRAME_SIZE, QLatin1Char('z'));
    QVERIFY(AppBusFrameReader::encode({ { "text", big } }).isEmpty());
    const QString fits(AppBusFrameReader::MAX_FRAME_SIZE - 20, QLatin1Char('z'));
    const QByteArray bytes = AppBusFrameReader::encode({ { "t", fits } });
    QVERIFY(!bytes.isEmpty());
    AppBusFrameReader reader;
    reader.append(bytes);
    QJsonObject frame;
    QCOMPARE(reader.next(frame), AppBusFrameReader::FrameReady);
    QCOMPARE(frame.value("t").toString().size(), fits.size());
}

void TestAppBusFrameReader::longStreamDoesNotGrowTheBuffer()
{
    AppBusFrameReader reader;
    const QByteArray one = AppBusFrameReader::encode({ { "pad", QString(100, QLatin1Char('p')) } });
    QJsonObject frame;
    for (int i = 0; i < 10000; ++i) {
        // Always one and a half frames in flight.
        reader.append(one.left(one.size() / 2));
        if (i > 0)
            QCOMPARE(reader.next(frame), AppBusFrameReader::FrameReady);
        reader.append(one.mid(one.size() / 2));
        QVERIFY(reader.bufferedSize() <= 2 * one.size());
    }
}

QTEST_APPLESS_MAIN(TestAppBusFrameReader)
#include "tst_appbusframereader.moc"
