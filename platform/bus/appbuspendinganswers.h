#ifndef BUS_APPBUSPENDINGANSWERS_H
#define BUS_APPBUSPENDINGANSWERS_H

#include "appbuscommand.h"

namespace bus {

// The process-wide table of commands whose senders wait for an answer, by
// command identifier. A sender registers with expect() before the command
// leaves, so an answer can never arrive unseen; wait() then sleeps on a
// condition of its own, so any number of threads wait at once without
// polling, and each wakes only for its own answer.
class AppBusPendingAnswers
{
public:
    static void expect(const QString &uid);
    // Blocks until the answer arrives (true), the command is cancelled or
    // the time-out passes (false). The entry is gone afterwards.
    static bool wait(const QString &uid, AppBusCommand &answer, int timeoutMs);
    // Hands the answer to its waiter; false when nobody waits for it.
    static bool deliver(const AppBusCommand &answer);
    // Wakes the waiter at once with a failure: the command cannot be
    // answered (it was never sent, or its connection is gone).
    static bool cancel(const QString &uid);
    static bool isExpected(const QString &uid);
    static int count();
};

} // namespace bus

#endif
