#ifndef TILLGATEBUSMSGWORKER_H
#define TILLGATEBUSMSGWORKER_H

#include <appbusmsgworker.h>

// Receives what is pushed to the service: the fiscal core's final answers
// to receipts ("frcoreCmdAnswer") go into the check cache under their
// session identifier; everything else takes the default way.
class TillgateBusMsgWorker : public bus::AppBusMsgWorker
{
    Q_OBJECT
public:
    TillgateBusMsgWorker();
    ~TillgateBusMsgWorker() override;

signals:
    void settingsLoaded();

protected:
    void doProcessCommand(const bus::AppBusCommand &command) override;
    void doProcessObject(const bus::AppBusObject &object) override;
};

#endif
