#ifndef FISCAL_CHECKOPERATION_H
#define FISCAL_CHECKOPERATION_H

#include "agentdata.h"
#include "fiscaldoccomplexproperty.h"
#include "fiscaltypes.h"
#include "providerdata.h"

#include <QList>
#include <QString>
#include <QVariantMap>

#include <fixnumber.h>

namespace fiscal {

// One item (position) of a receipt, compound tag 1059: what was sold, at
// what price, how many, for how much, under which tax, and the agent and
// supplier particulars. Parts the model does not interpret (product code,
// excise, print-only lines, ...) are kept in order and written back.
class CheckOperation
{
public:
    // Defaults of an item that does not say: full payment, goods.
    static constexpr quint8 DEFAULT_METHOD = 4;
    static constexpr quint8 DEFAULT_ITEM_TYPE = 1;

    CheckOperation();

    QString itemName() const { return m_itemName; }                 // 1030
    void setItemName(const QString &name) { m_itemName = name; }
    // Unit price, money with multiplier 100.                         1079
    qt5ext::FixNumber price() const { return m_price; }
    void setPrice(const qt5ext::FixNumber &price) { m_price = price; }
    // Quantity; its multiplier is 10 to the number of digits after the
    // point it was given with, so 1.000 stays 1.000 when written back. 1023
    qt5ext::FixNumber quantity() const { return m_quantity; }
    void setQuantity(const qt5ext::FixNumber &quantity) { m_quantity = quantity; }
    // Cost of the item, money with multiplier 100.                   1043
    qt5ext::FixNumber total() const { return m_total; }
    void setTotal(const qt5ext::FixNumber &total) { m_total = total; }
    // Price times quantity in kopecks, halves rounded up; false when either
    // is negative or the cost does not fit the 6 bytes of a money tag.
    static bool calcTotal(const qt5ext::FixNumber &price, const qt5ext::FixNumber &quantity,
                          qt5ext::FixNumber *total);
    // The tax tag (1102 to 1107) the item is taxed under; 0 for none.
    PropertyTag taxTag() const { return m_taxTag; }
    void setTaxTag(PropertyTag tag) { m_taxTag = tag; }
    // The VAT rate code (1199) of the tax tag; 0 for none.
    int vatRate() const { return vatRateByTaxTag(m_taxTag); }
    quint8 method() const { return m_method; }                      // 1214
    void setMethod(quint8 method) { m_method = method; }
    quint8 itemType() const { return m_itemType; }                  // 1212
    void setItemType(quint8 type) { m_itemType = type; }
    QString unit() const { return m_unit; }                         // 1197
    void setUnit(const QString &unit) { m_unit = unit; }
    quint8 agentFlag() const { return m_agentFlag; }                // 1222
    void setAgentFlag(quint8 flags) { m_agentFlag = flags; }
    AgentData agent() const { return m_agent; }                     // 1223
    void setAgent(const AgentData &agent) { m_agent = agent; }
    ProviderData provider() const { return m_provider; }            // 1224
    void setProvider(const ProviderData &provider) { m_provider = provider; }
    QString providerInn() const { return m_providerInn; }           // 1226
    void setProviderInn(const QString &inn) { m_providerInn = inn; }
    // Parts kept as they came, in their order.
    QList<FiscalDocPropertyPtr> otherProperties() const { return m_other; }
    void setOtherProperties(const QList<FiscalDocPropertyPtr> &parts) { m_other = parts; }

    // Reads a typed 1059 record. Refused, with `error` set and nothing
    // changed: no name, no price, a quantity of zero, an unknown VAT rate,
    // payment method or item type, conflicting tax tags, a nested item,
    // malformed agent or supplier data, a part given twice.
    bool parse(const FiscalDocComplexProperty &item, QString *error = nullptr);
    // Reads the map form {"tag": 1059, "fiscprops": [...]}, values as JSON
    // gives them; 1199 may also name the tax tag itself (1102 to 1107).
    bool parseMap(const QVariantMap &item, QString *error = nullptr);
    // Types the map form of an item part by part into a 1059 record without
    // interpreting it; null with `error` set when a part is malformed or
    // unknown or the record outgrows its 1024 bytes.
    static QSharedPointer<FiscalDocComplexProperty> itemFromMap(const QVariantMap &item, QString *error = nullptr);

    // The parts in the order a register writes them: name, price, quantity,
    // cost, VAT rate, payment method, item type, unit, agent flags, agent
    // and supplier data, supplier tax number, then the other parts. Empty
    // when a value does not fit its tag (see toComplexProperty).
    QList<FiscalDocPropertyPtr> toProperties() const;
    // The whole 1059 record; null with `error` set when a value does not
    // fit its tag or the record outgrows its 1024 bytes.
    QSharedPointer<FiscalDocComplexProperty> toComplexProperty(QString *error = nullptr) const;
    // {"tag": 1059, "fiscprops": [...]}; empty when toProperties() is.
    QVariantMap toMap() const;

    // Fills `templ` with this item's value for the template's tag and
    // returns it: `content` picks the occurrence when the item holds the
    // tag more than once (0 the first). Null when the item has no such
    // value (no unit, no agent data, ...) or it does not fit the template.
    FiscalDocPropertyPtr toProperty(const FiscalDocPropertyPtr &templ, int content = 0) const;

    bool operator==(const CheckOperation &other) const;
    bool operator!=(const CheckOperation &other) const { return !(*this == other); }

private:
    bool buildParts(QList<FiscalDocPropertyPtr> &parts, QString *error) const;

    QString m_itemName;
    qt5ext::FixNumber m_price;
    qt5ext::FixNumber m_quantity;
    qt5ext::FixNumber m_total;
    PropertyTag m_taxTag = PropertyTag(0);
    quint8 m_method = DEFAULT_METHOD;
    quint8 m_itemType = DEFAULT_ITEM_TYPE;
    QString m_unit;
    quint8 m_agentFlag = 0;
    AgentData m_agent;
    ProviderData m_provider;
    QString m_providerInn;
    QList<FiscalDocPropertyPtr> m_other;
};

} // namespace fiscal

#endif
