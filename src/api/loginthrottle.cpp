#include "loginthrottle.h"

#include <QMutexLocker>

LoginThrottle::LoginThrottle()
{
    m_clock.start();
}

QString LoginThrottle::keyOf(const QHostAddress &peer)
{
    // One client seen over IPv4 and as an IPv4-mapped IPv6 address is one.
    bool isV4 = false;
    const quint32 v4 = peer.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : peer.toString();
}

int LoginThrottle::retryAfter(const QHostAddress &peer)
{
    return retryAfter(peer, m_clock.elapsed());
}

void LoginThrottle::failed(const QHostAddress &peer)
{
    failed(peer, m_clock.elapsed());
}

void LoginThrottle::succeeded(const QHostAddress &peer)
{
    QMutexLocker locker(&m_mutex);
    m_entries.remove(keyOf(peer));
}

int LoginThrottle::retryAfter(const QHostAddress &peer, qint64 now)
{
    QMutexLocker locker(&m_mutex);
    const auto found = m_entries.constFind(keyOf(peer));
    if (found == m_entries.constEnd() || found->heldUntil <= now)
        return 0;
    return int((found->heldUntil - now + 999) / 1000);
}

bool LoginThrottle::isQuiet(const Entry &entry, qint64 now) const
{
    // The doubled hold is kept as long as the longest hold lasts after the
    // last failure, so waiting out a window does not start afresh.
    return entry.heldUntil <= now && now - entry.lastFailure > qMax(FAILURE_WINDOW_MS, MAX_HOLD_MS);
}

void LoginThrottle::forgetQuiet(qint64 now)
{
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (isQuiet(it.value(), now))
            it = m_entries.erase(it);
        else
            ++it;
    }
}

void LoginThrottle::failed(const QHostAddress &peer, qint64 now)
{
    QMutexLocker locker(&m_mutex);
    const QString key = keyOf(peer);
    if (!m_entries.contains(key) && m_entries.size() >= MAX_ADDRESSES) {
        forgetQuiet(now);
        // Still full: the longest quiet address makes room.
        if (m_entries.size() >= MAX_ADDRESSES) {
            auto oldest = m_entries.begin();
            for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
                if (it->lastFailure < oldest->lastFailure)
                    oldest = it;
            }
            m_entries.erase(oldest);
        }
    }
    Entry &entry = m_entries[key];
    if (isQuiet(entry, now))
        entry = Entry();
    entry.lastFailure = now;
    entry.failures.append(now);
    while (!entry.failures.isEmpty() && now - entry.failures.first() >= FAILURE_WINDOW_MS)
        entry.failures.removeFirst();
    if (entry.hold == 0 && entry.failures.size() < MAX_FAILURES)
        return;
    entry.hold = entry.hold == 0 ? FIRST_HOLD_MS : qMin(entry.hold * 2, MAX_HOLD_MS);
    entry.heldUntil = now + entry.hold;
}
