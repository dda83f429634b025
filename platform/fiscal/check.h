#ifndef FISCAL_CHECK_H
#define FISCAL_CHECK_H

#include "basecheck.h"
#include "checkoperation.h"

namespace fiscal {

// A receipt with its items (positions).
class Check : public BaseCheck
{
public:
    Check();

    QList<CheckOperation> operations() const { return m_operations; }
    void setOperations(const QList<CheckOperation> &operations) { m_operations = operations; }
    void appendOperation(const CheckOperation &operation) { m_operations.append(operation); }
    void cleanOperations() { m_operations.clear(); }
    // Sum of the items' costs, money with multiplier 100.
    qt5ext::FixNumber total() const;

protected:
    // Every item must read (CheckOperation::parse) and fit its record.
    bool parseItems(const QList<QSharedPointer<FiscalDocComplexProperty>> &items, QString &errorText) override;
    QList<FiscalDocPropertyPtr> itemProperties() const override;

private:
    QList<CheckOperation> m_operations;
};

} // namespace fiscal

#endif
