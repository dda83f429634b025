// The fiscal storage answers the service reads: status (0x30), firmware
// version (0x33), operator exchange (0x20), lifetime (0x32) and, in the ATOL
// back-end, the registration document number of a registration (0x43). The
// first byte picks the answer; a parsed record also goes through its map
// forms.
#include "atolfsreader.h"
#include "fuzzsupport.h"

#include <fslifetimedata.h>
#include <fsofdtransportstate.h>
#include <fsstatus.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzsupport::setUp();
    if (size < 1)
        return 0;
    const QByteArray answer = fuzzsupport::bytes(data + 1, size - 1);
    switch (data[0] % 5) {
    case 0: {
        fiscal::FsStatus status;
        if (status.parse(answer)) {
            fiscal::FsStatus copy;
            copy.setMap(status.toMap());
            status.toBeautyMap();
        }
        break;
    }
    case 1: {
        fiscal::FsStatus status;
        if (status.parseFsVersion(answer))
            status.toBeautyMap();
        break;
    }
    case 2: {
        fiscal::FsOfdTransportState state;
        if (state.parse(answer)) {
            fiscal::FsOfdTransportState copy;
            copy.setMap(state.toMap());
        }
        break;
    }
    case 3: {
        // The second byte is the storage's format version, which moves the
        // number; a number is found only in an answer long enough for it.
        if (answer.isEmpty())
            break;
        const QByteArray registration = answer.mid(1);
        if (AtolFsReader::regDocNumber(registration, quint8(answer.at(0))) >= 0 && registration.size() < 44)
            __builtin_trap();
        break;
    }
    default: {
        fiscal::FsLifeTimeData lifeTime;
        if (lifeTime.parse(answer)) {
            fiscal::FsLifeTimeData copy;
            copy.setMap(lifeTime.toMap());
        }
        break;
    }
    }
    return 0;
}
