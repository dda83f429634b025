#include "httptestclient.h"
#include "servicerunner.h"
#include "simrunner.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// A receipt whose answer never reached the service, on both back-ends: the
// register closed it and the answer was lost, the command never reached
// the register, or (ATOL, whose driver runs in the service) the service
// died right after or right before the register closed the receipt. The
// retry of the same session answers the receipt the register holds, or
// registers it; either way the tape shows it once.
class TestReceiptSettle : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void retrySettles_data();
    void retrySettles();

private:
    bool startOstrak(const QStringList &simulatorArguments);
    bool startAtol();
    HttpTestClient::Answer request(const QByteArray &method, const QByteArray &path,
                                   const QByteArray &body = QByteArray()) const;
    void writeFaults(const QByteArray &faults) const;
    // How many closed receipts the register printed.
    int receiptsOnTape(bool atol) const;

    QTemporaryDir m_dir;
    SimRunner m_simulator;
    std::unique_ptr<ServiceRunner> m_service;
};

namespace {

const QByteArray RECEIPT = R"({"document":{"sessionId":"settle-1","print":1,"data":{"type":1,"moneyType":1,)"
                           R"("sum":0,"fiscprops":[{"tag":1059,"fiscprops":[{"tag":1030,"value":"Bread"},)"
                           R"({"tag":1079,"value":100},{"tag":1023,"value":1},{"tag":1199,"value":1},)"
                           R"({"tag":1214,"value":4},{"tag":1212,"value":1}]},)"
                           R"({"tag":1059,"fiscprops":[{"tag":1030,"value":"Milk"},{"tag":1079,"value":250},)"
                           R"({"tag":1023,"value":2},{"tag":1199,"value":2},{"tag":1214,"value":4},)"
                           R"({"tag":1212,"value":1}]},{"tag":1031,"value":600}]}}})";

QVariantMap documentOf(const HttpTestClient::Answer &answer)
{
    return QJsonDocument::fromJson(answer.body).toVariant().toMap().value("document").toMap();
}

} // namespace

void TestReceiptSettle::init()
{
    QVERIFY(m_dir.isValid());
    qputenv("FPTR_SIM_DIR", m_dir.filePath("fptrsim").toLocal8Bit());
    QVERIFY(QDir().mkpath(m_dir.filePath("fptrsim")));
}

void TestReceiptSettle::cleanup()
{
    m_service.reset();
    m_simulator.stop();
    QDir(m_dir.filePath("fptrsim")).removeRecursively();
    QFile::remove(m_dir.filePath("tape.txt"));
}

bool TestReceiptSettle::startOstrak(const QStringList &simulatorArguments)
{
    if (!m_simulator.start(QStringList{"--tape", m_dir.filePath("tape.txt")} + simulatorArguments))
        return false;
    m_service = std::make_unique<ServiceRunner>();
    if (!m_service->writeSettings("[TILLGATE]\ndeviceType=1\nbusHost=127.0.0.1\nbusMsgPort="
                                  + QByteArray::number(m_simulator.msgPort())
                                  + "\nbusQueryPort=" + QByteArray::number(m_simulator.queryPort()) + "\n")
        || !m_service->startListening())
        return false;
    // The service joins the bus in the background.
    bool joined = false;
    [&] {
        QTRY_COMPARE_WITH_TIMEOUT(request("GET", "/cashboxstatus.json").code, 200, 60000);
        joined = true;
    }();
    return joined;
}

bool TestReceiptSettle::startAtol()
{
    m_service = std::make_unique<ServiceRunner>();
    return m_service->writeSettings("[TILLGATE]\ndeviceType=3\n[ATOL]\ntransport=TCP\nhost=127.0.0.1\nport=5555\n"
                                    "libPath=" FPTRSIM_DIR "\n")
        && m_service->startListening();
}

HttpTestClient::Answer TestReceiptSettle::request(const QByteArray &method, const QByteArray &path,
                                                  const QByteArray &body) const
{
    QByteArray raw = method + " " + path + " HTTP/1.1\r\nAuthorization: Basic " + QByteArray("1:30").toBase64()
        + "\r\n";
    if (!body.isNull())
        raw += "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    return HttpTestClient::exchange(m_service->port(), raw + "\r\n" + body, 30000);
}

void TestReceiptSettle::writeFaults(const QByteArray &faults) const
{
    QFile file(m_dir.filePath("fptrsim/faults"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(faults);
}

int TestReceiptSettle::receiptsOnTape(bool atol) const
{
    QFile file(atol ? m_dir.filePath("fptrsim/tape.txt") : m_dir.filePath("tape.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray tape = file.readAll();
    return tape.count(atol ? QByteArray("КАССОВЫЙ ЧЕК.") : QByteArray("ИТОГ = 6.00"));
}

void TestReceiptSettle::retrySettles_data()
{
    QTest::addColumn<bool>("atol");
    QTest::addColumn<QStringList>("simulatorArguments");
    QTest::addColumn<QByteArray>("faults");
    // 524 when the service was told of the failure, 0 when it died.
    QTest::addColumn<int>("firstCode");
    QTest::addColumn<bool>("registeredFirst");

    QTest::newRow("bus, answer lost") << false << QStringList{"--lose-answer", "registreCheck"} << QByteArray()
                                      << 524 << true;
    QTest::newRow("bus, command dropped") << false << QStringList{"--drop", "registreCheck"} << QByteArray() << 524
                                          << false;
    QTest::newRow("atol, answer lost") << true << QStringList() << QByteArray("fail RunFNCommand -21\n") << 524
                                       << true;
    QTest::newRow("atol, command dropped") << true << QStringList() << QByteArray("fail CloseCheck -20\n") << 524
                                           << false;
    QTest::newRow("atol, killed after closing") << true << QStringList() << QByteArray("abort-after CloseCheck\n")
                                                << 0 << true;
    QTest::newRow("atol, killed before closing") << true << QStringList()
                                                 << QByteArray("abort-before CloseCheck\n") << 0 << false;
}

void TestReceiptSettle::retrySettles()
{
    QFETCH(bool, atol);
    QFETCH(QStringList, simulatorArguments);
    QFETCH(QByteArray, faults);
    QFETCH(int, firstCode);
    QFETCH(bool, registeredFirst);

    QVERIFY(atol ? startAtol() : startOstrak(simulatorArguments));
    QCOMPARE(request("GET", "/cycleopen.json").code, 200);
    if (!faults.isEmpty())
        writeFaults(faults);

    QElapsedTimer clock;
    clock.start();
    const HttpTestClient::Answer first = request("POST", "/fiscalcheck.json", RECEIPT);
    QCOMPARE(first.code, firstCode);
    QCOMPARE(receiptsOnTape(atol), registeredFirst ? 1 : 0);
    if (firstCode == 524) {
        // One core time-out at most, and the answer says what to do.
        QVERIFY2(clock.elapsed() < 15000, QByteArray::number(clock.elapsed()).constData());
        const QVariantMap document = documentOf(first);
        QCOMPARE(document.value("outcome").toString(), QString("unknown"));
        QCOMPARE(document.value("sessionId").toString(), QString("settle-1"));
        QVERIFY(document.value("message").toMap().value("resultDescription").toString().contains("same sessionId"));
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(!m_service->isRunning(), 10000);
        // The fault struck once and is gone: the restarted service works.
        QVERIFY(m_service->startListening());
    }
    if (atol)
        writeFaults(QByteArray());

    const HttpTestClient::Answer retry = request("POST", "/fiscalcheck.json", RECEIPT);
    QCOMPARE(retry.code, 200);
    QCOMPARE(receiptsOnTape(atol), 1);
    const QVariantMap document = documentOf(retry);
    QCOMPARE(document.value("sessionId").toString(), QString("settle-1"));
    if (atol) {
        QCOMPARE(document.value("result").toInt(), 0);
        const QVariantMap data = document.value("data").toMap();
        QCOMPARE(data.value("docType").toInt(), 3);
        QVERIFY(QJsonDocument::fromVariant(data.value("fiscprops")).toJson().contains("Milk"));
    } else {
        QCOMPARE(document.value("checkType").toInt(), 1);
        QCOMPARE(document.value("total").toInt(), 600);
        QCOMPARE(document.value("positions").toInt(), 2);
    }
    // The same document, then and from now on.
    const HttpTestClient::Answer replay = request("POST", "/fiscalcheck.json", RECEIPT);
    QCOMPARE(replay.code, 200);
    QCOMPARE(replay.body, retry.body);
    QCOMPARE(receiptsOnTape(atol), 1);
}

QTEST_GUILESS_MAIN(TestReceiptSettle)
#include "tst_receiptsettle.moc"
