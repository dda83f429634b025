#include "receiptsettlement.h"

#include <QtTest>

// What the register's documents after an attempt say about the receipt:
// only one matching receipt settles it, only documents that cannot be it
// free it.
class TestReceiptSettlement : public QObject
{
    Q_OBJECT

private slots:
    void decide_data();
    void decide();
};

namespace {

// A sale of two positions, 1.00 and 2 x 2.50, total 6.00.
const QVariantMap CHECK{
    {"document",
     QVariantMap{{"sessionId", "s-1"},
                 {"data",
                  QVariantMap{{"type", 1},
                              {"fiscprops",
                               QVariantList{QVariantMap{{"tag", 1059},
                                                        {"fiscprops", QVariantList{QVariantMap{{"tag", 1079}, {"value", 100}},
                                                                                   QVariantMap{{"tag", 1023}, {"value", 1}}}}},
                                            QVariantMap{{"tag", 1059},
                                                        {"fiscprops", QVariantList{QVariantMap{{"tag", 1079}, {"value", 250}},
                                                                                   QVariantMap{{"tag", 1023}, {"value", 2}}}}}}}}}}}};

const QDateTime START_TIME(QDate(2026, 12, 9), QTime(10, 15, 40));

FiscalDocSummary receipt(quint32 number, int type = 1, qint64 total = 600, const QString &session = QString(),
                         const QDateTime &dt = START_TIME.addSecs(20))
{
    FiscalDocSummary doc;
    doc.number = number;
    doc.receipt = true;
    doc.type = type;
    doc.total = total;
    doc.positions = 2;
    doc.dt = dt;
    doc.sessionId = session;
    doc.answer = {{"docNumber", number}};
    return doc;
}

FiscalDocSummary report(quint32 number)
{
    FiscalDocSummary doc;
    doc.number = number;
    return doc;
}

} // namespace

Q_DECLARE_METATYPE(QList<FiscalDocSummary>)
Q_DECLARE_METATYPE(ReceiptSettlement::Outcome)

void TestReceiptSettlement::decide_data()
{
    QTest::addColumn<bool>("known");
    QTest::addColumn<quint32>("last");
    QTest::addColumn<QList<FiscalDocSummary>>("after");
    QTest::addColumn<ReceiptSettlement::Outcome>("outcome");
    QTest::addColumn<int>("answerNumber");

    const auto R = ReceiptSettlement::Registered;
    const auto N = ReceiptSettlement::NotRegistered;
    const auto U = ReceiptSettlement::Unknown;
    QTest::newRow("nothing since") << true << 10u << QList<FiscalDocSummary>{} << N << 0;
    QTest::newRow("start not recorded") << false << 10u << QList<FiscalDocSummary>{} << U << 0;
    QTest::newRow("the receipt") << true << 11u << QList<FiscalDocSummary>{receipt(11)} << R << 11;
    // Seconds are not in the storage: the same minute is not older.
    QTest::newRow("same minute") << true << 11u
                                 << QList<FiscalDocSummary>{receipt(11, 1, 600, QString(), START_TIME.addSecs(-30))}
                                 << R << 11;
    QTest::newRow("beside a shift report") << true << 12u << QList<FiscalDocSummary>{report(11), receipt(12)} << R
                                           << 12;
    QTest::newRow("own session among others") << true << 12u
                                              << QList<FiscalDocSummary>{receipt(11, 1, 600, "s-0"),
                                                                         receipt(12, 1, 600, "s-1")}
                                              << R << 12;
    QTest::newRow("two candidates") << true << 12u << QList<FiscalDocSummary>{receipt(11), receipt(12)} << U << 0;
    QTest::newRow("other total") << true << 11u << QList<FiscalDocSummary>{receipt(11, 1, 500)} << U << 0;
    QTest::newRow("a return") << true << 11u << QList<FiscalDocSummary>{receipt(11, 2)} << U << 0;
    QTest::newRow("other session") << true << 11u << QList<FiscalDocSummary>{receipt(11, 1, 600, "s-2")} << N << 0;
    QTest::newRow("older than the start")
        << true << 11u << QList<FiscalDocSummary>{receipt(11, 1, 600, QString(), START_TIME.addSecs(-120))} << U << 0;
    QTest::newRow("only a report") << true << 11u << QList<FiscalDocSummary>{report(11)} << N << 0;
    QTest::newRow("a report and an unknown receipt") << true << 12u
                                                     << QList<FiscalDocSummary>{report(11), receipt(12, 1, 500)} << U
                                                     << 0;
    QTest::newRow("storage went back") << true << 9u << QList<FiscalDocSummary>{} << U << 0;
    QTest::newRow("too many since") << true << 10u + ReceiptSettlement::MAX_DOCUMENTS + 1
                                    << QList<FiscalDocSummary>{} << U << 0;
}

void TestReceiptSettlement::decide()
{
    QFETCH(bool, known);
    QFETCH(quint32, last);
    QFETCH(QList<FiscalDocSummary>, after);
    QFETCH(ReceiptSettlement::Outcome, outcome);
    QFETCH(int, answerNumber);

    const ReceiptSettlement settlement(CHECK);
    QCOMPARE(settlement.total(), qint64(600));
    QCOMPARE(settlement.positions(), 2);
    ReceiptStart start;
    start.known = known;
    start.lastDocNumber = 10;
    start.registerTime = START_TIME;
    QVariantMap answer;
    QString why;
    QCOMPARE(settlement.decide(start, last, after, answer, why), outcome);
    QCOMPARE(answer.value("docNumber").toInt(), answerNumber);
    QCOMPARE(why.isEmpty(), outcome != ReceiptSettlement::Unknown);
}

QTEST_GUILESS_MAIN(TestReceiptSettlement)
#include "tst_receiptsettlement.moc"
