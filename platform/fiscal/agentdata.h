#ifndef FISCAL_AGENTDATA_H
#define FISCAL_AGENTDATA_H

#include "fiscaldocpropertybase.h"

#include <QString>
#include <QStringList>
#include <QVariantList>

namespace fiscal {

class FiscalDocComplexProperty;

// Agent data of a receipt item (compound tag 1223): the paying agent's
// operation and phones and the transfer operator's particulars.
class AgentData
{
public:
    QString operation() const { return m_operation; }                           // 1044
    void setOperation(const QString &operation) { m_operation = operation; }
    QStringList payingAgentPhones() const { return m_payingAgentPhones; }       // 1073
    void setPayingAgentPhones(const QStringList &phones) { m_payingAgentPhones = phones; }
    QStringList paymentOperatorPhones() const { return m_paymentOperatorPhones; }   // 1074
    void setPaymentOperatorPhones(const QStringList &phones) { m_paymentOperatorPhones = phones; }
    QStringList transferOperatorPhones() const { return m_transferOperatorPhones; } // 1075
    void setTransferOperatorPhones(const QStringList &phones) { m_transferOperatorPhones = phones; }
    QString transferOperatorName() const { return m_transferOperatorName; }     // 1026
    void setTransferOperatorName(const QString &name) { m_transferOperatorName = name; }
    QString transferOperatorAddress() const { return m_transferOperatorAddress; }   // 1005
    void setTransferOperatorAddress(const QString &address) { m_transferOperatorAddress = address; }
    QString transferOperatorInn() const { return m_transferOperatorInn; }       // 1016
    void setTransferOperatorInn(const QString &inn) { m_transferOperatorInn = inn; }

    bool isEmpty() const;
    void clear() { *this = AgentData(); }

    // Reads a 1223 record; false with `error` set (and nothing changed) when
    // it is of another tag or holds a part agent data has no place for.
    bool parse(const FiscalDocComplexProperty &property, QString *error = nullptr);
    // The parts in map form, in tag order; empty texts are left out.
    QVariantList toFiscProps() const;
    // Fills `templ` (a 1223 template) with the parts and returns it; null
    // when there is no agent data or `templ` is not a 1223 compound.
    FiscalDocPropertyPtr getProperty(const FiscalDocPropertyPtr &templ) const;

    bool operator==(const AgentData &other) const;
    bool operator!=(const AgentData &other) const { return !(*this == other); }

private:
    QString m_operation;
    QStringList m_payingAgentPhones;
    QStringList m_paymentOperatorPhones;
    QStringList m_transferOperatorPhones;
    QString m_transferOperatorName;
    QString m_transferOperatorAddress;
    QString m_transferOperatorInn;
};

} // namespace fiscal

#endif
