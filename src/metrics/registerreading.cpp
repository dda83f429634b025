#include "registerreading.h"

#include <cashboxstatus.h>

void RegisterReading::takeState(const QVariantMap &state, const QDateTime &now)
{
    core::CashboxStatus status;
    status.setMap(state);
    const fiscal::FsStatus fs = status.fs();
    const QDateTime clock = status.dt().isValid() ? status.dt() : now;

    figures = true;
    readAt = now;
    // Identity from the map's own keys: the brief form carries no
    // registration record.
    const QString modelName = state.value(QStringLiteral("modelstr")).toString().trimmed();
    model = modelName.isEmpty() ? state.value(QStringLiteral("model")).toString() : modelName;
    serial = state.value(QStringLiteral("serial")).toString().trimmed();
    fsNumber = fs.fsNumber().trimmed();
    shiftOpen = fs.shiftOpened();
    shiftAgeSeconds = shiftOpen && status.cycleOpened().isValid()
                          ? qMax<qint64>(0, status.cycleOpened().secsTo(clock))
                          : 0;
    const fiscal::FsOfdTransportState transport = fs.transportState();
    unsentDocuments = transport.isValid() ? transport.unsentCount() : 0;
    oldestUnsentAgeSeconds = unsentDocuments > 0 && transport.firstUnsentDt().isValid()
                                 ? qMax<qint64>(0, transport.firstUnsentDt().secsTo(clock))
                                 : 0;
    const fiscal::FsLifeTimeData life = fs.lifeTime();
    expiryKnown = life.isValid() && life.expiryDate().isValid();
    // The storage works through its last day.
    storageExpirySeconds = expiryKnown ? clock.secsTo(QDateTime(life.expiryDate().addDays(1), QTime(0, 0))) : 0;
    paperKnown = status.paperKnown();
    paperPresent = status.paperPresent();
    cash = status.cash();
}

QString RegisterReading::statusLine(int lastErrorCode) const
{
    QString line = backend;
    if (!serial.isEmpty())
        line += QStringLiteral(" register %1").arg(serial);
    if (!up)
        line += QStringLiteral(", not answering");
    if (figures)
        line += shiftOpen ? QStringLiteral(", shift open") : QStringLiteral(", shift closed");
    if (figures && paperKnown && !paperPresent)
        line += QStringLiteral(", no paper");
    line += lastErrorCode == 0 ? QStringLiteral(", last error: none")
                               : QStringLiteral(", last error: %1").arg(lastErrorCode);
    return line;
}
