#include "tillgatecoreapi.h"

#include <QtTest>

class TestTillgateCoreApi : public QObject
{
    Q_OBJECT
private slots:
    void plainTextLines_data();
    void plainTextLines();
    void delimiters();
};

void TestTillgateCoreApi::plainTextLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QStringList>("lines");

    const QString word47 = QString(47, QLatin1Char('w'));
    QTest::newRow("dashes cut to the width") << QString(60, QLatin1Char('-')) << 48
                                             << QStringList{ QString(48, QLatin1Char('-')) };
    QTest::newRow("blanks cut to the width") << QString(60, QLatin1Char(' ')) << 48
                                             << QStringList{ QString(48, QLatin1Char(' ')) };
    QTest::newRow("mixed delimiters cut") << QStringLiteral("-_*. \t").repeated(10) << 12
                                          << QStringList{ QStringLiteral("-_*. \t-_*. \t") };
    // 10 + 4 + 10 + 4 + 10 = 38: one pass gives 34, still over 33, a second 32.
    const QString spaced = QStringLiteral("aaaaaaaaaa    bbbbbbbbbb    cccccccccc");
    QTest::newRow("four spaces to two") << spaced << 34
                                        << QStringList{ QStringLiteral("aaaaaaaaaa  bbbbbbbbbb  cccccccccc") };
    QTest::newRow("four spaces to one") << spaced << 33
                                        << QStringList{ QStringLiteral("aaaaaaaaaa bbbbbbbbbb cccccccccc") };
    QTest::newRow("still too long after squeezing") << spaced << 20
                                                    << QStringList{ QStringLiteral("aaaaaaaaaa bbbbbbbbbb cccccccccc") };
    QTest::newRow("long line without double spaces unchanged")
        << QStringLiteral("a b c ") + word47 << 48 << QStringList{ QStringLiteral("a b c ") + word47 };
    QTest::newRow("exact width untouched") << QStringLiteral("x  ") + QString(45, QLatin1Char('y')) << 48
                                           << QStringList{ QStringLiteral("x  ") + QString(45, QLatin1Char('y')) };
    QTest::newRow("line ends") << QStringLiteral("a\r\nb\rc\n\nd") << 48
                               << QStringList{ "a", "b", "c", "", "d" };
    QTest::newRow("trailing line end") << QStringLiteral("a\n") << 48 << QStringList{ "a", "" };
}

void TestTillgateCoreApi::plainTextLines()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(QStringList, lines);
    QCOMPARE(TillgateCoreApi::plainTextLines(text, width), lines);
}

void TestTillgateCoreApi::delimiters()
{
    QCOMPARE(TillgateCoreApi::DELIMS().size(), 6);
    for (QChar c : QStringLiteral(" \t-_*."))
        QVERIFY(TillgateCoreApi::DELIMS().contains(c));
    QVERIFY(!TillgateCoreApi::DELIMS().contains(QLatin1Char('=')));
    QCOMPARE(TillgateCoreApi::CASHBOXCORE_BUS_CLIENT, QStringLiteral("cashboxcore"));
    TillgateCoreApi api;
    QCOMPARE(api.busName(), QStringLiteral("tillgate"));
}

QTEST_MAIN(TestTillgateCoreApi)
#include "tst_tillgatecoreapi.moc"
