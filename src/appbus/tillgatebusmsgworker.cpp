#include "tillgatebusmsgworker.h"

#include "tillgateconfig.h"
#include "tillgatecashe.h"

TillgateBusMsgWorker::TillgateBusMsgWorker()
    : bus::AppBusMsgWorker(TillgateConfig::TILLGATE_BUSNAME, 1)
{
}

TillgateBusMsgWorker::~TillgateBusMsgWorker() = default;

void TillgateBusMsgWorker::doProcessCommand(const bus::AppBusCommand &command)
{
    if (command.name() != QLatin1String("frcoreCmdAnswer")) {
        unprocessedCommand(command);
        return;
    }
    const QVariantMap params = command.params();
    if (!params.contains(QStringLiteral("sessionId")))
        return;
    TillgateCashe cache;
    cache.storeOutgoingCheckData(params.value(QStringLiteral("sessionId")).toString(), params);
}

void TillgateBusMsgWorker::doProcessObject(const bus::AppBusObject &object)
{
    unprocessedObject(object);
}
