#include "atoltables.h"

#include <QDateTime>
#include <QtTest>

// The fixed translations between our fiscal model and the ATOL driver's
// numbers, one table per translation.
class TestAtolTables : public QObject
{
    Q_OBJECT

private slots:
    void chequeAndPaymentType_data();
    void chequeAndPaymentType();
    void taxNumber_data();
    void taxNumber();
    void propertyType_data();
    void propertyType();
    void valueText_data();
    void valueText();
    void barcodeType_data();
    void barcodeType();
    void wrapPlainText_data();
    void wrapPlainText();
};

void TestAtolTables::chequeAndPaymentType_data()
{
    QTest::addColumn<int>("checkType");
    QTest::addColumn<int>("chequeType");
    QTest::addColumn<int>("paymentType");
    const int rows[][3] = {{1, 1, 1}, {2, 2, 2}, {3, 0, 128}, {4, 4, 3}, {5, 5, 4},
                           {6, 0, 128}, {7, 7, 1}, {8, 0, 128}, {9, 9, 3}, {10, 0, 128}, {0, 0, 128}};
    for (const auto &row : rows)
        QTest::addRow("type %d", row[0]) << row[0] << row[1] << row[2];
}

void TestAtolTables::chequeAndPaymentType()
{
    QFETCH(int, checkType);
    QFETCH(int, chequeType);
    QFETCH(int, paymentType);
    QCOMPARE(int(AtolTables::chequeType(fiscal::CheckType(checkType))), chequeType);
    QCOMPARE(int(AtolTables::paymentType(fiscal::CheckType(checkType))), paymentType);
}

void TestAtolTables::taxNumber_data()
{
    QTest::addColumn<int>("tag");
    QTest::addColumn<int>("version1");
    QTest::addColumn<int>("later");
    const int rows[][3] = {{1102, 3, 1}, {1103, 2, 2}, {1104, 1, 5}, {1105, 4, 6},
                           {1106, 6, 3}, {1107, 5, 4}, {1101, 0, 0}, {1108, 0, 0}};
    for (const auto &row : rows)
        QTest::addRow("tag %d", row[0]) << row[0] << row[1] << row[2];
}

void TestAtolTables::taxNumber()
{
    QFETCH(int, tag);
    QFETCH(int, version1);
    QFETCH(int, later);
    QCOMPARE(AtolTables::taxNumberByTag(fiscal::PropertyTag(tag), 1), version1);
    // No status yet (0) counts as a later format.
    QCOMPARE(AtolTables::taxNumberByTag(fiscal::PropertyTag(tag), 0), later);
    QCOMPARE(AtolTables::taxNumberByTag(fiscal::PropertyTag(tag), 2), later);
    QCOMPARE(AtolTables::taxNumberByTag(fiscal::PropertyTag(tag), 3), later);
}

void TestAtolTables::propertyType_data()
{
    QTest::addColumn<int>("propertyType");
    QTest::addColumn<int>("driverType");
    const int rows[][2] = {{1, 5}, {10, 5}, {2, 1}, {11, 1}, {3, 4}, {6, 3}, {7, 0}, {9, 2},
                           {4, 0}, {5, 0}, {8, 0}};
    for (const auto &row : rows)
        QTest::addRow("type %d", row[0]) << row[0] << row[1];
}

void TestAtolTables::propertyType()
{
    QFETCH(int, propertyType);
    QFETCH(int, driverType);
    QCOMPARE(int(AtolTables::driverPropertyType(propertyType)), driverType);
}

void TestAtolTables::valueText_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("bytes") << 0 << QVariant(QByteArray("\x01\xab", 2)) << "01 ab";
    QTest::newRow("no bytes") << 0 << QVariant(QByteArray()) << "";
    QTest::newRow("byte") << 1 << QVariant(7) << "7";
    QTest::newRow("int16") << 2 << QVariant(65535) << "65535";
    QTest::newRow("int32") << 3 << QVariant(4000000000u) << "4000000000";
    QTest::newRow("time") << 4 << QVariant(QDateTime(QDate(2018, 3, 5), QTime(14, 7))) << "1803051407";
    QTest::newRow("text") << 5 << QVariant(QStringLiteral("buyer@example.com")) << "buyer@example.com";
    QTest::newRow("unknown") << 9 << QVariant(QStringLiteral("x")) << "";
}

void TestAtolTables::valueText()
{
    QFETCH(int, type);
    QFETCH(QVariant, value);
    QFETCH(QString, text);
    QCOMPARE(AtolTables::propertyValueText(TED::Fptr::FiscalPropertyType(type), value), text);
}

void TestAtolTables::barcodeType_data()
{
    QTest::addColumn<int>("blockType");
    QTest::addColumn<int>("driverType");
    const int rows[][2] = {{1, 2}, {2, 8}, {3, 0}, {4, 6}, {5, 9}, {6, 10}, {7, 11}, {8, 1}, {9, 3},
                           {10, 5}, {0, -1}, {11, -1}};
    for (const auto &row : rows)
        QTest::addRow("type %d", row[0]) << row[0] << row[1];
}

void TestAtolTables::barcodeType()
{
    QFETCH(int, blockType);
    QFETCH(int, driverType);
    QCOMPARE(AtolTables::barcodeType(blockType), driverType);
}

void TestAtolTables::wrapPlainText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("line ends") << "a\r\nb\rc\n\nd" << 10 << QStringList{"a", "b", "c", "", "d"};
    QTest::newRow("no delimiter cut") << QString(50, QLatin1Char('x')) << 40 << QStringList{QString(40, QLatin1Char('x'))};
    QTest::newRow("doubled blanks squeezed") << "a  b  c  d" << 7 << QStringList{"a b c d"};
    QTest::newRow("squeezed only while long") << "ab    cd" << 6 << QStringList{"ab  cd"};
    QTest::newRow("too long stays") << "aaaa-bbbb-cccc" << 5 << QStringList{"aaaa-bbbb-cccc"};
    QTest::newRow("short untouched") << "a  b" << 40 << QStringList{"a  b"};
}

void TestAtolTables::wrapPlainText()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(QStringList, lines);
    QCOMPARE(AtolTables::wrapPlainText(text, width), lines);
}

QTEST_GUILESS_MAIN(TestAtolTables)
#include "tst_atoltables.moc"
