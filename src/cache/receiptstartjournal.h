#ifndef RECEIPTSTARTJOURNAL_H
#define RECEIPTSTARTJOURNAL_H

#include <QDateTime>
#include <QString>

// Where receipt attempts began on the register, as the device worker reads
// it right before it opens a receipt: one line per attempt, appended to a
// file beside the check cache. A line is written, not flushed to the disk:
// it survives a crash of the service at once, at the cost of one system
// call, where a transaction of the cache would wait for the disk inside
// the device's job. Two files of about half a megabyte each are kept, far
// more attempts than the cache keeps sessions.
class ReceiptStartJournal
{
public:
    static constexpr qint64 ROTATE_SIZE = 512 * 1024;

    // `lastDocNumber` is -1 when the register could not tell it.
    static bool append(const QString &sessionId, qint64 lastDocNumber, const QDateTime &registerTime);
    // The newest line of the session; false when there is none.
    static bool find(const QString &sessionId, qint64 &lastDocNumber, QDateTime &registerTime);

    static QString fileName();
};

#endif
