#ifndef FPTRSIM_UNSUPPORTEDFPTR_H
#define FPTRSIM_UNSUPPORTEDFPTR_H

#include <ifptr.h>

#define FPTRSIM_UNSUPPORTED_int(name, args) \
    int name args override { return unsupported(#name); }
#define FPTRSIM_UNSUPPORTED_ReleaseFunction(name, args)
#define FPTRSIM_UNSUPPORTED(ret, name, args) FPTRSIM_UNSUPPORTED_##ret(name, args)
#define FPTRSIM_UNSUPPORTED_ENTRY(kind, name, type) \
    FPTR_EXPAND_##kind(FPTRSIM_UNSUPPORTED, name, type)

// Every method of the generation 15 driver object answering that it is
// not supported; the simulator overrides the ones a register needs.
class UnsupportedFptr : public TED::Fptr::IFptr15
{
public:
    using AbstractErrorHandler = TED::Fptr::AbstractErrorHandler;
    using AbstractScannerEventHandler = TED::Fptr::AbstractScannerEventHandler;

    int put_AndroidContext(void *) override { return unsupported("put_AndroidContext"); }
    int get_Version(wchar_t *, int) override { return unsupported("get_Version"); }
    int get_DriverName(wchar_t *, int) override { return unsupported("get_DriverName"); }
    int get_DeviceEnabled(int *) override { return unsupported("get_DeviceEnabled"); }
    int put_DeviceEnabled(int) override { return unsupported("put_DeviceEnabled"); }
    int get_ResultCode(int *) override { return unsupported("get_ResultCode"); }
    int get_ResultDescription(wchar_t *, int) override { return unsupported("get_ResultDescription"); }
    int get_BadParam(int *) override { return unsupported("get_BadParam"); }
    int get_BadParamDescription(wchar_t *, int) override
    {
        return unsupported("get_BadParamDescription");
    }
    int get_ApplicationHandle(void **) override { return unsupported("get_ApplicationHandle"); }
    int put_ApplicationHandle(void *) override { return unsupported("put_ApplicationHandle"); }
    int ShowProperties() override { return unsupported("ShowProperties"); }
    int get_DeviceSettings(wchar_t *, int) override { return unsupported("get_DeviceSettings"); }
    int put_DeviceSettings(const wchar_t *) override { return unsupported("put_DeviceSettings"); }
    int get_DeviceSingleSetting(const wchar_t *, wchar_t *, int) override
    {
        return unsupported("get_DeviceSingleSetting");
    }
    int put_DeviceSingleSetting(const wchar_t *, const wchar_t *) override
    {
        return unsupported("put_DeviceSingleSetting");
    }
    int get_DeviceSingleSetting(const wchar_t *, int *) override
    {
        return unsupported("get_DeviceSingleSetting");
    }
    int put_DeviceSingleSetting(const wchar_t *, int) override
    {
        return unsupported("put_DeviceSingleSetting");
    }
    int get_DeviceSingleSetting(const wchar_t *, double *) override
    {
        return unsupported("get_DeviceSingleSetting");
    }
    int put_DeviceSingleSetting(const wchar_t *, double) override
    {
        return unsupported("put_DeviceSingleSetting");
    }
    int get_DeviceSingleSettingMapping(const wchar_t *, wchar_t *, int) override
    {
        return unsupported("get_DeviceSingleSettingMapping");
    }
    int ApplySingleSettings() override { return unsupported("ApplySingleSettings"); }
    int ResetSingleSettings() override { return unsupported("ResetSingleSettings"); }
    int get_LicenseValid(int *) override { return unsupported("get_LicenseValid"); }
    int get_LicenseExpiredDate(wchar_t *, int) override { return unsupported("get_LicenseExpiredDate"); }
    int put_ErrorHandler(AbstractErrorHandler *) override { return unsupported("put_ErrorHandler"); }

    FPTR_IFPTR_METHODS(FPTRSIM_UNSUPPORTED_ENTRY, FPTRSIM_UNSUPPORTED_ENTRY)

protected:
    // Records the call and the "not supported" result; returns -1.
    virtual int unsupported(const char *method) = 0;
};

#undef FPTRSIM_UNSUPPORTED_ENTRY
#undef FPTRSIM_UNSUPPORTED
#undef FPTRSIM_UNSUPPORTED_ReleaseFunction
#undef FPTRSIM_UNSUPPORTED_int

#endif
