#include "tillgaterequesthandler.h"

#include <QtTest>

// The request handler's decisions that need no connection: routing tables,
// open paths, flags and credentials.
class TestRouting : public QObject
{
    Q_OBJECT

private slots:
    void getRoutes_data();
    void getRoutes();
    void postRoutes_data();
    void postRoutes();
    void publicPaths_data();
    void publicPaths();
    void flags_data();
    void flags();
    void credentials_data();
    void credentials();
    void challengeBytes();
};

using Route = TillgateRequestHandler::Route;
Q_DECLARE_METATYPE(Route)

void TestRouting::getRoutes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Route>("route");
    const QList<QPair<Route, QStringList>> table{
        {Route::FsStatus, {"/fsstatus", "/fs-status", "/fs_status", "/fs_state", "/fs-state", "/fsstate"}},
        {Route::CashboxStatus, {"/cashboxstatus", "/cashbox-status", "/cashbox_status", "/cashbox_state",
                                "/cashbox-state", "/cashboxstate"}},
        {Route::CashboxVersion, {"/cashboxver", "/cashbox-ver", "/cashbox_ver", "/cashbox_version",
                                 "/cashbox-version", "/cashboxversion"}},
        {Route::FiscalDoc, {"/fiscaldoc", "/fiscal-doc", "/fiscal_doc"}},
        {Route::CycleOpen, {"/cycleopen", "/cycle-open", "/cycle_open"}},
        {Route::CalcReport, {"/calcreport", "/calc-report", "/calc_report"}},
        {Route::CycleClose, {"/cycleclose", "/cycle-close", "/cycle_close"}},
        {Route::XReport, {"/xreport", "/x-report", "/x_report"}},
        {Route::Introduction, {"/introduction"}},
        {Route::Payout, {"/payout"}},
        {Route::CloseFs, {"/closefs", "/close_fs", "/close-fs"}},
        {Route::Search, {"/discover", "/search"}},
        {Route::Cashboxes, {"/cashboxes", "/foundcashboxes", "/found_cashboxes"}},
        {Route::ChooseCashbox, {"/choosecashbox", "/choose_cashbox"}},
        {Route::Robots, {"/robots.txt"}},
        {Route::Favicon, {"/favicon.ico"}},
    };
    for (const auto &row : table) {
        for (const QString &prefix : row.second) {
            QTest::newRow(qPrintable(prefix)) << prefix << row.first;
            QTest::newRow(qPrintable(prefix + ".json")) << prefix + ".json" << row.first;
        }
    }
    QTest::newRow("upper case") << "/FSSTATUS.JSON" << Route::FsStatus;
    QTest::newRow("xml") << "/fsstatus.xml" << Route::FsStatus;
    QTest::newRow("prefix only") << "/fsstatusanything" << Route::FsStatus;
    QTest::newRow("post path") << "/chooseatol" << Route::NotFound;
    QTest::newRow("receipt by get") << "/fiscalcheck.json" << Route::NotFound;
    QTest::newRow("root") << "/" << Route::NotFound;
    QTest::newRow("empty") << "" << Route::NotFound;
    QTest::newRow("no slash") << "fsstatus" << Route::NotFound;
}

void TestRouting::getRoutes()
{
    QFETCH(QString, path);
    QFETCH(Route, route);
    QCOMPARE(TillgateRequestHandler::getRoute(path), route);
}

void TestRouting::postRoutes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Route>("route");
    const QList<QPair<Route, QStringList>> table{
        {Route::FiscalCheck, {"/fiscalcheck", "/fiscal-check", "/fiscal_check"}},
        {Route::PrintText, {"/printtext", "/print-text", "/print_text"}},
        {Route::ChooseAtol, {"/chooseatol", "/choose_atol"}},
        {Route::ChooseCombine, {"/choosecombine", "/choose_combine"}},
        {Route::RichText, {"/printrichtext", "/storeimages"}},
        {Route::Fiscalize, {"/fiscalize", "/activate"}},
    };
    for (const auto &row : table) {
        for (const QString &prefix : row.second)
            QTest::newRow(qPrintable(prefix)) << prefix + ".json" << row.first;
    }
    QTest::newRow("upper case") << "/FiscalCheck.JSON" << Route::FiscalCheck;
    QTest::newRow("get path") << "/fsstatus.json" << Route::NotFound;
    QTest::newRow("robots") << "/robots.txt" << Route::NotFound;
}

void TestRouting::postRoutes()
{
    QFETCH(QString, path);
    QFETCH(Route, route);
    QCOMPARE(TillgateRequestHandler::postRoute(path), route);
}

void TestRouting::publicPaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("open");
    for (const char *path : {"/discover", "/search", "/cashboxes", "/foundcashboxes", "/found_cashboxes",
                             "/choosecashbox", "/choose_cashbox", "/chooseatol", "/choose_atol", "/choosecombine",
                             "/choose_combine", "/robots.txt", "/favicon.ico"})
        QTest::newRow(path) << QString(path) + ".json" << true;
    QTest::newRow("upper case") << "/DISCOVER" << true;
    QTest::newRow("blanks around") << "  /search.json " << true;
    QTest::newRow("receipt") << "/fiscalcheck.json" << false;
    QTest::newRow("status") << "/fsstatus.json" << false;
    QTest::newRow("root") << "/" << false;
}

void TestRouting::publicPaths()
{
    QFETCH(QString, path);
    QFETCH(bool, open);
    QCOMPARE(TillgateRequestHandler::isPublicPath(path), open);
}

void TestRouting::flags_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("flag");
    QTest::newRow("absent") << QByteArray() << false;
    QTest::newRow("true") << QByteArray("true") << true;
    QTest::newRow("TRUE") << QByteArray("TRUE") << true;
    QTest::newRow("1") << QByteArray("1") << true;
    QTest::newRow("5") << QByteArray("5") << true;
    QTest::newRow("-1") << QByteArray("-1") << true;
    QTest::newRow("0") << QByteArray("0") << false;
    QTest::newRow("yes") << QByteArray("yes") << false;
    QTest::newRow("true with blank") << QByteArray("true ") << false;
    QTest::newRow("huge") << QByteArray("99999999999999999999999") << false;
}

void TestRouting::flags()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, flag);
    QCOMPARE(TillgateRequestHandler::readFlag(value), flag);
}

void TestRouting::credentials_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("password");
    QTest::newRow("cashier 1") << "Basic " + QByteArray("1:30").toBase64() << "1" << "30";
    QTest::newRow("colon in password") << "Basic " + QByteArray("a:b:c").toBase64() << "a" << "b:c";
    QTest::newRow("no colon") << "Basic " + QByteArray("solo").toBase64() << "solo" << "solo";
    QTest::newRow("blanks around") << "Basic   " + QByteArray("1:30").toBase64() + "  " << "1" << "30";
    QTest::newRow("utf-8") << "Basic " + QByteArray("\xd0\x98:7").toBase64() << QString::fromUtf8("\xd0\x98") << "7";
    QTest::newRow("nul cuts") << "Basic " + QByteArray("1:3\0" "0", 5).toBase64() << "1" << "3";
    QTest::newRow("empty") << QByteArray() << "" << "";
    QTest::newRow("not base64") << QByteArray("Basic ***") << "" << "";
}

void TestRouting::credentials()
{
    QFETCH(QByteArray, header);
    QFETCH(QString, login);
    QFETCH(QString, password);
    QString gotLogin;
    QString gotPassword;
    TillgateRequestHandler::parseCredentials(header, gotLogin, gotPassword);
    QCOMPARE(gotLogin, login);
    QCOMPARE(gotPassword, password);
}

void TestRouting::challengeBytes()
{
    QCOMPARE(TillgateRequestHandler::CHALLENGE, QByteArray("Basic realm=\"kxvd_T3pQwzLm9RaH:\""));
}

QTEST_GUILESS_MAIN(TestRouting)
#include "tst_routing.moc"
