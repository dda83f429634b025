#include <strictjson.h>

#include <QJsonObject>
#include <QtTest>

// JSON from others: a key named twice in one object is refused before Qt
// reads the text, keys compare as decoded text, and the same key in
// different objects is no repeat.
class TestStrictJson : public QObject
{
    Q_OBJECT

private slots:
    void repeats_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("offset");
        QTest::newRow("plain") << QByteArray(R"({"a":1,"a":2})") << "a" << 7;
        QTest::newRow("object values") << QByteArray(R"({"x":{"q":1}, "x":{"q":2}})") << "x" << 14;
        QTest::newRow("escaped") << QByteArray(R"({"x":[1],"\u0078":[2]})") << "x" << 9;
        QTest::newRow("empty key") << QByteArray(R"({"":{},"":{}})") << "" << 7;
        QTest::newRow("nested") << QByteArray(R"([{"d":{"k":1,"v":"k","k":0}}])") << "k" << 21;
    }
    void repeats()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, key);
        QFETCH(int, offset);
        QString found;
        int at = -1;
        QVERIFY(qt5ext::StrictJson::findRepeatedKey(text, found, at));
        QCOMPARE(found, key);
        QCOMPARE(at, offset);
        QJsonDocument document;
        QString error;
        QVERIFY(!qt5ext::StrictJson::parse(text, document, error));
        QCOMPARE(error, QStringLiteral("the key \"%1\" is repeated").arg(key));
    }

    void noRepeat_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("other objects") << QByteArray(R"([{"a":1},{"a":2},{"b":{"a":3}}])");
        QTest::newRow("values like keys") << QByteArray(R"({"a":"a","b":["a","a"]})");
        QTest::newRow("quotes in keys") << QByteArray(R"({"a\"b":1,"a":2,"b":3})");
        QTest::newRow("broken off") << QByteArray(R"({"a":1,"a)");
    }
    void noRepeat()
    {
        QFETCH(QByteArray, text);
        QString key;
        int at = -1;
        QVERIFY(!qt5ext::StrictJson::findRepeatedKey(text, key, at));
    }

    void readsWhatIsJson()
    {
        QJsonDocument document;
        QString error;
        QVERIFY(qt5ext::StrictJson::parse(R"({"a":{"b":[1,2]},"c":"d"})", document, error));
        QCOMPARE(document.object().value("c").toString(), QStringLiteral("d"));
        int offset = -1;
        QVERIFY(!qt5ext::StrictJson::parse(R"({"a":})", document, error, &offset));
        QVERIFY(!error.isEmpty());
        QVERIFY(offset > 0);
    }
};

QTEST_GUILESS_MAIN(TestStrictJson)
#include "tst_strictjson.moc"
