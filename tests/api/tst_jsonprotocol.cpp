#include "jsonrequestprocessor.h"

#include <QJsonDocument>
#include <QtTest>

// The JSON side of the API without any back-end: envelope, key order,
// protocol numbers and the version-2 receipt form.
class TestJsonProtocol : public QObject
{
    Q_OBJECT

private slots:
    void envelopeIsCompactAndSorted();
    void envelopeWithoutKey();
    void nullForInvalidValues();
    void protocolOf_data();
    void protocolOf();
    void parse_data();
    void parse();
    void convertsTheExampleReceipt();
    void upperCaseLineItemsAndOtherLetters();
    void singleLineItemObjectIsDropped();
    void listValueStaysAValue();
    void topLevelKeysAreDropped();
    void unparsableTagsBecomeZero();
    void missingDocumentGivesEmptyForm();
};

static QVariant json(const char *text)
{
    return QJsonDocument::fromJson(text).toVariant();
}

void TestJsonProtocol::envelopeIsCompactAndSorted()
{
    const QVariantMap answer{{"zeta", 1}, {"alpha", QVariantMap{{"b", true}, {"a", "x"}}}};
    QCOMPARE(JsonRequestProcessor::envelope("document", answer),
             QByteArray(R"({"document":{"alpha":{"a":"x","b":true},"zeta":1},"protocol":1,"version":"1.0"})"));
}

void TestJsonProtocol::envelopeWithoutKey()
{
    QCOMPARE(JsonRequestProcessor::envelope(QString(), QVariantMap()), QByteArray(R"({"protocol":1,"version":"1.0"})"));
}

void TestJsonProtocol::nullForInvalidValues()
{
    QVariantMap version;
    for (const char *key : {"model", "ver", "subver", "modelstr"})
        version.insert(key, QVariant());
    QCOMPARE(JsonRequestProcessor::envelope("cashboxVersion", version),
             QByteArray(R"({"cashboxVersion":{"model":null,"modelstr":null,"subver":null,"ver":null},)"
                        R"("protocol":1,"version":"1.0"})"));
}

void TestJsonProtocol::protocolOf_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("protocol");
    QTest::newRow("missing") << QByteArray("{}") << 0;
    QTest::newRow("two") << QByteArray(R"({"protocol":2})") << 2;
    QTest::newRow("258 has low byte 2") << QByteArray(R"({"protocol":258})") << 2;
    QTest::newRow("three") << QByteArray(R"({"protocol":3})") << 3;
    QTest::newRow("text number") << QByteArray(R"({"protocol":"2"})") << 2;
    QTest::newRow("text not a number") << QByteArray(R"({"protocol":"2.5"})") << 0;
    QTest::newRow("huge") << QByteArray(R"({"protocol":1e300})") << 0;
    QTest::newRow("negative") << QByteArray(R"({"protocol":-254})") << 0;
    QTest::newRow("list") << QByteArray(R"({"protocol":[2]})") << 0;
}

void TestJsonProtocol::protocolOf()
{
    QFETCH(QByteArray, body);
    QFETCH(int, protocol);
    QVariantMap map;
    QString error;
    QVERIFY(JsonRequestProcessor::parse(body, map, error));
    QCOMPARE(int(JsonRequestProcessor::protocolOf(map)), protocol);
}

void TestJsonProtocol::parse_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("keys");
    QTest::newRow("object") << QByteArray(R"({"a":1,"b":2})") << true << 2;
    QTest::newRow("array reads as empty map") << QByteArray("[1,2]") << true << 0;
    QTest::newRow("not json") << QByteArray("hello") << false << 0;
    QTest::newRow("empty") << QByteArray() << false << 0;
    QTest::newRow("truncated") << QByteArray(R"({"a":)") << false << 0;
    QTest::newRow("deep nesting") << QByteArray(5000, '[') + QByteArray(5000, ']') << false << 0;
    QTest::newRow("number beyond double") << QByteArray(R"({"sum":1e400})") << false << 0;
    QTest::newRow("number beyond 64 bits") << QByteArray(R"({"sum":18446744073709551616,"b":1})") << true << 2;
}

void TestJsonProtocol::parse()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, ok);
    QFETCH(int, keys);
    QVariantMap map;
    QString error;
    QCOMPARE(JsonRequestProcessor::parse(body, map, error), ok);
    QCOMPARE(map.size(), keys);
    QCOMPARE(error.isEmpty(), ok);
}

void TestJsonProtocol::convertsTheExampleReceipt()
{
    const QVariantMap request = json(R"({"protocol":2,"document":{"sessionId":"s1","data":{"type":1,"bso":{
        "p1054":1,
        "p1059":[{"p1030":"Bread","p1079":100}],
        "p1084":{"p1085":"a","p1086":"b"}}}}})").toMap();
    const QVariantMap converted = JsonRequestProcessor::prepareFiscalCheckP2(request);
    QCOMPARE(JsonRequestProcessor::toJson(converted),
             QByteArray(R"({"document":{"data":{"fiscprops":[{"tag":1054,"value":1},)"
                        R"({"fiscprops":[{"tag":1030,"value":"Bread"},{"tag":1079,"value":100}],"tag":1059},)"
                        R"({"fiscprops":[{"tag":1085,"value":"a"},{"tag":1086,"value":"b"}],"tag":1084}],)"
                        R"("type":1},"sessionId":"s1"}})"));
}

void TestJsonProtocol::upperCaseLineItemsAndOtherLetters()
{
    const QVariantMap request = json(R"({"document":{"data":{"bso":{
        "P1059":[{"x1030":"A"},{"x1030":"B"}],"x1054":2}}}})").toMap();
    const QVariantList props = JsonRequestProcessor::prepareFiscalCheckP2(request)
                                   .value("document").toMap().value("data").toMap().value("fiscprops").toList();
    QCOMPARE(props.size(), 3);
    QCOMPARE(props.at(0).toMap().value("tag").toUInt(), 1059u);
    QCOMPARE(props.at(1).toMap().value("fiscprops").toList().at(0).toMap().value("value").toString(), QString("B"));
    QCOMPARE(props.at(2).toMap().value("tag").toUInt(), 1054u);
    QCOMPARE(props.at(2).toMap().value("value").toInt(), 2);
}

void TestJsonProtocol::singleLineItemObjectIsDropped()
{
    const QVariantMap request = json(R"({"document":{"data":{"bso":{"p1059":{"p1030":"A"},"p1054":1}}}})").toMap();
    const QVariantList props = JsonRequestProcessor::prepareFiscalCheckP2(request)
                                   .value("document").toMap().value("data").toMap().value("fiscprops").toList();
    QCOMPARE(props.size(), 1);
    QCOMPARE(props.at(0).toMap().value("tag").toUInt(), 1054u);
}

void TestJsonProtocol::listValueStaysAValue()
{
    const QVariantMap request = json(R"({"document":{"data":{"bso":{"p1008":["a","b"]}}}})").toMap();
    const QVariantList props = JsonRequestProcessor::prepareFiscalCheckP2(request)
                                   .value("document").toMap().value("data").toMap().value("fiscprops").toList();
    QCOMPARE(props.size(), 1);
    QCOMPARE(props.at(0).toMap().value("value").toList(), (QVariantList{"a", "b"}));
}

void TestJsonProtocol::topLevelKeysAreDropped()
{
    const QVariantMap request = json(R"({"protocol":2,"cashier":{"name":"x"},"document":{"print":1,"data":{}}})").toMap();
    const QVariantMap converted = JsonRequestProcessor::prepareFiscalCheckP2(request);
    QCOMPARE(converted.keys(), QStringList{"document"});
    QCOMPARE(converted.value("document").toMap().value("print").toInt(), 1);
    QVERIFY(converted.value("document").toMap().value("data").toMap().contains("fiscprops"));
}

void TestJsonProtocol::unparsableTagsBecomeZero()
{
    const QVariantList props = JsonRequestProcessor::prepareFiscalPropsP2(json(R"({"pabc":1,"q":{"":2}})").toMap());
    QCOMPARE(props.size(), 2);
    QCOMPARE(props.at(0).toMap().value("tag").toUInt(), 0u);
    QCOMPARE(props.at(1).toMap().value("fiscprops").toList().at(0).toMap().value("tag").toUInt(), 0u);
}

void TestJsonProtocol::missingDocumentGivesEmptyForm()
{
    QCOMPARE(JsonRequestProcessor::toJson(JsonRequestProcessor::prepareFiscalCheckP2(QVariantMap())),
             QByteArray(R"({"document":{"data":{"fiscprops":[]}}})"));
}

QTEST_GUILESS_MAIN(TestJsonProtocol)
#include "tst_jsonprotocol.moc"
