#include "receiptsettlement.h"

#include <QtMath>

namespace {

const QString KEY_TAG = QStringLiteral("tag");
const QString KEY_VALUE = QStringLiteral("value");
const QString KEY_FISCPROPS = QStringLiteral("fiscprops");

// The register's wall clock to the minute (storage times have no seconds),
// whatever time zone the reader attached to it.
QDateTime toMinute(const QDateTime &dt)
{
    return QDateTime(dt.date(), QTime(dt.time().hour(), dt.time().minute()), Qt::UTC);
}

} // namespace

ReceiptSettlement::ReceiptSettlement(const QVariantMap &check)
{
    const QVariantMap document = check.value(QStringLiteral("document")).toMap();
    m_sessionId = document.value(QStringLiteral("sessionId")).toString();
    const QVariantMap data = document.value(QStringLiteral("data")).toMap();
    const QVariantList props = data.value(KEY_FISCPROPS).toList();
    // The operation type and the total as the register records them: given
    // in the receipt, or what the register makes of it (a sale, the sum of
    // the positions).
    const QVariant typeTag = findTag(props, 1054);
    if (typeTag.isValid())
        m_type = typeTag.toInt();
    else if (data.contains(QStringLiteral("type")))
        m_type = data.value(QStringLiteral("type")).toInt();
    const QVariant totalTag = findTag(props, 1020);
    m_total = totalTag.isValid() ? totalTag.toLongLong() : positionsTotal(props);
    m_positions = countTag(props, 1059);
}

QVariant ReceiptSettlement::findTag(const QVariantList &props, int tag)
{
    for (const QVariant &entry : props) {
        const QVariantMap prop = entry.toMap();
        if (prop.value(KEY_TAG).toInt() == tag)
            return prop.value(KEY_VALUE);
        const QVariant inner = findTag(prop.value(KEY_FISCPROPS).toList(), tag);
        if (inner.isValid())
            return inner;
    }
    return QVariant();
}

int ReceiptSettlement::countTag(const QVariantList &props, int tag)
{
    int count = 0;
    for (const QVariant &entry : props) {
        if (entry.toMap().value(KEY_TAG).toInt() == tag)
            ++count;
    }
    return count;
}

qint64 ReceiptSettlement::positionsTotal(const QVariantList &props)
{
    qint64 total = 0;
    for (const QVariant &entry : props) {
        const QVariantMap prop = entry.toMap();
        if (prop.value(KEY_TAG).toInt() != 1059)
            continue;
        const QVariantList item = prop.value(KEY_FISCPROPS).toList();
        const QVariant cost = findTag(item, 1043);
        if (cost.isValid()) {
            total += cost.toLongLong();
            continue;
        }
        const QVariant quantity = findTag(item, 1023);
        total += qRound64(findTag(item, 1079).toDouble() * (quantity.isValid() ? quantity.toDouble() : 1.0));
    }
    return total;
}

QString ReceiptSettlement::mismatch(const ReceiptStart &start, const FiscalDocSummary &doc) const
{
    if (!doc.receipt)
        return QStringLiteral("document %1 is not a receipt").arg(doc.number);
    if (!doc.sessionId.isEmpty() && doc.sessionId != m_sessionId)
        return QStringLiteral("receipt %1 belongs to session \"%2\"").arg(doc.number).arg(doc.sessionId);
    if (doc.type != m_type)
        return QStringLiteral("receipt %1 has operation type %2, not %3").arg(doc.number).arg(doc.type).arg(m_type);
    if (doc.total != m_total)
        return QStringLiteral("receipt %1 totals %2 kopecks, not %3").arg(doc.number).arg(doc.total).arg(m_total);
    if (doc.positions >= 0 && doc.positions != m_positions)
        return QStringLiteral("receipt %1 has %2 positions, not %3").arg(doc.number).arg(doc.positions).arg(m_positions);
    // The register's clock only goes forward: a receipt of this attempt is
    // not older than the document before it.
    if (doc.dt.isValid() && start.registerTime.isValid() && toMinute(doc.dt) < toMinute(start.registerTime))
        return QStringLiteral("receipt %1 is older than the attempt").arg(doc.number);
    return QString();
}

ReceiptSettlement::Outcome ReceiptSettlement::decide(const ReceiptStart &start, quint32 last,
                                                     const QList<FiscalDocSummary> &after, QVariantMap &answer,
                                                     QString &why) const
{
    if (!start.known) {
        why = QStringLiteral("the register's last document number was not recorded when the receipt was sent");
        return Unknown;
    }
    if (last == start.lastDocNumber)
        return NotRegistered;
    if (last < start.lastDocNumber) {
        why = QStringLiteral("the register's last document is %1, older than %2 recorded when the receipt was sent "
                             "(another fiscal storage?)")
                  .arg(last)
                  .arg(start.lastDocNumber);
        return Unknown;
    }
    if (last - start.lastDocNumber > MAX_DOCUMENTS || quint32(after.size()) != last - start.lastDocNumber) {
        why = QStringLiteral("the register made %1 documents since %2, too many to tell")
                  .arg(last - start.lastDocNumber)
                  .arg(start.lastDocNumber);
        return Unknown;
    }
    QList<const FiscalDocSummary *> matches;
    QStringList others;
    // Documents that cannot be this receipt whatever it looked like: other
    // documents than receipts, and receipts of another session.
    int foreign = 0;
    for (const FiscalDocSummary &doc : after) {
        const QString reason = mismatch(start, doc);
        if (reason.isEmpty())
            matches << &doc;
        else
            others << reason;
        if (!doc.receipt || (!doc.sessionId.isEmpty() && doc.sessionId != m_sessionId))
            ++foreign;
    }
    if (foreign == after.size())
        return NotRegistered;
    if (matches.size() == 1) {
        answer = matches.first()->answer;
        return Registered;
    }
    if (matches.size() > 1)
        why = QStringLiteral("%1 receipts since document %2 match it").arg(matches.size()).arg(start.lastDocNumber);
    else
        why = QStringLiteral("the register made documents since %1, none of them this receipt: %2")
                  .arg(start.lastDocNumber)
                  .arg(others.join(QStringLiteral("; ")));
    return Unknown;
}
