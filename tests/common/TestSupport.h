#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

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

// Puts the private server's line-in back to full level, unmuted, with its feed
// sink at full level too, so what a test feeds is what the line-in delivers
// whatever an earlier test did to the levels.
void resetLineInLevels();

// Puts the line-in's levels back (resetLineInLevels) when the test ends, however
// it ends, for a test that moves them.
struct LineInLevelsRestored
{
    LineInLevelsRestored() = default;
    LineInLevelsRestored(const LineInLevelsRestored &) = delete;
    LineInLevelsRestored &operator=(const LineInLevelsRestored &) = delete;
    ~LineInLevelsRestored() { resetLineInLevels(); }
};

// A source of the private server (an output's monitor: through its output)
// suspended from construction until resume() or destruction, so no test that
// fails half-way leaves it suspended for the tests after it. Each command takes
// the server a while to carry out (longer on a busy machine), so how long the
// source was away is known within two bounds.
class SuspendedSource
{
public:
    explicit SuspendedSource(const QString &name);
    ~SuspendedSource();
    SuspendedSource(const SuspendedSource &) = delete;
    SuspendedSource &operator=(const SuspendedSource &) = delete;

    void resume();
    // Seconds from the suspension in effect to the resume asked for: the source
    // was away at least this long.
    double leastSecondsAway() const;
    // Seconds from the suspension asked for to the resume in effect: the source
    // was away at most this long.
    double mostSecondsAway() const;

private:
    using Clock = std::chrono::steady_clock;
    QString m_name;
    Clock::time_point m_asked, m_inEffect, m_resumeAsked, m_resumed;
    bool m_suspended = false;
};

// What of the private server a test may change and the tests after it rely on:
// the default sink and source, every sink's and source's level, mute and
// suspension, the loaded modules and how many streams are open.
QString soundServerState();

// For test programs that hold the sound server's lock (CTest sets
// SONALTO_SOUND_SERVER_LOCKED for them): a test that leaves the server other than
// it found it fails, so such a fault shows at the test that makes it, not at a
// later test that happens to rely on what it changed.
void checkSoundServerStateAroundEachTest();

// The program's own (Chinese) texts in this process and in every program it starts,
// whatever the desktop's language: the tests find controls by those names.
void useProgramLanguage();

// Plays audio into the private server's line-in (through its feed sink) in real
// time with low latency, from construction until destruction or its end.
// `sample` gives the (same) sample of both channels at each 44.1 kHz frame.
// The line-in's levels are reset first (resetLineInLevels).
class LineInFeed
{
public:
    LineInFeed(const std::function<int16_t(uint64_t frame)> &sample, double seconds);
    ~LineInFeed();
    void stop();

private:
    QTemporaryDir m_dir;
    QProcess m_player;
};

// True inside the test runner's private session (scripts/session.sh), which
// provides the sound server, the display and the encoders every test needs.
bool insideTestSession();

// A test that lacks something it needs (a server, a display, a program): inside
// the private session that is a fault of the set-up and the test fails; outside
// it (a developer running one test binary by hand) the test is skipped.
#define SONALTO_MISSING(what)                                                                      \
    do {                                                                                           \
        if (::sonalto::test::insideTestSession())                                                  \
            FAIL() << "the test session lacks " << what;                                           \
        GTEST_SKIP() << "needs " << what;                                                          \
    } while (0)

// Needs the private PulseAudio server of the test runner.
#define SONALTO_REQUIRE_PULSE()                                                                    \
    do {                                                                                           \
        if (!::sonalto::test::privatePulseAvailable())                                             \
            SONALTO_MISSING("the private PulseAudio server of the test runner");                   \
    } while (0)

// Needs a program on PATH (lame, oggenc, xdotool, trayer...).
#define SONALTO_REQUIRE_PROGRAM(name)                                                              \
    do {                                                                                           \
        if (!::sonalto::test::haveProgram(name))                                                   \
            SONALTO_MISSING("the program " << name);                                               \
    } while (0)

bool haveProgram(const char *name);

// Needs the encoder program of a recording format (0 MP3: lame, 2 OGG: oggenc;
// WMA and WAV are written by the program itself).
#define SONALTO_REQUIRE_ENCODER_OF(format)                                                         \
    do {                                                                                           \
        if ((format) == 0)                                                                         \
            SONALTO_REQUIRE_PROGRAM("lame");                                                       \
        if ((format) == 2)                                                                         \
            SONALTO_REQUIRE_PROGRAM("oggenc");                                                     \
    } while (0)

// A whole file decoded by the program's own decoder: interleaved stereo at the
// decoder's output rate.
struct DecodedFile
{
    std::vector<int16_t> samples;
    double seconds() const;
};

// Decodes `path` (a local file name in the file system's encoding); a failure is
// reported to the running test and gives nothing.
std::optional<DecodedFile> decodeForTest(const std::string &path);

} // namespace sonalto::test
