#include "simfptr.h"

#include "devicesettings.h"
#include "fiscalstorage.h"
#include "resulttexts.h"
#include "simlog.h"
#include "simreceipt.h"
#include "simregister.h"

#include <fptrtypes.h>

#include <QJsonDocument>
#include <QThread>

#include <cstdlib>
#include <string>

using namespace TED::Fptr;

namespace {

QString fromWide(const wchar_t *text)
{
    return text ? QString::fromWCharArray(text) : QString();
}

// Copies as much of `text` as fits with its terminating zero; returns the
// length the caller needs.
int toWide(const QString &text, wchar_t *buffer, int size)
{
    const std::wstring wide = text.toStdWString();
    if (buffer && size > 0) {
        const int count = qMin(int(wide.size()), size - 1);
        wide.copy(buffer, size_t(count));
        buffer[count] = L'\0';
    }
    return int(wide.size());
}

} // namespace

SimFptr::SimFptr()
    : m_settings(DeviceSettings::defaults())
    , m_pending(m_settings)
{
}

SimFptr::~SimFptr()
{
    m_store.appendTiming(m_calls, m_busyNs);
}

int SimFptr::begin(const char *method, const QString &arguments)
{
    m_callClock.start();
    m_store.appendCall(QStringLiteral("%1(%2)").arg(QLatin1String(method), arguments));
    // Read at every call; parsed (and complained about) when it changed.
    const QString faults = m_store.faultsText();
    if (faults != m_faultsText) {
        m_faultsText = faults;
        m_faults = SimFaults::parse(faults);
    }
    const QString name = QLatin1String(method);
    if (m_faults.abortBefore(name))
        abortNow(QStringLiteral("abort-before ") + name);
    m_abortAfter = m_faults.abortAfter(name) ? name : QString();
    if (const int delay = m_faults.delay(name))
        QThread::msleep(ulong(delay));
    return m_faults.failure(name);
}

void SimFptr::abortNow(const QString &fault)
{
    // Once only: a restarted process must get past this call.
    m_store.removeFault(fault);
    qCWarning(lcFptrSim, "fault \"%s\": the process ends", qUtf8Printable(fault));
    std::abort();
}

int SimFptr::finish(int code, const QString &badParam)
{
    if (!m_abortAfter.isEmpty())
        abortNow(QStringLiteral("abort-after ") + m_abortAfter);
    if (m_callClock.isValid()) {
        m_busyNs += m_callClock.nsecsElapsed();
        ++m_calls;
        m_callClock.invalidate();
    }
    m_resultCode = code;
    m_badParam = code == EC_INVALID_PARAM ? badParam : QString();
    return code < 0 ? -1 : 0;
}

int SimFptr::unsupported(const char *method)
{
    const int fault = begin(method);
    return finish(fault ? fault : EC_NOT_SUPPORTED);
}

int SimFptr::device(const char *method, const std::function<int(SimRegister &)> &command)
{
    if (int fault = begin(method))
        return finish(fault);
    if (!m_enabled)
        return finish(EC_NOT_ENABLED);
    if (m_faults.offline())
        return finish(EC_CONNECTION_LOST);

    const SimStore::Lock lock(m_store);
    if (!lock.isLocked()) {
        qCCritical(lcFptrSim, "%s: %s", method, qUtf8Printable(lock.error()));
        return finish(EC_UNKNOWN);
    }
    RegisterState state;
    bool created = false;
    QString error;
    if (!m_store.load(state, created, error)) {
        qCCritical(lcFptrSim, "%s: register state unusable, nothing done: %s", method, qUtf8Printable(error));
        return finish(EC_FN_FATAL);
    }
    const QDateTime now = QDateTime::currentDateTime();
    if (created)
        FiscalStorage(state).initialise(now);
    const QJsonObject before = state.toJson();
    m_props.model = state.model;

    SimRegister reg(state, m_props, m_faults.paperOut(), now);
    const int code = command(reg);
    if ((created || state.toJson() != before) && !m_store.save(state, error)) {
        qCCritical(lcFptrSim, "%s: %s", method, qUtf8Printable(error));
        return finish(EC_UNKNOWN);
    }
    m_store.appendTape(reg.tape());
    return finish(code, reg.badParam());
}

int SimFptr::getValue(const char *method, int *value, int field)
{
    if (int fault = begin(method))
        return finish(fault);
    if (!value)
        return finish(EC_INVALID_PARAM, QStringLiteral("value"));
    *value = field;
    return finish(EC_OK);
}

int SimFptr::getValue(const char *method, double *value, double field)
{
    if (int fault = begin(method))
        return finish(fault);
    if (!value)
        return finish(EC_INVALID_PARAM, QStringLiteral("value"));
    *value = field;
    return finish(EC_OK);
}

int SimFptr::putValue(const char *method, int value, int &field)
{
    if (int fault = begin(method, QString::number(value)))
        return finish(fault);
    field = value;
    return finish(EC_OK);
}

int SimFptr::putValue(const char *method, double value, double &field)
{
    if (int fault = begin(method, QString::number(value, 'g', 15)))
        return finish(fault);
    field = value;
    return finish(EC_OK);
}

int SimFptr::getText(const char *method, wchar_t *buffer, int size, const QString &text)
{
    if (int fault = begin(method))
        return finish(fault);
    finish(EC_OK);
    return toWide(text, buffer, size);
}

int SimFptr::putText(const char *method, const wchar_t *value, QString &field)
{
    const QString text = fromWide(value);
    if (int fault = begin(method, text))
        return finish(fault);
    field = text;
    return finish(EC_OK);
}

int SimFptr::get_Version(wchar_t *buffer, int size)
{
    return getText("get_Version", buffer, size, QStringLiteral("8.0.0 fptrsim"));
}

int SimFptr::get_DriverName(wchar_t *buffer, int size)
{
    return getText("get_DriverName", buffer, size, QStringLiteral("fptrsim"));
}

int SimFptr::get_DeviceEnabled(int *value)
{
    return getValue("get_DeviceEnabled", value, m_enabled ? 1 : 0);
}

int SimFptr::put_DeviceEnabled(int value)
{
    if (int fault = begin("put_DeviceEnabled", QString::number(value)))
        return finish(fault);
    if (value != 0 && m_faults.offline()) {
        m_enabled = false;
        return finish(EC_NOT_CONNECTED);
    }
    m_enabled = value != 0;
    // Connecting tells the driver which model it talks to.
    if (m_enabled && m_props.model == 0)
        m_props.model = m_settings.value(QStringLiteral("Model")).toInt();
    return finish(EC_OK);
}

int SimFptr::get_ResultCode(int *value)
{
    m_store.appendCall(QStringLiteral("get_ResultCode()"));
    if (!value)
        return -1;
    *value = m_resultCode;
    return 0;
}

int SimFptr::get_ResultDescription(wchar_t *buffer, int size)
{
    m_store.appendCall(QStringLiteral("get_ResultDescription()"));
    return toWide(ResultTexts::text(m_resultCode), buffer, size);
}

int SimFptr::get_BadParamDescription(wchar_t *buffer, int size)
{
    m_store.appendCall(QStringLiteral("get_BadParamDescription()"));
    return toWide(m_badParam, buffer, size);
}

int SimFptr::get_DeviceSettings(wchar_t *buffer, int size)
{
    return getText("get_DeviceSettings", buffer, size, DeviceSettings::toText(m_settings));
}

int SimFptr::put_DeviceSettings(const wchar_t *settings)
{
    const QString text = fromWide(settings);
    if (int fault = begin("put_DeviceSettings", text))
        return finish(fault);
    QMap<QString, QString> read = DeviceSettings::defaults();
    QMap<QString, QString> given;
    if (!DeviceSettings::fromText(text, given))
        return finish(EC_INVALID_PARAM, QStringLiteral("DeviceSettings"));
    for (auto it = given.cbegin(); it != given.cend(); ++it)
        read.insert(it.key(), it.value());
    const QString invalid = DeviceSettings::invalidSetting(read);
    if (!invalid.isEmpty())
        return finish(EC_INVALID_PARAM, invalid);
    m_settings = m_pending = read;
    m_props.userPassword = read.value(QStringLiteral("UserPassword"));
    return finish(EC_OK);
}

int SimFptr::getSetting(const char *method, const wchar_t *name, QString &value)
{
    const QString key = fromWide(name);
    if (int fault = begin(method, key))
        return finish(fault);
    if (!m_pending.contains(key))
        return finish(EC_INVALID_PARAM, key);
    value = m_pending.value(key);
    return finish(EC_OK);
}

int SimFptr::putSetting(const char *method, const wchar_t *name, const QString &value)
{
    const QString key = fromWide(name);
    if (int fault = begin(method, key + QStringLiteral(", ") + value))
        return finish(fault);
    if (key.isEmpty())
        return finish(EC_INVALID_PARAM, QStringLiteral("name"));
    m_pending.insert(key, value);
    // The operator password counts from the moment it is put.
    if (key == QLatin1String("UserPassword"))
        m_props.userPassword = value;
    return finish(EC_OK);
}

int SimFptr::get_DeviceSingleSetting(const wchar_t *name, wchar_t *buffer, int size)
{
    QString value;
    if (getSetting("get_DeviceSingleSetting", name, value) < 0)
        return -1;
    return toWide(value, buffer, size);
}

int SimFptr::put_DeviceSingleSetting(const wchar_t *name, const wchar_t *value)
{
    return putSetting("put_DeviceSingleSetting", name, fromWide(value));
}

int SimFptr::get_DeviceSingleSetting(const wchar_t *name, int *value)
{
    QString text;
    if (getSetting("get_DeviceSingleSetting", name, text) < 0)
        return -1;
    bool ok = false;
    const int number = text.trimmed().toInt(&ok);
    if (!ok || !value)
        return finish(EC_INVALID_PARAM, fromWide(name));
    *value = number;
    return 0;
}

int SimFptr::put_DeviceSingleSetting(const wchar_t *name, int value)
{
    return putSetting("put_DeviceSingleSetting", name, QString::number(value));
}

int SimFptr::get_DeviceSingleSetting(const wchar_t *name, double *value)
{
    QString text;
    if (getSetting("get_DeviceSingleSetting", name, text) < 0)
        return -1;
    bool ok = false;
    const double number = text.trimmed().toDouble(&ok);
    if (!ok || !value)
        return finish(EC_INVALID_PARAM, fromWide(name));
    *value = number;
    return 0;
}

int SimFptr::put_DeviceSingleSetting(const wchar_t *name, double value)
{
    return putSetting("put_DeviceSingleSetting", name, QString::number(value, 'g', 15));
}

int SimFptr::ApplySingleSettings()
{
    if (int fault = begin("ApplySingleSettings"))
        return finish(fault);
    const QString invalid = DeviceSettings::invalidSetting(m_pending);
    if (!invalid.isEmpty())
        return finish(EC_INVALID_PARAM, invalid);
    m_settings = m_pending;
    return finish(EC_OK);
}

int SimFptr::ResetSingleSettings()
{
    if (int fault = begin("ResetSingleSettings"))
        return finish(fault);
    m_pending = m_settings;
    m_props.userPassword = m_settings.value(QStringLiteral("UserPassword"));
    return finish(EC_OK);
}

ReleaseFunction SimFptr::get_ReleaseFunction()
{
    m_store.appendCall(QStringLiteral("get_ReleaseFunction()"));
    return &ReleaseFptrInterface;
}

int SimFptr::get_UserPassword(wchar_t *buffer, int size)
{
    return getText("get_UserPassword", buffer, size, m_props.userPassword);
}

int SimFptr::put_UserPassword(const wchar_t *value)
{
    if (putText("put_UserPassword", value, m_props.userPassword) < 0)
        return -1;
    m_pending.insert(QStringLiteral("UserPassword"), m_props.userPassword);
    return 0;
}

int SimFptr::get_Date(int *day, int *month, int *year)
{
    if (int fault = begin("get_Date"))
        return finish(fault);
    if (!day || !month || !year)
        return finish(EC_INVALID_PARAM, QStringLiteral("value"));
    *day = m_props.day;
    *month = m_props.month;
    *year = m_props.year;
    return finish(EC_OK);
}

int SimFptr::put_Date(int day, int month, int year)
{
    if (int fault = begin("put_Date", QStringLiteral("%1, %2, %3").arg(day).arg(month).arg(year)))
        return finish(fault);
    m_props.day = day;
    m_props.month = month;
    m_props.year = year;
    return finish(EC_OK);
}

int SimFptr::get_Time(int *hour, int *minute, int *second)
{
    if (int fault = begin("get_Time"))
        return finish(fault);
    if (!hour || !minute || !second)
        return finish(EC_INVALID_PARAM, QStringLiteral("value"));
    *hour = m_props.hour;
    *minute = m_props.minute;
    *second = m_props.second;
    return finish(EC_OK);
}

int SimFptr::put_Time(int hour, int minute, int second)
{
    if (int fault = begin("put_Time", QStringLiteral("%1, %2, %3").arg(hour).arg(minute).arg(second)))
        return finish(fault);
    m_props.hour = hour;
    m_props.minute = minute;
    m_props.second = second;
    return finish(EC_OK);
}

#define FPTRSIM_COMMAND(Name, call) \
    int SimFptr::Name() \
    { \
        return device(#Name, [](SimRegister &reg) { return call; }); \
    }

FPTRSIM_COMMAND(GetStatus, reg.getStatus())
FPTRSIM_COMMAND(GetDeviceMetrics, reg.getDeviceMetrics())
FPTRSIM_COMMAND(GetRegister, reg.getRegister())
FPTRSIM_COMMAND(SetMode, reg.setMode())
FPTRSIM_COMMAND(ResetMode, reg.resetMode())
FPTRSIM_COMMAND(SetTableField, reg.setTableField())
FPTRSIM_COMMAND(GetTableField, reg.getTableField())
FPTRSIM_COMMAND(OpenSession, reg.openSession())
FPTRSIM_COMMAND(Report, reg.report())
FPTRSIM_COMMAND(CashIncome, reg.cashIncome())
FPTRSIM_COMMAND(CashOutcome, reg.cashOutcome())
FPTRSIM_COMMAND(PrintString, reg.printString())
FPTRSIM_COMMAND(PrintBarcode, reg.printBarcode())
FPTRSIM_COMMAND(PrintPicture, reg.printPicture())
FPTRSIM_COMMAND(EndDocument, reg.finishTicket())
FPTRSIM_COMMAND(PartialCut, reg.finishTicket())
FPTRSIM_COMMAND(FullCut, reg.finishTicket())
FPTRSIM_COMMAND(OpenCheck, SimReceipt(reg).openCheck())
FPTRSIM_COMMAND(Registration, SimReceipt(reg).registration())
FPTRSIM_COMMAND(Payment, SimReceipt(reg).payment())
FPTRSIM_COMMAND(CloseCheck, SimReceipt(reg).closeCheck())
FPTRSIM_COMMAND(CancelCheck, SimReceipt(reg).cancelCheck())
FPTRSIM_COMMAND(WriteFiscalProperty, SimReceipt(reg).writeFiscalProperty())
FPTRSIM_COMMAND(AddFiscalProperty, SimReceipt(reg).addFiscalProperty())

#undef FPTRSIM_COMMAND

int SimFptr::RunFNCommand()
{
    const int result = device("RunFNCommand", [](SimRegister &reg) { return reg.runFnCommand(); });
    // A broken storage: past the document's last record it goes on
    // answering records of a tag nobody knows.
    if (result < 0 && m_resultCode == EC_BAD_DATA && m_faults.endlessRecords()
        && m_props.commandBuffer.trimmed() == QLatin1String("46")) {
        m_props.answerBuffer = QStringLiteral("FF FF 00");
        return finish(EC_OK);
    }
    return result;
}

int SimFptr::ResetFiscalProperties()
{
    if (int fault = begin("ResetFiscalProperties"))
        return finish(fault);
    m_props.positionProperties.clear();
    return finish(EC_OK);
}
