#ifndef REGDATACACHE_H
#define REGDATACACHE_H

#include <regdata.h>

#include <QtGlobal>

// The registration data the fiscal core last answered, shared by every
// request thread. Each request fills in missing registration numbers from
// them, so without this every request, /robots.txt included, would wait for
// a bus round trip. An answer is kept until the core publishes new
// registration data on the bus, the bus link or address changes, the
// register is fiscalised or its storage closed through us (invalidate()),
// and never longer than MAX_AGE_MS, in case a core publishes nothing. A
// question the core did not answer is remembered just as long, so a silent
// core costs one time-out per MAX_AGE_MS instead of one per request.
class RegDataCache
{
public:
    static const int MAX_AGE_MS;

    // Taken before asking the core: an answer stored with a ticket issued
    // before an invalidation or a publication is dropped, so a stale answer
    // that arrives late cannot replace a newer state.
    struct Ticket
    {
        quint64 generation = 0;
        quint64 published = 0;
    };

    static Ticket ticket();
    // True when a fresh outcome is held: the data, and in `answered`
    // whether the core gave them (false: the last question failed).
    static bool get(fiscal::RegData &data, bool *answered = nullptr);
    static void put(const fiscal::RegData &data, const Ticket &ticket, bool answered = true);
    static void invalidate();
};

#endif
