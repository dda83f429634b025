#include "httptestclient.h"
#include "servicerunner.h"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The service with device type 3 on the ATOL driver simulator, through
// HTTP: status, shifts, receipts read back from the storage and replayed
// from the cache, printing, a missing driver, faults of the register, an
// older driver generation, and the operations these registers refuse.
class TestApiAtol : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void statusAndStorageStatus();
    void shiftOpenAndClose();
    void receiptReadBackAndReplayed();
    void printingReachesTheTape();
    void driverMissing();
    void faults_data();
    void faults();
    void olderDriverGeneration();
    void refusedOperations_data();
    void refusedOperations();
    void workerOperations_data();
    void workerOperations();
    void correctionReceiptRefused();

private:
    struct Reply {
        int code = 0;
        QVariantMap document;
        QVariantMap map;
    };
    bool start(const QByteArray &libPath = FPTRSIM_DIR);
    Reply request(const QByteArray &method, const QByteArray &path, const QByteArray &body = QByteArray());
    void writeFaults(const QByteArray &faults);
    QByteArray tape() const;
    static QByteArray receipt(const QByteArray &sessionId, int type = 1);

    std::unique_ptr<QTemporaryDir> m_simDir;
    std::unique_ptr<ServiceRunner> m_service;
};

void TestApiAtol::init()
{
    m_simDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_simDir->isValid());
    qputenv("FPTR_SIM_DIR", m_simDir->path().toLocal8Bit());
    qunsetenv("FPTR_SIM_VERSION");
}

void TestApiAtol::cleanup()
{
    if (m_service)
        m_service->stop();
    m_service.reset();
    m_simDir.reset();
}

bool TestApiAtol::start(const QByteArray &libPath)
{
    m_service = std::make_unique<ServiceRunner>();
    const QByteArray settings = "[TILLGATE]\ndeviceType=3\n"
                                "[ATOL]\ntransport=TCP\nhost=127.0.0.1\nport=5555\nlibPath="
        + libPath + "\n";
    return m_service->writeSettings(settings) && m_service->startListening();
}

TestApiAtol::Reply TestApiAtol::request(const QByteArray &method, const QByteArray &path, const QByteArray &body)
{
    QByteArray raw = method + " " + path + " HTTP/1.1\r\nAuthorization: Basic " + QByteArray("1:30").toBase64()
        + "\r\n";
    if (!body.isNull())
        raw += "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    raw += "\r\n" + body;
    const HttpTestClient::Answer answer = HttpTestClient::exchange(m_service->port(), raw, 30000);
    Reply reply;
    reply.code = answer.code;
    reply.map = QJsonDocument::fromJson(answer.body).toVariant().toMap();
    reply.document = reply.map.value("document").toMap();
    return reply;
}

void TestApiAtol::writeFaults(const QByteArray &faults)
{
    QFile file(m_simDir->filePath("faults"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(faults);
}

QByteArray TestApiAtol::tape() const
{
    QFile file(m_simDir->filePath("tape.txt"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray TestApiAtol::receipt(const QByteArray &sessionId, int type)
{
    return R"({"document":{"sessionId":")" + sessionId + R"(","print":1,"data":{"type":)" + QByteArray::number(type)
        + R"(,"moneyType":1,"sum":0,"fiscprops":[{"tag":1008,"value":"buyer@example.com"},)"
          R"({"tag":1059,"fiscprops":[{"tag":1030,"value":"Bread"},{"tag":1079,"value":100},{"tag":1023,"value":1},)"
          R"({"tag":1199,"value":1},{"tag":1214,"value":4},{"tag":1212,"value":1}]},)"
          R"({"tag":1059,"fiscprops":[{"tag":1030,"value":"Milk"},{"tag":1079,"value":250},{"tag":1023,"value":2},)"
          R"({"tag":1199,"value":2},{"tag":1214,"value":4},{"tag":1212,"value":1}]},)"
          R"({"tag":1031,"value":300},{"tag":1081,"value":300}]}}})";
}

void TestApiAtol::statusAndStorageStatus()
{
    QVERIFY(start());
    const Reply status = request("GET", "/cashboxstatus.json");
    QCOMPARE(status.code, 200);
    const QVariantMap state = status.map.value("cashboxStatus").toMap();
    QCOMPARE(state.value("inn").toString(), QString("7701234567"));
    QCOMPARE(state.value("regNumber").toString(), QString("0000000001012345"));
    QCOMPARE(state.value("ffdVersion").toString(), QString("1.05"));
    // The model stays the model; the mode is the register's mode.
    QCOMPARE(state.value("model").toInt(), 67);
    QVERIFY(state.value("mode").toInt() != 67);
    // The registration document (number 1 at byte 39 of the answer) was read.
    QCOMPARE(state.value("regData").toMap().value("regDocNumber").toInt(), 1);
    QVERIFY(!state.value("regData").toMap().value("userName").toString().isEmpty());

    const Reply fs = request("GET", "/fsstatus.json");
    QCOMPARE(fs.code, 200);
    QCOMPARE(fs.map.value("fsStatus").toMap().value("fsNumber").toString(), QString("9999078900012345"));
}

void TestApiAtol::shiftOpenAndClose()
{
    QVERIFY(start());
    const Reply opened = request("GET", "/cycleopen.json");
    QCOMPARE(opened.code, 200);
    QCOMPARE(opened.document.value("result").toInt(), 0);
    QCOMPARE(opened.document.value("data").toMap().value("docType").toInt(), 2);
    QVERIFY(!opened.document.value("data").toMap().value("fiscprops").toList().isEmpty());
    QVERIFY(request("GET", "/cashboxstatus.json").map.value("cashboxStatus").toMap().value("shiftOpened").toBool());

    const Reply again = request("GET", "/cycleopen.json");
    QCOMPARE(again.code, 500);
    QCOMPARE(again.document.value("result").toInt(), -3837);

    const Reply closed = request("GET", "/cycleclose.json");
    QCOMPARE(closed.code, 200);
    QCOMPARE(closed.document.value("data").toMap().value("docType").toInt(), 5);
}

void TestApiAtol::receiptReadBackAndReplayed()
{
    QVERIFY(start());
    const Reply first = request("POST", "/fiscalcheck.json", receipt("atol-1"));
    QCOMPARE(first.code, 200);
    QCOMPARE(first.document.value("result").toInt(), 0);
    QCOMPARE(first.document.value("sessionId").toString(), QString("atol-1"));
    const int number = first.document.value("data").toMap().value("docNumber").toInt();
    QVERIFY(number > 1);

    const Reply stored = request("GET", "/fiscaldoc.json?number=" + QByteArray::number(number));
    QCOMPARE(stored.code, 200);
    QMap<int, QVariantMap> byTag;
    int items = 0;
    const QVariantList props = stored.document.value("data").toMap().value("fiscprops").toList();
    for (const QVariant &prop : props) {
        const QVariantMap map = prop.toMap();
        items += map.value("tag").toInt() == 1059;
        byTag.insert(map.value("tag").toInt(), map);
    }
    QCOMPARE(items, 2);
    QCOMPARE(byTag.value(1031).value("value").toInt(), 300);
    QCOMPARE(byTag.value(1081).value("value").toInt(), 300);
    // The request's own value reaches the register.
    QCOMPARE(byTag.value(1008).value("value").toString(), QString("buyer@example.com"));

    const QByteArray printed = tape();
    const Reply repeat = request("POST", "/fiscalcheck.json", receipt("atol-1"));
    QCOMPARE(repeat.code, 200);
    QCOMPARE(repeat.document, first.document);
    QCOMPARE(tape(), printed);
}

void TestApiAtol::printingReachesTheTape()
{
    QVERIFY(start());
    const QByteArray plain = QByteArray("Total\tforty two\n\tright side").toBase64();
    const QByteArray bbcode = QByteArray("[barcode type=8]4601234567893[/barcode]").toBase64();
    const Reply printed = request("POST", "/printrichtext.json",
                                  R"({"document":{"plain":")" + plain + R"(","bbcode":")" + bbcode + R"("}})");
    QCOMPARE(printed.code, 200);
    QCOMPARE(printed.document.value("result").toInt(), 0);
    const QString text = QString::fromUtf8(tape());
    QVERIFY2(text.contains("Total: forty two"), qPrintable(text));
    QVERIFY2(text.contains("right side"), qPrintable(text));
    QVERIFY2(text.contains("4601234567893"), qPrintable(text));
}

void TestApiAtol::driverMissing()
{
    QTemporaryDir empty;
    QVERIFY(start(empty.path().toLocal8Bit()));
    QCOMPARE(request("GET", "/cashboxstatus.json").code, 523);
    QCOMPARE(request("GET", "/fsstatus.json").code, 523);
    const Reply shift = request("GET", "/cycleopen.json");
    QCOMPARE(shift.code, 500);
    QCOMPARE(shift.document.value("result").toInt(), -1);
    QCOMPARE(shift.document.value("message").toMap().value("resultDescription").toString(),
             QString::fromUtf8("Нет связи с ФР"));
    const Reply check = request("POST", "/fiscalcheck.json", receipt("atol-missing"));
    QCOMPARE(check.code, 500);
    QCOMPARE(check.document.value("result").toInt(), -1);
    QVERIFY(m_service->output().contains("Drv library libfptr.so does not found"));
}

void TestApiAtol::faults_data()
{
    QTest::addColumn<QByteArray>("fault");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("offline") << QByteArray("offline\n") << -1 << QString::fromUtf8("Нет связи");
    QTest::newRow("paper-out") << QByteArray("paper-out\n") << -3807 << QString::fromUtf8("Нет бумаги");
    QTest::newRow("wrong password") << QByteArray("fail OpenCheck -3825\n") << -3825 << QString();
}

void TestApiAtol::faults()
{
    QFETCH(QByteArray, fault);
    QFETCH(int, code);
    QFETCH(QString, text);
    QVERIFY(start());
    QCOMPARE(request("GET", "/cashboxstatus.json").code, 200);
    writeFaults(fault);
    const Reply check = request("POST", "/fiscalcheck.json", receipt("atol-fault-" + QByteArray(QTest::currentDataTag())));
    QCOMPARE(check.code, 500);
    QCOMPARE(check.document.value("result").toInt(), code);
    const QString description = check.document.value("message").toMap().value("resultDescription").toString();
    QVERIFY2(description.contains(text) && !description.isEmpty(), qPrintable(description));
    // Nothing stays open: with the fault gone the next receipt goes through.
    writeFaults(QByteArray());
    QCOMPARE(request("POST", "/fiscalcheck.json", receipt("atol-after-" + QByteArray(QTest::currentDataTag()))).code,
             200);
}

void TestApiAtol::olderDriverGeneration()
{
    qputenv("FPTR_SIM_VERSION", "13");
    QVERIFY(start());
    QCOMPARE(request("GET", "/cashboxstatus.json").code, 200);
    QCOMPARE(request("GET", "/cycleopen.json").code, 200);
    QVERIFY(m_service->output().contains("No driver interface of version 14"));
}

void TestApiAtol::refusedOperations_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("reasonInBody");
    QTest::newRow("settlement report") << QByteArray("GET") << QByteArray("/calcreport.json") << 500 << true;
    QTest::newRow("text printing") << QByteArray("POST") << QByteArray("/printtext.json") << 500 << true;
    // The handler sends a failed fiscalisation without a body.
    QTest::newRow("fiscalisation") << QByteArray("POST") << QByteArray("/fiscalize.json") << 500 << false;
    QTest::newRow("storage closing") << QByteArray("GET") << QByteArray("/closefs.json") << 200 << true;
}

void TestApiAtol::refusedOperations()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, path);
    QFETCH(int, code);
    QFETCH(bool, reasonInBody);
    QVERIFY(start());
    const QByteArray body = method == "POST"
        ? QByteArray(R"({"document":{"sessionId":"atol-refused","data":{}}})")
        : QByteArray();
    const Reply reply = request(method, path, body);
    QCOMPARE(reply.code, code);
    if (!reasonInBody)
        return;
    const QVariantMap answer = reply.document.isEmpty() ? reply.map : reply.document;
    QCOMPARE(answer.value("result").toInt(), -12);
    QCOMPARE(answer.value("message").toMap().value("resultDescription").toString(),
             QString("The operation is not supported on this device"));
}

void TestApiAtol::workerOperations_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("tapeText");
    QTest::newRow("X report") << QByteArray("/xreport.json") << QByteArray("X");
    QTest::newRow("cash in") << QByteArray("/introduction.json?sum=5000") << QByteArray("50.00");
}

void TestApiAtol::workerOperations()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, tapeText);
    QVERIFY(start());
    const Reply reply = request("GET", path);
    QCOMPARE(reply.code, 200);
    QVERIFY2(tape().contains(tapeText), tape().constData());
    if (path.startsWith("/introduction")) {
        QCOMPARE(request("GET", "/payout.json?sum=2000").code, 200);
        const QVariantMap state = request("GET", "/cashboxstatus.json").map.value("cashboxStatus").toMap();
        QCOMPARE(state.value("cash").toDouble(), 30.0);
        // More than the drawer holds: the register's refusal, not a time-out.
        const Reply refused = request("GET", "/payout.json?sum=900000");
        QCOMPARE(refused.code, 200);
        QCOMPARE(refused.document.value("result").toInt(), -6);
    }
}

void TestApiAtol::correctionReceiptRefused()
{
    QVERIFY(start());
    const Reply reply = request("POST", "/fiscalcheck.json", receipt("atol-correction", 7));
    QCOMPARE(reply.code, 500);
    QCOMPARE(reply.document.value("result").toInt(), -12);
    QCOMPARE(reply.document.value("message").toMap().value("resultDescription").toString(),
             QString("Correction receipts are not supported on this device"));
}

QTEST_GUILESS_MAIN(TestApiAtol)
#include "tst_apiatol.moc"
