#ifndef REGISTERREADING_H
#define REGISTERREADING_H

#include <QDateTime>
#include <QString>
#include <QVariantMap>

// What one background reading learnt of the register: whether it answered,
// who it is, and the figures that stop it taking receipts when they run out
// (a shift open too long, documents the fiscal data operator has not got,
// an expiring fiscal storage).
struct RegisterReading
{
    QString backend;
    // The register (or the fiscal core in front of it) answered this time.
    bool up = false;
    // The figures below come from the register; false until one reading
    // succeeded. A failed reading keeps the figures of the last good one.
    bool figures = false;
    QString model;
    QString serial;
    QString fsNumber;
    bool shiftOpen = false;
    qint64 shiftAgeSeconds = 0;
    int unsentDocuments = 0;
    qint64 oldestUnsentAgeSeconds = 0;
    bool expiryKnown = false;
    qint64 storageExpirySeconds = 0;
    bool paperKnown = false;
    bool paperPresent = false;
    double cash = 0;
    QDateTime readAt;

    // The figures of a cashbox state map (CashboxStatus::toMap form) read at
    // `now`. Ages are counted on the register's own clock when the map has
    // it, since the register judges its limits by that clock.
    void takeState(const QVariantMap &state, const QDateTime &now);
    // The one line `systemctl status` shows.
    QString statusLine(int lastErrorCode) const;
};

#endif
