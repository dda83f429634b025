#ifndef FRPRINT_TEXTPRINTERDOCUMENT_H
#define FRPRINT_TEXTPRINTERDOCUMENT_H

#include "documentblock.h"

#include <QList>
#include <QMetaType>
#include <QVariantMap>

namespace frprint {

// A non-fiscal document for a receipt printer: its blocks in print order and
// what the printer does with the ticket around them.
class TextPrinterDocument
{
public:
    // What happens to the ticket: the flags of currentTicketAction() apply
    // after this document, those of previousTicketAction() tell what the
    // document before it left behind.
    enum TicketAction : int {
        NoTicketAction = 0x00,
        FeedPaper = 0x01,
        // Feed the printed part out and cut it off.
        FinishTicket = 0x02,
        // Print the ticket header first (a new ticket begins).
        NewTicket = 0x04
    };

    // Paper loop (presenter) handling of printers that have one.
    enum LoopPolicy : int {
        NoLoop = 0x00,
        RetractOld = 0x01,
        PresentNew = 0x02
    };

    TextPrinterDocument() = default;

    void appendBlock(const DocumentBlock &block);
    QList<DocumentBlock> blocks() const { return m_blocks; }
    void setBlocks(const QList<DocumentBlock> &blocks) { m_blocks = blocks; }
    bool isEmpty() const { return m_blocks.isEmpty(); }

    int currentTicketAction() const { return m_currentTicketAction; }
    void setCurrentTicketAction(int flags) { m_currentTicketAction = flags; }
    int previousTicketAction() const { return m_previousTicketAction; }
    void setPreviousTicketAction(int flags) { m_previousTicketAction = flags; }
    int loopPolicy() const { return m_loopPolicy; }
    void setLoopPolicy(int flags) { m_loopPolicy = flags; }
    // Whether the printer is initialised (reset) before printing.
    bool doInit() const { return m_doInit; }
    void setDoInit(bool doInit) { m_doInit = doInit; }

    // "blocks" (list of block maps), "currentTicketAction",
    // "previousTicketAction", "loopPolicy", "doInit".
    QVariantMap toMap() const;
    // Reads a map made by toMap(); false with errorText, leaving the
    // document unchanged, when a value or a block is not valid.
    bool fromMap(const QVariantMap &map, QString *errorText = nullptr);

    bool operator==(const TextPrinterDocument &other) const;
    bool operator!=(const TextPrinterDocument &other) const { return !(*this == other); }

private:
    QList<DocumentBlock> m_blocks;
    int m_currentTicketAction = NoTicketAction;
    int m_previousTicketAction = NoTicketAction;
    int m_loopPolicy = NoLoop;
    bool m_doInit = true;
};

} // namespace frprint

Q_DECLARE_METATYPE(frprint::TextPrinterDocument)

#endif
