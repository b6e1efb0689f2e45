#pragma once

namespace sonalto {

// A fatal signal (SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL) writes the signal and
// a backtrace of the thread that received it to stderr; the signal is then
// raised again, so the process still ends by it (and leaves a core where the
// system keeps them).
void installCrashReport();

} // namespace sonalto
