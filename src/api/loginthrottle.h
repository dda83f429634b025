#ifndef LOGINTHROTTLE_H
#define LOGINTHROTTLE_H

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QVector>

// Slows down password guessing per peer address. After MAX_FAILURES failed
// logins within FAILURE_WINDOW_MS an address is held off for a while, one
// second at first and twice as long after each further failure, up to
// MAX_HOLD_MS; a successful login forgets the address. A cashier's typo
// costs a second, a guesser gets a few tries per five minutes. Shared by
// all connection threads.
class LoginThrottle
{
public:
    static constexpr int MAX_FAILURES = 5;
    static constexpr qint64 FAILURE_WINDOW_MS = 60 * 1000;
    static constexpr qint64 FIRST_HOLD_MS = 1000;
    static constexpr qint64 MAX_HOLD_MS = 5 * 60 * 1000;
    // Addresses kept at most; quiet ones are forgotten first.
    static constexpr int MAX_ADDRESSES = 4096;

    LoginThrottle();

    // Whole seconds until the address may try again, 0 when it may now.
    int retryAfter(const QHostAddress &peer);
    void failed(const QHostAddress &peer);
    void succeeded(const QHostAddress &peer);

    // The same against a clock the caller gives, in milliseconds.
    int retryAfter(const QHostAddress &peer, qint64 now);
    void failed(const QHostAddress &peer, qint64 now);

private:
    struct Entry
    {
        QVector<qint64> failures;
        qint64 heldUntil = 0;
        qint64 hold = 0;
        qint64 lastFailure = 0;
    };
    static QString keyOf(const QHostAddress &peer);
    bool isQuiet(const Entry &entry, qint64 now) const;
    void forgetQuiet(qint64 now);

    QMutex m_mutex;
    QElapsedTimer m_clock;
    QHash<QString, Entry> m_entries;
};

#endif
