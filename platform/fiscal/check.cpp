#include "check.h"

#include "checkhelpers_p.h"
#include "fiscaldocpropertyinfo_p.h"

namespace fiscal {

Check::Check() = default;

qt5ext::FixNumber Check::total() const
{
    QList<qt5ext::FixNumber> costs;
    for (const CheckOperation &operation : m_operations)
        costs.append(operation.total());
    return checkhelpers::sumMoney(costs);
}

bool Check::parseItems(const QList<QSharedPointer<FiscalDocComplexProperty>> &items, QString &errorText)
{
    QList<CheckOperation> operations;
    for (int i = 0; i < items.size(); ++i) {
        CheckOperation operation;
        QString error;
        // An item is taken only if it can be written back whole.
        if (!operation.parse(*items.at(i), &error) || !operation.toComplexProperty(&error)) {
            errorText = QStringLiteral("item %1: %2").arg(i + 1).arg(error);
            return false;
        }
        operations.append(operation);
    }
    m_operations = operations;
    return true;
}

QList<FiscalDocPropertyPtr> Check::itemProperties() const
{
    QList<FiscalDocPropertyPtr> records;
    for (const CheckOperation &operation : m_operations) {
        QString error;
        const FiscalDocPropertyPtr record = operation.toComplexProperty(&error);
        if (record)
            records.append(record);
        else
            qCWarning(lcFiscalProperty).noquote() << "item" << operation.itemName().left(40)
                                                  << "cannot be written:" << error;
    }
    return records;
}

} // namespace fiscal
