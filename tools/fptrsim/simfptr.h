#ifndef FPTRSIM_SIMFPTR_H
#define FPTRSIM_SIMFPTR_H

#include "driverproperties.h"
#include "simfaults.h"
#include "simstore.h"
#include "unsupportedfptr.h"

#include <QElapsedTimer>
#include <QMap>
#include <QString>

#include <functional>

class SimRegister;

#define FPTRSIM_GET(Name, Type, field) \
    int get_##Name(Type *value) override { return getValue("get_" #Name, value, field); }
#define FPTRSIM_PUT(Name, Type, field) \
    int put_##Name(Type value) override { return putValue("put_" #Name, value, field); }
#define FPTRSIM_GET_TEXT(Name, field) \
    int get_##Name(wchar_t *buffer, int size) override \
    { \
        return getText("get_" #Name, buffer, size, field); \
    }
#define FPTRSIM_PUT_TEXT(Name, field) \
    int put_##Name(const wchar_t *value) override { return putText("put_" #Name, value, field); }
#define FPTRSIM_PROPERTY(Name, Type, field) FPTRSIM_GET(Name, Type, field) FPTRSIM_PUT(Name, Type, field)
#define FPTRSIM_TEXT_PROPERTY(Name, field) FPTRSIM_GET_TEXT(Name, field) FPTRSIM_PUT_TEXT(Name, field)

// The simulated driver object: the properties a caller puts and reads
// back, the device settings, and the device commands, each run on the
// register state of the state directory under its lock. Every call is
// logged in calls.log and may be made to fail through the faults file.
class SimFptr : public UnsupportedFptr
{
public:
    SimFptr();
    // Notes in timing.log how long the calls of this load took inside the
    // simulator, so a benchmark can tell the caller's own time from ours.
    ~SimFptr() override;

    // Settings, connection and results.
    int get_Version(wchar_t *buffer, int size) override;
    int get_DriverName(wchar_t *buffer, int size) override;
    int get_DeviceEnabled(int *value) override;
    int put_DeviceEnabled(int value) override;
    int get_ResultCode(int *value) override;
    int get_ResultDescription(wchar_t *buffer, int size) override;
    int get_BadParamDescription(wchar_t *buffer, int size) override;
    int get_DeviceSettings(wchar_t *buffer, int size) override;
    int put_DeviceSettings(const wchar_t *settings) override;
    int get_DeviceSingleSetting(const wchar_t *name, wchar_t *buffer, int size) override;
    int put_DeviceSingleSetting(const wchar_t *name, const wchar_t *value) override;
    int get_DeviceSingleSetting(const wchar_t *name, int *value) override;
    int put_DeviceSingleSetting(const wchar_t *name, int value) override;
    int get_DeviceSingleSetting(const wchar_t *name, double *value) override;
    int put_DeviceSingleSetting(const wchar_t *name, double value) override;
    int ApplySingleSettings() override;
    int ResetSingleSettings() override;
    TED::Fptr::ReleaseFunction get_ReleaseFunction() override;
    int get_UserPassword(wchar_t *buffer, int size) override;
    int put_UserPassword(const wchar_t *value) override;

    // Device commands.
    int GetStatus() override;
    int GetDeviceMetrics() override;
    int GetRegister() override;
    int SetMode() override;
    int ResetMode() override;
    int SetTableField() override;
    int GetTableField() override;
    int OpenSession() override;
    int Report() override;
    int CashIncome() override;
    int CashOutcome() override;
    int RunFNCommand() override;
    int PrintString() override;
    int PrintBarcode() override;
    int PrintPicture() override;
    int EndDocument() override;
    int PartialCut() override;
    int FullCut() override;
    int OpenCheck() override;
    int Registration() override;
    int Payment() override;
    int CloseCheck() override;
    int CancelCheck() override;
    int WriteFiscalProperty() override;
    int AddFiscalProperty() override;
    int ResetFiscalProperties() override;

    // Properties.
    FPTRSIM_TEXT_PROPERTY(Caption, m_props.caption)
    FPTRSIM_PROPERTY(Alignment, int, m_props.alignment)
    FPTRSIM_PROPERTY(TextWrap, int, m_props.textWrap)
    FPTRSIM_TEXT_PROPERTY(Barcode, m_props.barcode)
    FPTRSIM_PROPERTY(BarcodeType, int, m_props.barcodeType)
    FPTRSIM_TEXT_PROPERTY(FileName, m_props.fileName)
    FPTRSIM_PROPERTY(TypeClose, int, m_props.typeClose)
    FPTRSIM_PROPERTY(Summ, double, m_props.summ)
    FPTRSIM_PROPERTY(CheckType, int, m_props.checkType)
    FPTRSIM_GET(CheckState, int, m_props.checkState)
    FPTRSIM_PROPERTY(CheckNumber, int, m_props.checkNumber)
    FPTRSIM_PROPERTY(RegisterNumber, int, m_props.registerNumber)
    FPTRSIM_PROPERTY(DocNumber, int, m_props.docNumber)
    FPTRSIM_GET(SessionOpened, int, m_props.sessionOpened)
    FPTRSIM_PROPERTY(Session, int, m_props.session)
    FPTRSIM_GET(CheckPaperPresent, int, m_props.checkPaperPresent)
    FPTRSIM_TEXT_PROPERTY(Name, m_props.name)
    FPTRSIM_PROPERTY(Price, double, m_props.price)
    FPTRSIM_PROPERTY(Quantity, double, m_props.quantity)
    FPTRSIM_PROPERTY(Department, int, m_props.department)
    FPTRSIM_PROPERTY(ReportType, int, m_props.reportType)
    FPTRSIM_GET(Model, int, m_props.model)
    FPTRSIM_PROPERTY(TaxNumber, int, m_props.taxNumber)
    FPTRSIM_TEXT_PROPERTY(INN, m_props.inn)
    FPTRSIM_TEXT_PROPERTY(MachineNumber, m_props.machineNumber)
    FPTRSIM_PROPERTY(Table, int, m_props.table)
    FPTRSIM_PROPERTY(Row, int, m_props.row)
    FPTRSIM_PROPERTY(Field, int, m_props.field)
    FPTRSIM_PROPERTY(FieldType, int, m_props.fieldType)
    FPTRSIM_TEXT_PROPERTY(CommandBuffer, m_props.commandBuffer)
    FPTRSIM_GET_TEXT(AnswerBuffer, m_props.answerBuffer)
    FPTRSIM_PROPERTY(Count, int, m_props.count)
    FPTRSIM_GET(Operator, int, m_props.operatorNumber)
    FPTRSIM_GET(Remainder, double, m_props.remainder)
    FPTRSIM_GET(Change, double, m_props.change)
    FPTRSIM_GET(LogicalNumber, int, m_props.logicalNumber)
    FPTRSIM_GET(CharLineLength, int, m_props.charLineLength)
    FPTRSIM_TEXT_PROPERTY(SerialNumber, m_props.serialNumber)
    FPTRSIM_GET(Fiscal, int, m_props.fiscal)
    FPTRSIM_PROPERTY(Mode, int, m_props.mode)
    FPTRSIM_GET(AdvancedMode, int, m_props.advancedMode)
    FPTRSIM_GET_TEXT(DeviceDescription, m_props.deviceDescription)
    FPTRSIM_PROPERTY(PrintCheck, int, m_props.printCheck)
    FPTRSIM_PROPERTY(FiscalPropertyNumber, int, m_props.fiscalPropertyNumber)
    FPTRSIM_TEXT_PROPERTY(FiscalPropertyValue, m_props.fiscalPropertyValue)
    FPTRSIM_PROPERTY(FiscalPropertyType, int, m_props.fiscalPropertyType)
    FPTRSIM_PROPERTY(FiscalPropertyPrint, int, m_props.fiscalPropertyPrint)
    FPTRSIM_PROPERTY(PositionType, int, m_props.positionType)
    FPTRSIM_PROPERTY(PositionPaymentType, int, m_props.positionPaymentType)
    FPTRSIM_PROPERTY(PositionSum, double, m_props.positionSum)
    FPTRSIM_GET(FfdVersion, int, m_props.ffdVersion)
    FPTRSIM_GET(DeviceFfdVersion, int, m_props.deviceFfdVersion)
    FPTRSIM_GET(FNFfdVersion, int, m_props.fnFfdVersion)
    FPTRSIM_GET(CommandCode, int, m_props.commandCode)
    FPTRSIM_GET(ErrorCode, int, m_props.errorCode)
    int get_Date(int *day, int *month, int *year) override;
    int put_Date(int day, int month, int year) override;
    int get_Time(int *hour, int *minute, int *second) override;
    int put_Time(int hour, int minute, int second) override;

protected:
    int unsupported(const char *method) override;

private:
    // Logs the call; the failure the faults file asks for, or 0.
    int begin(const char *method, const QString &arguments = QString());
    // Stores the result of the call; returns what the method returns.
    int finish(int code, const QString &badParam = QString());
    // Ends the process for the fault, taken out of the faults file first.
    [[noreturn]] void abortNow(const QString &fault);
    int device(const char *method, const std::function<int(SimRegister &)> &command);

    int getValue(const char *method, int *value, int field);
    int getValue(const char *method, double *value, double field);
    int putValue(const char *method, int value, int &field);
    int putValue(const char *method, double value, double &field);
    int getText(const char *method, wchar_t *buffer, int size, const QString &text);
    int putText(const char *method, const wchar_t *value, QString &field);
    int getSetting(const char *method, const wchar_t *name, QString &value);
    int putSetting(const char *method, const wchar_t *name, const QString &value);

    SimStore m_store;
    QElapsedTimer m_callClock;
    qint64 m_busyNs = 0;
    int m_calls = 0;
    QString m_faultsText;
    SimFaults m_faults;
    // The method now running, when it is to end the process once done.
    QString m_abortAfter;
    DriverProperties m_props;
    QMap<QString, QString> m_settings;
    QMap<QString, QString> m_pending;
    bool m_enabled = false;
    int m_resultCode = 0;
    QString m_badParam;
};

#undef FPTRSIM_TEXT_PROPERTY
#undef FPTRSIM_PROPERTY
#undef FPTRSIM_PUT_TEXT
#undef FPTRSIM_GET_TEXT
#undef FPTRSIM_PUT
#undef FPTRSIM_GET

#endif
