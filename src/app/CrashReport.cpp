#include "app/CrashReport.h"

#include <csignal>
#include <cstring>
#include <execinfo.h>
#include <initializer_list>
#include <unistd.h>

namespace sonalto {

namespace {

// Room for the handler when the stack itself has overflowed.
alignas(16) char alternateStack[64 * 1024];

void writeText(const char *text)
{
    [[maybe_unused]] const auto written = ::write(STDERR_FILENO, text, std::strlen(text));
}

void writeNumber(long value)
{
    char digits[24];
    char *p = digits + sizeof digits;
    *--p = '\0';
    const bool negative = value < 0;
    unsigned long rest =
        negative ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    do {
        *--p = char('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (negative)
        *--p = '-';
    writeText(p);
}

// Runs in the signal's context: write() and backtrace_symbols_fd() only (the
// unwinder behind backtrace() was loaded when the handler was installed).
void reportFatalSignal(int signal)
{
    writeText("sonalto: fatal signal ");
    writeNumber(signal);
    writeText(" in thread ");
    writeNumber(long(::gettid()));
    writeText(" of process ");
    writeNumber(long(::getpid()));
    writeText(", backtrace:\n");
    void *frames[64];
    const int count = ::backtrace(frames, 64);
    ::backtrace_symbols_fd(frames, count, STDERR_FILENO);
    // The handler was reset on entry: the signal now ends the process.
    ::raise(signal);
}

} // namespace

void installCrashReport()
{
    void *warmUp[1];
    ::backtrace(warmUp, 1);

    stack_t stack = {};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    ::sigaltstack(&stack, nullptr);

    struct sigaction action = {};
    action.sa_handler = reportFatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_NODEFER | SA_ONSTACK;
    for (const int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL})
        ::sigaction(signal, &action, nullptr);
}

} // namespace sonalto
