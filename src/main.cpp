#include "tillgateroot.h"

#include <sysutils.h>

int main(int argc, char *argv[])
{
    qt5ext::SysUtils::catchSystemExceptions();
    return TillgateRoot::start(argc, argv);
}
