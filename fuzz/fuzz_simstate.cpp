// The files of the ATOL driver simulator: the first byte picks the register
// state file (state.json, read before every device command) or the device
// settings text the driver takes through put_DeviceSettings; the rest is the
// content; an empty state file stands for none, so the simulator writes a
// fresh register. The simulator is linked as the service's ATOL worker would
// load it.
#include "fuzzsupport.h"

#include <ifptr.h>

#include <QFile>

#include <string>

extern "C" TED::Fptr::IFptr *CreateFptrInterface(int version);
extern "C" void ReleaseFptrInterface(TED::Fptr::IFptr **object);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzsupport::setUp();
    static const QString state = [] {
        qputenv("FPTR_SIM_DIR", fuzzsupport::scratchDir().toLocal8Bit());
        return fuzzsupport::scratchDir() + QStringLiteral("/state.json");
    }();
    if (size < 1)
        return 0;
    TED::Fptr::IFptr *fptr = CreateFptrInterface(15);
    if (!fptr)
        return 0;
    const QByteArray content = fuzzsupport::bytes(data + 1, size - 1);
    if (data[0] % 2 == 0) {
        QFile::remove(state);
        QFile file(state);
        if (content.isEmpty() || (file.open(QIODevice::WriteOnly) && file.write(content) == content.size())) {
            file.close();
            fptr->put_DeviceSingleSetting(L"Port", L"TCPIP");
            fptr->ApplySingleSettings();
            fptr->put_DeviceEnabled(1);
            fptr->put_DeviceSingleSetting(L"UserPassword", L"30");
            fptr->GetStatus();
            fptr->GetRegister();
        }
    } else {
        const std::wstring text = QString::fromUtf8(content).toStdWString();
        fptr->put_DeviceSettings(text.c_str());
        wchar_t back[4096];
        fptr->get_DeviceSettings(back, 4096);
    }
    ReleaseFptrInterface(&fptr);
    // The simulator appends every call to its logs; left alone they fill
    // /dev/shm by hundreds of MiB an hour and slow every later input.
    for (const char *log : {"calls.log", "timing.log", "tape.txt"})
        QFile::remove(fuzzsupport::scratchDir() + QLatin1Char('/') + QLatin1String(log));
    return 0;
}
