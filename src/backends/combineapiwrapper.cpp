#include "combineapiwrapper.h"

#include "combinefrworker.h"
#include "combinelog_p.h"

#include <logutils.h>

CombineApiWrapper::CombineApiWrapper(QObject *parent)
    : CombineApiWrapper(nullptr, parent)
{
}

CombineApiWrapper::CombineApiWrapper(CombineFrWorker *worker, QObject *parent)
    : BaseCoreApiWrapper(parent)
    , m_worker(worker ? worker : new CombineFrWorker(this))
{
    m_worker->setParent(this);
}

CombineApiWrapper::~CombineApiWrapper() = default;

bool CombineApiWrapper::hasApi() const
{
    return m_worker->isOpen();
}

bool CombineApiWrapper::getFsStatus(fiscal::FsStatus &)
{
    return false;
}

bool CombineApiWrapper::getFullFrCoreState(QVariantMap &state, bool)
{
    int error = 0;
    return hasApi() && m_worker->getCashboxStatus(state, error);
}

bool CombineApiWrapper::getFiscalDoc(const core::Cashier &, int, bool, QVariantMap &)
{
    return false;
}

bool CombineApiWrapper::registreCheck(const QVariantMap &check, const core::Cashier &,
                                      QVariantMap &result, int &)
{
    qCWarning(lcCombine).noquote() << "Combine receipt" << qt5ext::logvariant(check);
    if (!hasApi())
        return false;
    result = check;
    int error = 0;
    return m_worker->sendReceipt(result, error);
}

bool CombineApiWrapper::openCycle(const core::Cashier &, bool, int &, QVariantMap &result)
{
    int error = 0;
    return hasApi() && m_worker->cycleOpen(result, error);
}

bool CombineApiWrapper::closeCycle(const core::Cashier &, bool, int &, QVariantMap &result)
{
    int error = 0;
    return hasApi() && m_worker->cycleClose(result, error);
}

bool CombineApiWrapper::xReport(const core::Cashier &, bool, bool, int &, QVariantMap &)
{
    return false;
}

bool CombineApiWrapper::calcReport(const core::Cashier &, bool, int &, QVariantMap &)
{
    return false;
}

bool CombineApiWrapper::printText(const core::Cashier &, const QVariantMap &, int &,
                                  QVariantMap &)
{
    return false;
}

bool CombineApiWrapper::activate(const core::Cashier &, bool, const QString &,
                                 const QVariantMap &, int &, QVariantMap &)
{
    return false;
}

bool CombineApiWrapper::getRegData(fiscal::RegData &)
{
    return false;
}

bool CombineApiWrapper::printBbcode(const QString &, QString &, int &)
{
    return false;
}

bool CombineApiWrapper::printPlainText(QString, QString &, int &)
{
    return false;
}

bool CombineApiWrapper::introduction(const core::Cashier &, const qt5ext::FixNumber &, int &,
                                     QString &)
{
    return false;
}

bool CombineApiWrapper::payout(const core::Cashier &, const qt5ext::FixNumber &, int &,
                               QString &)
{
    return false;
}

bool CombineApiWrapper::closeFs(const core::Cashier &, int &, QString &, QVariantMap &)
{
    return false;
}
