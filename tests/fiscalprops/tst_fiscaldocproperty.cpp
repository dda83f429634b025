#include "fiscaldocpropertytemplateloader.h"

#include <QDataStream>
#include <QJsonDocument>
#include <QJsonValue>
#include <QtTest>

using namespace fiscal;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text));
}

FiscalDocPropertyPtr templateOf(quint32 tag)
{
    const FiscalDocPropertyPtr property = FiscalDocPropertyTemplateLoader()[tag];
    if (!property)
        qFatal("no template for tag %u", tag);
    return property;
}

FiscalDocPropertyPtr parsed(const QByteArray &record, QString *error = nullptr)
{
    QDataStream stream(record);
    return FiscalDocPropertyTemplateLoader().readRecord(stream, error);
}

} // namespace

class TestFiscalDocProperty : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { FiscalDocPropertyTemplateLoader::init(); }

    void knownRecords_data();
    void knownRecords();
    void propertyTypeNumbers_data();
    void propertyTypeNumbers();
    void fullWidthAndBigEndian();
    void refusedValues_data();
    void refusedValues();
    void refusedRecords_data();
    void refusedRecords();
    void refusalKeepsValue();
    void longItemNameRefused();
    void textForms_data();
    void textForms();
    void dateTimeIgnoresZones();
    void mapForm();
    void mapFormRefusals();
    void captions();
    void printableLayout();
    void streamStaysInStep();
};

// Records of the reference format: setting the value encodes these bytes,
// and reading the bytes gives the value back.
void TestFiscalDocProperty::knownRecords_data()
{
    QTest::addColumn<uint>("tag");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QString>("printable");

    QTest::newRow("fvln 1.5") << 1023u << QVariant(1.5) << hex("ff03 0200 010f") << "1.5";
    QTest::newRow("fvln 1.000 keeps its digits") << 1023u << QVariant(QStringLiteral("1.000"))
                                                 << hex("ff03 0300 03e803") << "1.000";
    QTest::newRow("fvln zero") << 1023u << QVariant(0) << hex("ff03 0100 00") << "0";
    QTest::newRow("vln zero has no bytes") << 1020u << QVariant(0) << hex("fc03 0000") << "0.00";
    QTest::newRow("vln 123.45") << 1020u << QVariant(12345) << hex("fc03 0200 3930") << "123.45";
    QTest::newRow("vln from json double") << 1031u << QVariant(100.0) << hex("0704 0100 64") << "1.00";
    QTest::newRow("vln largest") << 1020u << QVariant(Q_UINT64_C(0xFFFFFFFFFFFF))
                                 << hex("fc03 0600 ffffffffffff") << "2814749767106.55";
    QTest::newRow("cp866 text") << 1030u << QVariant(QStringLiteral("Хлеб"))
                                << hex("0604 0400 95aba5a1") << "Хлеб";
    QTest::newRow("cp866 ё and №") << 1030u << QVariant(QStringLiteral("ё№1"))
                                   << hex("0604 0300 f1fc31") << "ё№1";
    QTest::newRow("empty text") << 1021u << QVariant(QString()) << hex("fd03 0000") << "";
    QTest::newRow("inn padded to 12") << 1018u << QVariant(QStringLiteral("7701234567"))
                                      << hex("fa03 0c00 37373031323334353637 2020") << "7701234567";
    QTest::newRow("inn from json number") << 1203u << QVariant(7701234567.0)
                                          << hex("b304 0c00 37373031323334353637 2020") << "7701234567";
    QTest::newRow("registration number padded to 20") << 1037u << QVariant(QStringLiteral("0000000001"))
                                                      << hex("0d04 1400 30303030303030303031 20202020202020202020")
                                                      << "0000000001";
    QTest::newRow("fs number 16") << 1041u << QVariant(QStringLiteral("9999078900004312"))
                                  << hex("1104 1000 39393939303738393030303034333132") << "9999078900004312";
    QTest::newRow("uint32") << 1038u << QVariant(5) << hex("0e04 0400 05000000") << "5";
    QTest::newRow("uint32 largest") << 1040u << QVariant(QStringLiteral("4294967295"))
                                    << hex("1004 0400 ffffffff") << "4294967295";
    QTest::newRow("uint16") << 1213u << QVariant(300) << hex("bd04 0200 2c01") << "300";
    QTest::newRow("byte enumeration") << 1054u << QVariant(1) << hex("1e04 0100 01") << "ПРИХОД";
    QTest::newRow("byte flag") << 1001u << QVariant(true) << hex("e903 0100 01") << "да";
    QTest::newRow("ffd version") << 1209u << QVariant(2) << hex("b904 0100 02") << "1.05";
    QTest::newRow("vat rate") << 1199u << QVariant(6) << hex("af04 0100 06") << "БЕЗ НДС";
    QTest::newRow("payment method") << 1214u << QVariant(4) << hex("be04 0100 04") << "ПОЛНЫЙ РАСЧЕТ";
    QTest::newRow("bit flags") << 1062u << QVariant(3) << hex("2604 0100 03") << "ОСН, УСН доход";
    QTest::newRow("bit flags unnamed bit") << 1057u << QVariant(0x84) << hex("2104 0100 84")
                                           << "ПЛ. АГЕНТ, 128";
    QTest::newRow("unixtime") << 1012u << QVariant(QDateTime(QDate(2018, 3, 5), QTime(14, 7), Qt::UTC))
                              << hex("f403 0400 044f9d5a") << "05.03.2018 14:07";
    QTest::newRow("fiscal sign") << 1077u << QVariant(hex("000012345678")) << hex("3504 0600 000012345678")
                                 << "0305419896";
    QTest::newRow("product code from hex") << 1162u << QVariant(QStringLiteral("01 AB ff"))
                                           << hex("8a04 0300 01abff") << "01 AB FF";
    QTest::newRow("print-only tag") << 3005u << QVariant(QStringLiteral("x")) << hex("bd0b 0100 78") << "x";
}

void TestFiscalDocProperty::knownRecords()
{
    QFETCH(uint, tag);
    QFETCH(QVariant, value);
    QFETCH(QByteArray, record);
    QFETCH(QString, printable);

    const FiscalDocPropertyPtr property = templateOf(tag);
    QVERIFY2(property->setValue(value), qPrintable(property->errorString()));
    QCOMPARE(property->toTlv().toHex(), record.toHex());
    QCOMPARE(property->toByteArray(true, true), record.mid(FiscalDocPropertyBase::TLV_HEADER_SIZE));
    QCOMPARE(property->printableValue(), printable);

    QString error;
    const FiscalDocPropertyPtr read = parsed(record, &error);
    QVERIFY2(read, qPrintable(error));
    QCOMPARE(uint(read->tag()), tag);
    QCOMPARE(read->propertyType(), property->propertyType());
    QCOMPARE(read->value(), property->value());
    QCOMPARE(read->printableValue(), printable);
    QCOMPARE(read->toTlv().toHex(), record.toHex());
}

void TestFiscalDocProperty::propertyTypeNumbers_data()
{
    QTest::addColumn<uint>("tag");
    QTest::addColumn<int>("type");

    QTest::newRow("string") << 1030u << 1;
    QTest::newRow("byte") << 1054u << 2;
    QTest::newRow("unixtime") << 1012u << 3;
    QTest::newRow("vln") << 1079u << 4;
    QTest::newRow("fvln") << 1023u << 5;
    QTest::newRow("uint32") << 1040u << 6;
    QTest::newRow("byte array") << 1077u << 7;
    QTest::newRow("stlv") << 1059u << 8;
    QTest::newRow("uint16") << 1213u << 9;
    QTest::newRow("fixed string") << 1018u << 10;
    QTest::newRow("bit flags") << 1062u << 11;
}

// Drivers choose their own property type from these numbers.
void TestFiscalDocProperty::propertyTypeNumbers()
{
    QFETCH(uint, tag);
    QFETCH(int, type);
    QCOMPARE(int(templateOf(tag)->propertyType()), type);
}

void TestFiscalDocProperty::fullWidthAndBigEndian()
{
    const FiscalDocPropertyPtr vln = templateOf(1020);
    QVERIFY(vln->setValue(0x0102));
    QCOMPARE(vln->toByteArray(true, false).toHex(), QByteArray("020100000000"));
    QCOMPARE(vln->toByteArray(false, true).toHex(), QByteArray("0102"));
    QVERIFY(vln->parseValue(hex("020100000000")));
    QCOMPARE(vln->value().toULongLong(), 0x0102ull);

    const FiscalDocPropertyPtr fvln = templateOf(1023);
    QVERIFY(fvln->setValueFromString(QStringLiteral("1.000")));
    QCOMPARE(fvln->toByteArray(true, false).toHex(), QByteArray("03e8030000000000"));
    QCOMPARE(fvln->toByteArray(false, true).toHex(), QByteArray("0303e8"));
    QVERIFY(fvln->parseValue(hex("03e8030000000000")));
    QCOMPARE(fvln->printableValue(), QStringLiteral("1.000"));

    const FiscalDocPropertyPtr uint32 = templateOf(1040);
    QVERIFY(uint32->setValue(0x01020304));
    QCOMPARE(uint32->toByteArray(false, true).toHex(), QByteArray("01020304"));
}

void TestFiscalDocProperty::refusedValues_data()
{
    QTest::addColumn<uint>("tag");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("errorPart");

    QTest::newRow("negative money") << 1079u << QVariant(-1) << "negative";
    QTest::newRow("fractional money") << 1079u << QVariant(12.5) << "whole number";
    QTest::newRow("money as words") << 1079u << QVariant(QStringLiteral("ten")) << "whole number";
    QTest::newRow("money past 6 bytes") << 1079u << QVariant(Q_UINT64_C(0x1000000000000)) << "larger";
    QTest::newRow("money as yes/no") << 1079u << QVariant(true) << "yes/no";
    QTest::newRow("byte past 255") << 1054u << QVariant(256) << "larger";
    QTest::newRow("uint16 past 65535") << 1213u << QVariant(65536) << "larger";
    QTest::newRow("uint32 past 32 bits") << 1040u << QVariant(Q_INT64_C(0x100000000)) << "larger";
    QTest::newRow("number as list") << 1040u << QVariant(QVariantList{1}) << "number is expected";
    QTest::newRow("quantity negative") << 1023u << QVariant(-1.0) << "non-negative";
    QTest::newRow("quantity words") << 1023u << QVariant(QStringLiteral("1.2.3")) << "decimal";
    QTest::newRow("quantity too many places") << 1023u << QVariant(QStringLiteral("1.0000000001")) << "digits";
    QTest::newRow("quantity past 7 bytes") << 1023u << QVariant(QStringLiteral("72057594037927936")) << "does not fit";
    QTest::newRow("quantity infinite") << 1023u << QVariant(qInf()) << "non-negative";
    QTest::newRow("text not in cp866") << 1030u << QVariant(QStringLiteral("Хлеб 中")) << "U+4E2D at position 6";
    QTest::newRow("emoji") << 1030u << QVariant(QString::fromUtf8("\xF0\x9F\x8D\x9E")) << "U+1F35E";
    QTest::newRow("euro sign") << 1021u << QVariant(QStringLiteral("€")) << "U+20AC";
    QTest::newRow("text as map") << 1030u << QVariant(QVariantMap()) << "text is expected";
    QTest::newRow("text too long") << 1197u << QVariant(QString(17, QLatin1Char('x'))) << "17 characters";
    QTest::newRow("inn too long") << 1018u << QVariant(QStringLiteral("1234567890123")) << "13 characters";
    QTest::newRow("bytes too many") << 1077u << QVariant(QByteArray(7, 'x')) << "7 bytes";
    QTest::newRow("bytes odd hex") << 1162u << QVariant(QStringLiteral("abc")) << "hexadecimal";
    QTest::newRow("bytes not hex") << 1162u << QVariant(QStringLiteral("zz")) << "hexadecimal";
    QTest::newRow("time before 1970") << 1012u << QVariant(QDateTime(QDate(1969, 12, 31), QTime(23, 0), Qt::UTC)) << "1970";
    QTest::newRow("time after 2106") << 1012u << QVariant(QStringLiteral("2107-01-01T00:00:00")) << "2106";
    QTest::newRow("time words") << 1012u << QVariant(QStringLiteral("yesterday")) << "date and time";
    QTest::newRow("compound from text") << 1059u << QVariant(QStringLiteral("x")) << "list of properties";
}

void TestFiscalDocProperty::refusedValues()
{
    QFETCH(uint, tag);
    QFETCH(QVariant, value);
    QFETCH(QString, errorPart);

    const FiscalDocPropertyPtr property = templateOf(tag);
    QVERIFY(!property->setValue(value));
    QVERIFY(!property->hasValue());
    QVERIFY2(property->errorString().contains(errorPart), qPrintable(property->errorString()));
    QVERIFY(property->errorString().startsWith(QStringLiteral("tag %1: ").arg(tag)));
}

void TestFiscalDocProperty::refusedRecords_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QString>("errorPart");

    QTest::newRow("empty") << QByteArray() << "before its tag";
    QTest::newRow("tag only") << hex("0604") << "before its value length";
    QTest::newRow("half a length") << hex("0604 04") << "before its value length";
    QTest::newRow("value cut short") << hex("0604 0400 95ab") << "announces 4 value bytes but holds 2";
    QTest::newRow("length past the end") << hex("0e04 ffff 05000000") << "longer than the 4";
    QTest::newRow("uint32 in 3 bytes") << hex("0e04 0300 050000") << "4-byte number encoded in 3";
    QTest::newRow("uint16 in 1 byte") << hex("bd04 0100 05") << "2-byte number encoded in 1";
    QTest::newRow("byte in 2 bytes") << hex("1e04 0200 0100") << "longer than the 1";
    QTest::newRow("vln in 7 bytes") << hex("fc03 0700 01020304050607") << "longer than the 6";
    QTest::newRow("fvln without point byte") << hex("ff03 0000") << "point byte";
    QTest::newRow("fvln with 200 places") << hex("ff03 0200 c801") << "200 digits";
    QTest::newRow("time in 5 bytes") << hex("f403 0500 044f9d5a00") << "longer than the 4";
    QTest::newRow("time in 3 bytes") << hex("f403 0300 044f9d") << "3 bytes instead of 4";
    QTest::newRow("inn of 13 bytes") << hex("fa03 0d00 31313131313131313131313131") << "longer than the 12";
    QTest::newRow("item name over 128") << (hex("0604 8100") + QByteArray(129, 'a')) << "129 bytes";
}

// Malformed records give a clear error, never a crash or a read past the end.
void TestFiscalDocProperty::refusedRecords()
{
    QFETCH(QByteArray, record);
    QFETCH(QString, errorPart);

    QString error;
    QVERIFY(!parsed(record, &error));
    QVERIFY2(error.contains(errorPart), qPrintable(error));
}

void TestFiscalDocProperty::refusalKeepsValue()
{
    const FiscalDocPropertyPtr price = templateOf(1079);
    QVERIFY(price->setValue(500));
    QVERIFY(!price->setValue(QStringLiteral("lots")));
    QVERIFY(!price->parseValue(QByteArray(7, '\1')));
    QCOMPARE(price->value(), QVariant(qulonglong(500)));

    const FiscalDocPropertyPtr name = templateOf(1030);
    QVERIFY(name->setValue(QStringLiteral("Хлеб")));
    QVERIFY(!name->setValue(QStringLiteral("中")));
    QCOMPARE(name->value().toString(), QStringLiteral("Хлеб"));
    QVERIFY(name->setValue(QVariant()));
    QVERIFY(!name->hasValue());
    QVERIFY(name->setValue(QStringLiteral("Хлеб")));
    // A JSON null empties the property as well.
    QVERIFY(name->setValue(QJsonValue(QJsonValue::Null).toVariant()));
    QVERIFY(!name->hasValue());
    QVERIFY(!name->value().isValid());
}

void TestFiscalDocProperty::longItemNameRefused()
{
    const FiscalDocPropertyPtr name = templateOf(1030);
    QVERIFY(!name->setValue(QString(64 * 1024, QChar(0x0416))));
    QVERIFY(name->errorString().contains(QStringLiteral("65536 characters")));
    QVERIFY(name->setValue(QString(128, QChar(0x0416))));
    QCOMPARE(name->toTlv().size(), 4 + 128);
}

void TestFiscalDocProperty::textForms_data()
{
    QTest::addColumn<uint>("tag");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("value");

    QTest::newRow("vln digits") << 1079u << " 100 " << QVariant(qulonglong(100));
    QTest::newRow("fvln comma") << 1023u << "2,5" << QVariant(2.5);
    QTest::newRow("byte") << 1212u << "4" << QVariant(4u);
    QTest::newRow("iso date-time") << 1012u << "2018-03-05T14:07:00"
                                   << QVariant(QDateTime(QDate(2018, 3, 5), QTime(14, 7), Qt::UTC));
    QTest::newRow("russian date-time") << 1012u << "05.03.2018 14:07"
                                       << QVariant(QDateTime(QDate(2018, 3, 5), QTime(14, 7), Qt::UTC));
    QTest::newRow("seconds") << 1012u << "1520258820"
                             << QVariant(QDateTime(QDate(2018, 3, 5), QTime(14, 7), Qt::UTC));
    QTest::newRow("padded inn") << 1018u << "  7701234567 " << QVariant(QStringLiteral("7701234567"));
    QTest::newRow("hex bytes") << 1077u << "0102030405ff" << QVariant(hex("0102030405ff"));
}

void TestFiscalDocProperty::textForms()
{
    QFETCH(uint, tag);
    QFETCH(QString, text);
    QFETCH(QVariant, value);

    const FiscalDocPropertyPtr property = templateOf(tag);
    QVERIFY2(property->setValueFromString(text), qPrintable(property->errorString()));
    QCOMPARE(property->value(), value);
}

// The register's wall clock is stored as if it were UTC: a value given in
// any zone keeps the clock time it reads.
void TestFiscalDocProperty::dateTimeIgnoresZones()
{
    const QByteArray expected = hex("044f9d5a");
    const FiscalDocPropertyPtr dt = templateOf(1012);
    QVERIFY(dt->setValue(QDateTime(QDate(2018, 3, 5), QTime(14, 7), Qt::LocalTime)));
    QCOMPARE(dt->toByteArray(), expected);
    QVERIFY(dt->setValue(QDateTime(QDate(2018, 3, 5), QTime(14, 7), Qt::OffsetFromUTC, 3 * 3600)));
    QCOMPARE(dt->toByteArray(), expected);
    QVERIFY(dt->setValueFromString(QStringLiteral("2018-03-05T14:07:00+03:00")));
    QCOMPARE(dt->toByteArray(), expected);
    QCOMPARE(dt->value().toDateTime().toString(QStringLiteral("yyMMddhhmm")), QStringLiteral("1803051407"));
    QCOMPARE(dt->toMap().value(QStringLiteral("value")), QVariant(QStringLiteral("2018-03-05T14:07:00")));
}

void TestFiscalDocProperty::mapForm()
{
    const FiscalDocPropertyPtr total = templateOf(1020);
    QVERIFY(total->setValue(12345));
    QVariantMap plain = total->toMap();
    QCOMPARE(plain.keys(), (QStringList{QStringLiteral("tag"), QStringLiteral("value")}));
    QCOMPARE(plain.value(QStringLiteral("tag")).toUInt(), 1020u);
    QCOMPARE(plain.value(QStringLiteral("value")).toULongLong(), 12345ull);

    const QVariantMap full = total->toMap(true);
    QCOMPARE(full.value(QStringLiteral("caption")).toString(), QStringLiteral("ИТОГ"));
    QCOMPARE(full.value(QStringLiteral("printable")).toString(), QStringLiteral("123.45"));

    const FiscalDocPropertyPtr sign = templateOf(1077);
    QVERIFY(sign->setValue(hex("000012345678")));
    QCOMPARE(sign->toMap().value(QStringLiteral("value")).toString(), QStringLiteral("000012345678"));

    // Every map form reads back into an equal property.
    for (const FiscalDocPropertyPtr &p : {total, sign}) {
        const FiscalDocPropertyPtr copy = templateOf(p->tag());
        QVERIFY2(copy->setMap(p->toMap(true)), qPrintable(copy->errorString()));
        QCOMPARE(copy->toTlv(), p->toTlv());
    }

    // Binary values travel as hexadecimal text, so the JSON form is exact.
    QCOMPARE(QJsonDocument::fromVariant(sign->toMap()).toJson(QJsonDocument::Compact),
             QByteArray("{\"tag\":1077,\"value\":\"000012345678\"}"));

    const FiscalDocPropertyPtr empty = templateOf(1031);
    QVERIFY(empty->toMap().contains(QStringLiteral("value")));
    QVERIFY(!empty->toMap().value(QStringLiteral("value")).isValid());
}

void TestFiscalDocProperty::mapFormRefusals()
{
    const FiscalDocPropertyPtr total = templateOf(1020);
    QVERIFY(!total->setMap({{QStringLiteral("tag"), 1031}, {QStringLiteral("value"), 1}}));
    QVERIFY(total->errorString().contains(QStringLiteral("of tag 1031")));
    QVERIFY(!total->setMap({{QStringLiteral("value"), 1}}));
    QVERIFY(total->errorString().contains(QStringLiteral("numeric \"tag\"")));
    QVERIFY(!total->setMap({{QStringLiteral("tag"), 1020}, {QStringLiteral("fiscprops"), QVariantList()}}));
    QVERIFY(!total->hasValue());
}

void TestFiscalDocProperty::captions()
{
    const FiscalDocPropertyPtr inn = templateOf(1018);
    QCOMPARE(inn->captions(), (QStringList{QStringLiteral("ИНН пользователя"), QStringLiteral("ИНН")}));
    QCOMPARE(inn->caption(), QStringLiteral("ИНН"));
    inn->setCaptIdx(0);
    QCOMPARE(inn->caption(), QStringLiteral("ИНН пользователя"));
    inn->setCaptIdx(5);
    inn->setCaptIdx(-1);
    QCOMPARE(inn->captIdx(), 0);
    // A copy from the loader is untouched by what was done to another one.
    QCOMPARE(templateOf(1018)->caption(), QStringLiteral("ИНН"));

    const FiscalDocPropertyPtr name = templateOf(1030);
    QCOMPARE(name->captions().size(), 1);
    QCOMPARE(name->caption(), QStringLiteral("Наименование предмета расчета"));
}

void TestFiscalDocProperty::printableLayout()
{
    const FiscalDocPropertyPtr total = templateOf(1020);
    QVERIFY(total->setValue(12345));
    QCOMPARE(total->printable(40), QStringLiteral("ИТОГ\t123.45"));
    // "ИТОГ: 123.45" is 12 characters: narrower tickets get the value on
    // a right-aligned line of its own.
    QCOMPARE(total->printable(12), QStringLiteral("ИТОГ\t123.45"));
    QCOMPARE(total->printable(11), QStringLiteral("ИТОГ\n\t123.45"));

    const FiscalDocPropertyPtr address = templateOf(1009);
    QVERIFY(address->setValue(QStringLiteral("г. Москва, ул. Тверская, д. 1")));
    QCOMPARE(address->printable(16), QStringLiteral("АДР. РАСЧЕТОВ\n\tг. Москва, ул.\n\tТверская, д. 1"));
    for (QString line : address->printable(16).split(QLatin1Char('\n')))
        QVERIFY(line.remove(QLatin1Char('\t')).size() <= 16);

    QCOMPARE(templateOf(1020)->printable(40), QStringLiteral("ИТОГ"));
    const FiscalDocPropertyPtr extra = templateOf(3005);
    QVERIFY(extra->setValue(QStringLiteral("Артикул 123")));
    QCOMPARE(extra->printable(40), QStringLiteral("Артикул 123"));
    QCOMPARE(extra->printable(4), QStringLiteral("Арти\nкул\n123"));
}

// A refused record is passed over whole, so the next one still reads.
void TestFiscalDocProperty::streamStaysInStep()
{
    const QByteArray bytes = hex("1e04 0200 0102") + hex("0e04 0400 05000000");
    QDataStream stream(bytes);
    const FiscalDocPropertyTemplateLoader loader;
    QString error;
    QVERIFY(!loader.readRecord(stream, &error));
    const FiscalDocPropertyPtr next = loader.readRecord(stream, &error);
    QVERIFY2(next, qPrintable(error));
    QCOMPARE(next->value(), QVariant(5u));
    QVERIFY(stream.atEnd());
}

QTEST_GUILESS_MAIN(TestFiscalDocProperty)
#include "tst_fiscaldocproperty.moc"
