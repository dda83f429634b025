#ifndef FISCAL_BASECHECK_H
#define FISCAL_BASECHECK_H

#include "checkpayment.h"
#include "fiscaldoccomplexproperty.h"
#include "fiscaltypes.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariantList>

namespace fiscal {

// What every receipt has: its kind, its operation type, its payments and
// its document-level properties (cashier, buyer contact, taxation system,
// additional requisites, ...). Items are left to Check; a BaseCheck refuses
// a list that holds any.
class BaseCheck
{
public:
    // Most entries a receipt's property list may hold; a longer list is
    // refused before anything is read.
    static constexpr int MAX_PROPERTIES = 1024;

    BaseCheck();
    virtual ~BaseCheck();
    BaseCheck(const BaseCheck &) = default;
    BaseCheck &operator=(const BaseCheck &) = default;

    CheckType checkType() const { return m_checkType; }
    void setCheckType(CheckType type) { m_checkType = type; }
    // Operation type (1054).
    PaymentType type() const { return m_type; }
    void setType(PaymentType type) { m_type = type; }
    bool isPrintable() const { return m_printable; }
    void setPrintable(bool printable) { m_printable = printable; }
    bool isOpened() const { return m_opened; }
    void setIsOpened(bool opened) { m_opened = opened; }

    // Payments in ascending money-type order.
    QList<CheckPayment> payments() const { return m_payments; }
    void setPayments(const QList<CheckPayment> &payments);
    // Inserted after the payments of the same or a lower money type.
    void appendPayment(const CheckPayment &payment);
    void cleanPayments() { m_payments.clear(); }
    // Sum of all payments, money with multiplier 100.
    qt5ext::FixNumber paymentsSum() const;

    // Document-level properties other than items, payments and the
    // operation type, in the order they came.
    QList<FiscalDocPropertyPtr> properties() const { return m_properties; }
    void setProperties(const QList<FiscalDocPropertyPtr> &properties) { m_properties = properties; }
    // The first document-level property of `tag`, or null.
    FiscalDocPropertyPtr property(PropertyTag tag) const;

    // Builds the receipt from a "fiscprops" list in map form ({"tag",
    // "value"} or {"tag", "fiscprops"}, values as JSON gives them): items
    // 1059, payments 1031, 1081, 1215, 1216, 1217 (repeated tags add up,
    // zero sums are left out), the operation type 1054, and every other
    // known tag as a document property; tags the library does not know are
    // passed over. False with `errorText` saying which entry is wrong and
    // why; the receipt is then unchanged.
    bool parseProperties(const QVariantList &fiscprops, QString &errorText);
    // The same from typed properties, e.g. records read from the fiscal
    // storage; records of unknown tags are kept as they came.
    bool parseRecords(const QList<FiscalDocPropertyPtr> &records, QString &errorText);
    // The same from the TLV records of a document.
    bool parseTlv(const QByteArray &bytes, QString &errorText);

    // The receipt as properties: the operation type (when it is one the
    // fiscal storage knows), the items, the document properties, then the
    // payments.
    QList<FiscalDocPropertyPtr> toProperties() const;
    // The same in map form.
    QVariantList toFiscProps() const;
    // The same as TLV records.
    QByteArray toTlv() const;

protected:
    // Takes the receipt's items (each a typed 1059 record, in order); false
    // with `errorText` set, and nothing changed, when one is refused.
    virtual bool parseItems(const QList<QSharedPointer<FiscalDocComplexProperty>> &items, QString &errorText);
    // The items as 1059 records.
    virtual QList<FiscalDocPropertyPtr> itemProperties() const;

private:
    CheckType m_checkType = CheckSale;
    PaymentType m_type = PaymentUnknown;
    bool m_printable = true;
    bool m_opened = false;
    QList<CheckPayment> m_payments;
    QList<FiscalDocPropertyPtr> m_properties;
};

} // namespace fiscal

#endif
