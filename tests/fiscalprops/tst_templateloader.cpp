#include "fiscaldoccomplexproperty.h"
#include "fiscaldocpropertytemplateloader.h"

#include <QAtomicInt>
#include <QThread>
#include <QtTest>

#include <memory>
#include <vector>

using namespace fiscal;

namespace {

using P = FiscalDocPropertyBase;

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text));
}

} // namespace

class TestTemplateLoader : public QObject
{
    Q_OBJECT

private slots:
    // Runs first, before anything built the shared templates.
    void concurrentFirstUse();
    void referenceTags_data();
    void referenceTags();
    void receiptAndRegistrationTags();
    void unknownTags_data();
    void unknownTags();
    void freshIndependentTemplates();
    void tagsAscending();
    void fromMap();
    void readsWholeDocument();
    void refusesTruncatedDocument();
};

void TestTemplateLoader::concurrentFirstUse()
{
    QAtomicInt failures;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back(QThread::create([&failures] {
            FiscalDocPropertyTemplateLoader::init();
            const FiscalDocPropertyTemplateLoader loader;
            for (int round = 0; round < 50; ++round) {
                const FiscalDocPropertyPtr item = loader[1059];
                if (!item || item->propertyType() != P::ComplexProperty || !loader[1030]->setValue(QStringLiteral("x")))
                    failures.ref();
            }
        }));
    }
    for (auto &thread : threads)
        thread->start();
    for (auto &thread : threads)
        QVERIFY(thread->wait(30000));
    QCOMPARE(failures.loadRelaxed(), 0);
    FiscalDocPropertyTemplateLoader::init();
}

// Every tag of the fiscal data format reference, with its type and longest value.
void TestTemplateLoader::referenceTags_data()
{
    QTest::addColumn<uint>("tag");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("maxLength");

    const struct { uint tag; int type; int max; } rows[] = {
        {1001, P::ByteProperty, 1}, {1002, P::ByteProperty, 1}, {1008, P::StringProperty, 64},
        {1009, P::StringProperty, 256}, {1012, P::UnixTimeProperty, 4}, {1013, P::StringProperty, 20},
        {1017, P::FixedStringProperty, 12}, {1018, P::FixedStringProperty, 12}, {1020, P::VlnProperty, 6},
        {1021, P::StringProperty, 64}, {1023, P::FvlnProperty, 8}, {1030, P::StringProperty, 128},
        {1031, P::VlnProperty, 6}, {1036, P::StringProperty, 20}, {1037, P::FixedStringProperty, 20},
        {1038, P::UInt32Property, 4}, {1040, P::UInt32Property, 4}, {1041, P::FixedStringProperty, 16},
        {1042, P::UInt32Property, 4}, {1043, P::VlnProperty, 6}, {1046, P::StringProperty, 256},
        {1048, P::StringProperty, 256}, {1054, P::ByteProperty, 1}, {1055, P::BitFlagsProperty, 1},
        {1056, P::ByteProperty, 1}, {1057, P::BitFlagsProperty, 1}, {1059, P::ComplexProperty, 1024},
        {1060, P::StringProperty, 256}, {1062, P::BitFlagsProperty, 1}, {1077, P::BytesProperty, 6},
        {1079, P::VlnProperty, 6}, {1081, P::VlnProperty, 6}, {1084, P::ComplexProperty, 320},
        {1085, P::StringProperty, 64}, {1086, P::StringProperty, 256}, {1102, P::VlnProperty, 6},
        {1103, P::VlnProperty, 6}, {1104, P::VlnProperty, 6}, {1105, P::VlnProperty, 6},
        {1106, P::VlnProperty, 6}, {1107, P::VlnProperty, 6}, {1108, P::ByteProperty, 1},
        {1109, P::ByteProperty, 1}, {1110, P::ByteProperty, 1}, {1117, P::StringProperty, 64},
        {1126, P::ByteProperty, 1}, {1162, P::BytesProperty, 32}, {1187, P::StringProperty, 256},
        {1188, P::StringProperty, 8}, {1189, P::ByteProperty, 1}, {1190, P::ByteProperty, 1},
        {1192, P::StringProperty, 16}, {1193, P::ByteProperty, 1}, {1197, P::StringProperty, 16},
        {1199, P::ByteProperty, 1}, {1203, P::FixedStringProperty, 12}, {1207, P::ByteProperty, 1},
        {1209, P::ByteProperty, 1}, {1212, P::ByteProperty, 1}, {1214, P::ByteProperty, 1},
        {1215, P::VlnProperty, 6}, {1216, P::VlnProperty, 6}, {1217, P::VlnProperty, 6},
        {1221, P::ByteProperty, 1}, {1222, P::BitFlagsProperty, 1}, {1223, P::ComplexProperty, 512},
        {1224, P::ComplexProperty, 512}, {1226, P::FixedStringProperty, 12},
    };
    for (const auto &row : rows)
        QTest::addRow("%u", row.tag) << row.tag << row.type << row.max;
}

void TestTemplateLoader::referenceTags()
{
    QFETCH(uint, tag);
    QFETCH(int, type);
    QFETCH(int, maxLength);

    const FiscalDocPropertyPtr property = FiscalDocPropertyTemplateLoader()[tag];
    QVERIFY(property);
    QCOMPARE(uint(property->tag()), tag);
    QCOMPARE(int(property->propertyType()), type);
    QCOMPARE(property->maxLength(), maxLength);
    QVERIFY(!property->hasValue());
    QVERIFY(!property->caption().isEmpty());
    QCOMPARE(bool(property.dynamicCast<FiscalDocComplexProperty>()), type == P::ComplexProperty);
}

// Tags a receipt or a registration report carries beyond the reference
// table, and the register's print-only item line.
void TestTemplateLoader::receiptAndRegistrationTags()
{
    const FiscalDocPropertyTemplateLoader loader;
    const uint tags[] = {1005, 1016, 1026, 1044, 1050, 1051, 1052, 1053, 1073, 1074, 1075, 1097, 1098,
                         1101, 1111, 1116, 1118, 1171, 1173, 1174, 1177, 1178, 1179, 1191, 1196, 1198,
                         1200, 1205, 1206, 1208, 1213, 1225, 1227, 1228, 1229, 1230, 1231, 3005};
    for (const uint tag : tags)
        QVERIFY2(loader[tag], qPrintable(QString::number(tag)));
    QCOMPARE(int(loader[TagItemPrintInfo]->propertyType()), int(P::StringProperty));
}

void TestTemplateLoader::unknownTags_data()
{
    QTest::addColumn<quint32>("tag");

    QTest::newRow("zero") << quint32(0);
    QTest::newRow("1000") << quint32(1000);
    QTest::newRow("9999") << quint32(9999);
    QTest::newRow("65535") << quint32(65535);
    // 1030 plus 2^16 must not wrap to the item name.
    QTest::newRow("past 16 bits") << quint32(1030 + 65536);
}

void TestTemplateLoader::unknownTags()
{
    QFETCH(quint32, tag);
    const FiscalDocPropertyTemplateLoader loader;
    QVERIFY(!loader[tag]);
    QVERIFY(!loader.contains(tag));
}

void TestTemplateLoader::freshIndependentTemplates()
{
    const FiscalDocPropertyTemplateLoader loader;
    const FiscalDocPropertyPtr first = loader[1030];
    QVERIFY(first->setValue(QStringLiteral("Хлеб")));
    first->setCaptIdx(0);
    const FiscalDocPropertyPtr second = FiscalDocPropertyTemplateLoader()[1030];
    QVERIFY(first != second);
    QVERIFY(!second->hasValue());

    const auto item = loader[1059].dynamicCast<FiscalDocComplexProperty>();
    QVERIFY(item->addProperty(first));
    QVERIFY(loader[1059].dynamicCast<FiscalDocComplexProperty>()->properties().isEmpty());
}

void TestTemplateLoader::tagsAscending()
{
    const QList<PropertyTag> tags = FiscalDocPropertyTemplateLoader().tags();
    QVERIFY(tags.size() >= 100);
    for (int i = 1; i < tags.size(); ++i)
        QVERIFY2(tags.at(i - 1) < tags.at(i), qPrintable(QString::number(tags.at(i))));
    for (const PropertyTag tag : tags)
        QVERIFY(FiscalDocPropertyTemplateLoader().contains(tag));
    QCOMPARE(QSet<PropertyTag>(tags.begin(), tags.end()).size(), tags.size());
}

void TestTemplateLoader::fromMap()
{
    const FiscalDocPropertyTemplateLoader loader;
    QString error;
    const FiscalDocPropertyPtr price = loader.fromMap({{QStringLiteral("tag"), 1079}, {QStringLiteral("value"), 250}}, &error);
    QVERIFY2(price, qPrintable(error));
    QCOMPARE(price->value().toULongLong(), 250ull);

    QVERIFY(!loader.fromMap({{QStringLiteral("tag"), 4242}, {QStringLiteral("value"), 1}}, &error));
    QCOMPARE(error, QStringLiteral("unknown tag 4242"));
    QVERIFY(!loader.fromMap({{QStringLiteral("tag"), QStringLiteral("x")}}, &error));
    QVERIFY(error.contains(QStringLiteral("numeric")));
    QVERIFY(!loader.fromMap({{QStringLiteral("tag"), 1079}, {QStringLiteral("value"), -5}}, &error));
    QVERIFY(error.contains(QStringLiteral("negative")));
    QVERIFY(!loader.fromMap({{QStringLiteral("tag"), 1059}, {QStringLiteral("value"), 1}}, &error));
    QVERIFY(error.contains(QStringLiteral("fiscprops")));
}

// A registration report's records as the storage hands them out one by one.
void TestTemplateLoader::readsWholeDocument()
{
    const QByteArray document = hex("f403 0400 044f9d5a")                       // 1012 date-time
            + hex("1004 0400 01000000")                                          // 1040 document 1
            + hex("fa03 0c00 373730313233343536372020")                          // 1018 user INN
            + hex("2604 0100 03")                                                // 1062 taxation
            + hex("b904 0100 02")                                                // 1209 FFD 1.05
            + hex("3504 0600 000012345678")                                      // 1077 fiscal sign
            + hex("cf07 0100 01");                                               // 1999, unknown
    QList<FiscalDocPropertyPtr> records;
    QString error;
    QVERIFY2(FiscalDocPropertyTemplateLoader().readRecords(document, records, &error), qPrintable(error));
    QCOMPARE(records.size(), 7);
    QCOMPARE(records.at(2)->value().toString(), QStringLiteral("7701234567"));
    QCOMPARE(records.at(3)->printableValue(), QStringLiteral("ОСН, УСН доход"));
    QCOMPARE(records.at(5)->printableValue(), QStringLiteral("0305419896"));
    QCOMPARE(int(records.at(6)->propertyType()), int(P::BytesProperty));
    QByteArray again;
    for (const FiscalDocPropertyPtr &record : records)
        again += record->toTlv();
    QCOMPARE(again.toHex(), document.toHex());
}

void TestTemplateLoader::refusesTruncatedDocument()
{
    const QByteArray document = hex("1004 0400 01000000") + hex("0e04 0400 0500");
    QList<FiscalDocPropertyPtr> records{FiscalDocPropertyPtr()};
    QString error;
    for (int cut = 1; cut < document.size(); ++cut) {
        if (cut == 8)
            continue; // a whole first record
        QVERIFY(!FiscalDocPropertyTemplateLoader().readRecords(document.left(cut), records, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(records.size(), 1);
    }
}

QTEST_GUILESS_MAIN(TestTemplateLoader)
#include "tst_templateloader.moc"
