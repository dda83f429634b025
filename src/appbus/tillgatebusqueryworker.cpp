#include "tillgatebusqueryworker.h"

#include "tillgatebuslog_p.h"
#include "tillgateconfig.h"

#include <appbusqueryhandler.h>
#include <cashier.h>
#include <fsstatus.h>
#include <regdata.h>

TillgateBusQueryWorker::TillgateBusQueryWorker()
    : bus::AppBusQueryWorker(TillgateConfig::TILLGATE_BUSNAME,
                             { fiscal::FsStatus::OBJECT_NAME, core::Cashier::CASHIERS_OBJECT_NAME,
                               fiscal::RegData::BUS_OBJECT_NAME })
{
}

TillgateBusQueryWorker::~TillgateBusQueryWorker() = default;

bool TillgateBusQueryWorker::doStart()
{
    const bool result = bus::AppBusQueryWorker::doStart();
    if (!result)
        return result;
    bus::AppBusQueryHandler *handler = queryHandler();
    if (!handler || !handler->isOpen())
        return result;

    const struct
    {
        QString name;
        const char *missing;
    } objects[] = {
        { core::Cashier::CASHIERS_OBJECT_NAME, "START WITHOUT CASHIERS" },
        { fiscal::FsStatus::OBJECT_NAME, "START WITHOUT FS STATUS" },
        { fiscal::RegData::BUS_OBJECT_NAME, "START WITHOUT REG DATA" },
    };
    for (const auto &entry : objects) {
        bus::AppBusObject object;
        if (handler->loadObject(entry.name, object))
            m_storage.store(object);
        else
            qCWarning(lcTillgateBus) << entry.missing;
    }
    emit settingsReady();
    return result;
}

void TillgateBusQueryWorker::downloadSettings()
{
}

void TillgateBusQueryWorker::downloadCashiers()
{
    bus::AppBusQueryHandler *handler = queryHandler();
    if (!handler)
        return;
    bus::AppBusObject object;
    if (handler->loadObject(core::Cashier::CASHIERS_OBJECT_NAME, object))
        m_storage.store(object);
}
