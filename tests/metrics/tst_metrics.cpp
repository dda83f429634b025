#include "httptestclient.h"
#include "metricsrequesthandler.h"
#include "servicerunner.h"
#include "simrunner.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <memory>

// The service's metrics as monitoring reads them: scraped over HTTP on each
// back-end with its simulator (a shift open past its 24 hours, documents the
// fiscal data operator has not received, an expiring storage), parsed by
// Prometheus' own Python parser; the node exporter text file; the systemd
// notifications through a socket of the test's own.
class TestMetrics : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void peerAllowed_data();
    void peerAllowed();
    void scrapeOstrak();
    void scrapeAtol();
    void scrapeCombine();
    void notifications();

private:
    // Every sample by name, as the parser read them.
    struct Scrape {
        QJsonObject samples;
        double value(const char *name, const QVariantMap &labels = {}) const;
        bool has(const char *name) const { return samples.contains(QLatin1String(name)); }
        QJsonObject labelsOf(const char *name) const;
    };
    static bool parse(const QByteArray &text, Scrape &scrape);
    Scrape scrape();
    // Scrapes until the background reading has stored the register figures.
    bool waitForReading(Scrape &result, const char *family = "tillgate_register_read_timestamp_seconds");
    HttpTestClient::Answer post(const QByteArray &path, const QByteArray &credentials, const QByteArray &body);
    static QByteArray receipt(const QByteArray &sessionId);

    SimRunner m_simulator;
    std::unique_ptr<QTemporaryDir> m_simDir;
    std::unique_ptr<ServiceRunner> m_service;
};

static const double DAY = 24 * 3600;
// The simulated core knows its cashiers by name.
static const QByteArray ADMIN = QByteArray("\xd0\x90\xd0\xb4\xd0\xbc\xd0\xb8\xd0\xbd\xd0\xb8\xd1\x81\xd1\x82"
                                           "\xd1\x80\xd0\xb0\xd1\x82\xd0\xbe\xd1\x80:30");

void TestMetrics::cleanup()
{
    m_service.reset();
    m_simulator.stop();
    m_simDir.reset();
    qunsetenv("NOTIFY_SOCKET");
    qunsetenv("WATCHDOG_USEC");
}

double TestMetrics::Scrape::value(const char *name, const QVariantMap &labels) const
{
    for (const QJsonValue &sample : samples.value(QLatin1String(name)).toArray()) {
        const QJsonObject have = sample.toObject().value("labels").toObject();
        bool match = true;
        for (auto it = labels.cbegin(); it != labels.cend(); ++it)
            match = match && have.value(it.key()).toString() == it.value().toString();
        if (match)
            return sample.toObject().value("value").toDouble();
    }
    return qQNaN();
}

QJsonObject TestMetrics::Scrape::labelsOf(const char *name) const
{
    return samples.value(QLatin1String(name)).toArray().first().toObject().value("labels").toObject();
}

bool TestMetrics::parse(const QByteArray &text, Scrape &scrape)
{
    QProcess parser;
    parser.start(QStringLiteral(SYSTEM_PYTHON), {QStringLiteral(PARSE_METRICS)});
    if (!parser.waitForStarted())
        return false;
    parser.write(text);
    parser.closeWriteChannel();
    if (!parser.waitForFinished(30000) || parser.exitCode() != 0) {
        qWarning().noquote() << parser.readAllStandardError();
        return false;
    }
    scrape.samples = QJsonDocument::fromJson(parser.readAllStandardOutput()).object();
    return !scrape.samples.isEmpty();
}

TestMetrics::Scrape TestMetrics::scrape()
{
    // No credentials: monitoring has none.
    const auto answer = HttpTestClient::exchange(m_service->port(), "GET /metrics HTTP/1.1\r\n\r\n", 30000);
    Scrape result;
    if (answer.code != 200
        || answer.headers.value("Content-Type") != "text/plain; version=0.0.4; charset=utf-8"
        || !parse(answer.body, result))
        qWarning() << "scrape failed:" << answer.statusLine;
    return result;
}

bool TestMetrics::waitForReading(Scrape &result, const char *family)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 60000) {
        result = scrape();
        if (result.has(family))
            return true;
        QTest::qWait(200);
    }
    return false;
}

HttpTestClient::Answer TestMetrics::post(const QByteArray &path, const QByteArray &credentials,
                                         const QByteArray &body)
{
    const QByteArray request = "POST " + path + " HTTP/1.1\r\nAuthorization: Basic " + credentials.toBase64()
        + "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n"
        + body;
    return HttpTestClient::exchange(m_service->port(), request, 30000);
}

QByteArray TestMetrics::receipt(const QByteArray &sessionId)
{
    return R"({"document":{"sessionId":")" + sessionId + R"(","print":0,"data":{"type":1,"moneyType":1,)"
        R"("sum":0,"fiscprops":[{"tag":1059,"fiscprops":[{"tag":1030,"value":"Bread"},)"
        R"({"tag":1079,"value":100},{"tag":1023,"value":1},{"tag":1199,"value":1},{"tag":1214,"value":4},)"
        R"({"tag":1212,"value":1}]},{"tag":1031,"value":100}]}}})";
}

void TestMetrics::peerAllowed_data()
{
    QTest::addColumn<QString>("peer");
    QTest::addColumn<QString>("allowed");
    QTest::addColumn<bool>("expected");
    QTest::newRow("loopback") << "127.0.0.1" << "" << true;
    QTest::newRow("loopback range") << "127.8.9.1" << "" << true;
    QTest::newRow("IPv6 loopback") << "::1" << "" << true;
    QTest::newRow("IPv4 through a dual-stack socket") << "::ffff:127.0.0.1" << "" << true;
    QTest::newRow("another machine") << "192.0.2.7" << "" << false;
    QTest::newRow("listed address") << "192.0.2.7" << "198.51.100.1,192.0.2.7" << true;
    QTest::newRow("listed address, mapped") << "::ffff:192.0.2.7" << "192.0.2.7" << true;
    QTest::newRow("listed network") << "192.0.2.200" << "192.0.2.0/24" << true;
    QTest::newRow("outside the network") << "192.0.3.1" << "192.0.2.0/24" << false;
    QTest::newRow("a name is no address") << "192.0.2.7" << "monitoring.example" << false;
}

void TestMetrics::peerAllowed()
{
    QFETCH(QString, peer);
    QFETCH(QString, allowed);
    QFETCH(bool, expected);
    QStringList list = allowed.split(',', Qt::SkipEmptyParts);
    QCOMPARE(MetricsRequestHandler::peerAllowed(QHostAddress(peer), list), expected);
}

void TestMetrics::scrapeOstrak()
{
    QVERIFY(m_simulator.start({"--shift-open-hours", "25", "--unsent", "3,21", "--fs-expiry-days", "20"}));
    QTemporaryDir textDir;
    const QString textfile = textDir.filePath("tillgate.prom");
    m_service = std::make_unique<ServiceRunner>();
    QVERIFY(m_service->writeSettings("[TILLGATE]\ndeviceType=1\nbusHost=127.0.0.1\nbusMsgPort="
                                     + QByteArray::number(m_simulator.msgPort()) + "\nbusQueryPort="
                                     + QByteArray::number(m_simulator.queryPort()) + "\nmetricsTextfile="
                                     + textfile.toUtf8() + "\n"));
    QVERIFY(m_service->startListening());

    Scrape result;
    QVERIFY(waitForReading(result));
    QCOMPARE(result.value("tillgate_device_up"), 1.0);
    const QJsonObject info = result.labelsOf("tillgate_device_info");
    QCOMPARE(info.value("backend").toString(), QString("ostrak"));
    QCOMPARE(info.value("serial").toString(), QString("0000000000001234"));
    QCOMPARE(info.value("fs_number").toString(), QString("9999078900001234"));
    QCOMPARE(result.value("tillgate_register_shift_open"), 1.0);
    QVERIFY(result.value("tillgate_register_shift_age_seconds") >= 25 * 3600 - 120);
    QCOMPARE(result.value("tillgate_register_unsent_documents"), 3.0);
    QCOMPARE(result.value("tillgate_register_paper_present"), 1.0);
    QVERIFY(qAbs(result.value("tillgate_register_oldest_unsent_document_age_seconds") - 21 * DAY) < 120);
    // Through the last day: 20 days and the rest of today.
    const double expiry = result.value("tillgate_register_fiscal_storage_expiry_seconds");
    QVERIFY2(expiry > 20 * DAY && expiry <= 21 * DAY, QByteArray::number(expiry));
    QVERIFY(qAbs(result.value("tillgate_register_read_timestamp_seconds")
                 - QDateTime::currentMSecsSinceEpoch() / 1000.0) < 120);

    // A receipt, then its repeat: registered once, answered from the cache
    // once the core's answer has reached it (a refusal until then).
    QCOMPARE(post("/fiscalcheck.json", ADMIN, receipt("metrics-1")).code, 200);
    int repeatCode = 507;
    int refusedRepeats = 0;
    QElapsedTimer waited;
    waited.start();
    while (repeatCode == 507 && waited.elapsed() < 10000) {
        repeatCode = post("/fiscalcheck.json", ADMIN, receipt("metrics-1")).code;
        refusedRepeats += repeatCode == 507 ? 1 : 0;
    }
    QCOMPARE(repeatCode, 200);
    // A request is counted once its answer has gone out, so the scrape may
    // overtake the last count by a moment.
    QTRY_COMPARE(scrape().value("tillgate_http_requests_total", {{"route", "fiscal_check"}, {"code", "200"}}), 2.0);
    result = scrape();
    QCOMPARE(result.value("tillgate_receipts_total", {{"outcome", "registered"}}), 1.0);
    QCOMPARE(result.value("tillgate_receipts_total", {{"outcome", "replayed"}}), 1.0);
    QCOMPARE(result.value("tillgate_receipts_total", {{"outcome", "refused"}}), double(refusedRepeats));
    QCOMPARE(result.value("tillgate_receipts_total", {{"outcome", "timed_out"}}), 0.0);
    QCOMPARE(result.value("tillgate_http_requests_total", {{"route", "fiscal_check"}, {"code", "200"}}), 2.0);
    QCOMPARE(result.value("tillgate_http_request_duration_seconds_count", {{"group", "receipt"}}),
             2.0 + refusedRepeats);
    QVERIFY(result.value("tillgate_http_requests_total", {{"route", "metrics"}, {"code", "200"}}) >= 2);
    QCOMPARE(result.samples.value("#types").toObject().value("tillgate_http_request_duration_seconds").toString(),
             QString("histogram"));
    QCOMPARE(result.labelsOf("tillgate_build_info").value("version").toString().isEmpty(), false);
    QVERIFY(result.value("process_resident_memory_bytes") > 0);
    QVERIFY(result.value("process_open_fds") > 0);

    // The same text for node exporter, written whole.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(textfile), 10000);
    QFile file(textfile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    Scrape written;
    QVERIFY(parse(file.readAll(), written));
    QVERIFY(written.has("tillgate_device_up"));
    QVERIFY(written.has("tillgate_build_info"));
    QVERIFY(file.permissions() & QFile::ReadOther);
}

void TestMetrics::scrapeAtol()
{
    m_simDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_simDir->isValid());
    qputenv("FPTR_SIM_DIR", m_simDir->path().toLocal8Bit());
    m_service = std::make_unique<ServiceRunner>();
    QVERIFY(m_service->writeSettings("[TILLGATE]\ndeviceType=3\n[ATOL]\ntransport=TCP\nhost=127.0.0.1\nport=5555\n"
                                     "libPath=" FPTRSIM_DIR "\n"));
    QVERIFY(m_service->startListening());
    Scrape result;
    QVERIFY(waitForReading(result));
    QCOMPARE(result.value("tillgate_register_shift_open"), 0.0);
    QCOMPARE(result.value("tillgate_register_shift_age_seconds"), 0.0);

    // The register's own memory: a shift opened 25 hours ago, and its one
    // document (the registration) sent to nobody for 21 days.
    m_service->stop();
    QFile stateFile(m_simDir->filePath("state.json"));
    QVERIFY(stateFile.open(QIODevice::ReadOnly));
    QJsonObject state = QJsonDocument::fromJson(stateFile.readAll()).object();
    stateFile.close();
    const QDateTime now = QDateTime::currentDateTime();
    state.insert("shiftOpen", true);
    state.insert("shiftNumber", 1);
    state.insert("shiftOpenedAt", now.addSecs(-25 * 3600).toString(Qt::ISODate));
    QJsonArray documents = state.value("documents").toArray();
    QVERIFY(!documents.isEmpty());
    QJsonObject first = documents.first().toObject();
    first.insert("time", now.addDays(-21).toString(Qt::ISODate));
    documents.replace(0, first);
    state.insert("documents", documents);
    QVERIFY(stateFile.open(QIODevice::WriteOnly | QIODevice::Truncate));
    stateFile.write(QJsonDocument(state).toJson());
    stateFile.close();
    QVERIFY(m_service->startListening());

    QVERIFY(waitForReading(result));
    QCOMPARE(result.value("tillgate_device_up"), 1.0);
    const QJsonObject info = result.labelsOf("tillgate_device_info");
    QCOMPARE(info.value("backend").toString(), QString("atol"));
    QCOMPARE(info.value("serial").toString(), QString("00106700001234"));
    QCOMPARE(info.value("fs_number").toString(), QString("9999078900012345"));
    QCOMPARE(result.value("tillgate_register_shift_open"), 1.0);
    QVERIFY(qAbs(result.value("tillgate_register_shift_age_seconds") - 25 * 3600) < 120);
    QCOMPARE(result.value("tillgate_register_unsent_documents"), double(documents.size()));
    QCOMPARE(result.value("tillgate_register_paper_present"), 1.0);
    QVERIFY(qAbs(result.value("tillgate_register_oldest_unsent_document_age_seconds") - 21 * DAY) < 120);
    QVERIFY(result.value("tillgate_register_fiscal_storage_expiry_seconds") > 0);

    // The register refuses a receipt in a shift past its 24 hours.
    const auto refused = post("/fiscalcheck.json", "1:30", receipt("metrics-atol-1"));
    QVERIFY(refused.code != 0);
    result = scrape();
    QCOMPARE(result.value("tillgate_receipts_total", {{"outcome", "refused"}}), 1.0);
    QCOMPARE(result.value("tillgate_receipts_total", {{"outcome", "registered"}}), 0.0);
    QVERIFY(result.value("tillgate_device_last_error_code") != 0);
}

void TestMetrics::scrapeCombine()
{
    m_service = std::make_unique<ServiceRunner>();
    QVERIFY(m_service->writeSettings("[TILLGATE]\ndeviceType=2\n"));
    QVERIFY(m_service->startListening());
    Scrape result;
    QVERIFY(waitForReading(result, "tillgate_device_info"));
    QCOMPARE(result.labelsOf("tillgate_device_info").value("backend").toString(), QString("combine"));
    QCOMPARE(result.value("tillgate_device_up"), 0.0);
    // Nothing was read, so no figure pretends to be a reading.
    QVERIFY(!result.has("tillgate_register_fiscal_storage_expiry_seconds"));
    QVERIFY(!result.has("tillgate_register_shift_open"));

    QCOMPARE(post("/fiscalcheck.json", "", receipt("metrics-combine-1")).code, 523);
    QTRY_COMPARE(scrape().value("tillgate_http_requests_total", {{"route", "fiscal_check"}, {"code", "523"}}), 1.0);
    result = scrape();
    QCOMPARE(result.value("tillgate_receipts_total", {{"outcome", "refused"}}), 1.0);
    QCOMPARE(result.value("tillgate_device_last_error_code"), 523.0);

    // A web page reaching the port through a rebound name is a loopback peer
    // too, but its browser says where the request comes from.
    for (const QByteArray header : {"Origin: http://rebound.example:8780", "Sec-Fetch-Site: same-origin"}) {
        const auto refused = HttpTestClient::exchange(m_service->port(),
                                                      "GET /metrics HTTP/1.1\r\n" + header + "\r\n\r\n");
        QCOMPARE(refused.code, 403);
        QCOMPARE(refused.body, QByteArray("403 Forbidden"));
    }
    QCOMPARE(HttpTestClient::exchange(m_service->port(), "GET /metrics HTTP/1.1\r\nSec-Fetch-Site: none\r\n\r\n")
                 .code,
             200);
    QCOMPARE(HttpTestClient::exchange(m_service->port(), "POST /metrics HTTP/1.1\r\nContent-Length: 0\r\n\r\n")
                 .code,
             405);
}

void TestMetrics::notifications()
{
    QTemporaryDir dir;
    const QByteArray path = dir.filePath("notify").toLocal8Bit();
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    QVERIFY(fd >= 0);
    const auto closeSocket = qScopeGuard([fd] { ::close(fd); });
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, path.constData(), sizeof(address.sun_path));
    QVERIFY(bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0);
    QStringList messages;
    const auto receive = [&] {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = recv(fd, buffer, sizeof(buffer), 0)) > 0)
            messages.append(QString::fromUtf8(buffer, int(n)));
        return messages.join('\n');
    };

    qputenv("NOTIFY_SOCKET", path);
    qputenv("WATCHDOG_USEC", "1000000");
    m_service = std::make_unique<ServiceRunner>();
    QVERIFY(m_service->writeSettings("[TILLGATE]\ndeviceType=2\n"));
    QVERIFY(m_service->startListening());
    QTRY_VERIFY_WITH_TIMEOUT(receive().contains("READY=1"), 10000);
    // The status line names the back-end; the keep-alives come twice a
    // watchdog period.
    QTRY_VERIFY_WITH_TIMEOUT(receive().contains("STATUS=combine"), 20000);
    QTRY_VERIFY_WITH_TIMEOUT((receive(), messages.filter("WATCHDOG=1").size() >= 3), 10000);
    QVERIFY(!receive().contains("STOPPING=1"));
    m_service->stop();
    QVERIFY(receive().contains("STOPPING=1"));
    // Ready comes once, before anything says stopping.
    QCOMPARE(messages.filter("READY=1").size(), 1);
    QVERIFY(receive().indexOf("READY=1") < receive().indexOf("STOPPING=1"));
}

QTEST_GUILESS_MAIN(TestMetrics)
#include "tst_metrics.moc"
