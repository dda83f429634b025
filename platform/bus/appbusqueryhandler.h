#ifndef BUS_APPBUSQUERYHANDLER_H
#define BUS_APPBUSQUERYHANDLER_H

#include "appbuscommand.h"
#include "appbusobject.h"
#include "appbustimings.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>

namespace bus {

class AppBusConnection;

// The query port of one bus client: commands out and their answers back,
// shared objects loaded by name, objects published. Lives on the query
// worker's thread; open() and loadObject() block that thread only.
class AppBusQueryHandler : public QObject
{
    Q_OBJECT
public:
    AppBusQueryHandler(const QString &busName, const QStringList &objectNames,
                       const AppBusTimings &timings, QObject *parent = nullptr);
    ~AppBusQueryHandler() override;

    // Connects and greets; true when the peer welcomed us in time.
    bool open(const QString &host, quint16 port);
    bool isOpen() const;
    void close();

    // Asks the peer for the shared object and waits for it; false when the
    // peer does not have it, does not answer in time or the link fails.
    bool loadObject(const QString &name, AppBusObject &object);
    // Sends a command; its answer is handed to whoever waits for it.
    bool sendCommand(const AppBusCommand &command);
    bool publish(const AppBusObject &object);

signals:
    void closed(const QString &reason);
    void answerReceived(const bus::AppBusCommand &answer);

private:
    struct Load
    {
        bool done = false;
        bool found = false;
        AppBusObject object;
    };

    void onFrame(const QJsonObject &frame);
    void onClosed(const QString &reason);
    void dropPeer(const QString &reason);

    QString m_busName;
    AppBusTimings m_timings;
    AppBusConnection *m_connection = nullptr;
    // Commands sent and not yet answered: their waiters are released at
    // once when the connection goes, instead of sleeping to the time-out.
    QSet<QString> m_unanswered;
    QHash<QString, Load> m_loads;
};

} // namespace bus

#endif
