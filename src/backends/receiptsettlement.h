#ifndef RECEIPTSETTLEMENT_H
#define RECEIPTSETTLEMENT_H

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

// Where the register stood when a receipt attempt began: its newest fiscal
// document. It is stored with the receipt before the register can close it,
// so that a receipt whose answer never came can be looked for afterwards.
struct ReceiptStart
{
    // False when the back-end could not tell; such an attempt cannot be
    // settled from the register.
    bool known = false;
    quint32 lastDocNumber = 0;
    // The register's time of that document; invalid when not given.
    QDateTime registerTime;
};

// A fiscal document of the register, as far as it tells receipts apart.
// What the register does not give stays unset (negative or invalid).
struct FiscalDocSummary
{
    quint32 number = 0;
    bool receipt = false;
    // Operation type, as tag 1054.
    int type = -1;
    // Total in kopecks, as tag 1020.
    qint64 total = -1;
    int positions = -1;
    QDateTime dt;
    // The caller's session, where the register keeps it.
    QString sessionId;
    // The answer a first attempt would have got for this document.
    QVariantMap answer;
};

// Decides whether the receipt stored for a session was registered, from
// the documents the register made after the attempt began. Only a clear
// finding counts: exactly one receipt that matches (whatever else the
// register did meanwhile), or none that could be it (no document at all,
// or only other documents than receipts and receipts the register keeps
// under another session); anything else leaves the outcome unknown.
class ReceiptSettlement
{
public:
    enum Outcome {
        Registered,
        NotRegistered,
        Unknown,
    };
    // An attempt followed by more documents than this is not searched: the
    // register has been used meanwhile and a match would prove little.
    static constexpr quint32 MAX_DOCUMENTS = 32;

    // `check` is the stored receipt, { "document": { "sessionId", "data":
    // { "type", "fiscprops" } } }.
    explicit ReceiptSettlement(const QVariantMap &check);

    int type() const { return m_type; }
    qint64 total() const { return m_total; }
    int positions() const { return m_positions; }

    // `after` holds the documents numbered start + 1 up to `last`, in order.
    // Registered fills `answer`; Unknown says why in `why`.
    Outcome decide(const ReceiptStart &start, quint32 last, const QList<FiscalDocSummary> &after,
                   QVariantMap &answer, QString &why) const;

    // The value of the first property with the tag, searched depth first.
    static QVariant findTag(const QVariantList &props, int tag);
    // How many properties of the list itself carry the tag.
    static int countTag(const QVariantList &props, int tag);
    // What the positions of a receipt cost together, in kopecks: each its
    // own cost (1043) when given, else price (1079) times quantity (1023).
    static qint64 positionsTotal(const QVariantList &props);

private:
    // Why the document is not this receipt; empty when it is.
    QString mismatch(const ReceiptStart &start, const FiscalDocSummary &doc) const;

    QString m_sessionId;
    int m_type = 1;
    qint64 m_total = 0;
    int m_positions = 0;
};

#endif
