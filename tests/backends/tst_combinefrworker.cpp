#include "capturingcombineworker.h"

#include <QtTest>

// Commands are compared as the bytes that would go to the device: compact
// JSON with keys in ascending order, in Windows-1251.
class TestCombineFrWorker : public QObject
{
    Q_OBJECT
private slots:
    void placeholderLink();
    void placeholderSendsNothing();
    void codePages();
    void cp1251ToUtf8Logs();
    void receipt_data();
    void receipt();
    void receiptTimeouts();
    void failedItemStopsReceipt();
    void answersDoNotReachCheck();
    void badReceipts_data();
    void badReceipts();
    void cycles();
    void cashboxStatus();
};

namespace {

QVariantMap prop(int tag, const QVariant &value)
{
    return {{"tag", tag}, {"value", value}};
}

QVariantMap item(const QVariantList &fiscprops)
{
    return {{"tag", 1059}, {"fiscprops", fiscprops}};
}

QVariantMap check(const QVariantList &fiscprops, const QVariantMap &extra = {})
{
    QVariantMap data{{"fiscprops", fiscprops}};
    QVariantMap document{{"data", data}};
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        document.insert(it.key(), it.value());
    return {{"document", document}};
}

// "Кассир", the default cashier name, in Windows-1251.
const QByteArray DEFAULT_NAME_1251("\xCA\xE0\xF1\xF1\xE8\xF0");

QByteArray defaultCashier()
{
    return R"({"tag":1021,"value":")" + DEFAULT_NAME_1251
        + R"("},{"tag":1203,"value":"000000000000"})";
}

QByteArray tail(const QByteArray &fiscprops, const QByteArray &before = {},
               const QByteArray &after = {})
{
    return R"({"document":{"command":"fiscalcheck","data":{"fiscprops":[)" + fiscprops
        + R"(]},)" + before + R"("login":"1","password":"1")" + after + "}}";
}

QByteArray position(const QByteArray &fiscprops, const QByteArray &before = {})
{
    return R"({"document":{"command":"receipt_position","data":{"fiscprops":[)" + fiscprops
        + R"(]},)" + before + R"("login":"1","password":"1","print":1,"sessionId":"0"}})";
}

QList<QByteArray> bytesOf(const QList<CapturingCombineWorker::Sent> &sent)
{
    QList<QByteArray> result;
    for (const auto &command : sent)
        result.append(command.bytes);
    return result;
}

} // namespace

void TestCombineFrWorker::placeholderLink()
{
    CombineFrWorker worker;
    QVERIFY(!worker.isOpen());
    QVERIFY(!worker.checkHandle());
    QCOMPARE(worker.hostWrite("abc"), -1);
    QCOMPARE(worker.eoUWrite("abc"), -1);

    QByteArray buffer("left over");
    QCOMPARE(worker.hostRead(buffer, 16), -1);
    QVERIFY(buffer.isEmpty());
    buffer = "left over";
    QCOMPARE(worker.hostReadChanked(buffer, 16), -1);
    QVERIFY(buffer.isEmpty());
    buffer = "left over";
    QCOMPARE(worker.eoUReadd(buffer, 16), -1);
    QVERIFY(buffer.isEmpty());
}

void TestCombineFrWorker::placeholderSendsNothing()
{
    CombineFrWorker worker;
    QVariantMap answer{{"stale", 1}};
    int error = 5;
    QVERIFY(worker.sendCommand("{}", answer, error, 100));
    QCOMPARE(error, 0);
    QVERIFY(answer.isEmpty());

    // A whole receipt goes through without an answer.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("true$"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("true$"));
    QVariantMap receipt = check({item({prop(1030, "Bread")})});
    error = 5;
    QVERIFY(worker.sendReceipt(receipt, error));
    QCOMPARE(error, 0);
}

void TestCombineFrWorker::codePages()
{
    CombineFrWorker worker;
    QCOMPARE(worker.utf8ToCp1251(QStringLiteral("Кассир").toUtf8()), DEFAULT_NAME_1251);
    QCOMPARE(worker.utf8ToCp1251("plain ascii"), QByteArray("plain ascii"));
    QCOMPARE(worker.utf8ToCp1251(QStringLiteral("ёЁ№").toUtf8()), QByteArray("\xB8\xA8\xB9"));
    QCOMPARE(worker.utf8ToCp1251(QByteArray()), QByteArray());
    // Outside the code page: replaced, never dropped silently into nothing.
    QCOMPARE(worker.utf8ToCp1251(QStringLiteral("a€b✓").toUtf8()).size(), 4);
}

void TestCombineFrWorker::cp1251ToUtf8Logs()
{
    CombineFrWorker worker;
    QTest::ignoreMessage(QtWarningMsg, "Кассир");
    QCOMPARE(worker.cp1251ToUtf8(DEFAULT_NAME_1251), QStringLiteral("Кассир").toUtf8());
}

void TestCombineFrWorker::receipt_data()
{
    QTest::addColumn<QVariantMap>("check");
    QTest::addColumn<QList<QByteArray>>("expected");

    QTest::newRow("no properties") << check({}) << QList<QByteArray>{tail(defaultCashier())};
    QTest::newRow("no fiscprops key")
        << QVariantMap{{"document", QVariantMap{{"data", QVariantMap{}}}}}
        << QList<QByteArray>{tail(defaultCashier())};
    QTest::newRow("no document") << QVariantMap{}
                                 << QList<QByteArray>{tail(defaultCashier())};

    QTest::newRow("cashier given")
        << check({prop(1203, "771234567890"), prop(1055, 1), prop(1021, "Иванов И.")})
        << QList<QByteArray>{tail(R"({"tag":1203,"value":"771234567890"},{"tag":1055,"value":1},)"
                                  "{\"tag\":1021,\"value\":\"\xC8\xE2\xE0\xED\xEE\xE2 \xC8.\"}")};

    QTest::newRow("only the name given")
        << check({prop(1021, "A")})
        << QList<QByteArray>{
               tail(R"({"tag":1021,"value":"A"},{"tag":1203,"value":"000000000000"})")};
    QTest::newRow("only the tax number given")
        << check({prop(1203, "123")})
        << QList<QByteArray>{tail(R"({"tag":1203,"value":"123"},{"tag":1021,"value":")"
                                  + DEFAULT_NAME_1251 + R"("})")};

    QTest::newRow("two items and three others")
        << check({prop(1055, 1), item({prop(1030, "Хлеб"), prop(1079, 4500)}), prop(1008, "a@b"),
                  item({prop(1030, "Milk")}), prop(1031, 9000)},
                 {{"sessionId", "s-1"}, {"frserial", "0012"}})
        << QList<QByteArray>{
               position("{\"tag\":1030,\"value\":\"\xD5\xEB\xE5\xE1\"},{\"tag\":1079,\"value\":4500}",
                        R"("frserial":"0012",)"),
               position(R"({"tag":1030,"value":"Milk"})", R"("frserial":"0012",)"),
               tail(R"({"tag":1055,"value":1},{"tag":1008,"value":"a@b"},{"tag":1031,"value":9000},)"
                        + defaultCashier(),
                    R"("frserial":"0012",)", R"(,"sessionId":"s-1")")};

    // The closing command keeps what the receipt's document and data hold
    // beside the properties; the item commands set their own session and
    // print values.
    QTest::newRow("document and data kept")
        << QVariantMap{{"document",
                        QVariantMap{{"print", 0},
                                    {"sessionId", "abc"},
                                    {"data", QVariantMap{{"type", 1},
                                                         {"fiscprops", QVariantList{item({})}}}}}}}
        << QList<QByteArray>{
               R"({"document":{"command":"receipt_position","data":{"fiscprops":[],"type":1},)"
               R"("login":"1","password":"1","print":1,"sessionId":"0"}})",
               R"({"document":{"command":"fiscalcheck","data":{"fiscprops":[)" + defaultCashier()
                   + R"(],"type":1},"login":"1","password":"1","print":0,"sessionId":"abc"}})"};

    // Tags as a JSON parser hands them over.
    QTest::newRow("tags as doubles")
        << check({QVariantMap{{"tag", 1059.0}, {"fiscprops", QVariantList{}}},
                  QVariantMap{{"tag", 1021.0}, {"value", "B"}}})
        << QList<QByteArray>{position(""),
                             tail(R"({"tag":1021,"value":"B"},{"tag":1203,"value":"000000000000"})")};
}

void TestCombineFrWorker::receipt()
{
    QFETCH(QVariantMap, check);
    QFETCH(QList<QByteArray>, expected);

    CapturingCombineWorker worker;
    QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &) {});
    int error = 5;
    const bool ok = worker.sendReceipt(check, error);
    qInstallMessageHandler(previous);

    QVERIFY(ok);
    QCOMPARE(error, 0);
    QCOMPARE(bytesOf(worker.sent), expected);
}

void TestCombineFrWorker::receiptTimeouts()
{
    CapturingCombineWorker worker;
    QVariantMap receipt = check({item({}), item({}), prop(1055, 1)});
    int error = 0;
    QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &) {});
    QVERIFY(worker.sendReceipt(receipt, error));
    qInstallMessageHandler(previous);
    QCOMPARE(worker.sent.size(), 3);
    QCOMPARE(worker.sent.at(0).timeoutMs, 7000);
    QCOMPARE(worker.sent.at(1).timeoutMs, 7000);
    QCOMPARE(worker.sent.at(2).timeoutMs, 100);
}

void TestCombineFrWorker::failedItemStopsReceipt()
{
    CapturingCombineWorker worker;
    worker.failAt = 2;
    QVariantMap receipt = check({item({prop(1030, "A")}), item({prop(1030, "B")}),
                                 item({prop(1030, "C")}), prop(1055, 1)});
    int error = 0;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("true$"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("false$"));
    QVERIFY(!worker.sendReceipt(receipt, error));
    QCOMPARE(error, 17);
    QCOMPARE(bytesOf(worker.sent),
             (QList<QByteArray>{position(R"({"tag":1030,"value":"A"})"),
                                position(R"({"tag":1030,"value":"B"})")}));
}

void TestCombineFrWorker::answersDoNotReachCheck()
{
    CapturingCombineWorker worker;
    const QVariantMap original = check({item({prop(1030, "A")}), prop(1055, 1)});
    QVariantMap receipt = original;
    int error = 0;
    QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &) {});
    QVERIFY(worker.sendReceipt(receipt, error));
    qInstallMessageHandler(previous);
    QCOMPARE(receipt, original);

    // The answer replaces the command map it was sent from.
    QVariantMap command{{"document", QVariantMap{{"command", "x"}}}};
    worker.answers.append({{"done", true}});
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("done.*true$"));
    QVERIFY(worker.sendReceiptItem(command, error));
    QCOMPARE(command, (QVariantMap{{"done", true}}));
}

void TestCombineFrWorker::badReceipts_data()
{
    QTest::addColumn<QVariantMap>("check");
    QTest::addColumn<QList<QByteArray>>("expected");

    QTest::newRow("document not a map")
        << QVariantMap{{"document", "text"}} << QList<QByteArray>{tail(defaultCashier())};
    QTest::newRow("fiscprops not a list")
        << QVariantMap{{"document", QVariantMap{{"data", QVariantMap{{"fiscprops", 12}}}}}}
        << QList<QByteArray>{tail(defaultCashier())};
    // Anything that is no item travels unchanged to the closing command.
    QTest::newRow("property not a map")
        << check({QVariant("x"), QVariant(3)})
        << QList<QByteArray>{tail(R"("x",3,)" + defaultCashier())};
    QTest::newRow("tag not a number")
        << check({prop(0, "zero"), QVariantMap{{"tag", "abc"}}})
        << QList<QByteArray>{tail(R"({"tag":0,"value":"zero"},{"tag":"abc"},)" + defaultCashier())};
    QTest::newRow("tag out of range")
        << check({QVariantMap{{"tag", 1e300}}, QVariantMap{{"tag", -1059.0}},
                  QVariantMap{{"tag", qlonglong(1059) + (qlonglong(1) << 32)}}})
        << QList<QByteArray>{tail(R"({"tag":1e+300},{"tag":-1059},{"tag":4294968355},)"
                                  + defaultCashier())};
    QTest::newRow("item without fiscprops")
        << check({QVariantMap{{"tag", 1059}}})
        << QList<QByteArray>{position(""), tail(defaultCashier())};
}

void TestCombineFrWorker::badReceipts()
{
    QFETCH(QVariantMap, check);
    QFETCH(QList<QByteArray>, expected);

    CapturingCombineWorker worker;
    QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &) {});
    int error = 0;
    const bool ok = worker.sendReceipt(check, error);
    qInstallMessageHandler(previous);
    QVERIFY(ok);
    QCOMPARE(bytesOf(worker.sent), expected);
}

void TestCombineFrWorker::cycles()
{
    CapturingCombineWorker worker;
    worker.answers = {{{"opened", 1}}, {{"closed", 1}}};
    QVariantMap answer;
    int error = 3;
    QVERIFY(worker.cycleOpen(answer, error));
    QCOMPARE(answer, (QVariantMap{{"opened", 1}}));
    QVERIFY(worker.cycleClose(answer, error));
    QCOMPARE(answer, (QVariantMap{{"closed", 1}}));
    QCOMPARE(error, 0);
    QCOMPARE(worker.sent.size(), 2);
    for (const auto &sent : worker.sent) {
        QCOMPARE(sent.bytes, QByteArray());
        QCOMPARE(sent.timeoutMs, 7000);
    }

    worker.failAt = 3;
    QVERIFY(!worker.cycleOpen(answer, error));
    QCOMPARE(error, 17);
}

void TestCombineFrWorker::cashboxStatus()
{
    CapturingCombineWorker worker;
    const QVariantMap status{{"mode", 2}, {"serial", "C-1"}};
    worker.answers = {{{"cashboxstatus", status}, {"other", 1}}, {{"other", 1}}};

    QVariantMap state{{"old", true}};
    int error = 0;
    QVERIFY(worker.getCashboxStatus(state, error));
    QCOMPARE(state, status);
    QCOMPARE(worker.sent.at(0).bytes, QByteArray());
    QCOMPARE(worker.sent.at(0).timeoutMs, 7000);

    // No status in the answer: the state stays as it was.
    QVERIFY(worker.getCashboxStatus(state, error));
    QCOMPARE(state, status);

    // A failed query leaves the state alone even if an answer came.
    worker.answers = {{{"cashboxstatus", QVariantMap{{"mode", 9}}}}};
    worker.failAt = 3;
    QVERIFY(!worker.getCashboxStatus(state, error));
    QCOMPARE(state, status);
}

QTEST_GUILESS_MAIN(TestCombineFrWorker)
#include "tst_combinefrworker.moc"
