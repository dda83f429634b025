#include "frcoreexternalapi.h"

#include <appbuspendinganswers.h>

#include <QLoggingCategory>
#include <QMetaMethod>

#include <cmath>

namespace core {

namespace {

Q_LOGGING_CATEGORY(lcCoreApi, "core.api")

const QString KeyError = QStringLiteral("error");
const QString KeyErrorText = QStringLiteral("errorText");
const QString KeyResult = QStringLiteral("result");
const QString KeyCashier = QStringLiteral("cashier");
const QString KeyPrint = QStringLiteral("print");

// Money travels as whole kopecks, whatever the number's own scale.
qint64 toKopecks(const qt5ext::FixNumber &sum)
{
    if (sum.multiplier() == 100)
        return sum.value();
    return std::llround(sum.toDouble() * 100.0);
}

} // namespace

const QString FrcoreExternalApi::FRCORE_BUSNAME = QStringLiteral("cashboxcore");

FrcoreExternalApi::FrcoreExternalApi(const QString &busName, QObject *parent)
    : QObject(parent)
    , m_busName(busName)
{
}

FrcoreExternalApi::~FrcoreExternalApi() = default;

bool FrcoreExternalApi::sendSyncCommand(const bus::AppBusCommand &command, bus::AppBusCommand &answer,
                                        int timeoutMs)
{
    bus::AppBusCommand outgoing = command;
    // Two waiters on one identifier would steal each other's answer.
    if (outgoing.uid().isEmpty() || bus::AppBusPendingAnswers::isExpected(outgoing.uid()))
        outgoing.setUid(bus::AppBusCommand::genUid());
    if (outgoing.sender().isEmpty())
        outgoing.setSender(m_busName);
    if (!isSignalConnected(QMetaMethod::fromSignal(&FrcoreExternalApi::sendCommand))) {
        qCWarning(lcCoreApi) << "command" << outgoing.name() << "cannot be sent: the client is not on the bus";
        return false;
    }
    bus::AppBusPendingAnswers::expect(outgoing.uid());
    emit sendCommand(outgoing);
    if (!bus::AppBusPendingAnswers::wait(outgoing.uid(), answer, timeoutMs)) {
        qCWarning(lcCoreApi) << "no answer to" << outgoing.name() << "from" << outgoing.reciever() << "within"
                             << timeoutMs << "ms";
        return false;
    }
    return true;
}

bus::AppBusCommand FrcoreExternalApi::coreCommand(const QString &name, const QVariantMap &params) const
{
    bus::AppBusCommand command;
    command.setName(name);
    command.setParams(params);
    command.setDt(QDateTime::currentDateTime());
    command.setNeedAnswer(true);
    command.setReciever(FRCORE_BUSNAME);
    command.setSender(m_busName);
    command.setUid(bus::AppBusCommand::genUid());
    command.setIsLogged(true);
    return command;
}

bool FrcoreExternalApi::call(const QString &name, const QVariantMap &params, int &error, QVariantMap &result,
                             QString &errorText)
{
    m_lastErrorText.clear();
    bus::AppBusCommand answer;
    if (!sendSyncCommand(coreCommand(name, params), answer, m_operationTimeoutMs)) {
        error = ERROR_TIMEOUT;
        return false;
    }
    const QVariantMap answerParams = answer.params();
    const QVariant code = answerParams.value(KeyError, 0);
    bool isNumber = false;
    error = code.toInt(&isNumber);
    if (!isNumber) {
        // A core error that is not a code still has to read as a failure.
        errorText = code.toString();
        error = -1;
    } else {
        errorText = answerParams.value(KeyErrorText).toString();
    }
    result = answerParams.value(KeyResult).toMap();
    if (error != 0) {
        m_lastErrorText = errorText;
        qCWarning(lcCoreApi) << "fiscal core refused" << name << "with error" << error << errorText;
    }
    return error == 0;
}

bool FrcoreExternalApi::call(const QString &name, const QVariantMap &params, int &error, QVariantMap &result)
{
    QString errorText;
    return call(name, params, error, result, errorText);
}

bool FrcoreExternalApi::getFsStatus(fiscal::FsStatus &status)
{
    int error = 0;
    QVariantMap result;
    if (!call(QStringLiteral("getFsStatus"), QVariantMap(), error, result))
        return false;
    status.setMap(result);
    return true;
}

bool FrcoreExternalApi::getRegData(fiscal::RegData &data)
{
    int error = 0;
    QVariantMap result;
    if (!call(QStringLiteral("getRegData"), QVariantMap(), error, result))
        return false;
    data.setMap(result);
    return true;
}

bool FrcoreExternalApi::getFullFrCoreState(QVariantMap &state, bool brief)
{
    int error = 0;
    QVariantMap result;
    const bool ok = call(QStringLiteral("getFullFrCoreState"), { { QStringLiteral("brief"), brief } }, error, result);
    state = result;
    return ok;
}

bool FrcoreExternalApi::getFiscalDoc(const Cashier &cashier, int number, bool print, QVariantMap &document)
{
    int error = 0;
    QVariantMap result;
    const QVariantMap params{ { KeyCashier, cashier.toMap() },
                              { QStringLiteral("number"), number },
                              { KeyPrint, print } };
    const bool ok = call(QStringLiteral("getFiscalDoc"), params, error, result);
    document = result;
    return ok;
}

bool FrcoreExternalApi::registreCheck(const QVariantMap &check, const Cashier &cashier, QVariantMap &result,
                                      int &error)
{
    const QVariantMap params{ { KeyCashier, cashier.toMap() }, { QStringLiteral("check"), check } };
    return call(QStringLiteral("registreCheck"), params, error, result);
}

bool FrcoreExternalApi::openCycle(const Cashier &cashier, bool print, int &error, QVariantMap &result)
{
    const QVariantMap params{ { KeyCashier, cashier.toMap() }, { KeyPrint, print } };
    return call(QStringLiteral("openCycle"), params, error, result);
}

bool FrcoreExternalApi::closeCycle(const Cashier &cashier, bool print, bool xReportBefore, int &error,
                                   QVariantMap &result)
{
    const QVariantMap params{ { KeyCashier, cashier.toMap() },
                              { KeyPrint, print },
                              { QStringLiteral("xReportBefore"), xReportBefore } };
    return call(QStringLiteral("closeCycle"), params, error, result);
}

bool FrcoreExternalApi::xReport(const Cashier &cashier, bool print, bool byCashiers, int &error, QVariantMap &result)
{
    const QVariantMap params{ { KeyCashier, cashier.toMap() },
                              { KeyPrint, print },
                              { QStringLiteral("byCashiers"), byCashiers } };
    return call(QStringLiteral("xReport"), params, error, result);
}

bool FrcoreExternalApi::calcReport(const Cashier &cashier, bool print, int &error, QVariantMap &result)
{
    const QVariantMap params{ { KeyCashier, cashier.toMap() }, { KeyPrint, print } };
    return call(QStringLiteral("calcReport"), params, error, result);
}

bool FrcoreExternalApi::printText(const Cashier &cashier, const QVariantMap &text, int &error, QVariantMap &result)
{
    const QVariantMap params{ { KeyCashier, cashier.toMap() }, { QStringLiteral("text"), text } };
    return call(QStringLiteral("printText"), params, error, result);
}

bool FrcoreExternalApi::activate(const Cashier &cashier, bool printOnly, const QVariantMap &data,
                                 const QString &sessionId, int &error, QVariantMap &result)
{
    const QVariantMap params{ { KeyCashier, cashier.toMap() },
                              { QStringLiteral("printOnly"), printOnly },
                              { QStringLiteral("data"), data },
                              { QStringLiteral("sessionId"), sessionId } };
    return call(QStringLiteral("activate"), params, error, result);
}

bool FrcoreExternalApi::introduction(const Cashier &cashier, const qt5ext::FixNumber &sum, int &error,
                                     QString &errorText)
{
    QVariantMap result;
    const QVariantMap params{ { KeyCashier, cashier.toMap() }, { QStringLiteral("sum"), toKopecks(sum) } };
    return call(QStringLiteral("introduction"), params, error, result, errorText);
}

bool FrcoreExternalApi::payout(const Cashier &cashier, const qt5ext::FixNumber &sum, int &error, QString &errorText)
{
    QVariantMap result;
    const QVariantMap params{ { KeyCashier, cashier.toMap() }, { QStringLiteral("sum"), toKopecks(sum) } };
    return call(QStringLiteral("payout"), params, error, result, errorText);
}

bool FrcoreExternalApi::closeFs(const Cashier &cashier, int &error, QString &errorText, QVariantMap &result)
{
    return call(QStringLiteral("closeFs"), { { KeyCashier, cashier.toMap() } }, error, result, errorText);
}

bool FrcoreExternalApi::getPrinterSettings(FrPrinterSettings &settings)
{
    int error = 0;
    QVariantMap result;
    if (!call(QStringLiteral("getPrinterSettings"), QVariantMap(), error, result))
        return false;
    settings.setMap(result);
    return true;
}

} // namespace core
