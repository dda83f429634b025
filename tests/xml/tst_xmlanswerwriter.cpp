#include "xmlanswerwriter.h"

#include <fsstatus.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtTest>

using namespace fiscal;

namespace {

const QByteArray DECLARATION = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

QByteArray document(const QByteArray &root, const QByteArray &children)
{
    if (children.isEmpty())
        return DECLARATION + "<" + root + " version=\"1.0\" protocol=\"3\"/>\n";
    return DECLARATION + "<" + root + " version=\"1.0\" protocol=\"3\">\n" + children + "</" + root + ">\n";
}

// One value written alone, as the single child of a root "r".
QByteArray child(const QString &name, const QVariant &value)
{
    return XmlAnswerWriter::simpleVariantToXml(QStringLiteral("r"), QVariantMap { { name, value } });
}

// What a reader makes of an answer: the text of every element by its path,
// and the reader's complaint, if any.
QString readBack(const QByteArray &xml, QStringList *texts = nullptr)
{
    QXmlStreamReader reader(xml);
    QStringList path;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            path << reader.name().toString();
            for (const QXmlStreamAttribute &attribute : reader.attributes()) {
                if (texts)
                    *texts << path.join('/') + "@" + attribute.name() + "=" + attribute.value();
            }
        } else if (reader.isEndElement()) {
            path.removeLast();
        } else if (reader.isCharacters() && !reader.isWhitespace() && texts) {
            *texts << path.join('/') + "=" + reader.text();
        }
    }
    return reader.hasError() ? reader.errorString() : QString();
}

} // namespace

class TestXmlAnswerWriter : public QObject
{
    Q_OBJECT

private slots:
    void fiscalStorageStatusDocument()
    {
        FsStatus status;
        QVERIFY(status.parse(QByteArray::fromHex("03" "00" "00" "01" "05" "18030f0a1e")
                             + QByteArray("9999078900012345") + QByteArray::fromHex("d2040000")));
        QByteArray version("fn debug v 2.13");
        version.append(QByteArray(16 - version.size(), '\0')).append('\x01');
        QVERIFY(status.parseFsVersion(version));
        FsOfdTransportState transport;
        QVERIFY(transport.parse(QByteArray::fromHex("03" "00" "0300" "b0040000" "1802010905")));
        status.setTransportState(transport);
        FsLifeTimeData lifeTime;
        QVERIFY(lifeTime.parse(QByteArray::fromHex("190c1f" "0b" "01")));
        status.setLifeTime(lifeTime);

        const QByteArray expected = document(
            "fsStatus",
            "    <documentDataReceived>false</documentDataReceived>\n"
            "    <firstUnsentDocumentDateTime>01.02.2024 09:05</firstUnsentDocumentDateTime>\n"
            "    <firstUnsentDocumentNumber>1200</firstUnsentDocumentNumber>\n"
            "    <fiscalized>true</fiscalized>\n"
            "    <fsNumber>9999078900012345</fsNumber>\n"
            "    <fsVersion>fn debug v 2.13</fsVersion>\n"
            "    <lastDocumentDateTime>15.03.2024 10:30</lastDocumentDateTime>\n"
            "    <lastDocumentNumber>1234</lastDocumentNumber>\n"
            "    <ofdConnected>true</ofdConnected>\n"
            "    <openDocument>Нет открытого документа</openDocument>\n"
            "    <phase>3</phase>\n"
            "    <phaseText>Фискальный режим</phaseText>\n"
            "    <registrationsDone>1</registrationsDone>\n"
            "    <registrationsLeft>11</registrationsLeft>\n"
            "    <serialBuild>true</serialBuild>\n"
            "    <shiftOpened>true</shiftOpened>\n"
            "    <unsentDocuments>3</unsentDocuments>\n"
            "    <validTill>31.12.2025</validTill>\n"
            "    <warnings>Срочная замена ФН</warnings>\n"
            "    <warnings>Архив ФН заполнен на 90%</warnings>\n");
        QCOMPARE(XmlAnswerWriter::simpleVariantToXml(QStringLiteral("fsStatus"), status.toBeautyMap()), expected);
    }

    void emptyAnswerIsRootAlone()
    {
        QCOMPARE(XmlAnswerWriter::simpleVariantToXml(QStringLiteral("document"), QVariantMap()),
                 document("document", QByteArray()));
    }

    void propertyWithEmptyCaptionAndPrintableText()
    {
        const QVariantMap property { { "tag", 1031 }, { "value", 0 }, { "caption", "" }, { "printable", "x" } };
        QCOMPARE(child("fiscprops", QVariantList { property }),
                 document("r", "    <fiscprops>\n"
                               "        <prop tag=\"1031\" value=\"0\">x</prop>\n"
                               "    </fiscprops>\n"));
    }

    void propertyAttributes_data()
    {
        QTest::addColumn<QVariantMap>("property");
        QTest::addColumn<QByteArray>("element");
        QTest::newRow("caption") << QVariantMap { { "tag", 1030 }, { "value", "Хлеб" }, { "caption", "Товар" } }
                                 << QByteArray("<prop tag=\"1030\" caption=\"Товар\" value=\"Хлеб\"/>");
        QTest::newRow("no value") << QVariantMap { { "tag", 1008 } } << QByteArray("<prop tag=\"1008\" value=\"\"/>");
        QTest::newRow("nothing") << QVariantMap() << QByteArray("<prop tag=\"\" value=\"\"/>");
        QTest::newRow("empty printable") << QVariantMap { { "tag", 1 }, { "value", 2 }, { "printable", "" } }
                                         << QByteArray("<prop tag=\"1\" value=\"2\"></prop>");
        QTest::newRow("numbers") << QVariantMap { { "tag", 1023u }, { "value", 1.5 } }
                                 << QByteArray("<prop tag=\"1023\" value=\"1.5\"/>");
        QTest::newRow("markup") << QVariantMap { { "tag", 1 }, { "value", "a<b & \"c\" 'd'" }, { "caption", "<&>" },
                                                  { "printable", "1 < 2 & \"3\"" } }
                                << QByteArray("<prop tag=\"1\" caption=\"&lt;&amp;&gt;\" "
                                              "value=\"a&lt;b &amp; &quot;c&quot; 'd'\">1 &lt; 2 &amp; &quot;3&quot;</prop>");
    }
    void propertyAttributes()
    {
        QFETCH(QVariantMap, property);
        QFETCH(QByteArray, element);
        QCOMPARE(child("fiscprops", QVariantList { property }),
                 document("r", "    <fiscprops>\n        " + element + "\n    </fiscprops>\n"));
    }

    void nestedPropertiesLeaveThePrintableOut()
    {
        const QVariantMap item { { "tag", 1059 },
                                 { "caption", "Предмет расчета" },
                                 { "printable", "ignored" },
                                 { "fiscprops",
                                   QVariantList { QVariantMap { { "tag", 1030 }, { "value", "Bread" } },
                                                  QVariantMap { { "tag", 1079 }, { "value", 100 },
                                                                { "printable", "1.00" } } } } };
        QCOMPARE(child("fiscprops", QVariantList { item }),
                 document("r", "    <fiscprops>\n"
                               "        <prop tag=\"1059\" caption=\"Предмет расчета\" value=\"\">\n"
                               "            <fiscprops>\n"
                               "                <prop tag=\"1030\" value=\"Bread\"/>\n"
                               "                <prop tag=\"1079\" value=\"100\">1.00</prop>\n"
                               "            </fiscprops>\n"
                               "        </prop>\n"
                               "    </fiscprops>\n"));
    }

    void twoCashboxes()
    {
        const QVariantMap first { { "model", 45 }, { "serial", "0001" }, { "ip", "10.0.0.5" }, { "connected", 1 } };
        const QVariantMap second { { "model", 46 }, { "serial", "0002" }, { "ip", "10.0.0.6" } };
        QCOMPARE(XmlAnswerWriter::simpleVariantToXml(QStringLiteral("searchResult"),
                                                     QVariantMap { { "cashboxes", QVariantList { first, second } } }),
                 document("searchResult", "    <cashboxes>\n"
                                          "        <cashbox>\n"
                                          "            <connected>1</connected>\n"
                                          "            <ip>10.0.0.5</ip>\n"
                                          "            <model>45</model>\n"
                                          "            <serial>0001</serial>\n"
                                          "        </cashbox>\n"
                                          "        <cashbox>\n"
                                          "            <ip>10.0.0.6</ip>\n"
                                          "            <model>46</model>\n"
                                          "            <serial>0002</serial>\n"
                                          "        </cashbox>\n"
                                          "    </cashboxes>\n"));
    }

    void noCashboxes()
    {
        QCOMPARE(child("cashboxes", QVariantList()), document("r", "    <cashboxes/>\n"));
    }

    void otherListsRepeatTheirName()
    {
        const QVariantMap answer { { "a", 1 },
                                   { "lines", QVariantList { "one", QVariantList { "two", "three" },
                                                             QVariantMap { { "tag", 7 } } } },
                                   { "none", QVariantList() },
                                   { "texts", QStringList { "x", "y" } } };
        QCOMPARE(XmlAnswerWriter::simpleVariantToXml(QStringLiteral("document"), answer),
                 document("document", "    <a>1</a>\n"
                                      "    <lines>one</lines>\n"
                                      "    <lines>two</lines>\n"
                                      "    <lines>three</lines>\n"
                                      "    <lines>\n"
                                      "        <tag>7</tag>\n"
                                      "    </lines>\n"
                                      "    <texts>x</texts>\n"
                                      "    <texts>y</texts>\n"));
    }

    void scalarValues_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("int") << QVariant(-12) << QByteArray("-12");
        QTest::newRow("64 bits") << QVariant(Q_UINT64_C(18446744073709551615)) << QByteArray("18446744073709551615");
        QTest::newRow("double") << QVariant(0.25) << QByteArray("0.25");
        QTest::newRow("true") << QVariant(true) << QByteArray("true");
        QTest::newRow("false") << QVariant(false) << QByteArray("false");
        QTest::newRow("invalid") << QVariant() << QByteArray();
        QTest::newRow("empty text") << QVariant(QString()) << QByteArray();
        QTest::newRow("bytes") << QVariant(QByteArray("abc")) << QByteArray("abc");
        QTest::newRow("date") << QVariant(QDate(2024, 3, 15)) << QByteArray("2024-03-15");
        QTest::newRow("markup") << QVariant("a<b>&\"c\" ]]> 'd'") << QByteArray("a&lt;b&gt;&amp;&quot;c&quot; ]]&gt; 'd'");
        QTest::newRow("tab and newline") << QVariant("a\tb\nc") << QByteArray("a\tb\nc");
        QTest::newRow("carriage return") << QVariant("\ra\r\nb\r") << QByteArray("&#13;a&#13;\nb&#13;");
        QTest::newRow("control characters") << QVariant(QString::fromLatin1("a\x01" "b\x1b" "c\x7f" "d"))
                                            << QByteArray("a\xef\xbf\xbd" "b\xef\xbf\xbd" "c\x7f" "d");
        QTest::newRow("nul") << QVariant(QString(QChar(0))) << QByteArray("\xef\xbf\xbd");
        QTest::newRow("lone surrogate") << QVariant(QString(QChar(0xD800)) + "x") << QByteArray("\xef\xbf\xbdx");
        QTest::newRow("non-character") << QVariant(QString(QChar(0xFFFE))) << QByteArray("\xef\xbf\xbd");
        QTest::newRow("surrogate pair") << QVariant(QString::fromUtf8("\xf0\x9f\x98\x80")) << QByteArray("\xf0\x9f\x98\x80");
    }
    void scalarValues()
    {
        QFETCH(QVariant, value);
        QFETCH(QByteArray, text);
        QCOMPARE(child("v", value), document("r", "    <v>" + text + "</v>\n"));
    }

    void jsonValuesFollowTheSameRules()
    {
        const QJsonObject object { { "b", true }, { "list", QJsonArray { 1, "two" } } };
        QCOMPARE(child("o", QVariant::fromValue(object)),
                 document("r", "    <o>\n"
                               "        <b>true</b>\n"
                               "        <list>1</list>\n"
                               "        <list>two</list>\n"
                               "    </o>\n"));
        QCOMPARE(child("j", QVariant::fromValue(QJsonValue(QStringLiteral("x")))), document("r", "    <j>x</j>\n"));
    }

    void keysBecomeValidNames_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "sessionId" << "sessionId";
        QTest::newRow("cyrillic") << "чек" << "чек";
        QTest::newRow("digits") << "1054" << "_1054";
        QTest::newRow("empty") << "" << "_";
        QTest::newRow("blank inside") << "a b" << "a_b";
        QTest::newRow("colon") << "ns:x" << "ns_x";
        QTest::newRow("markup") << "<a>&\"" << "_a___";
        QTest::newRow("dash start") << "-x" << "_-x";
        QTest::newRow("dot and dash inside") << "a.b-c" << "a.b-c";
        QTest::newRow("control") << QString("a\x01") << "a_";
        QTest::newRow("lone surrogate") << QString(QChar(0xDC00)) << "_";
        QTest::newRow("question mark") << "?" << "_";
        QTest::newRow("beyond the basic plane") << QString::fromUtf8("a\xf0\x90\x80\x80") << "a_";
        QTest::newRow("letter and digit") << QString::fromUtf8("щ\xd9\xa3") << QString::fromUtf8("щ\xd9\xa3");
    }
    void keysBecomeValidNames()
    {
        QFETCH(QString, key);
        QFETCH(QString, name);
        QCOMPARE(XmlAnswerWriter::elementName(key), name);
        QStringList texts;
        QCOMPARE(readBack(child(key, "v"), &texts), QString());
        QCOMPARE(texts.last(), "r/" + name + "=v");
    }

    // Whatever the answer map holds, the answer parses and gives back the
    // texts it was given (XML 1.0 cannot carry the replaced characters).
    void hostileMapsStayWellFormed()
    {
        QString everyCharacter;
        for (int c = 0; c < 0x3000; ++c)
            everyCharacter.append(QChar(c));
        const QVariantMap nested { { "", everyCharacter }, { "]]>", "]]>" }, { "x y", QVariantList { "<", "&" } } };
        const QVariantMap answer { { "fiscprops",
                                     QVariantList { QVariantMap { { "tag", everyCharacter },
                                                                  { "caption", everyCharacter },
                                                                  { "value", everyCharacter },
                                                                  { "printable", everyCharacter } },
                                                    "not a map" } },
                                   { "cashboxes", QVariantList { nested, 5 } },
                                   { "?", nested },
                                   { "text", everyCharacter } };
        const QByteArray xml = XmlAnswerWriter::simpleVariantToXml(QStringLiteral("a b"), answer);
        QStringList texts;
        QCOMPARE(readBack(xml, &texts), QString());
        const QString clean = XmlAnswerWriter::xmlText(everyCharacter);
        QCOMPARE(clean.size(), everyCharacter.size());
        QVERIFY(texts.contains("a_b/text=" + clean));
        QVERIFY(texts.contains("a_b/fiscprops/prop@caption=" + clean));
        QVERIFY(texts.contains("a_b/fiscprops/prop@value=" + clean));
        QVERIFY(texts.contains("a_b/cashboxes/cashbox/x_y=<"));
        QVERIFY(texts.contains("a_b/_/___=]]>"));
    }
};

QTEST_GUILESS_MAIN(TestXmlAnswerWriter)
#include "tst_xmlanswerwriter.moc"
