#include "fiscaldoccomplexproperty.h"
#include "fiscaldocpropertytemplateloader.h"

#include <QDataStream>
#include <QtTest>

using namespace fiscal;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text));
}

// An item as the fiscal storage keeps it: name "Хлеб", price 1.00, quantity
// 1.000, cost 1.00, no VAT.
const char ITEM_PARTS[] = "0604 0400 95aba5a1"
                          "3704 0100 64"
                          "ff03 0300 03e803"
                          "1304 0100 64"
                          "af04 0100 06";

QByteArray itemRecord()
{
    return hex("2304 1e00") + hex(ITEM_PARTS);
}

QVariantMap prop(uint tag, const QVariant &value)
{
    return {{QStringLiteral("tag"), tag}, {QStringLiteral("value"), value}};
}

QVariantMap compound(uint tag, const QVariantList &parts)
{
    return {{QStringLiteral("tag"), tag}, {QStringLiteral("fiscprops"), parts}};
}

QVariantList itemParts()
{
    return {prop(1030, QStringLiteral("Хлеб")), prop(1079, 100), prop(1023, QStringLiteral("1.000")),
            prop(1043, 100), prop(1199, 6)};
}

QSharedPointer<FiscalDocComplexProperty> item()
{
    return FiscalDocPropertyTemplateLoader()[1059].dynamicCast<FiscalDocComplexProperty>();
}

// A 1059 record holding `depth` levels of 1059 records in total.
QByteArray nestedRecords(int depth)
{
    QByteArray bytes;
    for (int i = 0; i < depth; ++i) {
        const int length = bytes.size();
        bytes = hex("2304") + QByteArray(1, char(length & 0xFF)) + QByteArray(1, char(length >> 8)) + bytes;
    }
    return bytes;
}

QVariantMap nestedMap(int depth)
{
    QVariantMap map = prop(1030, QStringLiteral("x"));
    for (int i = 0; i < depth; ++i)
        map = compound(1059, {map});
    return map;
}

} // namespace

class TestFiscalDocComplexProperty : public QObject
{
    Q_OBJECT

private slots:
    void decodesKnownItem();
    void encodesFromMapForm();
    void repeatedTagsKeepOrder();
    void nestedAgentData();
    void unknownPartKeptAsBytes();
    void malformedParts_data();
    void malformedParts();
    void deepNestingRefused_data();
    void deepNestingRefused();
    void lengthLimit();
    void cannotContainItself();
    void cloneIsIndependent();
    void printableLists();
};

void TestFiscalDocComplexProperty::decodesKnownItem()
{
    QDataStream stream(itemRecord());
    QString error;
    const FiscalDocPropertyPtr read = FiscalDocPropertyTemplateLoader().readRecord(stream, &error);
    QVERIFY2(read, qPrintable(error));
    const auto complex = read.dynamicCast<FiscalDocComplexProperty>();
    QVERIFY(complex);
    QCOMPARE(complex->properties().size(), 5);
    QCOMPARE(complex->property(TagItemName)->value().toString(), QStringLiteral("Хлеб"));
    QCOMPARE(complex->property(TagPrice)->value().toULongLong(), 100ull);
    QCOMPARE(complex->property(TagQuantity)->printableValue(), QStringLiteral("1.000"));
    QCOMPARE(complex->property(TagVatRate)->value().toUInt(), 6u);
    QVERIFY(!complex->property(TagUnit));
    QCOMPARE(complex->toTlv().toHex(), itemRecord().toHex());
}

void TestFiscalDocComplexProperty::encodesFromMapForm()
{
    const auto complex = item();
    QVERIFY2(complex->setMap(compound(1059, itemParts())), qPrintable(complex->errorString()));
    QCOMPARE(complex->toTlv().toHex(), itemRecord().toHex());
    // Headers of the parts follow the byte order too.
    QCOMPARE(complex->toByteArray(false, true).left(4).toHex(), QByteArray("04060004"));

    const QVariantMap map = complex->toMap();
    QCOMPARE(map.value(QStringLiteral("tag")).toUInt(), 1059u);
    QVERIFY(!map.contains(QStringLiteral("value")));
    const QVariantList parts = map.value(QStringLiteral("fiscprops")).toList();
    QCOMPARE(parts.size(), 5);
    QCOMPARE(parts.first().toMap(), prop(1030, QStringLiteral("Хлеб")));
    QCOMPARE(complex->value().toList(), parts);

    // The map carries the quantity as a number, so it reads back equal in
    // value, though without the three places the text form kept.
    const auto again = item();
    QVERIFY(again->setMap(map));
    QCOMPARE(again->toMap(), map);
}

void TestFiscalDocComplexProperty::repeatedTagsKeepOrder()
{
    const auto requisite = FiscalDocPropertyTemplateLoader()[1084].dynamicCast<FiscalDocComplexProperty>();
    QVERIFY(requisite->setValue(QVariantList{prop(1085, QStringLiteral("a")), prop(1086, QStringLiteral("b")),
                                             prop(1085, QStringLiteral("c"))}));
    const QList<FiscalDocPropertyPtr> names = requisite->propertiesByTag(TagUserRequisiteName);
    QCOMPARE(names.size(), 2);
    QCOMPARE(names.at(0)->value().toString(), QStringLiteral("a"));
    QCOMPARE(names.at(1)->value().toString(), QStringLiteral("c"));
    QCOMPARE(requisite->toByteArray().toHex(), QByteArray("3d04010061" "3e04010062" "3d04010063"));
}

void TestFiscalDocComplexProperty::nestedAgentData()
{
    QVariantList parts = itemParts();
    parts.append(prop(1222, 4));
    parts.append(compound(1223, {prop(1073, QStringLiteral("+79990001122")), prop(1044, QStringLiteral("Оплата"))}));
    parts.append(compound(1224, {prop(1171, QStringLiteral("+79990003344")), prop(1225, QStringLiteral("ООО Ромашка"))}));
    parts.append(prop(1226, QStringLiteral("7701234567")));

    const auto complex = item();
    QVERIFY2(complex->setValue(parts), qPrintable(complex->errorString()));
    QCOMPARE(complex->nestingDepth(), 2);

    QString error;
    QDataStream stream(complex->toTlv());
    const auto read = FiscalDocPropertyTemplateLoader().readRecord(stream, &error)
            .dynamicCast<FiscalDocComplexProperty>();
    QVERIFY2(read, qPrintable(error));
    const auto agent = read->property(TagAgentData).dynamicCast<FiscalDocComplexProperty>();
    QVERIFY(agent);
    QCOMPARE(agent->property(TagAgentOperation)->value().toString(), QStringLiteral("Оплата"));
    QCOMPARE(read->property(TagSupplierInn)->toByteArray(), QByteArray("7701234567  "));
    QCOMPARE(read->toMap(), complex->toMap());
}

void TestFiscalDocComplexProperty::unknownPartKeptAsBytes()
{
    // Tag 1999 is not in the library's table.
    const QByteArray record = hex("2304 0d00") + hex("0604 0100 78") + hex("cf07 0400 deadbeef");
    QDataStream stream(record);
    const auto read = FiscalDocPropertyTemplateLoader().readRecord(stream).dynamicCast<FiscalDocComplexProperty>();
    QVERIFY(read);
    const FiscalDocPropertyPtr unknown = read->property(PropertyTag(1999));
    QVERIFY(unknown);
    QCOMPARE(int(unknown->propertyType()), int(FiscalDocPropertyBase::BytesProperty));
    QCOMPARE(unknown->toMap().value(QStringLiteral("value")).toString(), QStringLiteral("deadbeef"));
    QCOMPARE(read->toTlv(), record);

    // The map form, though, accepts only tags the library knows.
    const auto complex = item();
    QVERIFY(!complex->setValue(QVariantList{prop(1999, 1)}));
    QVERIFY(complex->errorString().contains(QStringLiteral("unknown tag 1999")));
}

void TestFiscalDocComplexProperty::malformedParts_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QString>("errorPart");

    QTest::newRow("part cut in its header") << hex("2304 0600 0604 0100 78 06") << "ends inside its header";
    QTest::newRow("part length past the end") << hex("2304 0600 0604 0900 7878") << "announces 9 bytes but 2 remain";
    QTest::newRow("part length 65535") << hex("2304 0400 0604 ffff") << "announces 65535 bytes but 0 remain";
    QTest::newRow("bad value in a part") << hex("2304 0b00 3704 0700 01020304050607")
                                         << "tag 1059: tag 1079: a value of 7 bytes";
    QTest::newRow("bad value deeper") << hex("2304 0a00 c704 0600 c604 0200 0101")
                                      << "tag 1223: tag 1222: a value of 2 bytes";
    QTest::newRow("outer length past the end") << hex("2304 2000 0604 0100 78") << "announces 32 value bytes but holds 5";
    QTest::newRow("item over 1024 bytes") << (hex("2304 0204") + QByteArray(1026, '\0')) << "1026 bytes";
}

void TestFiscalDocComplexProperty::malformedParts()
{
    QFETCH(QByteArray, record);
    QFETCH(QString, errorPart);

    QDataStream stream(record);
    QString error;
    QVERIFY(!FiscalDocPropertyTemplateLoader().readRecord(stream, &error));
    QVERIFY2(error.contains(errorPart), qPrintable(error));
}

void TestFiscalDocComplexProperty::deepNestingRefused_data()
{
    QTest::addColumn<int>("depth");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("at the limit") << FiscalDocComplexProperty::MAX_NESTING << true;
    QTest::newRow("one past") << FiscalDocComplexProperty::MAX_NESTING + 1 << false;
    QTest::newRow("1000 deep") << 1000 << false;
}

// Nesting is bounded both in bytes and in the map form, so hostile input
// cannot drive the recursion deep.
void TestFiscalDocComplexProperty::deepNestingRefused()
{
    QFETCH(int, depth);
    QFETCH(bool, accepted);

    // 1059 allows 1024 bytes, so bytes nest at most 256 deep on their own;
    // the records here are empty items inside each other.
    const QByteArray bytes = nestedRecords(qMin(depth, 250));
    QDataStream stream(bytes);
    QString error;
    const FiscalDocPropertyPtr read = FiscalDocPropertyTemplateLoader().readRecord(stream, &error);
    QCOMPARE(bool(read), accepted);
    if (!accepted)
        QVERIFY2(error.contains(QStringLiteral("nested deeper than")), qPrintable(error));

    const auto complex = item();
    QCOMPARE(complex->setMap(nestedMap(depth)), accepted);
    if (!accepted)
        QVERIFY2(complex->errorString().contains(QStringLiteral("nested deeper than")),
                 qPrintable(complex->errorString()));
    else
        QCOMPARE(complex->nestingDepth(), depth);
}

void TestFiscalDocComplexProperty::lengthLimit()
{
    // 1084 allows 320 bytes: two names of 64 and one value of 180 fit
    // (68 + 68 + 184 = 320), one more byte does not.
    QVariantList parts{prop(1085, QString(64, QLatin1Char('a'))), prop(1085, QString(64, QLatin1Char('b'))),
                       prop(1086, QString(180, QLatin1Char('c')))};
    const auto requisite = FiscalDocPropertyTemplateLoader()[1084].dynamicCast<FiscalDocComplexProperty>();
    QVERIFY2(requisite->setValue(parts), qPrintable(requisite->errorString()));
    QCOMPARE(requisite->toByteArray().size(), 320);

    const FiscalDocPropertyPtr extra = FiscalDocPropertyTemplateLoader()[1085];
    QVERIFY(extra->setValue(QString()));
    QVERIFY(!requisite->addProperty(extra));
    QVERIFY(requisite->errorString().contains(QStringLiteral("324 bytes")));
    QCOMPARE(requisite->properties().size(), 3);

    parts.last() = prop(1086, QString(181, QLatin1Char('c')));
    QVERIFY(!requisite->setValue(parts));
    QCOMPARE(requisite->toByteArray().size(), 320);
}

void TestFiscalDocComplexProperty::cannotContainItself()
{
    const auto outer = item();
    const auto inner = item();
    QVERIFY(outer->addProperty(inner));
    QVERIFY(!outer->addProperty(outer));
    QVERIFY(!inner->addProperty(outer));
    QVERIFY(inner->errorString().contains(QStringLiteral("itself")));
    QVERIFY(!outer->addProperty(FiscalDocPropertyPtr()));
    QCOMPARE(outer->nestingDepth(), 2);
}

void TestFiscalDocComplexProperty::cloneIsIndependent()
{
    const auto original = item();
    QVERIFY(original->setValue(itemParts()));
    const auto copy = original->clone().dynamicCast<FiscalDocComplexProperty>();
    QVERIFY(copy);
    QVERIFY(copy->property(TagItemName)->setValue(QStringLiteral("Молоко")));
    QCOMPARE(original->property(TagItemName)->value().toString(), QStringLiteral("Хлеб"));
    QCOMPARE(copy->properties().size(), 5);
}

void TestFiscalDocComplexProperty::printableLists()
{
    const auto complex = item();
    QVERIFY(complex->setValue(itemParts()));
    QCOMPARE(complex->printable(40).split(QLatin1Char('\n')),
             (QStringList{QStringLiteral("Предмет расчета"), QStringLiteral("Наименование предмета расчета\tХлеб"),
                          QStringLiteral("ЦЕНА\t1.00"), QStringLiteral("КОЛ.\t1.000"),
                          QStringLiteral("СТОИМОСТЬ\t1.00"), QStringLiteral("НДС\tБЕЗ НДС")}));
    const QVariantMap map = complex->toMap(true);
    QCOMPARE(map.value(QStringLiteral("caption")).toString(), QStringLiteral("Предмет расчета"));
    const QVariantMap name = map.value(QStringLiteral("fiscprops")).toList().first().toMap();
    QCOMPARE(name.value(QStringLiteral("printable")).toString(), QStringLiteral("Хлеб"));
}

QTEST_GUILESS_MAIN(TestFiscalDocComplexProperty)
#include "tst_fiscaldoccomplexproperty.moc"
