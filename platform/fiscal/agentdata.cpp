#include "agentdata.h"

#include "checkhelpers_p.h"
#include "fiscaldoccomplexproperty.h"

namespace fiscal {

using namespace checkhelpers;

bool AgentData::isEmpty() const
{
    return m_operation.isEmpty() && m_payingAgentPhones.isEmpty() && m_paymentOperatorPhones.isEmpty()
            && m_transferOperatorPhones.isEmpty() && m_transferOperatorName.isEmpty()
            && m_transferOperatorAddress.isEmpty() && m_transferOperatorInn.isEmpty();
}

bool AgentData::parse(const FiscalDocComplexProperty &property, QString *error)
{
    const QString record = QStringLiteral("agent data (tag %1)").arg(uint(TagAgentData));
    if (property.tag() != TagAgentData)
        return refuse(error, QStringLiteral("tag %1 is not %2").arg(uint(property.tag())).arg(record));
    AgentData data;
    bool operation = false;
    bool name = false;
    bool address = false;
    bool inn = false;
    for (const FiscalDocPropertyPtr &part : property.properties()) {
        bool ok = true;
        switch (part->tag()) {
        case TagAgentOperation:
            ok = takeSingle(part, data.m_operation, operation, record, error);
            break;
        case TagPayingAgentPhone:
            appendNonEmpty(data.m_payingAgentPhones, part);
            break;
        case TagPaymentOperatorPhone:
            appendNonEmpty(data.m_paymentOperatorPhones, part);
            break;
        case TagTransferOperatorPhone:
            appendNonEmpty(data.m_transferOperatorPhones, part);
            break;
        case TagTransferOperatorName:
            ok = takeSingle(part, data.m_transferOperatorName, name, record, error);
            break;
        case TagTransferOperatorAddress:
            ok = takeSingle(part, data.m_transferOperatorAddress, address, record, error);
            break;
        case TagTransferOperatorInn:
            ok = takeSingle(part, data.m_transferOperatorInn, inn, record, error);
            break;
        default:
            return refuse(error, QStringLiteral("tag %1 has no place in %2").arg(uint(part->tag())).arg(record));
        }
        if (!ok)
            return false;
    }
    *this = data;
    return true;
}

QVariantList AgentData::toFiscProps() const
{
    QVariantList parts;
    appendText(parts, TagTransferOperatorAddress, m_transferOperatorAddress);
    appendText(parts, TagTransferOperatorInn, m_transferOperatorInn);
    appendText(parts, TagTransferOperatorName, m_transferOperatorName);
    appendText(parts, TagAgentOperation, m_operation);
    appendTexts(parts, TagPayingAgentPhone, m_payingAgentPhones);
    appendTexts(parts, TagPaymentOperatorPhone, m_paymentOperatorPhones);
    appendTexts(parts, TagTransferOperatorPhone, m_transferOperatorPhones);
    return parts;
}

FiscalDocPropertyPtr AgentData::getProperty(const FiscalDocPropertyPtr &templ) const
{
    return fillCompound(templ, TagAgentData, toFiscProps());
}

bool AgentData::operator==(const AgentData &other) const
{
    return m_operation == other.m_operation && m_payingAgentPhones == other.m_payingAgentPhones
            && m_paymentOperatorPhones == other.m_paymentOperatorPhones
            && m_transferOperatorPhones == other.m_transferOperatorPhones
            && m_transferOperatorName == other.m_transferOperatorName
            && m_transferOperatorAddress == other.m_transferOperatorAddress
            && m_transferOperatorInn == other.m_transferOperatorInn;
}

} // namespace fiscal
