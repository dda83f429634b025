#include "tillgateroot.h"

#include <sysutils.h>

#include <QtGlobal>

#include <malloc.h>

int main(int argc, char *argv[])
{
    qt5ext::SysUtils::catchSystemExceptions();
    // Without TZ, glibc looks at /etc/localtime again for every local time
    // Qt works out (settings file stamps, bus commands): several file
    // lookups per request. Naming the same file reads it once; a new time
    // zone is taken up at the next start.
    if (qEnvironmentVariableIsEmpty("TZ"))
        qputenv("TZ", ":/etc/localtime");
    // Qt's own event dispatcher: the GLib one wakes a thread through its
    // event file each time a socket notifier is switched, twice for every
    // answer written, and the service has no GLib sources to serve.
    qputenv("QT_NO_GLIB", "1");
    // Every connection has a thread of its own. glibc would hand them up to
    // eight heaps per core, each keeping what was freed in it, so the
    // resident size crept up for as long as many clients came and went
    // (bench/soak.sh); two heaps hold it level.
    mallopt(M_ARENA_MAX, 2);
    return TillgateRoot::start(argc, argv);
}
