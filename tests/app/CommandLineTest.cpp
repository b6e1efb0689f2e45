// The command line: help and version without a display, actions carried out by
// the running copy (or by the copy they start), and their exit statuses.
#include "app/CommandLine.h"
#include "AppTestSupport.h"
#include "app/RemoteControl.h"
#include "common/TestSupport.h"

#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>

using namespace sonalto;
using namespace sonalto::test;
using Action = CommandLine::Action;

namespace {

std::optional<DecodedFile> decodeFile(const QString &path)
{
    return decodeForTest(QFile::encodeName(path).toStdString());
}

// A program's end as the test expects it: the status, and a text its standard
// error holds (empty: nothing at all on it).
void expectEnded(const ProgramHome::Ended &ended, int code, const QString &err, const QString &what)
{
    EXPECT_EQ(ended.code, code) << what.toStdString() << ": " << ended.err.toStdString();
    const bool expected =
        err.isEmpty() ? ended.err.isEmpty() : ended.err.contains(err, Qt::CaseInsensitive);
    EXPECT_TRUE(expected) << what.toStdString() << ": " << ended.err.toStdString();
}

} // namespace

TEST(CommandLine, ReadsOneActionAndRefusesTheRest)
{
    struct Case
    {
        QStringList args;
        Action action;
        bool endNow;
        int code;
        QString out, err;
    };
    const Case cases[] = {
        {{}, Action::None, false, 0, {}, {}},
        {{"--record"}, Action::Record, false, 0, {}, {}},
        {{"--pause"}, Action::Pause, false, 0, {}, {}},
        {{"--stop"}, Action::Stop, false, 0, {}, {}},
        {{"--toggle"}, Action::Toggle, false, 0, {}, {}},
        {{"--show"}, Action::Show, false, 0, {}, {}},
        {{"--quit"}, Action::Quit, false, 0, {}, {}},
        {{"-h"}, Action::None, true, ExitDone, "--toggle", {}},
        {{"--version"}, Action::None, true, ExitDone, "Sonalto ", {}},
        {{"--recrod"}, Action::None, true, ExitUsage, {}, "recrod"},
        {{"--record", "--stop"}, Action::None, true, ExitUsage, {}, "one action"},
        {{"a file.mp3"}, Action::None, true, ExitUsage, {}, "a file.mp3"},
        {{"--record=yes"}, Action::None, true, ExitUsage, {}, "record"},
    };
    for (const Case &c : cases) {
        const CommandLine line = parseCommandLine(QStringList{"sonalto"} + c.args);
        const std::string what = c.args.join(' ').toStdString();
        EXPECT_EQ(line.action, c.action) << what;
        EXPECT_EQ(line.endNow, c.endNow) << what;
        EXPECT_EQ(line.exitCode, c.code) << what;
        EXPECT_TRUE(c.out.isEmpty() ? line.output.isEmpty() : line.output.contains(c.out)) << what;
        EXPECT_TRUE(c.err.isEmpty() ? line.error.isEmpty()
                                    : line.error.contains(c.err) && line.error.contains("Usage"))
            << what;
        EXPECT_EQ(actionOfRequest(actionRequest(c.action)), c.action) << what;
    }
}

TEST(CommandLineProgram, HelpVersionAndMistakesNeedNoDisplay)
{
    ProgramHome home;
    QProcessEnvironment env = home.environment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    struct Case
    {
        QStringList args;
        int code;
        QString out, err;
    };
    const Case cases[] = {
        {{"--help"}, ExitDone, "Exit status", {}},
        {{"-v"}, ExitDone, "Sonalto ", {}},
        {{"--frobnicate"}, ExitUsage, {}, "Usage"},
        // Nothing runs: actions that need a running copy say so, without a display.
        {{"--pause"}, ExitFailed, {}, "not running"},
        {{"--stop"}, ExitFailed, {}, "not running"},
        {{"--quit"}, ExitFailed, {}, "not running"},
    };
    for (const Case &c : cases) {
        const auto ended = home.run(c.args, env);
        const QString what = c.args.join(' ');
        expectEnded(ended, c.code, c.err, what);
        EXPECT_TRUE(c.out.isEmpty() ? ended.out.isEmpty() : ended.out.contains(c.out))
            << what.toStdString() << ": " << ended.out.toStdString();
    }
    EXPECT_TRUE(home.recordings().isEmpty());
}

TEST(CommandLineProgram, ATakeIsMadeAndStoppedFromTheCommandLine)
{
    SONALTO_REQUIRE_PULSE();
    ProgramHome home;
    QProcess program;
    ASSERT_TRUE(home.start(program));

    // Each action as a shell script would send it, with the status and the reason.
    struct Step
    {
        QString arg;
        int code;
        QString err;
        QString recordsInto; // the take then records into this file
    };
    const Step steps[] = {
        {"--stop", ExitFailed, "not recording", {}},
        {"--pause", ExitFailed, "not recording", {}},
        {"--record", ExitDone, {}, "01.wav"},
        {"--record", ExitFailed, "already", {}},
        {"--pause", ExitDone, {}, {}},
        {"--pause", ExitDone, {}, "01.wav"},
        {"--stop", ExitDone, {}, {}},
        {"--toggle", ExitDone, {}, "02.wav"},
        {"--toggle", ExitDone, {}, {}},
        {"--show", ExitDone, {}, {}},
    };
    for (const Step &step : steps) {
        expectEnded(home.run({step.arg}), step.code, step.err, step.arg);
        if (!step.recordsInto.isEmpty()) {
            EXPECT_TRUE(home.waitForAudio(step.recordsInto, 0.5)) << step.arg.toStdString();
        }
    }
    EXPECT_EQ(home.recordings(), QStringList({"01.wav", "02.wav"}));
    // --stop returned once the file was finished: it is complete now.
    for (const QString &name : home.recordings()) {
        const auto decoded = decodeFile(home.audioDir() + name);
        ASSERT_TRUE(decoded) << name.toStdString();
        EXPECT_GT(decoded->seconds(), 0.4) << name.toStdString();
    }

    expectEnded(home.run({"--quit"}), ExitDone, {}, "--quit");
    ASSERT_TRUE(program.waitForFinished(15000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

TEST(CommandLineProgram, RecordAndToggleStartTheProgramWhenNoneRuns)
{
    SONALTO_REQUIRE_PULSE();
    for (const QString &start : {QStringLiteral("--record"), QStringLiteral("--toggle")}) {
        ProgramHome home;
        QProcess program; // the copy the action starts; it records at once
        ASSERT_TRUE(home.start(program, {start}));
        EXPECT_TRUE(home.waitForAudio("01.wav", 0.5)) << start.toStdString();
        // A take is running, so it is stopped; then the program is asked to end.
        expectEnded(home.run({"--toggle"}), ExitDone, {}, start + " then --toggle");
        expectEnded(home.run({"--quit"}), ExitDone, {}, start + " then --quit");
        ASSERT_TRUE(program.waitForFinished(15000));
        EXPECT_EQ(program.exitCode(), 0);
        EXPECT_FALSE(program.readAllStandardError().contains("sonalto:")) << "no failure said";
        const auto decoded = decodeFile(home.audioDir() + "01.wav");
        ASSERT_TRUE(decoded);
        EXPECT_GT(decoded->seconds(), 0.4);
    }
}

// Outcomes the window decides, asked in the process itself: the reason given to
// the asker, and what was done.
TEST(RemoteControlTest, AnswersEachActionWithItsOutcome)
{
    TempFolders folders;
    struct Case
    {
        bool server;
        bool recording;
        Action action;
        bool done;
        QString reason;
        bool recordingAfter;
    };
    const Case cases[] = {
        {false, false, Action::Record, false, "no sound server", false},
        {true, false, Action::Stop, false, "not recording", false},
        {true, false, Action::Pause, false, "not recording", false},
        {true, false, Action::Show, true, {}, false},
        {true, false, Action::Record, true, {}, true},
        {true, true, Action::Record, false, "already", true},
        {true, true, Action::Pause, true, {}, true},
        {true, true, Action::Toggle, true, {}, false},
    };
    for (const Case &c : cases) {
        auto form = makeForm(c.server ? makeTestBackend() : nullptr);
        if (c.recording)
            pressRecord(*form);
        RemoteControl remote(*form);
        std::optional<std::pair<bool, QString>> answer;
        remote.perform(c.action, [&](bool done, const QString &reason) {
            answer = std::make_pair(done, reason);
        });
        const std::string what = std::to_string(int(c.action)) + (c.recording ? " recording" : "");
        ASSERT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 20000)) << what;
        EXPECT_EQ(answer->first, c.done) << what;
        EXPECT_TRUE(c.reason.isEmpty() ? answer->second.isEmpty()
                                       : answer->second.contains(c.reason))
            << what << ": " << answer->second.toStdString();
        EXPECT_EQ(bool(form->IsRecording), c.recordingAfter) << what;
        form->ToolButton3Click();
        EXPECT_TRUE(waitUntilIdle(*form));
    }
}
