#include "textprinterdocument.h"

namespace frprint {

namespace {

const QString kBlocks = QStringLiteral("blocks");
const QString kCurrentTicketAction = QStringLiteral("currentTicketAction");
const QString kPreviousTicketAction = QStringLiteral("previousTicketAction");
const QString kLoopPolicy = QStringLiteral("loopPolicy");
const QString kDoInit = QStringLiteral("doInit");

constexpr int ALL_TICKET_ACTIONS = TextPrinterDocument::FeedPaper | TextPrinterDocument::FinishTicket
    | TextPrinterDocument::NewTicket;
constexpr int ALL_LOOP_POLICIES = TextPrinterDocument::RetractOld | TextPrinterDocument::PresentNew;

bool fail(QString *errorText, const QString &text)
{
    if (errorText)
        *errorText = text;
    return false;
}

bool readFlags(const QVariantMap &map, const QString &key, int all, int &value, QString *errorText)
{
    if (!map.contains(key)) {
        value = 0;
        return true;
    }
    bool ok = false;
    const qlonglong flags = map.value(key).toLongLong(&ok);
    if (!ok || flags < 0 || (flags & ~qlonglong(all)) != 0)
        return fail(errorText, QStringLiteral("Print document value \"%1\" holds unknown flags").arg(key));
    value = int(flags);
    return true;
}

} // namespace

void TextPrinterDocument::appendBlock(const DocumentBlock &block)
{
    m_blocks.append(block);
}

QVariantMap TextPrinterDocument::toMap() const
{
    QVariantList blocks;
    for (const DocumentBlock &block : m_blocks)
        blocks.append(block.toMap());
    return {
        { kBlocks, blocks },
        { kCurrentTicketAction, m_currentTicketAction },
        { kPreviousTicketAction, m_previousTicketAction },
        { kLoopPolicy, m_loopPolicy },
        { kDoInit, m_doInit },
    };
}

bool TextPrinterDocument::fromMap(const QVariantMap &map, QString *errorText)
{
    TextPrinterDocument document;
    if (!readFlags(map, kCurrentTicketAction, ALL_TICKET_ACTIONS, document.m_currentTicketAction, errorText)
        || !readFlags(map, kPreviousTicketAction, ALL_TICKET_ACTIONS, document.m_previousTicketAction, errorText)
        || !readFlags(map, kLoopPolicy, ALL_LOOP_POLICIES, document.m_loopPolicy, errorText))
        return false;
    if (map.contains(kDoInit)) {
        const QVariant doInit = map.value(kDoInit);
        if (!doInit.canConvert<bool>() || doInit.userType() == QMetaType::QVariantMap
            || doInit.userType() == QMetaType::QVariantList)
            return fail(errorText, QStringLiteral("Print document value \"doInit\" is not a flag"));
        document.m_doInit = doInit.toBool();
    }
    const QVariant blocks = map.value(kBlocks);
    if (blocks.isValid() && blocks.userType() != QMetaType::QVariantList)
        return fail(errorText, QStringLiteral("Print document blocks are not a list"));
    const QVariantList list = blocks.toList();
    for (int i = 0; i < list.size(); ++i) {
        if (list.at(i).userType() != QMetaType::QVariantMap)
            return fail(errorText, QStringLiteral("Print block %1 is not a map").arg(i));
        DocumentBlock block;
        QString reason;
        if (!block.setMap(list.at(i).toMap(), &reason))
            return fail(errorText, QStringLiteral("Print block %1: %2").arg(i).arg(reason));
        document.m_blocks.append(block);
    }
    *this = document;
    return true;
}

bool TextPrinterDocument::operator==(const TextPrinterDocument &other) const
{
    return m_blocks == other.m_blocks && m_currentTicketAction == other.m_currentTicketAction
        && m_previousTicketAction == other.m_previousTicketAction && m_loopPolicy == other.m_loopPolicy
        && m_doInit == other.m_doInit;
}

} // namespace frprint
