#include "cashboxfinder.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>

// The finder is pointed at loopback: its queries go to a socket of the test,
// and the test answers from loopback addresses to the finder's port.
class TestCashboxFinder : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void validAnswer();
    void newAddressReplaces();
    void invalidAnswers_data();
    void invalidAnswers();
    void echoedQuery();
    void queryOnTimer();
    void initTwice();
    void searchEnds();
    void secondInitDoesNotExtend();
    void earlierEndDoesNotCutLaterSearch();
    void defaultPorts();
    void cleanAndInitEmpties();
    void releaseKeepsTable();
    void flood();
    void queryAddress_data();
    void queryAddress();
    void datagramSize_data();
    void datagramSize();
    void newestAnswersKept();
    void oneWarningPerSenderAndSearch();
    void answersOnlyFromTheQueriedNetwork_data();
    void answersOnlyFromTheQueriedNetwork();

private:
    void answer(const QByteArray &datagram, QUdpSocket *from = nullptr);
    static QByteArray description(const QVariantMap &autoconf);
    // Sends an answer that differs from the earlier ones only in its
    // registration number and waits for it: every datagram sent before it
    // from the same socket has been handled by then.
    void sync();

    std::unique_ptr<CashboxFinder> m_finder;
    std::unique_ptr<QUdpSocket> m_queries;
    std::unique_ptr<QUdpSocket> m_answers;
    int m_syncs = 0;
};

static const QString SYNC_KEY = QStringLiteral("99##SYNC");

QByteArray TestCashboxFinder::description(const QVariantMap &autoconf)
{
    return QJsonDocument::fromVariant(QVariantMap{{"zelvoautoconf", autoconf}, {"other", 1}})
        .toJson(QJsonDocument::Compact);
}

void TestCashboxFinder::init()
{
    m_queries = std::make_unique<QUdpSocket>();
    QVERIFY(m_queries->bind(QHostAddress(QHostAddress::LocalHost), 0));
    m_answers = std::make_unique<QUdpSocket>();
    QVERIFY(m_answers->bind(QHostAddress(QHostAddress::LocalHost), 0));

    m_finder = std::make_unique<CashboxFinder>();
    m_finder->setQueryTarget(QHostAddress::LocalHost, m_queries->localPort());
    m_finder->setAnswerPort(0);
    m_finder->cleanAndInit();
    QVERIFY(m_finder->isSearching());
    QVERIFY(m_finder->answerPort() != 0);
    QVERIFY(CashboxFinder::cashboxes().isEmpty());
}

void TestCashboxFinder::cleanup()
{
    m_finder.reset();
    m_queries.reset();
    m_answers.reset();
}

void TestCashboxFinder::answer(const QByteArray &datagram, QUdpSocket *from)
{
    QUdpSocket *socket = from ? from : m_answers.get();
    QCOMPARE(socket->writeDatagram(datagram, QHostAddress::LocalHost, m_finder->answerPort()),
             qint64(datagram.size()));
}

void TestCashboxFinder::sync()
{
    const QString mark = QString::number(++m_syncs);
    answer(description({{"m", 99}, {"sn", "SYNC"}, {"nm", "sync"}, {"rn", mark}}));
    QTRY_COMPARE(CashboxFinder::cashboxes().value(SYNC_KEY).regNumber(), mark);
}

void TestCashboxFinder::validAnswer()
{
    answer(description({{"m", 5}, {"sn", "A1"}, {"nm", "X"}}));
    QTRY_COMPARE(CashboxFinder::cashboxes().size(), 1);

    const FindedCashbox found = CashboxFinder::cashboxes().value("5##A1");
    QCOMPARE(found.ip(), QHostAddress("127.0.0.1"));
    QCOMPARE(found.ip().protocol(), QAbstractSocket::IPv4Protocol);
    QCOMPARE(found.atolPort(), quint16(0));
    QCOMPARE(found.httpPort(), quint16(0));
    QCOMPARE(found.busMsgPort(), quint16(0));
    QCOMPARE(found.busQueryPort(), quint16(0));
    const QVariantMap beauty{{"model", 5}, {"serial", "A1"}, {"modelName", "X"},
                             {"regNumber", ""}, {"inn", ""}, {"ip", "127.0.0.1"}};
    QCOMPARE(found.toBeautyMap(), beauty);
}

void TestCashboxFinder::newAddressReplaces()
{
    const QVariantMap autoconf{{"m", 5}, {"sn", "A1"}, {"nm", "X"}, {"busM", 4001}};
    answer(description(autoconf));
    QTRY_COMPARE(CashboxFinder::cashboxes().value("5##A1").ip(), QHostAddress("127.0.0.1"));

    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress("127.0.0.2"), 0));
    QVariantMap moved = autoconf;
    moved["busM"] = 4101;
    answer(description(moved), &other);
    QTRY_COMPARE(CashboxFinder::cashboxes().value("5##A1").ip(), QHostAddress("127.0.0.2"));
    QCOMPARE(CashboxFinder::cashboxes().size(), 1);
    QCOMPARE(CashboxFinder::cashboxes().value("5##A1").busMsgPort(), quint16(4101));
}

void TestCashboxFinder::invalidAnswers_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("reason");
    QTest::newRow("model 0") << description({{"m", 0}, {"sn", "A1"}, {"nm", "X"}})
                             << "invalid cashbox";
    QTest::newRow("no name") << description({{"m", 5}, {"sn", "A1"}}) << "invalid cashbox";
    QTest::newRow("no serial") << description({{"m", 5}, {"nm", "X"}}) << "invalid cashbox";
    QTest::newRow("description not an object")
        << QByteArray(R"({"zelvoautoconf":"m=5"})") << "invalid cashbox";
    QTest::newRow("no zelvoautoconf")
        << QByteArray(R"({"m":5,"sn":"A1","nm":"X"})") << "without zelvoautoconf";
    QTest::newRow("json array") << QByteArray(R"([{"zelvoautoconf":{"m":5}}])")
                                << "without zelvoautoconf";
    QTest::newRow("not json") << QByteArray("hello") << "is not JSON";
    QTest::newRow("empty") << QByteArray() << "is not JSON";
    QTest::newRow("zero bytes") << QByteArray(16, '\0') << "is not JSON";
    QTest::newRow("truncated")
        << description({{"m", 5}, {"sn", "A1"}, {"nm", "X"}}).chopped(1) << "is not JSON";
}

void TestCashboxFinder::invalidAnswers()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QString, reason);

    // From another sender: only the first datagram of a sender is logged.
    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress("127.0.0.2"), 0));
    answer(description({{"m", 5}, {"sn", "A1"}, {"nm", "X"}}), &other);
    QTRY_COMPARE(CashboxFinder::cashboxes().size(), 1);
    const FindedCashbox before = CashboxFinder::cashboxes().value("5##A1");

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Discovery answer .* from 127.0.0.1 port "
                                                          + QString::number(m_answers->localPort())));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(reason));
    answer(datagram);
    sync();

    const QHash<QString, FindedCashbox> table = CashboxFinder::cashboxes();
    QCOMPARE(table.size(), 2);
    QCOMPARE(table.value("5##A1"), before);
}

void TestCashboxFinder::echoedQuery()
{
    m_finder->sendBroadCast();
    QTRY_VERIFY(m_queries->hasPendingDatagrams());
    const QNetworkDatagram query = m_queries->receiveDatagram();
    QCOMPARE(query.data(), QByteArray("searchcashbox"));
    QCOMPARE(query.data().size(), 13);
    QCOMPARE(quint16(query.senderPort()), m_finder->answerPort());

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Discovery answer searchcashbox from"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("is not JSON.*searchcashbox"));
    QCOMPARE(m_queries->writeDatagram(query.makeReply(query.data())), qint64(13));
    sync();
    QCOMPARE(CashboxFinder::cashboxes().size(), 1);
}

void TestCashboxFinder::queryOnTimer()
{
    // Nothing goes out at once; the first query leaves after the interval.
    QVERIFY(!m_queries->hasPendingDatagrams());
    QTRY_VERIFY_WITH_TIMEOUT(m_queries->hasPendingDatagrams(),
                             CashboxFinder::QUERY_INTERVAL_MS + 3000);
    QCOMPARE(m_queries->receiveDatagram().data(), CashboxFinder::QUERY);

    // And the next one is scheduled.
    int active = 0;
    const auto timers = m_finder->findChildren<QTimer *>();
    for (const QTimer *timer : timers) {
        if (timer->interval() == CashboxFinder::QUERY_INTERVAL_MS && timer->isActive())
            ++active;
    }
    QCOMPARE(active, 1);
}

void TestCashboxFinder::initTwice()
{
    const quint16 port = m_finder->answerPort();
    QUdpSocket *socket = m_finder->findChild<QUdpSocket *>();
    QVERIFY(socket);

    m_finder->init();
    QCOMPARE(m_finder->answerPort(), port);
    QCOMPARE(m_finder->findChildren<QUdpSocket *>(), QList<QUdpSocket *>{socket});
    QCOMPARE(m_finder->findChildren<QTimer *>().size(), 1);

    answer(description({{"m", 5}, {"sn", "A1"}, {"nm", "X"}}));
    QTRY_COMPARE(CashboxFinder::cashboxes().size(), 1);
}

void TestCashboxFinder::searchEnds()
{
    m_finder->release();
    m_finder->setSearchDuration(300);
    m_finder->init();
    QVERIFY(m_finder->isSearching());
    QTRY_VERIFY(!m_finder->isSearching());
    QVERIFY(m_finder->findChildren<QTimer *>().isEmpty());
}

void TestCashboxFinder::secondInitDoesNotExtend()
{
    m_finder->release();
    m_finder->setSearchDuration(300);
    m_finder->init();
    QElapsedTimer clock;
    clock.start();
    m_finder->setSearchDuration(60000);
    m_finder->init();
    QTRY_VERIFY(!m_finder->isSearching());
    QVERIFY(clock.elapsed() < 60000);
}

void TestCashboxFinder::earlierEndDoesNotCutLaterSearch()
{
    m_finder->release();
    m_finder->setSearchDuration(300);
    m_finder->init();
    // Armed after the finder's own end of search with the same delay, so it
    // fires after it.
    QTimer after;
    after.setSingleShot(true);
    QSignalSpy passed(&after, &QTimer::timeout);
    after.start(300);

    m_finder->release();
    m_finder->setSearchDuration(60000);
    m_finder->init();
    QTRY_COMPARE(passed.count(), 1);
    QVERIFY(m_finder->isSearching());
}

void TestCashboxFinder::defaultPorts()
{
    CashboxFinder finder;
    QCOMPARE(finder.queryAddress(), QHostAddress(QHostAddress::Broadcast));
    QCOMPARE(finder.queryPort(), quint16(43785));
    QCOMPARE(finder.answerPort(), quint16(43786));

    // Another program listening for answers on the same port does not keep
    // the finder from binding it.
    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress::AnyIPv4, 43786,
                       QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
    finder.init();
    QCOMPARE(finder.answerPort(), quint16(43786));
    finder.release();
    QVERIFY(!finder.isSearching());
}

void TestCashboxFinder::cleanAndInitEmpties()
{
    answer(description({{"m", 5}, {"sn", "A1"}, {"nm", "X"}}));
    QTRY_COMPARE(CashboxFinder::cashboxes().size(), 1);
    const quint16 port = m_finder->answerPort();

    m_finder->cleanAndInit();
    QVERIFY(CashboxFinder::cashboxes().isEmpty());
    QCOMPARE(m_finder->answerPort(), port);
    answer(description({{"m", 6}, {"sn", "B2"}, {"nm", "Y"}}));
    QTRY_COMPARE(CashboxFinder::cashboxes().keys(), QStringList{"6##B2"});
}

void TestCashboxFinder::releaseKeepsTable()
{
    answer(description({{"m", 5}, {"sn", "A1"}, {"nm", "X"}}));
    QTRY_COMPARE(CashboxFinder::cashboxes().size(), 1);
    const quint16 port = m_finder->answerPort();

    m_finder->release();
    QVERIFY(!m_finder->isSearching());
    QVERIFY(m_finder->findChildren<QTimer *>().isEmpty());
    QVERIFY(m_finder->findChildren<QUdpSocket *>().isEmpty());
    QCOMPARE(CashboxFinder::cashboxes().size(), 1);

    // The port is free again: nothing of the finder listens on it any more.
    QUdpSocket probe;
    QVERIFY(probe.bind(QHostAddress::AnyIPv4, port, QAbstractSocket::DontShareAddress));

    // A query slot called after the search has ended sends nothing.
    m_finder->sendBroadCast();
    m_finder->processPendingDatagramm();
    QVERIFY(!m_queries->hasPendingDatagrams());

    // A new search reads answers again and still knows the old cashbox.
    probe.close();
    m_finder->init();
    QVERIFY(m_finder->isSearching());
    answer(description({{"m", 6}, {"sn", "B2"}, {"nm", "Y"}}));
    QTRY_COMPARE(CashboxFinder::cashboxes().size(), 2);
}

void TestCashboxFinder::flood()
{
    // Warnings for each bad datagram are expected and not checked here.
    const QByteArray valid = description({{"m", 5}, {"sn", "A1"}, {"nm", "X"}});
    QByteArray huge(65000, 'x');
    huge.prepend(R"({"zelvoautoconf":{"m":5,"sn":"A1","nm":")").append(R"("}})");
    const QList<QByteArray> bad{
        QByteArray(),
        QByteArray(65000, '\0'),
        QByteArray(1000, '{'),
        QByteArray("\xff\xfe\x00\x01", 4),
        QByteArray(R"({"zelvoautoconf":{"m":1e300,"sn":"A1","nm":"X"}})"),
        QByteArray(R"({"zelvoautoconf":{"m":-5,"sn":"A1","nm":"X"}})"),
        QByteArray(R"({"zelvoautoconf":null})"),
        CashboxFinder::QUERY,
    };

    // The test sends without running the event loop; the finder reads only
    // while sync() waits, so each step stays within a socket buffer.
    QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &,
                                                          const QString &) {});
    for (int round = 0; round < 20; ++round) {
        for (const QByteArray &datagram : bad) {
            answer(datagram);
            if (datagram.size() > 10000)
                sync();
        }
        answer(valid);
        sync();
        answer(huge);
        sync();
    }
    qInstallMessageHandler(previous);

    const QHash<QString, FindedCashbox> table = CashboxFinder::cashboxes();
    QCOMPARE(table.size(), 2);
    QVERIFY(table.contains("5##A1"));
    // The huge answer is no answer at all.
    QCOMPARE(table.value("5##A1").modelName(), QString("X"));
}

void TestCashboxFinder::queryAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("taken");
    QTest::newRow("loopback") << "127.0.0.1" << true;
    QTest::newRow("blanks around") << " 127.0.0.1 " << true;
    QTest::newRow("IPv6") << "::1" << false;
    QTest::newRow("name") << "cashdesk" << false;
    QTest::newRow("empty") << "" << false;
}

void TestCashboxFinder::queryAddress()
{
    QFETCH(QString, address);
    QFETCH(bool, taken);
    // A refused address keeps the one before, here a loopback one of its own.
    const QHostAddress before(QStringLiteral("127.0.0.2"));
    m_finder->setQueryTarget(before, m_queries->localPort());
    QCOMPARE(m_finder->setQueryAddress(address), taken);
    if (!taken) {
        QCOMPARE(m_finder->queryAddress(), before);
        return;
    }
    QCOMPARE(m_finder->queryAddress(), QHostAddress(QHostAddress::LocalHost));
    m_finder->sendBroadCast();
    QTRY_VERIFY(m_queries->hasPendingDatagrams());
    QCOMPARE(m_queries->receiveDatagram().data(), CashboxFinder::QUERY);
}

void TestCashboxFinder::datagramSize_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("stored");
    QTest::newRow("4 KiB") << 4096 << true;
    QTest::newRow("one byte more") << 4097 << false;
}

void TestCashboxFinder::datagramSize()
{
    QFETCH(int, size);
    QFETCH(bool, stored);
    const int frame = description({{"m", 5}, {"sn", "A1"}, {"nm", ""}}).size();
    const QByteArray datagram = description({{"m", 5}, {"sn", "A1"}, {"nm", QString(size - frame, 'n')}});
    QCOMPARE(datagram.size(), size);
    answer(datagram);
    sync();
    QCOMPARE(CashboxFinder::cashboxes().contains("5##A1"), stored);
}

void TestCashboxFinder::newestAnswersKept()
{
    QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &,
                                                          const QString &) {});
    for (int i = 0; i < 300; ++i) {
        answer(description({{"m", 5}, {"sn", QStringLiteral("S%1").arg(i)}, {"nm", "X"}}));
        if (i % 50 == 49)
            sync();
    }
    qInstallMessageHandler(previous);

    // 300 cashboxes and the sync entry, which answered last: the 45 that
    // answered first are gone.
    const QHash<QString, FindedCashbox> table = CashboxFinder::cashboxes();
    QCOMPARE(table.size(), CashboxFinder::MAX_CASHBOXES);
    QVERIFY(table.contains(SYNC_KEY));
    QVERIFY(!table.contains("5##S44"));
    QVERIFY(table.contains("5##S45"));
    QVERIFY(table.contains("5##S299"));

    // An old cashbox answering again is new again.
    answer(description({{"m", 5}, {"sn", "S45"}, {"nm", "X"}}));
    answer(description({{"m", 5}, {"sn", "S300"}, {"nm", "X"}}));
    sync();
    QVERIFY(CashboxFinder::cashboxes().contains("5##S45"));
    QVERIFY(!CashboxFinder::cashboxes().contains("5##S46"));
}

static int s_discoveryWarnings = 0;

void TestCashboxFinder::oneWarningPerSenderAndSearch()
{
    s_discoveryWarnings = 0;
    QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context,
                                                          const QString &) {
        if (type == QtWarningMsg && QByteArray(context.category) == "tillgate.discovery")
            ++s_discoveryWarnings;
    });
    for (int i = 0; i < 100; ++i)
        answer(QByteArray("spoofed"));
    sync();
    // The receipt and the reason of the first datagram.
    QCOMPARE(s_discoveryWarnings, 2);

    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress("127.0.0.2"), 0));
    answer(QByteArray(5000, 'x'), &other);
    answer(QByteArray("spoofed"), &other);
    sync();
    QCOMPARE(s_discoveryWarnings, 3);

    // A new search logs each sender once again.
    m_finder->release();
    m_finder->init();
    answer(QByteArray("spoofed"));
    sync();
    qInstallMessageHandler(previous);
    QCOMPARE(s_discoveryWarnings, 5);
}

void TestCashboxFinder::answersOnlyFromTheQueriedNetwork_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<bool>("taken");
    QTest::newRow("search on loopback") << "127.0.0.1" << true;
    QTest::newRow("search on another network") << "10.255.255.255" << false;
}

void TestCashboxFinder::answersOnlyFromTheQueriedNetwork()
{
    QFETCH(QString, query);
    QFETCH(bool, taken);
    // A query to another network must find no route off this machine.
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        if (!taken && interface.flags().testFlag(QNetworkInterface::IsUp)
            && !interface.flags().testFlag(QNetworkInterface::IsLoopBack))
            QSKIP("needs a network namespace of its own");
    }
    m_finder->release();
    m_finder->setQueryTarget(QHostAddress(query), m_queries->localPort());
    m_finder->init();
    for (int i = 0; i < 3; ++i)
        answer(description({{"m", 5}, {"sn", "A1"}, {"nm", "X"}}));
    if (taken) {
        QTRY_COMPARE(CashboxFinder::cashboxes().size(), 1);
        QCOMPARE(m_finder->droppedAnswers(), 0);
        return;
    }
    QTRY_COMPARE(m_finder->droppedAnswers(), 3);
    QVERIFY(CashboxFinder::cashboxes().isEmpty());
    // Counted, and told once when the search ends.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("dropped 3 answers from outside the network"));
    m_finder->release();
}

QTEST_GUILESS_MAIN(TestCashboxFinder)
#include "tst_cashboxfinder.moc"
