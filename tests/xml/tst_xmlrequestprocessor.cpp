#include "fakebackend.h"
#include "jsonrequestprocessor.h"
#include "tillgatecashedbinitializer.h"
#include "tillgateconfig.h"
#include "xmlrequestprocessor.h"

#include <fileconfighelper.h>
#include <initconfig.h>

#include <QDir>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

const QByteArray DECLARATION = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

template<typename Processor>
std::unique_ptr<Processor> withBackEnd(FakeBackEnd *&backEnd)
{
    auto processor = std::make_unique<Processor>(nullptr);
    backEnd = new FakeBackEnd;
    processor->setBackEnd(backEnd);
    core::Cashier cashier;
    cashier.setName(QStringLiteral("Ivanova"));
    cashier.setPassword(30);
    processor->setCashier(cashier);
    processor->setInn(QStringLiteral("7700000000"));
    processor->setRegNumber(QStringLiteral("0000000001012345"));
    return processor;
}

QString uniqueSession()
{
    static int counter = 0;
    return QStringLiteral("xml-%1-%2").arg(QCoreApplication::applicationPid()).arg(++counter);
}

using Post = std::function<int(XmlRequestProcessor &, const QByteArray &, QByteArray &, QByteArray &)>;

} // namespace

Q_DECLARE_METATYPE(Post)

// The XML protocol over a back-end that records what reaches it and the real
// check cache in a private root.
class TestXmlRequestProcessor : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        qt5ext::FileConfigHelper::setFileSystemRoot(m_root.path());
        qt5ext::InitConfig::setAppWorkDir(QStringLiteral("zelvotillgate"));
        QVERIFY(QDir().mkpath(m_root.path() + QStringLiteral("/opt/zelvotillgate/etc")));
        QVERIFY(TillgateCasheDbInitializer::initializeDatabase());
        QLoggingCategory::setFilterRules(QStringLiteral("tillgate.api.warning=false\ntillgate.xml.warning=false"));
    }

    void fsStatusDocument()
    {
        FakeBackEnd *backEnd = nullptr;
        auto processor = withBackEnd<XmlRequestProcessor>(backEnd);
        backEnd->fsStatus.setFsNumber(QStringLiteral("9999078900001234"));
        backEnd->fsStatus.setPhase(0x03);
        backEnd->fsStatus.setShiftOpened(true);
        backEnd->fsStatus.setLastFd(7);
        backEnd->fsStatus.setDt(QDateTime(QDate(2024, 3, 15), QTime(10, 30)));
        backEnd->fsStatus.setWarnings(0x05);
        backEnd->fsStatus.setFsVersion(QStringLiteral("v2"));
        QByteArray body = "stale";
        QByteArray text;
        QCOMPARE(processor->getFsStatus(body, text), 200);
        QCOMPARE(text, QByteArray("OK"));
        QCOMPARE(body, DECLARATION + "<fsStatus version=\"1.0\" protocol=\"3\">\n"
                                     "    <documentDataReceived>false</documentDataReceived>\n"
                                     "    <fiscalized>true</fiscalized>\n"
                                     "    <fsNumber>9999078900001234</fsNumber>\n"
                                     "    <fsVersion>v2</fsVersion>\n"
                                     "    <lastDocumentDateTime>15.03.2024 10:30</lastDocumentDateTime>\n"
                                     "    <lastDocumentNumber>7</lastDocumentNumber>\n"
                                     "    <openDocument>Нет открытого документа</openDocument>\n"
                                     "    <phase>3</phase>\n"
                                     "    <phaseText>Фискальный режим</phaseText>\n"
                                     "    <serialBuild>false</serialBuild>\n"
                                     "    <shiftOpened>true</shiftOpened>\n"
                                     "    <warnings>Срочная замена ФН</warnings>\n"
                                     "    <warnings>Архив ФН заполнен на 90%</warnings>\n"
                                     "</fsStatus>\n");
    }

    void withoutBackEnd()
    {
        XmlRequestProcessor processor(nullptr);
        QByteArray body = "stale";
        QByteArray text;
        QCOMPARE(processor.getFsStatus(body, text), 523);
        QCOMPARE(text, QByteArray("Origin Is Unreachable"));
        QCOMPARE(body, QByteArray());

        body = "stale";
        QCOMPARE(processor.getCycleOpen(true, body, text), 523);
        QCOMPARE(body, QByteArray());

        QCOMPARE(processor.getCashboxVersion(body, text), 523);
        QCOMPARE(body, DECLARATION + "<cashboxVersion version=\"1.0\" protocol=\"3\">\n"
                                     "    <model></model>\n"
                                     "    <modelstr></modelstr>\n"
                                     "    <subver></subver>\n"
                                     "    <ver></ver>\n"
                                     "</cashboxVersion>\n");
    }

    void cashboxVersionFromState()
    {
        FakeBackEnd *backEnd = nullptr;
        auto processor = withBackEnd<XmlRequestProcessor>(backEnd);
        backEnd->state = { { "model", 45 }, { "ver", "3" }, { "modelstr", "Ostrak <M>" }, { "mode", 1 } };
        QByteArray body;
        QByteArray text;
        QCOMPARE(processor->getCashboxVersion(body, text), 200);
        QCOMPARE(body, DECLARATION + "<cashboxVersion version=\"1.0\" protocol=\"3\">\n"
                                     "    <model>45</model>\n"
                                     "    <modelstr>Ostrak &lt;M&gt;</modelstr>\n"
                                     "    <subver></subver>\n"
                                     "    <ver>3</ver>\n"
                                     "</cashboxVersion>\n");
    }

    void searchAnswersEmpty_data()
    {
        QTest::addColumn<bool>("clean");
        QTest::newRow("search") << false;
        QTest::newRow("clean search") << true;
    }
    void searchAnswersEmpty()
    {
        QFETCH(bool, clean);
        XmlRequestProcessor processor(nullptr);
        QSignalSpy init(&processor, &BaseRequestProcessor::initCashboxesSearch);
        QSignalSpy cleanInit(&processor, &BaseRequestProcessor::cleanAndinitCashboxesSearch);
        QByteArray body = "stale";
        QByteArray text;
        QCOMPARE(processor.getInitSearch(clean, body, text), 200);
        QCOMPARE(body, QByteArray());
        QCOMPARE(init.count(), clean ? 0 : 1);
        QCOMPARE(cleanInit.count(), clean ? 1 : 0);
    }

    void deviceChoiceIsNotOffered()
    {
        XmlRequestProcessor processor(nullptr);
        QSignalSpy atol(&processor, &BaseRequestProcessor::startAtolCashbox);
        QSignalSpy combine(&processor, &BaseRequestProcessor::startCombineCashbox);
        QByteArray body = "untouched";
        QByteArray text;
        QCOMPARE(processor.chooseAtol("<document><port>1</port></document>", body, text), 501);
        QCOMPARE(text, QByteArray("Not supported"));
        QCOMPARE(processor.chooseCombine("<document/>", body, text), 501);
        QCOMPARE(text, QByteArray("Not supported"));
        QCOMPARE(body, QByteArray("untouched"));
        QCOMPARE(atol.count() + combine.count(), 0);
        QCOMPARE(TillgateConfig().currentDevice(), TillgateConfig::DeviceNone);
    }

    void refusals_data()
    {
        QTest::addColumn<Post>("post");
        QTest::addColumn<QByteArray>("request");
        const QList<QPair<const char *, Post>> posts {
            { "receipt", &XmlRequestProcessor::postFiscalCheck },
            { "text", &XmlRequestProcessor::postPrintText },
            { "fiscalisation", &XmlRequestProcessor::postFiscalization },
            { "rich text", &XmlRequestProcessor::postRichText },
        };
        const QList<QPair<const char *, QByteArray>> bodies {
            { "empty", QByteArray() },
            { "json", QByteArray("{\"document\":{}}") },
            { "other root", QByteArray("<doc><sessionId>1</sessionId></doc>") },
            { "entities", QByteArray("<!DOCTYPE d [<!ENTITY a \"aaaa\">]><document>&a;</document>") },
        };
        for (const auto &post : posts) {
            for (const auto &body : bodies)
                QTest::addRow("%s, %s", post.first, body.first) << post.second << body.second;
        }
    }
    void refusals()
    {
        QFETCH(Post, post);
        QFETCH(QByteArray, request);
        FakeBackEnd *backEnd = nullptr;
        auto processor = withBackEnd<XmlRequestProcessor>(backEnd);
        QByteArray body;
        QByteArray text;
        QCOMPARE(post(*processor, request, body, text), 406);
        QCOMPARE(text, QByteArray("Not Acceptable"));
        QCOMPARE(body, QByteArray("406 Not Acceptable"));
        QCOMPARE(backEnd->calls, QStringList());
    }

    // A fiscal document that breaks off would be registered with only its
    // first part; a text to print may still print what arrived.
    void documentBreakingOff_data()
    {
        QTest::addColumn<Post>("post");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        const QByteArray cutReceipt("<document><sessionId>cut-1</sessionId><data><fiscprops>"
                                    "<prop tag=\"1059\"><fiscprops><prop tag=\"1030\" value=\"x\"/>"
                                    "<prop tag=\"1079\" value=\"100\"/></fiscprops></prop><prop ta");
        QTest::newRow("receipt") << Post(&XmlRequestProcessor::postFiscalCheck) << cutReceipt << 406;
        QTest::newRow("fiscalisation") << Post(&XmlRequestProcessor::postFiscalization)
                                       << QByteArray("<document><data><fiscprops><prop tag=\"1018\" va") << 406;
        QTest::newRow("text") << Post(&XmlRequestProcessor::postPrintText)
                              << QByteArray("<document><print>1</print><data><line>a</line><li") << 200;
    }
    void documentBreakingOff()
    {
        QFETCH(Post, post);
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        FakeBackEnd *backEnd = nullptr;
        auto processor = withBackEnd<XmlRequestProcessor>(backEnd);
        QByteArray body;
        QByteArray text;
        QCOMPARE(post(*processor, request, body, text), status);
        QCOMPARE(backEnd->calls.isEmpty(), status == 406);
        if (status == 406)
            QCOMPARE(body, QByteArray("406 Not Acceptable"));
    }

    // The same receipt in both protocols reaches the device as one map.
    void receiptAsXmlAndAsJson()
    {
        const QString xmlSession = uniqueSession();
        const QString jsonSession = uniqueSession();
        const QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                               "<document>\n"
                               "  <sessionId>" + xmlSession.toUtf8() + "</sessionId>\n"
                               "  <print>1</print>\n"
                               "  <brief>0</brief>\n"
                               "  <data>\n"
                               "    <type>1</type><moneyType>0</moneyType><sum>150</sum><tax>2</tax>\n"
                               "    <line>Спасибо!</line><barcode tag=\"3\">4600000000000</barcode>\n"
                               "    <fiscprops>\n"
                               "      <prop tag=\"1054\" value=\"1\"/>\n"
                               "      <prop tag=\"1059\">\n"
                               "        <fiscprops>\n"
                               "          <prop tag=\"1030\" value=\"Хлеб\"/>\n"
                               "          <prop tag=\"1079\" value=\"100\"/>\n"
                               "          <prop tag=\"1023\" value=\"1.5\"/>\n"
                               "        </fiscprops>\n"
                               "      </prop>\n"
                               "      <prop tag=\"1031\" value=\"150\"/>\n"
                               "      <prop tag=\"1008\" value=\"a@b.c\"/>\n"
                               "      <prop tag=\"9999\" value=\"dropped\"/>\n"
                               "    </fiscprops>\n"
                               "  </data>\n"
                               "</document>\n";
        // Built from a map rather than written out: the message compiler
        // reads this file too and trips over raw string literals.
        const QVariantMap item { { "tag", 1059 },
                                 { "fiscprops", QVariantList { QVariantMap { { "tag", 1030 }, { "value", "Хлеб" } },
                                                               QVariantMap { { "tag", 1079 }, { "value", 100 } },
                                                               QVariantMap { { "tag", 1023 }, { "value", 1.5 } } } } };
        const QVariantMap data {
            { "type", 1 }, { "moneyType", 0 }, { "sum", 150 }, { "tax", 2 },
            { "lines", QVariantList { "Спасибо!", QVariantMap { { "tag", 3 }, { "value", "4600000000000" } } } },
            { "fiscprops", QVariantList { QVariantMap { { "tag", 1054 }, { "value", 1 } }, item,
                                          QVariantMap { { "tag", 1031 }, { "value", 150 } },
                                          QVariantMap { { "tag", 1008 }, { "value", "a@b.c" } } } },
        };
        const QByteArray json = QJsonDocument::fromVariant(QVariantMap {
            { "document", QVariantMap { { "sessionId", jsonSession }, { "print", 1 }, { "brief", 0 },
                                        { "data", data } } } }).toJson();

        FakeBackEnd *xmlBackEnd = nullptr;
        auto xmlProcessor = withBackEnd<XmlRequestProcessor>(xmlBackEnd);
        QByteArray body;
        QByteArray text;
        QCOMPARE(xmlProcessor->postFiscalCheck(xml, body, text), 200);

        FakeBackEnd *jsonBackEnd = nullptr;
        auto jsonProcessor = withBackEnd<JsonRequestProcessor>(jsonBackEnd);
        QCOMPARE(jsonProcessor->postFiscalCheck(json, body, text), 200);

        QVariantMap fromXml = xmlBackEnd->lastCheck;
        QVariantMap fromJson = jsonBackEnd->lastCheck;
        QVERIFY(!fromXml.isEmpty());
        QCOMPARE(fromXml.value("document").toMap().value("sessionId").toString(), xmlSession);
        QVariantMap document = fromXml.value("document").toMap();
        document.insert("sessionId", jsonSession);
        fromXml.insert("document", document);
        QCOMPARE(fromXml, fromJson);
        QCOMPARE(QJsonDocument::fromVariant(fromXml).toJson(), QJsonDocument::fromVariant(fromJson).toJson());
    }

    void receiptNamesInAnyCase()
    {
        const QString session = uniqueSession();
        FakeBackEnd *backEnd = nullptr;
        auto processor = withBackEnd<XmlRequestProcessor>(backEnd);
        backEnd->result = { { "fd", 12 }, { "fiscprops", QVariantList { QVariantMap { { "tag", 1031 },
                                                                                       { "value", 0 },
                                                                                       { "caption", "" },
                                                                                       { "printable", "x" } } } } };
        QByteArray body;
        QByteArray text;
        QCOMPARE(processor->postFiscalCheck("<DOCUMENT><SessionId>" + session.toUtf8() + "</SessionId>"
                                            "<Unknown>1</Unknown></DOCUMENT>",
                                            body, text),
                 200);
        const QVariantMap document = backEnd->lastCheck.value("document").toMap();
        QCOMPARE(document.value("sessionId").toString(), session);
        QVERIFY(!document.contains("Unknown"));
        QVERIFY(!document.contains("unknown"));
        QCOMPARE(body, DECLARATION + "<document version=\"1.0\" protocol=\"3\">\n"
                                     "    <fd>12</fd>\n"
                                     "    <fiscprops>\n"
                                     "        <prop tag=\"1031\" value=\"0\">x</prop>\n"
                                     "    </fiscprops>\n"
                                     "</document>\n");

        // The answer was stored before it was sent; the same session is
        // answered from it and not registered twice.
        const QByteArray first = body;
        QCOMPARE(processor->postFiscalCheck("<document><sessionId>" + session.toUtf8() + "</sessionId></document>",
                                            body, text),
                 200);
        QCOMPARE(body, first);
        QCOMPARE(backEnd->calls, QStringList { "registreCheck" });
    }

    void failuresPassTheirStatus_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("device error") << 7 << 500
                                      << DECLARATION + "<document version=\"1.0\" protocol=\"3\">\n"
                                                       "    <message>paper &amp; ink &quot;out&quot;</message>\n"
                                                       "</document>\n";
        QTest::newRow("timeout") << 4351 << 524 << QByteArray();
    }
    void failuresPassTheirStatus()
    {
        QFETCH(int, error);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        FakeBackEnd *backEnd = nullptr;
        auto processor = withBackEnd<XmlRequestProcessor>(backEnd);
        backEnd->mode = FakeBackEnd::Fail;
        backEnd->errorCode = error;
        backEnd->result = { { "message", "paper & ink \"out\"" } };
        QByteArray answer = "stale";
        QByteArray text;
        QCOMPARE(processor->getXReport(false, answer, text), status);
        QCOMPARE(answer, body);
    }

    void textToPrint()
    {
        FakeBackEnd *backEnd = nullptr;
        auto processor = withBackEnd<XmlRequestProcessor>(backEnd);
        QByteArray body;
        QByteArray text;
        QCOMPARE(processor->postPrintText("<document><print>1</print><brief>1</brief><data><line>a</line>"
                                          "<barcode tag=\"2\">42</barcode></data></document>",
                                          body, text),
                 200);
        QCOMPARE(backEnd->lastText.value("document").toMap(),
                 (QVariantMap { { "print", 1 },
                                { "data", QVariantMap { { "lines", QVariantList { "a", QVariantMap { { "tag", 2 },
                                                                                                 { "value", "42" } } } } } } }));
        QCOMPARE(backEnd->lastText.value("cashier").toMap().value("name").toString(), QStringLiteral("Ivanova"));
        QCOMPARE(body, DECLARATION + "<document version=\"1.0\" protocol=\"3\">\n"
                                     "    <answer>device</answer>\n"
                                     "</document>\n");
    }

    void fiscalisation()
    {
        const QString session = uniqueSession();
        FakeBackEnd *backEnd = nullptr;
        auto processor = withBackEnd<XmlRequestProcessor>(backEnd);
        QByteArray body;
        QByteArray text;
        QCOMPARE(processor->postFiscalization("<document><SESSIONID>" + session.toUtf8() + "</SESSIONID>"
                                              "<printOnly>true</printOnly><cabinetId>c</cabinetId>"
                                              "<data><fiscprops><prop tag=\"1018\" value=\"7700000000\"/>"
                                              "</fiscprops></data></document>",
                                              body, text),
                 200);
        QCOMPARE(backEnd->lastSessionId, session);
        QVERIFY(backEnd->lastPrintOnly);
        QCOMPARE(backEnd->lastData.value("fiscprops").toList().size(), 1);
        QCOMPARE(backEnd->lastData.value("printOnly"), QVariant(true));
    }

    void richText()
    {
        FakeBackEnd *backEnd = nullptr;
        auto processor = withBackEnd<XmlRequestProcessor>(backEnd);
        backEnd->errorCode = 3;
        backEnd->errorText = QStringLiteral("a < b");
        QByteArray body;
        QByteArray text;
        QCOMPARE(processor->postRichText("<document><plain>" + QByteArray("Привет").toBase64() + "</plain>"
                                         "<bbcode>" + QByteArray("[b]x[/b]").toBase64() + "</bbcode></document>",
                                         body, text),
                 200);
        QCOMPARE(backEnd->printed, (QStringList { "Привет", "[b]x[/b]" }));
        QCOMPARE(body, DECLARATION + "<document version=\"1.0\" protocol=\"3\">\n"
                                     "    <message>\n"
                                     "        <resultDescription>a &lt; b</resultDescription>\n"
                                     "    </message>\n"
                                     "    <result>3</result>\n"
                                     "</document>\n");
    }

    void richTextRefusesBrokenBase64()
    {
        FakeBackEnd *backEnd = nullptr;
        auto processor = withBackEnd<XmlRequestProcessor>(backEnd);
        QByteArray body;
        QByteArray text;
        QCOMPARE(processor->postRichText("<document><plain>*not base64*</plain></document>", body, text), 406);
        QCOMPARE(text, QByteArray("Not Acceptable"));
        QCOMPARE(body, QByteArray("406 Not Acceptable"));
        QCOMPARE(backEnd->printed, QStringList());
    }

    void answersStayWellFormed()
    {
        FakeBackEnd *backEnd = nullptr;
        auto processor = withBackEnd<XmlRequestProcessor>(backEnd);
        backEnd->result = { { "text", QString::fromLatin1("bell\x07 <tag> & \"q\"") },
                            { "1 bad key", 1 },
                            { "list", QVariantList { QVariantMap { { "", "]]>" } } } } };
        QByteArray body;
        QByteArray text;
        QCOMPARE(processor->getFiscalDoc(5, body, text), 200);
        QXmlStreamReader reader(body);
        QStringList texts;
        while (!reader.atEnd()) {
            if (reader.readNext() == QXmlStreamReader::Characters && !reader.isWhitespace())
                texts << reader.text().toString();
        }
        QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
        QCOMPARE(texts, (QStringList { "1", "]]>", QString::fromUtf8("bell\xef\xbf\xbd <tag> & \"q\"") }));
    }
};

QTEST_GUILESS_MAIN(TestXmlRequestProcessor)
#include "tst_xmlrequestprocessor.moc"
