#include "checkoperation.h"
#include "checktestsupport.h"
#include "fiscaldocpropertytemplateloader.h"

#include <QDataStream>
#include <QtTest>

using namespace fiscal;

namespace {

QVariantMap item(const QByteArray &partsJson)
{
    return compound(1059, jsonList(partsJson));
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text));
}

} // namespace

class TestCheckOperation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void readsItemFromJson();
    void defaultsOfShortItem();
    void cost_data();
    void cost();
    void taxTag_data();
    void taxTag();
    void refusals_data();
    void refusals();
    void refusalLeavesItemUnchanged();
    void deepNestingRefused();
    void oversizedItemRefused();
    void writesRegisterOrder();
    void roundTripThroughTlv();
    void toPropertyFillsTemplates();
    void toPropertyWithoutValue();
    void toPropertyPicksOccurrence();
    void unwritableValuesReported();
};

void TestCheckOperation::initTestCase()
{
    FiscalDocPropertyTemplateLoader::init();
}

void TestCheckOperation::readsItemFromJson()
{
    CheckOperation op;
    QString error;
    QVERIFY2(op.parseMap(item(R"([{"tag":1030,"value":"Хлеб ржаной"},{"tag":1079,"value":4550},
                                  {"tag":1023,"value":1.5},{"tag":1199,"value":1},{"tag":1214,"value":"3"},
                                  {"tag":1212,"value":4},{"tag":1197,"value":"кг"},{"tag":1162,"value":"0102"}])"),
                         &error), qPrintable(error));
    QCOMPARE(op.itemName(), QStringLiteral("Хлеб ржаной"));
    QCOMPARE(op.price(), qt5ext::FixNumber(100, 4550));
    QCOMPARE(op.quantity().toDouble(), 1.5);
    QCOMPARE(op.quantity().multiplier(), qint64(10));
    // No cost given: price times quantity.
    QCOMPARE(op.total(), qt5ext::FixNumber(100, 6825));
    QCOMPARE(op.taxTag(), TagVat20);
    QCOMPARE(op.vatRate(), 1);
    QCOMPARE(int(op.method()), 3);
    QCOMPARE(int(op.itemType()), 4);
    QCOMPARE(op.unit(), QStringLiteral("кг"));
    QCOMPARE(op.otherProperties().size(), 1);
    QCOMPARE(op.otherProperties().first()->tag(), TagProductCode);
}

void TestCheckOperation::defaultsOfShortItem()
{
    CheckOperation op;
    QString error;
    QVERIFY2(op.parseMap(item(R"([{"tag":1030,"value":"Спички"},{"tag":1079,"value":"150"}])"), &error),
             qPrintable(error));
    QCOMPARE(op.quantity().toDouble(), 1.0);
    QCOMPARE(op.total(), qt5ext::FixNumber(100, 150));
    QCOMPARE(int(op.method()), int(CheckOperation::DEFAULT_METHOD));
    QCOMPARE(int(op.itemType()), int(CheckOperation::DEFAULT_ITEM_TYPE));
    QCOMPARE(int(op.taxTag()), 0);
    QCOMPARE(int(op.agentFlag()), 0);
    QVERIFY(op.agent().isEmpty());
    QVERIFY(op.provider().isEmpty());
}

void TestCheckOperation::cost_data()
{
    QTest::addColumn<QVariant>("price");
    QTest::addColumn<QVariant>("quantity");
    QTest::addColumn<qint64>("kopecks");

    QTest::newRow("whole") << QVariant(250) << QVariant(4) << qint64(1000);
    QTest::newRow("third rounds down") << QVariant(100) << QVariant(QStringLiteral("0.333")) << qint64(33);
    QTest::newRow("half rounds up") << QVariant(1) << QVariant(QStringLiteral("0.5")) << qint64(1);
    QTest::newRow("one and a half up") << QVariant(3) << QVariant(0.5) << qint64(2);
    QTest::newRow("weight") << QVariant(8990) << QVariant(QStringLiteral("0.735")) << qint64(6608);
    QTest::newRow("trailing zeros") << QVariant(999999) << QVariant(QStringLiteral("1000.000"))
                                    << qint64(999999000);
    QTest::newRow("largest cost") << QVariant(qulonglong((quint64(1) << 48) - 1)) << QVariant(1)
                                  << qint64((qint64(1) << 48) - 1);
}

void TestCheckOperation::cost()
{
    QFETCH(QVariant, price);
    QFETCH(QVariant, quantity);
    QFETCH(qint64, kopecks);
    CheckOperation op;
    QString error;
    QVERIFY2(op.parseMap(compound(1059, {prop(1030, QStringLiteral("x")), prop(1079, price), prop(1023, quantity)}),
                         &error), qPrintable(error));
    QCOMPARE(op.total().value(), kopecks);
    QCOMPARE(op.total().multiplier(), qint64(100));
}

void TestCheckOperation::taxTag_data()
{
    QTest::addColumn<QByteArray>("taxParts");
    QTest::addColumn<int>("tag");

    QTest::newRow("rate 1") << QByteArray(R"({"tag":1199,"value":1})") << 1102;
    QTest::newRow("rate 2") << QByteArray(R"({"tag":1199,"value":2})") << 1103;
    QTest::newRow("rate 3") << QByteArray(R"({"tag":1199,"value":3})") << 1106;
    QTest::newRow("rate 4") << QByteArray(R"({"tag":1199,"value":"4"})") << 1107;
    QTest::newRow("rate 5") << QByteArray(R"({"tag":1199,"value":5})") << 1104;
    QTest::newRow("rate 6") << QByteArray(R"({"tag":1199,"value":6})") << 1105;
    QTest::newRow("rate as tax tag") << QByteArray(R"({"tag":1199,"value":1105})") << 1105;
    QTest::newRow("tax tag with amount") << QByteArray(R"({"tag":1103,"value":1000})") << 1103;
    QTest::newRow("rate and matching amount")
            << QByteArray(R"({"tag":1199,"value":3},{"tag":1106,"value":1833})") << 1106;
}

void TestCheckOperation::taxTag()
{
    QFETCH(QByteArray, taxParts);
    QFETCH(int, tag);
    CheckOperation op;
    QString error;
    QVERIFY2(op.parseMap(item(R"([{"tag":1030,"value":"x"},{"tag":1079,"value":11000},)" + taxParts + "]"),
                         &error), qPrintable(error));
    QCOMPARE(int(op.taxTag()), tag);
    // Whatever form the tax came in, the item is written with its rate code.
    const FiscalDocPropertyPtr rate = op.toProperty(FiscalDocPropertyTemplateLoader()[1199]);
    QVERIFY(rate);
    QCOMPARE(int(taxTagByVatRate(int(rate->value().toUInt()))), tag);
}

void TestCheckOperation::refusals_data()
{
    QTest::addColumn<QVariantMap>("input");
    QTest::addColumn<QString>("error");

    const QByteArray name = R"({"tag":1030,"value":"x"},)";
    const QByteArray price = R"({"tag":1079,"value":100},)";
    const auto row = [](const char *title, const QByteArray &parts, const char *error) {
        QByteArray json = parts;
        if (json.endsWith(','))
            json.chop(1);
        QTest::newRow(title) << item("[" + json + "]") << QString::fromUtf8(error);
    };
    row("no name", price, "no name (tag 1030)");
    row("blank name", R"({"tag":1030,"value":"   "},)" + price, "no name (tag 1030)");
    row("null name", R"({"tag":1030,"value":null},)" + price, "no name (tag 1030)");
    row("no price", name, "no price (tag 1079)");
    row("negative price", name + R"({"tag":1079,"value":-5})", "negative");
    row("price not a number", name + R"({"tag":1079,"value":"abc"})", "is not a whole number");
    row("price in fractions of a kopeck", name + R"({"tag":1079,"value":10.5})", "not a whole number");
    row("price a list", name + R"({"tag":1079,"value":[1]})", "where a number is expected");
    row("quantity zero", name + price + R"({"tag":1023,"value":0})", "a quantity of zero (tag 1023)");
    row("quantity zero with decimals", name + price + R"({"tag":1023,"value":"0.000"})", "a quantity of zero");
    row("negative quantity", name + price + R"({"tag":1023,"value":-1})", "negative number -1");
    row("negative fractional quantity", name + price + R"({"tag":1023,"value":-1.5})", "not a non-negative number");
    row("negative quantity text", name + price + R"({"tag":1023,"value":"-2"})", "not a non-negative decimal");
    row("quantity not a number", name + price + R"({"tag":1023,"value":"two"})", "not a non-negative decimal");
    row("negative cost", name + price + R"({"tag":1043,"value":-100})", "negative");
    row("unknown VAT rate", name + price + R"({"tag":1199,"value":7})", "unknown VAT rate 7 (tag 1199)");
    row("rate against tax tag", name + price + R"({"tag":1199,"value":1},{"tag":1103,"value":10})",
        "means tag 1102, but the item is taxed under tag 1103");
    row("two tax tags", name + price + R"({"tag":1102,"value":1},{"tag":1103,"value":10})",
        "taxed under both tag 1102 and tag 1103");
    row("unknown payment method", name + price + R"({"tag":1214,"value":8})", "unknown payment method 8");
    row("item type zero", name + price + R"({"tag":1212,"value":0})", "item type 0 (tag 1212)");
    row("name twice", name + name + price, "tag 1030 given twice");
    row("item inside an item", name + price + R"({"tag":1059,"fiscprops":[]})", "part 3 is an item inside an item");
    row("part not a map", name + price + R"(5)", "part 3 is not a property map");
    row("part without tag", name + price + R"({"value":5})", "part 3 has no numeric \"tag\"");
    row("unknown tag", name + price + R"({"tag":9999,"value":5})", "part 3: unknown tag 9999");
    row("name not encodable", R"({"tag":1030,"value":"日本"},)" + price, "tag 1030");
    row("agent data as a value", name + price + R"({"tag":1223,"value":"x"})", "needs \"fiscprops\"");
    row("simple part with parts", name + price + R"({"tag":1197,"fiscprops":[]})", "has no \"fiscprops\"");
    row("stranger in agent data", name + price + R"({"tag":1223,"fiscprops":[{"tag":1030,"value":"y"}]})",
        "tag 1030 has no place in agent data (tag 1223)");
    row("stranger in supplier data", name + price + R"({"tag":1224,"fiscprops":[{"tag":1073,"value":"1"}]})",
        "tag 1073 has no place in supplier data (tag 1224)");
    row("supplier name twice", name + price
        + R"({"tag":1224,"fiscprops":[{"tag":1225,"value":"a"},{"tag":1225,"value":"b"}]})",
        "supplier data (tag 1224) holds tag 1225 twice");
    row("cost too large", name + R"({"tag":1079,"value":281474976710655},{"tag":1023,"value":2})",
        "does not fit tag 1043");

    QTest::newRow("not an item") << prop(1030, QStringLiteral("x")) << QStringLiteral("not an item (tag 1059)");
    QTest::newRow("no part list") << prop(1059, 5) << QStringLiteral("needs a \"fiscprops\" list");
    QTest::newRow("parts not a list") << QVariantMap{{QStringLiteral("tag"), 1059},
                                                     {QStringLiteral("fiscprops"), QStringLiteral("abc")}}
                                      << QStringLiteral("needs a \"fiscprops\" list");
    QTest::newRow("64 KiB name") << compound(1059, {prop(1030, QString(65536, QLatin1Char('a'))), prop(1079, 1)})
                                 << QStringLiteral("longer than the 128");
}

void TestCheckOperation::refusals()
{
    QFETCH(QVariantMap, input);
    QFETCH(QString, error);
    CheckOperation op;
    QString text;
    QVERIFY(!op.parseMap(input, &text));
    QVERIFY2(text.contains(error), qPrintable(text));
}

void TestCheckOperation::refusalLeavesItemUnchanged()
{
    CheckOperation op;
    QVERIFY(op.parseMap(item(R"([{"tag":1030,"value":"Молоко"},{"tag":1079,"value":8900}])")));
    const CheckOperation before = op;
    QString error;
    QVERIFY(!op.parseMap(item(R"([{"tag":1030,"value":"Кефир"},{"tag":1079,"value":-1}])"), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(op == before);
    QCOMPARE(op.itemName(), QStringLiteral("Молоко"));
}

void TestCheckOperation::deepNestingRefused()
{
    // Agent data nested a thousand times over: refused without walking all
    // the way down.
    QVariantMap input = compound(1059, {prop(1030, QStringLiteral("x")), prop(1079, 1), nestedAgentData(1000)});
    CheckOperation op;
    QString error;
    QVERIFY(!op.parseMap(input, &error));
    QVERIFY2(error.contains(QStringLiteral("nested deeper")), qPrintable(error));

    // Two levels are well-formed compounds but still no agent data.
    input = compound(1059, {prop(1030, QStringLiteral("x")), prop(1079, 1), nestedAgentData(2)});
    QVERIFY(!op.parseMap(input, &error));
    QVERIFY2(error.contains(QStringLiteral("tag 1223 has no place in agent data")), qPrintable(error));
}

void TestCheckOperation::oversizedItemRefused()
{
    // Each additional requisite takes 68 bytes; the item record holds 1024.
    QVariantList parts{prop(1030, QStringLiteral("x")), prop(1079, 1)};
    for (int i = 0; i < 10000; ++i)
        parts.append(prop(1191, QString(64, QLatin1Char('r'))));
    CheckOperation op;
    QString error;
    QVERIFY(!op.parseMap(compound(1059, parts), &error));
    QVERIFY2(error.contains(QStringLiteral("more than the 1024")), qPrintable(error));
}

void TestCheckOperation::writesRegisterOrder()
{
    CheckOperation op;
    QString error;
    QVERIFY2(op.parseMap(item(R"([{"tag":1191,"value":"доп"},{"tag":1226,"value":"7707083893"},
                                  {"tag":1224,"fiscprops":[{"tag":1225,"value":"ООО Поставщик"},{"tag":1171,"value":"+74950000000"}]},
                                  {"tag":1222,"value":4},{"tag":1212,"value":1},{"tag":1214,"value":4},
                                  {"tag":1199,"value":6},{"tag":1043,"value":300},{"tag":1023,"value":"2"},
                                  {"tag":1079,"value":150},{"tag":1030,"value":"Товар"},{"tag":1197,"value":"шт"}])"),
                         &error), qPrintable(error));
    QList<int> tags;
    for (const FiscalDocPropertyPtr &part : op.toProperties())
        tags.append(part->tag());
    QCOMPARE(tags, (QList<int>{1030, 1079, 1023, 1043, 1199, 1214, 1212, 1197, 1222, 1224, 1226, 1191}));
    QCOMPARE(op.provider().name(), QStringLiteral("ООО Поставщик"));
    QCOMPARE(op.provider().phones(), QStringList{QStringLiteral("+74950000000")});
    QCOMPARE(op.providerInn(), QStringLiteral("7707083893"));
    QCOMPARE(int(op.agentFlag()), 4);
}

void TestCheckOperation::roundTripThroughTlv()
{
    CheckOperation op;
    QString error;
    QVERIFY2(op.parseMap(item(R"([{"tag":1030,"value":"Сыр Российский 45%"},{"tag":1079,"value":"65000"},
                                  {"tag":1023,"value":"0.350"},{"tag":1199,"value":2},{"tag":1214,"value":1},
                                  {"tag":1212,"value":1},{"tag":1197,"value":"кг"},{"tag":1222,"value":64},
                                  {"tag":1223,"fiscprops":[{"tag":1044,"value":"Оплата"},{"tag":1073,"value":"+71110000000"},
                                                          {"tag":1073,"value":"+72220000000"},{"tag":1016,"value":"7707083893"}]},
                                  {"tag":1226,"value":"500100732259"},{"tag":3005,"value":"акция"}])"),
                         &error), qPrintable(error));
    const QSharedPointer<FiscalDocComplexProperty> record = op.toComplexProperty(&error);
    QVERIFY2(record, qPrintable(error));
    const QByteArray tlv = record->toTlv();
    // Quantity 0.350 keeps its three digits after the point.
    QVERIFY(tlv.contains(hex("ff03 0300 035e01")));
    QCOMPARE(op.total(), qt5ext::FixNumber(100, 22750));

    QDataStream stream(tlv);
    stream.setByteOrder(QDataStream::LittleEndian);
    const FiscalDocPropertyPtr read = FiscalDocPropertyTemplateLoader().readRecord(stream, &error);
    QVERIFY2(read, qPrintable(error));
    CheckOperation back;
    QVERIFY2(back.parse(*read.dynamicCast<FiscalDocComplexProperty>(), &error), qPrintable(error));
    QVERIFY(back == op);
    QCOMPARE(back.quantity().multiplier(), qint64(1000));
    QCOMPARE(back.agent().payingAgentPhones().size(), 2);
    QCOMPARE(back.toComplexProperty()->toTlv(), tlv);

    // And through the map form, as an answer carries it.
    CheckOperation fromMap;
    QVERIFY2(fromMap.parseMap(op.toMap(), &error), qPrintable(error));
    QVERIFY(fromMap == op);
}

void TestCheckOperation::toPropertyFillsTemplates()
{
    CheckOperation op;
    QString error;
    QVERIFY2(op.parseMap(item(R"([{"tag":1030,"value":"Услуга"},{"tag":1079,"value":100000},
                                  {"tag":1023,"value":"1.000"},{"tag":1199,"value":5},{"tag":1197,"value":"усл"},
                                  {"tag":1222,"value":2},{"tag":1223,"fiscprops":[{"tag":1026,"value":"Банк"}]},
                                  {"tag":1224,"fiscprops":[{"tag":1225,"value":"ИП Иванов"}]},
                                  {"tag":1226,"value":"7707083893"}])"),
                         &error), qPrintable(error));
    const FiscalDocPropertyTemplateLoader loader;

    const FiscalDocPropertyPtr unit = loader[1197];
    QCOMPARE(op.toProperty(unit, 0), unit);
    QCOMPARE(unit->value().toString(), QStringLiteral("усл"));

    const FiscalDocPropertyPtr quantity = op.toProperty(loader[1023]);
    QVERIFY(quantity);
    QCOMPARE(quantity->toByteArray(), hex("03e803"));

    const FiscalDocPropertyPtr flags = op.toProperty(loader[1222]);
    QVERIFY(flags);
    QCOMPARE(flags->value().toUInt(), 2u);
    QCOMPARE(flags->propertyType(), FiscalDocPropertyBase::BitFlagsProperty);

    const FiscalDocPropertyPtr agent = op.agent().getProperty(loader[1223]);
    QVERIFY(agent);
    // 1026 "Банк" in CP866.
    QCOMPARE(agent->toByteArray(), hex("0204 0400 81a0adaa"));
    QCOMPARE(agent->toMap().value(QStringLiteral("fiscprops")).toList().size(), 1);

    const FiscalDocPropertyPtr provider = op.provider().getProperty(loader[1224]);
    QVERIFY(provider);
    QCOMPARE(provider->toMap().value(QStringLiteral("fiscprops")).toList().first().toMap()
             .value(QStringLiteral("value")).toString(), QStringLiteral("ИП Иванов"));

    const FiscalDocPropertyPtr inn = op.toProperty(loader[1226]);
    QVERIFY(inn);
    QCOMPARE(inn->toByteArray(), QByteArray("7707083893  "));

    const FiscalDocPropertyPtr name = op.toProperty(loader[1030]);
    QVERIFY(name);
    QCOMPARE(name->value().toString(), QStringLiteral("Услуга"));
    // The supplier template is no place for agent data.
    QVERIFY(!op.agent().getProperty(loader[1224]));
    QVERIFY(!op.toProperty(FiscalDocPropertyPtr()));
}

void TestCheckOperation::toPropertyWithoutValue()
{
    CheckOperation op;
    QVERIFY(op.parseMap(item(R"([{"tag":1030,"value":"x"},{"tag":1079,"value":1}])")));
    const FiscalDocPropertyTemplateLoader loader;
    QVERIFY(!op.toProperty(loader[1197], 0));
    QVERIFY(!op.toProperty(loader[1222]));
    QVERIFY(!op.toProperty(loader[1223]));
    QVERIFY(!op.toProperty(loader[3005]));
    QVERIFY(!op.agent().getProperty(loader[1223]));
    QVERIFY(!op.provider().getProperty(loader[1224]));
    QVERIFY(!op.toProperty(loader[1030], 1));
    QVERIFY(!op.toProperty(loader[1030], -1));
}

void TestCheckOperation::toPropertyPicksOccurrence()
{
    CheckOperation op;
    QVERIFY(op.parseMap(item(R"([{"tag":1030,"value":"x"},{"tag":1079,"value":1},
                                 {"tag":3005,"value":"первая"},{"tag":3005,"value":"вторая"}])")));
    const FiscalDocPropertyTemplateLoader loader;
    QCOMPARE(op.toProperty(loader[3005], 0)->value().toString(), QStringLiteral("первая"));
    QCOMPARE(op.toProperty(loader[3005], 1)->value().toString(), QStringLiteral("вторая"));
    QVERIFY(!op.toProperty(loader[3005], 2));
}

void TestCheckOperation::unwritableValuesReported()
{
    CheckOperation op;
    op.setItemName(QString(200, QLatin1Char('n')));
    op.setPrice(qt5ext::FixNumber(100, 100));
    QString error;
    QVERIFY(!op.toComplexProperty(&error));
    QVERIFY2(error.contains(QStringLiteral("tag 1030")), qPrintable(error));
    QVERIFY(op.toProperties().isEmpty());
    QVERIFY(op.toMap().isEmpty());

    op.setItemName(QStringLiteral("n"));
    op.setPrice(qt5ext::FixNumber(100, -1));
    QVERIFY(!op.toComplexProperty(&error));
    QVERIFY2(error.contains(QStringLiteral("negative")), qPrintable(error));

    op.setPrice(qt5ext::FixNumber(100, 1));
    op.setTaxTag(TagCashier);
    QVERIFY(!op.toComplexProperty(&error));
    QVERIFY2(error.contains(QStringLiteral("no tax tag")), qPrintable(error));

    // Money kept at another scale is written in kopecks.
    op.setTaxTag(TagNoVat);
    op.setPrice(qt5ext::FixNumber(1000, 12345));
    const FiscalDocPropertyPtr price = op.toProperty(FiscalDocPropertyTemplateLoader()[1079]);
    QVERIFY(price);
    QCOMPARE(price->value().toULongLong(), 1235ull);
}

QTEST_GUILESS_MAIN(TestCheckOperation)
#include "tst_checkoperation.moc"

