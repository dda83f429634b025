#ifndef FPTR_IDTOBASE_H
#define FPTR_IDTOBASE_H

namespace TED {
namespace Fptr {

class AbstractErrorHandler;
class AbstractScannerEventHandler;

// Base of every driver object. Text crosses the interface as wchar_t
// (4 bytes on Linux); getters of text take a buffer and its capacity and
// return the length they need. The order of the declarations is the
// order of the virtual table and must not change.
class IDTOBase
{
public:
    virtual ~IDTOBase() {}

    virtual int put_AndroidContext(void *context) = 0;
    virtual int get_Version(wchar_t *buffer, int size) = 0;
    virtual int get_DriverName(wchar_t *buffer, int size) = 0;
    virtual int get_DeviceEnabled(int *value) = 0;
    virtual int put_DeviceEnabled(int value) = 0;
    virtual int get_ResultCode(int *value) = 0;
    virtual int get_ResultDescription(wchar_t *buffer, int size) = 0;
    virtual int get_BadParam(int *value) = 0;
    virtual int get_BadParamDescription(wchar_t *buffer, int size) = 0;
    virtual int get_ApplicationHandle(void **value) = 0;
    virtual int put_ApplicationHandle(void *value) = 0;
    virtual int ShowProperties() = 0;
    virtual int get_DeviceSettings(wchar_t *buffer, int size) = 0;
    virtual int put_DeviceSettings(const wchar_t *settings) = 0;
    virtual int get_DeviceSingleSetting(const wchar_t *name, wchar_t *buffer, int size) = 0;
    virtual int put_DeviceSingleSetting(const wchar_t *name, const wchar_t *value) = 0;
    virtual int get_DeviceSingleSetting(const wchar_t *name, int *value) = 0;
    virtual int put_DeviceSingleSetting(const wchar_t *name, int value) = 0;
    virtual int get_DeviceSingleSetting(const wchar_t *name, double *value) = 0;
    virtual int put_DeviceSingleSetting(const wchar_t *name, double value) = 0;
    virtual int get_DeviceSingleSettingMapping(const wchar_t *name, wchar_t *buffer, int size) = 0;
    virtual int ApplySingleSettings() = 0;
    virtual int ResetSingleSettings() = 0;
    virtual int get_LicenseValid(int *value) = 0;
    virtual int get_LicenseExpiredDate(wchar_t *buffer, int size) = 0;
    virtual int put_ErrorHandler(AbstractErrorHandler *handler) = 0;
};

} // namespace Fptr
} // namespace TED

#endif
