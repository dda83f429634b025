#include "sysutils.h"

#include <QtGlobal>

#include <csignal>
#include <cstring>
#include <execinfo.h>
#include <unistd.h>

namespace qt5ext {

namespace {

void writeText(const char *text)
{
    const ssize_t ignored = ::write(STDERR_FILENO, text, std::strlen(text));
    Q_UNUSED(ignored);
}

// Only async-signal-safe calls here: write(2) and backtrace_symbols_fd().
void fatalSignal(int signo)
{
    writeText("Fatal signal ");
    writeText(strsignal(signo));
    writeText(", backtrace:\n");
    void *frames[64];
    const int count = backtrace(frames, 64);
    backtrace_symbols_fd(frames, count, STDERR_FILENO);
    // Restore the default action and raise again, so the process ends the
    // way it would have without us (core dump, exit status).
    std::signal(signo, SIG_DFL);
    ::raise(signo);
}

} // namespace

void SysUtils::catchSystemExceptions()
{
    // backtrace() loads libgcc lazily; do it now, not inside a handler.
    void *warmUp[1];
    backtrace(warmUp, 1);

    struct sigaction action;
    std::memset(&action, 0, sizeof(action));
    action.sa_handler = fatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (int signo : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        sigaction(signo, &action, nullptr);
}

} // namespace qt5ext
