#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <ostream>
#include <string>

// Readable QString values in test failure messages.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace sonalto::test {

// True when the test runner started a private PulseAudio server for us.
bool privatePulseAvailable();

// Runs a program and returns its standard output; exit code through *exitCode.
QString runProgram(const QString &program, const QStringList &args, int *exitCode = nullptr,
                   int timeoutMs = 30000);

// pactl against the private server.
QString pactl(const QStringList &args, int *exitCode = nullptr);

// Skips the current test (with a reason) when no private server is running.
#define SONALTO_REQUIRE_PULSE()                                                                    \
    do {                                                                                           \
        if (!::sonalto::test::privatePulseAvailable())                                             \
            GTEST_SKIP() << "needs the private PulseAudio server of the test runner";              \
    } while (0)

} // namespace sonalto::test
