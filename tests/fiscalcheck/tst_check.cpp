#include "check.h"
#include "checktestsupport.h"
#include "fiscaldocpropertytemplateloader.h"

#include <QtTest>

using namespace fiscal;

namespace {

// A receipt's "fiscprops" as a front end posts it: a sale of two items,
// paid in cash, electronically and by an earlier advance, with a tag the
// library does not know.
const char RECEIPT[] = R"([
    {"tag":1054,"value":1},
    {"tag":1055,"value":1},
    {"tag":1059,"fiscprops":[{"tag":1030,"value":"Хлеб"},{"tag":1079,"value":4550},{"tag":1023,"value":2},
                             {"tag":1199,"value":2},{"tag":1214,"value":4},{"tag":1212,"value":1}]},
    {"tag":1059,"fiscprops":[{"tag":1030,"value":"Сыр"},{"tag":1079,"value":"65000"},{"tag":1023,"value":"0.350"},
                             {"tag":1043,"value":22750},{"tag":1199,"value":1},{"tag":1197,"value":"кг"}]},
    {"tag":1008,"value":"buyer@example.com"},
    {"tag":1021,"value":"Кассир Иванова"},
    {"tag":9999,"value":"ignored"},
    {"tag":1081,"value":"5000"},
    {"tag":1031,"value":20000},
    {"tag":1215,"value":6850}
])";

Check parsed(const QVariantList &list)
{
    Check check;
    QString error;
    if (!check.parseProperties(list, error))
        qWarning().noquote() << error;
    return check;
}

QList<int> tagsOf(const QList<FiscalDocPropertyPtr> &properties)
{
    QList<int> tags;
    for (const FiscalDocPropertyPtr &property : properties)
        tags.append(property->tag());
    return tags;
}

void compareChecks(const Check &actual, const Check &expected)
{
    QCOMPARE(actual.operations().size(), expected.operations().size());
    for (int i = 0; i < actual.operations().size(); ++i)
        QVERIFY2(actual.operations().at(i) == expected.operations().at(i), qPrintable(QString::number(i)));
    QCOMPARE(actual.payments(), expected.payments());
    QCOMPARE(actual.type(), expected.type());
    QCOMPARE(tagsOf(actual.properties()), tagsOf(expected.properties()));
}

} // namespace

class TestCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void readsReceipt();
    void paymentsAddUpInAscendingOrder();
    void roundTripThroughTlv();
    void roundTripThroughMapForm();
    void refusals_data();
    void refusals();
    void refusalLeavesReceiptUnchanged();
    void hugeListRefused();
    void hugeReceiptTlvRefused();
    void worstNestingAtDocumentLevel();
    void baseCheckTakesNoItems();
    void workerPaymentHandling();
    void writesEmptyReceipt();
};

void TestCheck::initTestCase()
{
    FiscalDocPropertyTemplateLoader::init();
}

void TestCheck::readsReceipt()
{
    Check check;
    QString error;
    QVERIFY2(check.parseProperties(jsonList(RECEIPT), error), qPrintable(error));
    QVERIFY(error.isEmpty());

    const QList<CheckOperation> ops = check.operations();
    QCOMPARE(ops.size(), 2);
    QCOMPARE(ops.at(0).itemName(), QStringLiteral("Хлеб"));
    QCOMPARE(ops.at(0).total(), qt5ext::FixNumber(100, 9100));
    QCOMPARE(ops.at(0).taxTag(), TagVat10);
    QCOMPARE(ops.at(1).itemName(), QStringLiteral("Сыр"));
    QCOMPARE(ops.at(1).quantity().toDouble(), 0.35);
    QCOMPARE(ops.at(1).total(), qt5ext::FixNumber(100, 22750));
    QCOMPARE(ops.at(1).taxTag(), TagVat20);
    QCOMPARE(ops.at(1).unit(), QStringLiteral("кг"));
    QCOMPARE(check.total(), qt5ext::FixNumber(100, 31850));

    const QList<CheckPayment> payments = check.payments();
    QCOMPARE(payments.size(), 3);
    QCOMPARE(payments.at(0), CheckPayment(MoneyCash, qt5ext::FixNumber(100, 20000)));
    QCOMPARE(payments.at(1), CheckPayment(MoneyElectronic, qt5ext::FixNumber(100, 5000)));
    QCOMPARE(payments.at(2), CheckPayment(MoneyPrepayment, qt5ext::FixNumber(100, 6850)));
    QCOMPARE(payments.at(2).tag(), TagPrepayment);
    QCOMPARE(check.paymentsSum(), check.total());

    QCOMPARE(check.type(), PaymentIncome);
    // Document properties keep their order; the unknown tag is gone and
    // items, payments and the operation type have places of their own.
    QCOMPARE(tagsOf(check.properties()), (QList<int>{1055, 1008, 1021}));
    QCOMPARE(check.property(TagCashier)->value().toString(), QStringLiteral("Кассир Иванова"));
    QVERIFY(!check.property(TagCash));
}

void TestCheck::paymentsAddUpInAscendingOrder()
{
    const Check check = parsed(jsonList(R"([{"tag":1217,"value":300},{"tag":1031,"value":100},
                                            {"tag":1216,"value":0},{"tag":1031,"value":"50"},
                                            {"tag":1081,"value":null}])"));
    QCOMPARE(check.payments(), (QList<CheckPayment>{CheckPayment(MoneyCash, qt5ext::FixNumber(100, 150)),
                                                    CheckPayment(MoneyOther, qt5ext::FixNumber(100, 300))}));
    QVERIFY(check.operations().isEmpty());
    QCOMPARE(check.type(), PaymentUnknown);
}

void TestCheck::roundTripThroughTlv()
{
    const Check check = parsed(jsonList(RECEIPT));
    QCOMPARE(check.operations().size(), 2);
    const QByteArray tlv = check.toTlv();
    QCOMPARE(tagsOf(check.toProperties()), (QList<int>{1054, 1059, 1059, 1055, 1008, 1021, 1031, 1081, 1215}));

    Check back;
    QString error;
    QVERIFY2(back.parseTlv(tlv, error), qPrintable(error));
    compareChecks(back, check);
    // The second item's quantity came as 0.350 and is written so again.
    QCOMPARE(back.operations().at(1).quantity().multiplier(), qint64(1000));
    QCOMPARE(back.toTlv(), tlv);

    // Every prefix of the bytes is a truncated document and is refused.
    for (int cut : {1, 3, 4, 10, tlv.size() / 2, tlv.size() - 1}) {
        Check truncated;
        QVERIFY2(!truncated.parseTlv(tlv.left(cut), error), qPrintable(QString::number(cut)));
        QVERIFY2(error.contains(QStringLiteral("do not read")), qPrintable(error));
        QVERIFY(truncated.operations().isEmpty());
    }
}

void TestCheck::roundTripThroughMapForm()
{
    const Check check = parsed(jsonList(RECEIPT));
    Check back;
    QString error;
    QVERIFY2(back.parseProperties(check.toFiscProps(), error), qPrintable(error));
    compareChecks(back, check);

    // The records themselves, as the fiscal storage hands them out.
    Check records;
    QVERIFY2(records.parseRecords(check.toProperties(), error), qPrintable(error));
    compareChecks(records, check);
}

void TestCheck::refusals_data()
{
    QTest::addColumn<QVariantList>("list");
    QTest::addColumn<QString>("error");

    const QByteArray good = R"({"tag":1059,"fiscprops":[{"tag":1030,"value":"a"},{"tag":1079,"value":1}]},)";
    const auto row = [](const char *title, const QByteArray &json, const char *error) {
        QTest::newRow(title) << jsonList(json) << QString::fromUtf8(error);
    };
    row("entry not a map", R"([1])", "entry 1 is not a property map");
    row("entry without tag", R"([{"value":1}])", "entry 1 has no numeric \"tag\"");
    row("tag not a number", R"([{"tag":"abc","value":1}])", "entry 1 has no numeric \"tag\"");
    row("second item without name", "[" + good + R"({"tag":1059,"fiscprops":[{"tag":1079,"value":1}]}])",
        "item 2: no name (tag 1030)");
    row("item without price", "[" + good + good + R"({"tag":1059,"fiscprops":[{"tag":1030,"value":"b"}]}])",
        "item 3: no price (tag 1079)");
    row("item with negative quantity", "[" + good
        + R"({"tag":1059,"fiscprops":[{"tag":1030,"value":"b"},{"tag":1079,"value":1},{"tag":1023,"value":-3}]}])",
        "item 2: part 3: tag 1023");
    row("item of zero quantity", "["
        + QByteArray(R"({"tag":1059,"fiscprops":[{"tag":1030,"value":"b"},{"tag":1079,"value":1},{"tag":1023,"value":"0"}]}])"),
        "item 1: a quantity of zero");
    row("item as a value", R"([{"tag":1059,"value":"bread"}])", "item 1: an item needs a \"fiscprops\" list");
    row("negative payment", "[" + good + R"({"tag":1031,"value":-100}])", "entry 2: tag 1031: the negative number");
    row("payment not a number", R"([{"tag":1081,"value":"ten"}])", "entry 1: tag 1081");
    row("payment with fraction", R"([{"tag":1081,"value":99.5}])", "entry 1: tag 1081");
    row("payments past the tag", R"([{"tag":1031,"value":281474976710655},{"tag":1031,"value":1}])",
        "the payments under tag 1031 add up to more than");
    row("unknown operation type", R"([{"tag":1054,"value":9}])", "entry 1: unknown operation type 9 (tag 1054)");
    row("malformed compound", R"([{"tag":1084,"fiscprops":[{"tag":1085}, 7]}])", "entry 1: tag 1084");
    row("compound as a value", R"([{"tag":1084,"value":"x"}])", "entry 1: tag 1084: a compound property needs");
    row("64 KiB text", "[{\"tag\":1008,\"value\":\"" + QByteArray(65536, 'a') + "\"}]",
        "entry 1: tag 1008: a text of 65536 characters is longer than the 64");
    row("text not CP866", R"([{"tag":1021,"value":"😀"}])", "entry 1: tag 1021");
}

void TestCheck::refusals()
{
    QFETCH(QVariantList, list);
    QFETCH(QString, error);
    Check check;
    QString text;
    QVERIFY(!check.parseProperties(list, text));
    QVERIFY2(text.contains(error), qPrintable(text));
}

void TestCheck::refusalLeavesReceiptUnchanged()
{
    Check check = parsed(jsonList(RECEIPT));
    QCOMPARE(check.operations().size(), 2);
    const QByteArray before = check.toTlv();
    QString error;
    QVERIFY(!check.parseProperties(jsonList(R"([{"tag":1031,"value":1},{"tag":1054,"value":3},
                                                {"tag":1059,"fiscprops":[{"tag":1030,"value":"x"}]}])"), error));
    QCOMPARE(check.toTlv(), before);
    QCOMPARE(check.type(), PaymentIncome);
}

void TestCheck::hugeListRefused()
{
    QVariantList list;
    for (int i = 0; i <= BaseCheck::MAX_PROPERTIES; ++i)
        list.append(prop(1031, 1));
    Check check;
    QString error;
    QVERIFY(!check.parseProperties(list, error));
    QVERIFY2(error.contains(QStringLiteral("1025 properties, more than the 1024")), qPrintable(error));

    // At the limit the payments simply add up.
    list.removeLast();
    QVERIFY2(check.parseProperties(list, error), qPrintable(error));
    QCOMPARE(check.payments().first().sum(), qt5ext::FixNumber(100, BaseCheck::MAX_PROPERTIES));
}

void TestCheck::hugeReceiptTlvRefused()
{
    QByteArray tlv;
    const QByteArray record = QByteArray::fromHex("1704 0100 01");   // 1031, one kopeck
    for (int i = 0; i < 5000; ++i)
        tlv += record;
    Check check;
    QString error;
    QVERIFY(!check.parseTlv(tlv, error));
    QVERIFY2(error.contains(QStringLiteral("more than the 1024")), qPrintable(error));
}

void TestCheck::worstNestingAtDocumentLevel()
{
    QVariantMap nested = prop(1085, QStringLiteral("x"));
    for (int i = 0; i < 1000; ++i)
        nested = compound(1084, {nested});
    Check check;
    QString error;
    QVERIFY(!check.parseProperties({nested}, error));
    QVERIFY2(error.contains(QStringLiteral("nested deeper")), qPrintable(error));

    // The same as TLV: 1059 records inside each other.
    QByteArray bytes;
    for (int i = 0; i < 1000 && bytes.size() < 0xFFF0; ++i) {
        const int length = bytes.size();
        bytes = QByteArray::fromHex("2304") + char(length & 0xFF) + char(length >> 8) + bytes;
    }
    QVERIFY(!check.parseTlv(bytes, error));
    QVERIFY(!error.isEmpty());
}

void TestCheck::baseCheckTakesNoItems()
{
    BaseCheck base;
    QString error;
    QVERIFY(!base.parseProperties(jsonList(RECEIPT), error));
    QVERIFY2(error.contains(QStringLiteral("carries no items (tag 1059)")), qPrintable(error));
    QVERIFY(base.payments().isEmpty());
    QVERIFY2(base.parseProperties(jsonList(R"([{"tag":1054,"value":2},{"tag":1031,"value":500}])"), error),
             qPrintable(error));
    QCOMPARE(base.type(), PaymentIncomeReturn);
    QCOMPARE(base.paymentsSum(), qt5ext::FixNumber(100, 500));
}

void TestCheck::workerPaymentHandling()
{
    // How the ATOL worker uses a receipt: take the payments, clear them on
    // the check and add the document-level sum of its own.
    Check check = parsed(jsonList(RECEIPT));
    check.setPrintable(true);
    check.setIsOpened(true);
    check.setCheckType(CheckSaleReturn);
    check.setType(PaymentIncomeReturn);
    QList<CheckPayment> payments = check.payments();
    check.cleanPayments();
    QVERIFY(check.payments().isEmpty());
    QCOMPARE(payments.size(), 3);
    CheckPayment extra;
    extra.setMoneyType(MoneyElectronic);
    extra.setSum(qt5ext::FixNumber(100, 500));
    payments.append(extra);
    QCOMPARE(int(payments.last().moneyType()) - 1, 1);
    QCOMPARE(payments.last().sum().toDouble(), 5.0);
    QVERIFY(check.isPrintable());
    QVERIFY(check.isOpened());
    QCOMPARE(check.checkType(), CheckSaleReturn);

    // Payments added to the check itself keep the money-type order.
    check.appendPayment(CheckPayment(MoneyOther, qt5ext::FixNumber(100, 1)));
    check.appendPayment(CheckPayment(MoneyCash, qt5ext::FixNumber(100, 2)));
    check.appendPayment(CheckPayment(MoneyCash, qt5ext::FixNumber(100, 3)));
    QCOMPARE(check.payments().at(0).sum().value(), qint64(2));
    QCOMPARE(check.payments().at(1).sum().value(), qint64(3));
    QCOMPARE(check.payments().at(2).moneyType(), MoneyOther);
    QCOMPARE(check.paymentsSum(), qt5ext::FixNumber(100, 6));
    // A sum kept at another scale still counts at its value.
    check.appendPayment(CheckPayment(MoneyCredit, qt5ext::FixNumber(1000, 1500)));
    QCOMPARE(check.paymentsSum(), qt5ext::FixNumber(100, 156));
    const QList<FiscalDocPropertyPtr> written = check.toProperties();
    QCOMPARE(tagsOf(written).mid(written.size() - 4), (QList<int>{1031, 1031, 1216, 1217}));
    QCOMPARE(written.at(written.size() - 2)->value().toULongLong(), 150ull);
    check.setPayments({CheckPayment(MoneyCredit), CheckPayment(MoneyCash)});
    QCOMPARE(check.payments().first().moneyType(), MoneyCash);
}

void TestCheck::writesEmptyReceipt()
{
    Check check;
    QVERIFY(check.toProperties().isEmpty());
    QVERIFY(check.toTlv().isEmpty());
    QString error;
    QVERIFY(check.parseProperties({}, error));
    QVERIFY(check.parseTlv(QByteArray(), error));
    // A payment that cannot be written is left out rather than garbled.
    check.appendPayment(CheckPayment(MoneyCash, qt5ext::FixNumber(100, -5)));
    check.appendPayment(CheckPayment(MoneyType(9), qt5ext::FixNumber(100, 5)));
    check.appendPayment(CheckPayment(MoneyOther, qt5ext::FixNumber(100, 5)));
    QCOMPARE(tagsOf(check.toProperties()), QList<int>{1217});
}

QTEST_GUILESS_MAIN(TestCheck)
#include "tst_check.moc"
