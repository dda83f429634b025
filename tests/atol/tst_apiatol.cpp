#include "../frprint/testimages.h"
#include "httptestclient.h"
#include "servicerunner.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The service with device type 3 on the ATOL driver simulator, through
// HTTP: status, shifts, receipts read back from the storage and replayed
// from the cache, printing, a missing driver, faults of the register, an
// older driver generation, and the operations these registers refuse; the
// connection settings as the driver receives them, shift times and the
// registration in both storage layouts as the status shows them.
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
    void connectionSettingsInOrder_data();
    void connectionSettingsInOrder();
    void badSettingNamedInTheAnswer();
    void shiftTimesInStatus_data();
    void shiftTimesInStatus();
    void registrationOfBothLayouts_data();
    void registrationOfBothLayouts();
    void picturesAndQrCodesReachTheTape();
    void unknownDocumentNumber();

private:
    struct Reply {
        int code = 0;
        QVariantMap document;
        QVariantMap map;
    };
    static const QByteArray TCP;
    bool start(const QByteArray &connection = TCP, const QByteArray &libPath = FPTRSIM_DIR);
    // Stops the service, changes the register's stored state and starts the
    // service again, so that its first status query reads the new state.
    bool restartWithState(const QJsonObject &changes);
    QJsonObject state() const;
    QStringList calls() const;
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

const QByteArray TestApiAtol::TCP = "transport=TCP\nhost=127.0.0.1\nport=5555\n";

bool TestApiAtol::start(const QByteArray &connection, const QByteArray &libPath)
{
    m_service = std::make_unique<ServiceRunner>();
    const QByteArray settings = "[TILLGATE]\ndeviceType=3\n[ATOL]\n" + connection + "libPath=" + libPath + "\n";
    return m_service->writeSettings(settings) && m_service->startListening();
}

bool TestApiAtol::restartWithState(const QJsonObject &changes)
{
    m_service->stop();
    QJsonObject changed = state();
    for (auto it = changes.constBegin(); it != changes.constEnd(); ++it)
        changed.insert(it.key(), it.value());
    QFile file(m_simDir->filePath("state.json"));
    return !changed.isEmpty() && file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(QJsonDocument(changed).toJson()) > 0 && file.flush() && m_service->startListening();
}

QJsonObject TestApiAtol::state() const
{
    QFile file(m_simDir->filePath("state.json"));
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}

QStringList TestApiAtol::calls() const
{
    QFile file(m_simDir->filePath("calls.log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split('\n') : QStringList();
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
    QVERIFY(start(TCP, empty.path().toLocal8Bit()));
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
    QTest::newRow("settlement report") << QByteArray("GET") << QByteArray("/calcreport.json") << 500;
    QTest::newRow("text printing") << QByteArray("POST") << QByteArray("/printtext.json") << 500;
    QTest::newRow("fiscalisation") << QByteArray("POST") << QByteArray("/fiscalize.json") << 500;
    QTest::newRow("storage closing") << QByteArray("GET") << QByteArray("/closefs.json") << 200;
}

void TestApiAtol::refusedOperations()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, path);
    QFETCH(int, code);
    QVERIFY(start());
    const QByteArray body = method == "POST"
        ? QByteArray(R"({"document":{"sessionId":"atol-refused","data":{}}})")
        : QByteArray();
    const Reply reply = request(method, path, body);
    QCOMPARE(reply.code, code);
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

void TestApiAtol::connectionSettingsInOrder_data()
{
    QTest::addColumn<QByteArray>("connection");
    QTest::addColumn<QStringList>("settings");
    const QByteArray serial = "transport=RS232\nportName=ttyS3\nbaudrate=57600\ndataBits=7\nconPas=12\n";
    QTest::newRow("TCP") << TCP + "conPas=12\n"
                         << QStringList{"Port, TCPIP", "IPAddress, 127.0.0.1", "IPPort, 5555", "AccessPassword, 12",
                                        "Protocol, 2"};
    // The driver numbers parity none 0, odd 1, even 2, mark 3, space 4 and
    // stop bits one 0, one and a half 1, two 2.
    const QStringList head{"Port, TTY", "TTYSuffix, ttyS3", "BaudRate, 57600", "Bits, 7"};
    const QStringList tail{"AccessPassword, 12", "Protocol, 2"};
    QTest::newRow("none, one") << serial + "parity=NONE\nstopBits=STOP_1\nflowControl=NO\n"
                               << head + QStringList{"Parity, 0", "StopBits, 0", "FlowControl, 0"} + tail;
    QTest::newRow("odd, one and a half") << serial + "parity=ODD\nstopBits=STOP_15\nflowControl=HARDWARE\n"
                                         << head + QStringList{"Parity, 1", "StopBits, 1", "FlowControl, 1"} + tail;
    QTest::newRow("even, two") << serial + "parity=EVEN\nstopBits=STOP_2\nflowControl=SOFTWARE\n"
                               << head + QStringList{"Parity, 2", "StopBits, 2", "FlowControl, 2"} + tail;
    QTest::newRow("mark") << serial + "parity=MARK\n"
                          << head + QStringList{"Parity, 3", "StopBits, 0", "FlowControl, 0"} + tail;
    QTest::newRow("space") << serial + "parity=SPACE\n"
                           << head + QStringList{"Parity, 4", "StopBits, 0", "FlowControl, 0"} + tail;
}

void TestApiAtol::connectionSettingsInOrder()
{
    QFETCH(QByteArray, connection);
    QFETCH(QStringList, settings);
    QVERIFY(start(connection));
    QCOMPARE(request("GET", "/cashboxstatus.json").code, 200);
    // The settings the first job put before it applied them.
    const QString put = "put_DeviceSingleSetting(";
    QStringList written;
    const QStringList lines = calls();
    for (const QString &line : lines) {
        if (line.startsWith("ApplySingleSettings("))
            break;
        if (line.startsWith(put))
            written << line.mid(put.size()).chopped(1);
    }
    QCOMPARE(written, settings);
}

void TestApiAtol::badSettingNamedInTheAnswer()
{
    QVERIFY(start("transport=RS232\nportName=ttyS0\nbaudrate=100\n"));
    QCOMPARE(request("GET", "/cashboxstatus.json").code, 523);
    const Reply shift = request("GET", "/cycleopen.json");
    QCOMPARE(shift.code, 500);
    QCOMPARE(shift.document.value("result").toInt(), -6);
    QCOMPARE(shift.document.value("message").toMap().value("resultDescription").toString(),
             QString::fromUtf8("Недопустимое значение (BaudRate)"));
}

void TestApiAtol::shiftTimesInStatus_data()
{
    QTest::addColumn<QJsonObject>("shift");
    QTest::addColumn<QString>("opened");
    QTest::addColumn<QString>("closed");
    // While open the register gives the end of the shift, 24 hours after
    // its opening; once closed, the closing time and the opening apart.
    QTest::newRow("open") << QJsonObject{{"shiftOpen", true}, {"shiftOpenedAt", "2026-03-02T08:00:00"},
                                         {"shiftClosedAt", ""}}
                          << QString("2026-03-02T08:00:00") << QString();
    QTest::newRow("closed") << QJsonObject{{"shiftOpen", false}, {"shiftOpenedAt", "2026-03-02T08:00:00"},
                                           {"shiftClosedAt", "2026-03-02T20:30:15"}}
                            << QString("2026-03-02T08:00:00") << QString("2026-03-02T20:30:15");
}

void TestApiAtol::shiftTimesInStatus()
{
    QFETCH(QJsonObject, shift);
    QFETCH(QString, opened);
    QFETCH(QString, closed);
    QVERIFY(start());
    QVERIFY(restartWithState(shift));
    const QVariantMap status = request("GET", "/cashboxstatus.json").map.value("cashboxStatus").toMap();
    QCOMPARE(status.value("cycleOpened").toString(), opened);
    QCOMPARE(status.value("cycleClosed").toString(), closed);
    QCOMPARE(status.value("shiftOpened").toBool(), shift.value("shiftOpen").toBool());
}

void TestApiAtol::registrationOfBothLayouts_data()
{
    QTest::addColumn<int>("ffdVersion");
    // 1.05 keeps the document number at byte 39 of the storage's answer;
    // 1.1 puts extended modes and the OFD's INN before it, at byte 52.
    QTest::newRow("1.05") << 105;
    QTest::newRow("1.1") << 110;
}

void TestApiAtol::registrationOfBothLayouts()
{
    QFETCH(int, ffdVersion);
    QVERIFY(start());
    QVERIFY(restartWithState({{"ffdVersion", ffdVersion}, {"ofdInn", "7704211201"}}));
    const Reply status = request("GET", "/cashboxstatus.json");
    QCOMPARE(status.code, 200);
    const QVariantMap regData = status.map.value("cashboxStatus").toMap().value("regData").toMap();
    QCOMPARE(regData.value("regDocNumber").toInt(), 1);
    // Read from the registration document the number led to.
    QCOMPARE(regData.value("ofdInn").toString(), QString("7704211201"));
    QCOMPARE(regData.value("userName").toString(), state().value("userName").toString());
    QCOMPARE(regData.value("fsNumber").toString(), QString("9999078900012345"));
}

void TestApiAtol::picturesAndQrCodesReachTheTape()
{
    QVERIFY(start());
    const QByteArray picture = testimages::bmp24(16, 8, [](int x, int) { return x < 8 ? 0xFF000000u : 0xFFFFFFFFu; });
    const Reply stored = request("POST", "/storeimages.json",
                                 R"({"document":{"images":[{"fileName":"logo.bmp","image":")" + picture.toBase64()
                                     + R"("}]}})");
    QCOMPARE(stored.code, 200);
    QCOMPARE(stored.document.value("result").toInt(), 0);
    const QByteArray bbcode = QByteArray("[img]logo.bmp[/img]Thank you[qr]https://example.com/r/42[/qr]").toBase64();
    const Reply printed = request("POST", "/printrichtext.json", R"({"document":{"bbcode":")" + bbcode + R"("}})");
    QCOMPARE(printed.code, 200);
    const QString text = QString::fromUtf8(tape());
    const int pictureAt = text.indexOf(QString("[picture logo.bmp, %1 bytes]").arg(picture.size()));
    const int qrAt = text.indexOf("[QR: https://example.com/r/42]");
    QVERIFY2(pictureAt >= 0 && qrAt > text.indexOf("Thank you") && text.indexOf("Thank you") > pictureAt,
             qPrintable(text));
}

void TestApiAtol::unknownDocumentNumber()
{
    // Both back-ends answer a number the storage does not hold as they
    // answer a register that is silent: 524 with an empty body.
    QVERIFY(start());
    const HttpTestClient::Answer answer = HttpTestClient::exchange(
        m_service->port(),
        "GET /fiscaldoc.json?number=99&print=true HTTP/1.1\r\nAuthorization: Basic " + QByteArray("1:30").toBase64()
            + "\r\n\r\n",
        30000);
    QCOMPARE(answer.code, 524);
    QVERIFY(answer.body.isEmpty());
    // The copy was still asked for.
    const QStringList log = calls();
    const int at = log.indexOf("put_DocNumber(99)");
    QVERIFY(at >= 0);
    QCOMPARE(log.mid(at, 3), QStringList({"put_DocNumber(99)", "put_ReportType(34)", "Report()"}));
}

QTEST_GUILESS_MAIN(TestApiAtol)
#include "tst_apiatol.moc"
