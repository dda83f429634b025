#ifndef QT5EXT_SYSUTILS_H
#define QT5EXT_SYSUTILS_H

namespace qt5ext {

class SysUtils
{
public:
    // Installs handlers for the fatal signals (SIGSEGV, SIGBUS, SIGFPE,
    // SIGILL, SIGABRT): each writes the signal and a backtrace to stderr,
    // then lets the default action end the process (and dump core).
    static void catchSystemExceptions();
};

} // namespace qt5ext

#endif
