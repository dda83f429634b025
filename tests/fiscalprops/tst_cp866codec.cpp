#include "cp866codec.h"

#include <QTextCodec>
#include <QtTest>

using namespace fiscal;

class TestCp866Codec : public QObject
{
    Q_OBJECT

private slots:
    void cyrillic_data();
    void cyrillic();
    void everyByteRoundTrips();
    void agreesWithSystemCodec();
    void refusesWhatItCannotEncode_data();
    void refusesWhatItCannotEncode();
};

void TestCp866Codec::cyrillic_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("upper") << QStringLiteral("АБВЯ") << QByteArray::fromHex("8081829f");
    QTest::newRow("lower a-p") << QStringLiteral("ап") << QByteArray::fromHex("a0af");
    QTest::newRow("lower r-ya") << QStringLiteral("ря") << QByteArray::fromHex("e0ef");
    QTest::newRow("yo") << QStringLiteral("Ёё") << QByteArray::fromHex("f0f1");
    QTest::newRow("numero and degree") << QStringLiteral("№°") << QByteArray::fromHex("fcf8");
    QTest::newRow("box drawing") << QStringLiteral("═║") << QByteArray::fromHex("cdba");
    QTest::newRow("no-break space") << QString(QChar(0x00A0)) << QByteArray::fromHex("ff");
}

void TestCp866Codec::cyrillic()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);

    QByteArray encoded;
    QVERIFY(Cp866Codec::fromUnicode(text, encoded));
    QCOMPARE(encoded.toHex(), bytes.toHex());
    QCOMPARE(Cp866Codec::toUnicode(bytes), text);
}

void TestCp866Codec::everyByteRoundTrips()
{
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    const QString text = Cp866Codec::toUnicode(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(QSet<QChar>(text.begin(), text.end()).size(), 256);
    QByteArray back;
    QVERIFY(Cp866Codec::fromUnicode(text, back));
    QCOMPARE(back, all);
}

// Our own table must say what the system's IBM866 codec says, where the Qt
// build carries one. Only the upper half is compared: that codec follows
// IBM's table, which swaps the control codes 0x1A, 0x1C and 0x7F, while
// fiscal storages keep the lower half as plain ASCII.
void TestCp866Codec::agreesWithSystemCodec()
{
    QTextCodec *codec = QTextCodec::codecForName("IBM866");
    if (!codec)
        QSKIP("this Qt build has no IBM866 codec");
    for (int i = 0x80; i < 256; ++i) {
        const QByteArray byte(1, char(i));
        QCOMPARE(Cp866Codec::toUnicode(byte), codec->toUnicode(byte));
    }
}

void TestCp866Codec::refusesWhatItCannotEncode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("errorPart");

    QTest::newRow("chinese") << QStringLiteral("ab中") << "U+4E2D at position 3";
    QTest::newRow("latin accent") << QStringLiteral("é") << "U+00E9 at position 1";
    QTest::newRow("emoji pair") << QString::fromUtf8("x\xF0\x9F\x98\x80") << "U+1F600 at position 2";
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << "U+D800";
    QTest::newRow("ukrainian i") << QStringLiteral("і") << "U+0456";
}

void TestCp866Codec::refusesWhatItCannotEncode()
{
    QFETCH(QString, text);
    QFETCH(QString, errorPart);

    QByteArray out("kept");
    QString error;
    QVERIFY(!Cp866Codec::fromUnicode(text, out, &error));
    QVERIFY(!Cp866Codec::canEncode(text));
    QVERIFY2(error.contains(errorPart), qPrintable(error));
    QCOMPARE(out, QByteArray("kept"));
}

QTEST_GUILESS_MAIN(TestCp866Codec)
#include "tst_cp866codec.moc"
