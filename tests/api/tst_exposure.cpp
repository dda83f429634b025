#include "../frprint/testimages.h"
#include "httptestclient.h"
#include "servicerunner.h"
#include "simrunner.h"

#include <QJsonDocument>
#include <QNetworkInterface>
#include <QUdpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using Images = QList<QPair<QByteArray, QByteArray>>;

// What anybody who reaches the port can and cannot do to the service, run
// against the real binary: name a driver library, store files, guess
// passwords, read secrets from the log, reach a listener meant for this
// machine only, and hold the service with a register that never ends.
class TestExposure : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void driverChoice_data();
    void driverChoice();
    void plantedLibraryNeverLoaded_data();
    void plantedLibraryNeverLoaded();
    void imageStore_data();
    void imageStore();
    void imageStoreLimit();
    void loginThrottle();
    void noSecretInTheLog_data();
    void noSecretInTheLog();
    void shippedListenerStaysOnTheMachine();
    void endlessStorageDocument();
    void switchDoesNotWaitForTheRegister();

private:
    bool startAtol(const QByteArray &extra = QByteArray());
    HttpTestClient::Answer request(const QByteArray &method, const QByteArray &path,
                                   const QByteArray &body = QByteArray(), const QByteArray &credentials = "1:30",
                                   int timeoutMs = 30000) const;
    QByteArray settingsFile() const;
    QString imagesDir() const { return m_service->workDir() + "/tillgate/images"; }
    bool driverCalled() const { return QFile::exists(m_simDir->filePath("calls.log")); }
    int storageRounds() const;
    QByteArray lastDriverCall() const;
    // Only lo is up: datagrams to the discovery port reach no other test.
    static bool isolated();
    void writeFaults(const QByteArray &faults);
    static QByteArray storeRequest(const Images &images);

    std::unique_ptr<QTemporaryDir> m_simDir;
    std::unique_ptr<ServiceRunner> m_service;
    SimRunner m_cashbox;
};

// Recognisable anywhere in a log: no counter, port or time looks like it.
static const QByteArray SECRET = "739182645";

void TestExposure::init()
{
    m_simDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_simDir->isValid());
    qputenv("FPTR_SIM_DIR", m_simDir->path().toLocal8Bit());
    m_service = std::make_unique<ServiceRunner>();
}

void TestExposure::cleanup()
{
    m_service.reset();
    m_cashbox.stop();
    m_simDir.reset();
}

bool TestExposure::startAtol(const QByteArray &extra)
{
    return m_service->writeSettings("[TILLGATE]\ndeviceType=3\n" + extra
                                    + "[ATOL]\ntransport=TCP\nhost=127.0.0.1\nport=5555\nlibPath=" FPTRSIM_DIR "\n")
        && m_service->startListening();
}

HttpTestClient::Answer TestExposure::request(const QByteArray &method, const QByteArray &path, const QByteArray &body,
                                             const QByteArray &credentials, int timeoutMs) const
{
    QByteArray raw = method + " " + path + " HTTP/1.1\r\nAuthorization: Basic " + credentials.toBase64() + "\r\n";
    if (!body.isNull())
        raw += "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    return HttpTestClient::exchange(m_service->port(), raw + "\r\n" + body, timeoutMs);
}

QByteArray TestExposure::settingsFile() const
{
    QFile file(m_service->settingsFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestExposure::writeFaults(const QByteArray &faults)
{
    QFile file(m_simDir->filePath("faults"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(faults);
}

QByteArray TestExposure::storeRequest(const Images &images)
{
    QVariantList list;
    for (const auto &image : images)
        list.append(QVariantMap{{"fileName", image.first}, {"image", image.second.toBase64()}});
    return QJsonDocument::fromVariant(QVariantMap{{"document", QVariantMap{{"images", list}}}}).toJson();
}

void TestExposure::driverChoice_data()
{
    QTest::addColumn<QByteArray>("libPath");
    QTest::addColumn<int>("code");
    QTest::newRow("images directory") << QByteArray("@images") << 403;
    QTest::newRow("temporary directory") << QByteArray("/tmp") << 403;
    QTest::newRow("relative") << QByteArray("lib/fptrsim") << 403;
    QTest::newRow("climbing out of a listed one") << QByteArray(FPTRSIM_DIR "/../../tmp") << 403;
    QTest::newRow("the configured one") << QByteArray(FPTRSIM_DIR "/") << 200;
}

void TestExposure::driverChoice()
{
    QFETCH(QByteArray, libPath);
    QFETCH(int, code);
    QVERIFY(m_service->writeSettings("[TILLGATE]\ndeviceType=0\n[ATOL]\nlibPath=" FPTRSIM_DIR "\n")
            && m_service->startListening());
    libPath.replace("@images", imagesDir().toUtf8());
    const QByteArray before = settingsFile();
    const auto answer = request("POST", "/chooseatol.json",
                                R"({"transport":"TCP","host":"127.0.0.1","port":5555,"libPath":")" + libPath + "\"}");
    QCOMPARE(answer.code, code);
    if (code == 403) {
        QVERIFY2(answer.body.contains("not among the allowed"), answer.body.constData());
        QCOMPARE(settingsFile(), before);
        QVERIFY(!driverCalled());
    } else {
        // The register is reached through the chosen driver.
        QTRY_COMPARE(request("GET", "/cashboxstatus.json").code, 200);
    }
}

void TestExposure::plantedLibraryNeverLoaded_data()
{
    QTest::addColumn<QByteArray>("where");
    QTest::addColumn<QByteArray>("refusal");
    QTest::newRow("images directory") << QByteArray("images") << QByteArray("which the service writes");
    QTest::newRow("directory anybody may write") << QByteArray("open") << QByteArray("can be changed");
}

void TestExposure::plantedLibraryNeverLoaded()
{
    QFETCH(QByteArray, where);
    QFETCH(QByteArray, refusal);
    // Through the API the library cannot even be stored.
    QVERIFY(startAtol());
    QFile library(FPTRSIM_DIR "/libfptr.so");
    QVERIFY(library.open(QIODevice::ReadOnly));
    // The head of a library, as much as one request carries.
    const QByteArray bytes = library.read(6000);
    QCOMPARE(request("POST", "/storeimages.json", storeRequest({{"libfptr.so", bytes}})).code, 406);
    QCOMPARE(request("POST", "/storeimages.json", storeRequest({{"libfptr.png", bytes}})).code, 406);
    QCOMPARE(QDir(imagesDir()).entryList(QDir::Files), QStringList());
    m_service->stop();

    // Planted all the same, and even listed by the operator: never loaded.
    QTemporaryDir open(TILLGATE_BIN_DIR "/../planted-XXXXXX");
    const QString directory = where == "images" ? imagesDir() : open.path();
    QVERIFY(QDir().mkpath(directory));
    QVERIFY(QFile::setPermissions(directory, QFileDevice::Permissions(0x7777)));
    QVERIFY(QFile::copy(library.fileName(), directory + "/libfptr.so"));
    QVERIFY(QFile::remove(m_simDir->filePath("calls.log")) || !driverCalled());
    QVERIFY(m_service->writeSettings("[TILLGATE]\ndeviceType=3\n[ATOL]\ntransport=TCP\nhost=127.0.0.1\nport=5555\n"
                                     "libPath=" + directory.toUtf8() + "\ndriverPaths=" + directory.toUtf8() + "\n")
            && m_service->startListening());
    QCOMPARE(request("GET", "/cycleopen.json").code, 500);
    QTRY_VERIFY(m_service->output().contains("not loaded: "));
    QVERIFY2(m_service->output().contains(refusal), m_service->output().constData());
    QVERIFY(!driverCalled());
}

void TestExposure::imageStore_data()
{
    const QByteArray png = testimages::pngRgba(4, 2, [](int x, int) { return x < 2 ? 0xFF000000u : 0xFFFFFFFFu; });
    const QByteArray bmp = testimages::bmp24(4, 2, [](int, int y) { return y ? 0xFF000000u : 0xFFFFFFFFu; });
    QTest::addColumn<Images>("images");
    QTest::addColumn<int>("code");
    QTest::newRow("png") << Images{{"logo.png", png}} << 200;
    QTest::newRow("bmp, upper case") << Images{{"LOGO.BMP", bmp}} << 200;
    QTest::newRow("both") << Images{{"a.png", png}, {"b.Bmp", bmp}} << 200;
    QTest::newRow("picture under another name") << Images{{"logo.so", png}} << 406;
    QTest::newRow("no extension") << Images{{"logo", png}} << 406;
    QTest::newRow("not a picture") << Images{{"logo.png", "\x7f" "ELF\2\1\1"}} << 406;
    QTest::newRow("png content, name says bmp") << Images{{"logo.bmp", "\x89PNG\r\n\x1a\n broken"}} << 406;
    QTest::newRow("one bad spoils all") << Images{{"a.png", png}, {"b.txt", png}} << 406;
}

void TestExposure::imageStore()
{
    QFETCH(Images, images);
    QFETCH(int, code);
    QVERIFY(startAtol());
    QCOMPARE(request("POST", "/storeimages.json", storeRequest(images)).code, code);
    const QStringList stored = QDir(imagesDir()).entryList(QDir::Files);
    QCOMPARE(stored.size(), code == 200 ? images.size() : 0);
}

void TestExposure::imageStoreLimit()
{
    const QByteArray picture = testimages::bmp24(16, 8, [](int x, int) { return x ? 0xFF000000u : 0xFFFFFFFFu; });
    QVERIFY(startAtol("imagesLimit=" + QByteArray::number(picture.size() * 2) + "\n"));
    QCOMPARE(request("POST", "/storeimages.json", storeRequest({{"a.bmp", picture}})).code, 200);
    // Stored again under its name it takes no more room.
    QCOMPARE(request("POST", "/storeimages.json", storeRequest({{"a.bmp", picture}, {"b.bmp", picture}})).code, 200);
    const auto full = request("POST", "/storeimages.json", storeRequest({{"c.bmp", picture}}));
    QCOMPARE(full.code, 507);
    QCOMPARE(QDir(imagesDir()).entryList(QDir::Files), QStringList({"a.bmp", "b.bmp"}));
}

void TestExposure::loginThrottle()
{
    QVERIFY(m_cashbox.start());
    QVERIFY(m_service->writeSettings("[TILLGATE]\ndeviceType=1\nbusHost=127.0.0.1\nbusMsgPort="
                                     + QByteArray::number(m_cashbox.msgPort()) + "\nbusQueryPort="
                                     + QByteArray::number(m_cashbox.queryPort()) + "\n")
            && m_service->startListening());
    const QByteArray good = "1:30";
    const QByteArray wrong = "1:31";
    QTRY_COMPARE_WITH_TIMEOUT(request("GET", "/fsstatus.json", QByteArray(), good).code, 200, 60000);
    auto logins = [this] { return m_cashbox.log().count("getLoginCoreOnline"); };
    QTRY_VERIFY(logins() > 0);
    const int before = logins();

    // A typo or four are answered as usual, the fifth holds the address off.
    for (int i = 0; i < 5; ++i)
        QCOMPARE(request("GET", "/fsstatus.json", QByteArray(), wrong).code, 401);
    QTRY_COMPARE(logins(), before + 5);
    auto held = request("GET", "/fsstatus.json", QByteArray(), good);
    QCOMPARE(held.statusLine, QByteArray("HTTP/1.1 429 Too Many Requests"));
    QCOMPARE(held.headers.value("Retry-After"), QByteArray("1"));
    QCOMPARE(logins(), before + 5);

    // After the hold one more failure doubles it.
    // Every try is a login, so the poll is counted here, not by QTRY.
    QElapsedTimer waited;
    waited.start();
    HttpTestClient::Answer after;
    do {
        after = request("GET", "/fsstatus.json", QByteArray(), wrong);
    } while (after.code == 429 && waited.elapsed() < 5000 && (QTest::qWait(50), true));
    QCOMPARE(after.code, 401);
    QVERIFY(waited.elapsed() >= 500);
    held = request("GET", "/fsstatus.json", QByteArray(), wrong);
    QCOMPARE(held.code, 429);
    QCOMPARE(held.headers.value("Retry-After"), QByteArray("2"));

    // A right password clears the address.
    QTRY_VERIFY_WITH_TIMEOUT(request("GET", "/fsstatus.json", QByteArray(), good).code == 200, 10000);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(request("GET", "/fsstatus.json", QByteArray(), wrong).code, 401);
}

void TestExposure::noSecretInTheLog_data()
{
    QTest::addColumn<int>("device");
    QTest::newRow("fiscal core") << 1;
    QTest::newRow("Combine") << 2;
    QTest::newRow("ATOL") << 3;
}

void TestExposure::noSecretInTheLog()
{
    QFETCH(int, device);
    m_service->setEnvironment("QT_LOGGING_RULES", "*.debug=true");
    QByteArray settings = "[TILLGATE]\ndeviceType=" + QByteArray::number(device) + "\n";
    QTemporaryFile cashiers;
    if (device == 1) {
        QVERIFY(cashiers.open());
        cashiers.write(R"({"cashiers":[{"name":"Tester","password":)" + SECRET + R"(,"inn":""}]})");
        cashiers.close();
        QVERIFY(m_cashbox.start({"--cashiers", cashiers.fileName()}));
        settings += "busHost=127.0.0.1\nbusMsgPort=" + QByteArray::number(m_cashbox.msgPort())
            + "\nbusQueryPort=" + QByteArray::number(m_cashbox.queryPort()) + "\n";
    }
    settings += "[ATOL]\ntransport=TCP\nhost=127.0.0.1\nport=5555\nconPas=" + SECRET + "\nlibPath=" FPTRSIM_DIR "\n";
    QVERIFY(m_service->writeSettings(settings) && m_service->startListening());
    const QByteArray credentials = "Tester:" + SECRET;
    if (device == 1)
        QTRY_COMPARE_WITH_TIMEOUT(request("GET", "/fsstatus.json", QByteArray(), credentials).code, 200, 60000);
    const QByteArray receipt = R"({"cashier":{"name":"Tester","password":)" + SECRET
        + R"(},"document":{"sessionId":"secret-1","print":0,"data":{"type":1,"moneyType":1,"sum":100,)"
          R"("fiscprops":[{"tag":1059,"fiscprops":[{"tag":1030,"value":"Bread"},{"tag":1079,"value":100},)"
          R"({"tag":1023,"value":1},{"tag":1199,"value":1},{"tag":1214,"value":4},{"tag":1212,"value":1}]}]}}})";
    const auto posted = request("POST", "/fiscalcheck.json", receipt, credentials);
    QVERIFY(posted.code != 0);
    // The receipt without a cashier of its own takes the logged-in one.
    QByteArray plain = receipt;
    plain.replace(R"("sessionId":"secret-1")", R"("sessionId":"secret-2")");
    plain.replace(R"("cashier":{"name":"Tester","password":)" + SECRET + "},", "");
    QVERIFY(request("POST", "/fiscalcheck.json", plain, credentials).code != 0);
    request("GET", "/fsstatus.json", QByteArray(), "Tester:" + SECRET + "1");
    QVERIFY(request("GET", "/cashboxstatus.json", QByteArray(), credentials).code != 0);
    m_service->stop();
    const QByteArray log = m_service->output();
    QVERIFY2(log.contains("HttpConnectionHandler"), "debug output is on");
    QVERIFY2(!log.contains(SECRET), log.constData());
    // The ATOL back-end does log the receipt with its cashier, hidden.
    if (device == 3)
        QVERIFY(log.contains(R"("password":"***")"));
    QVERIFY(!log.contains(credentials.toBase64()));
}

void TestExposure::shippedListenerStaysOnTheMachine()
{
    QFile shipped(TILLGATE_SOURCE_DIR "/packaging/tillgatelistener.conf");
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    QByteArray listener = shipped.readAll();
    QVERIFY(listener.contains("\nhost=127.0.0.1\n"));
    listener.replace("port=8780", "port=0");
    QVERIFY(m_service->writeListenerSettings(listener) && m_service->startListening());
    QCOMPARE(HttpTestClient::exchange(m_service->port(), "GET /robots.txt HTTP/1.1\r\n\r\n").code, 200);
    // Another address of this machine, as a host of the network would use.
    QTcpSocket other;
    other.connectToHost(QHostAddress("127.0.0.2"), m_service->port());
    QVERIFY(!other.waitForConnected(5000));
    QCOMPARE(other.error(), QAbstractSocket::ConnectionRefusedError);
}

int TestExposure::storageRounds() const
{
    QFile calls(m_simDir->filePath("calls.log"));
    return calls.open(QIODevice::ReadOnly) ? calls.readAll().count("RunFNCommand()") : 0;
}

void TestExposure::endlessStorageDocument()
{
    QVERIFY(startAtol());
    QCOMPARE(request("GET", "/cashboxstatus.json").code, 200);
    const int before = storageRounds();
    writeFaults("endless-records\n");
    const auto answer = request("GET", "/fiscaldoc.json?number=1", QByteArray(), "1:30", 60000);
    QCOMPARE(answer.code, 524);
    // The request command, the document's records, then the bound.
    const int rounds = storageRounds() - before;
    QVERIFY2(rounds > 1000 && rounds < 1100, QByteArray::number(rounds).constData());
    // The worker is free again.
    writeFaults("");
    QCOMPARE(request("GET", "/cashboxstatus.json").code, 200);
}

QByteArray TestExposure::lastDriverCall() const
{
    QFile calls(m_simDir->filePath("calls.log"));
    if (!calls.open(QIODevice::ReadOnly))
        return QByteArray();
    const QList<QByteArray> lines = calls.readAll().trimmed().split('\n');
    return lines.last();
}

bool TestExposure::isolated()
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        if (interface.flags().testFlag(QNetworkInterface::IsUp)
            && !interface.flags().testFlag(QNetworkInterface::IsLoopBack))
            return false;
    }
    return true;
}

void TestExposure::switchDoesNotWaitForTheRegister()
{
    if (!isolated())
        QSKIP("needs a network namespace of its own for the discovery port");
    QVERIFY(startAtol());
    QCOMPARE(request("GET", "/cashboxstatus.json").code, 200);
    // A cashbox found by the search, so that the main thread's work shows.
    QUdpSocket cashbox;
    cashbox.writeDatagram(R"({"zelvoautoconf":{"m":5,"sn":"A1","nm":"X"}})", QHostAddress::LocalHost, 43786);
    QTRY_VERIFY(request("GET", "/cashboxes.json").body.contains("A1"));

    writeFaults("delay RunFNCommand 4000\n");
    HttpTestClient slow(m_service->port());
    QTRY_VERIFY(slow.isConnected());
    slow.send("GET /fiscaldoc.json?number=1 HTTP/1.1\r\nAuthorization: Basic " + QByteArray("1:30").toBase64()
              + "\r\n\r\n");
    QTRY_COMPARE(lastDriverCall(), QByteArray("RunFNCommand()"));
    writeFaults("");
    // The switch, then a search that empties the table: both run on the
    // main thread, while the old worker is still held by the register.
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(request("POST", "/choosecombine.json", "{}").code, 200);
    QCOMPARE(request("GET", "/discover.json?cleanresults=1").code, 200);
    QTRY_VERIFY_WITH_TIMEOUT(!request("GET", "/cashboxes.json").body.contains("A1"), 2500);
    QVERIFY(timer.elapsed() < 3500);
    HttpTestClient::Answer answer;
    QVERIFY(!slow.takeAnswer(answer));
    QVERIFY(slow.waitForAnswer(answer, 30000));
    QCOMPARE(answer.code, 200);
}

QTEST_GUILESS_MAIN(TestExposure)
#include "tst_exposure.moc"
