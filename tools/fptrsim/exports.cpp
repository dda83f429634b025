#include "simfptr.h"
#include "simlog.h"

#include <ifptr.h>

namespace {

// The interface generation this library answers: 15 like the current
// driver, or the one FPTR_SIM_VERSION names.
int ownVersion()
{
    const QByteArray configured = qgetenv("FPTR_SIM_VERSION");
    if (configured.isEmpty())
        return 15;
    bool ok = false;
    const int version = configured.trimmed().toInt(&ok);
    if (ok && version > 0)
        return version;
    qCWarning(lcFptrSim, "FPTR_SIM_VERSION \"%s\" is not a positive number; answering version 15",
              configured.constData());
    return 15;
}

} // namespace

// The object crosses the C interface; ReleaseFptrInterface deletes it.
extern "C" Q_DECL_EXPORT TED::Fptr::IFptr *CreateFptrInterface(int version)
{
    if (version != ownVersion())
        return nullptr;
    return new SimFptr;
}

extern "C" Q_DECL_EXPORT void ReleaseFptrInterface(TED::Fptr::IFptr **object)
{
    if (!object)
        return;
    delete *object;
    *object = nullptr;
}
