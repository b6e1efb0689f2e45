// The recording session on the virtual backend: every state change, every way a take
// ends, failed starts that leave nothing behind, and finishing off the caller's thread.
#include "recording/RecordingSession.h"
#include "audio/AudioEngine.h"
#include "audio/AudioFileDecoder.h"
#include "audio/CaptureChannel.h"
#include "audio/VirtualBackend.h"
#include "recording/LossReport.h"
#include "recording/RecordingMessages.h"

#include "common/TestSignals.h"
#include "common/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <fstream>
#include <sstream>

#include <unistd.h>

using namespace sonalto;
using namespace sonalto::recording;
using State = RecordingSession::State;

namespace {

const char *const FormatNames[] = {"MP3", "WMA", "OGG", "WAV"};

std::optional<test::DecodedFile> decode(const QString &path)
{
    return test::decodeForTest(QFile::encodeName(path).toStdString());
}

double frequencyOf(const test::DecodedFile &decoded)
{
    return test::dominantFrequency(decoded.samples, 2, audio::AudioFileDecoder::OutputRate);
}

// A session on a virtual machine whose one input plays a 1 kHz sine, recording into
// a private folder.
class RecordingSessionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto backend = std::make_unique<audio::VirtualBackend>();
        m_backend = backend.get();
        audio::VirtualDevice card;
        card.id = "card0";
        card.name = "Card";
        card.inputs.push_back({"Mic", audio::InputTypeMicrophone, 1.f,
                               [](uint64_t frame, int, int rate) {
                                   return int16_t(std::lround(
                                       16000 * std::sin(2 * M_PI * 1000.0 * double(frame) / rate)));
                               },
                               "card0.in", ""});
        m_backend->addDevice(card);
        m_backend->setDefaultSource("card0.in");
        m_engine = std::make_unique<audio::AudioEngine>(std::move(backend));
        std::string error;
        ASSERT_TRUE(m_engine->start(&error)) << error;
        m_session.setEngine(m_engine.get());
        m_settings.audioDir = m_dir.path() + QStringLiteral("/takes/");
        QDir().mkpath(m_settings.audioDir);
        m_settings.baseName = QStringLiteral("0");
    }

    void TearDown() override { m_session.waitForFinish(); }

    QStringList filesIn(const QString &dir) const
    {
        return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }

    // Waits for the take's end (finished on a worker) and returns it.
    std::optional<TakeEnd> waitForEnd(QSignalSpy &ended, int timeoutMs = 20000)
    {
        if (ended.isEmpty() && !ended.wait(timeoutMs))
            return std::nullopt;
        EXPECT_EQ(ended.size(), 1);
        EXPECT_EQ(m_session.state(), State::Idle);
        return ended.takeFirst().at(0).value<TakeEnd>();
    }

    // A program that stands in for an encoder: a shell script.
    QString fakeEncoder(const QString &name, const QString &script)
    {
        const QString path = m_dir.path() + QLatin1Char('/') + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + script.toUtf8() + "\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    // Starts a take and waits until it records or has failed: ok, or the failure's
    // message.
    RecordingSession::StartResult begin(const TakeSettings &settings)
    {
        QSignalSpy failed(&m_session, &RecordingSession::startFailed);
        const RecordingSession::StartResult result = m_session.start(settings);
        if (!result.ok)
            return result;
        EXPECT_TRUE(QTest::qWaitFor([&] { return m_session.state() != State::Starting; }, 20000));
        if (!failed.isEmpty())
            return {false, failed.first().at(0).toString()};
        return {m_session.channel() != nullptr, QString()};
    }

    QTemporaryDir m_dir;
    audio::VirtualBackend *m_backend = nullptr;
    std::unique_ptr<audio::AudioEngine> m_engine;
    RecordingSession m_session;
    TakeSettings m_settings;
};

TEST_F(RecordingSessionTest, TakeGoesThroughEveryStateAndLeavesOutPausedTime)
{
    m_settings.format = 3; // WAV: the encoder pause
    QSignalSpy changes(&m_session, &RecordingSession::stateChanged);
    QSignalSpy ended(&m_session, &RecordingSession::takeEnded);
    EXPECT_EQ(m_session.state(), State::Idle);

    const auto started = begin(m_settings);
    ASSERT_TRUE(started.ok) << started.message.toStdString();
    EXPECT_EQ(m_session.state(), State::Recording);
    EXPECT_TRUE(m_session.isRecording());
    ASSERT_NE(m_session.channel(), nullptr);
    EXPECT_EQ(QFileInfo(m_session.path()).fileName(), "01.wav");

    QTest::qWait(600);
    m_session.pause();
    EXPECT_EQ(m_session.state(), State::Paused);
    EXPECT_TRUE(m_session.isPaused());
    const qint64 atPause = m_session.elapsedMs();
    QTest::qWait(600);
    EXPECT_EQ(m_session.elapsedMs(), atPause) << "the clock stands while paused";
    m_session.pause(); // pausing twice changes nothing
    m_session.resume();
    EXPECT_EQ(m_session.state(), State::Recording);
    EXPECT_NEAR(double(m_session.elapsedMs()), double(atPause), 50.0);
    QTest::qWait(600);
    const qint64 recorded = m_session.elapsedMs();

    m_session.stop();
    EXPECT_EQ(m_session.state(), State::Finishing);
    EXPECT_FALSE(m_session.isRecording());
    EXPECT_EQ(m_session.channel(), nullptr);
    m_session.stop(); // a second stop while finishing does nothing
    const auto end = waitForEnd(ended);
    ASSERT_TRUE(end);

    const QList<QPair<State, State>> expected{
        {State::Starting, State::Idle},       {State::Recording, State::Starting},
        {State::Paused, State::Recording},    {State::Recording, State::Paused},
        {State::Finishing, State::Recording}, {State::Idle, State::Finishing}};
    ASSERT_EQ(changes.size(), expected.size());
    for (int i = 0; i < changes.size(); ++i) {
        EXPECT_EQ(changes[i][0].value<State>(), expected[i].first) << i;
        EXPECT_EQ(changes[i][1].value<State>(), expected[i].second) << i;
    }

    EXPECT_TRUE(end->saved);
    EXPECT_TRUE(end->failure.isEmpty()) << end->failure.toStdString();
    EXPECT_FALSE(end->lostAudio.any()) << "nothing was lost";
    EXPECT_EQ(end->path, m_session.path());
    EXPECT_EQ(end->bytes, QFileInfo(end->path).size());
    ASSERT_TRUE(end->seconds);
    // The file holds the recorded time, not the paused part (blocks of 10 ms).
    EXPECT_NEAR(*end->seconds, recorded / 1000.0, 0.1);
    const auto decoded = decode(end->path);
    ASSERT_TRUE(decoded);
    EXPECT_NEAR(frequencyOf(*decoded), 1000.0, 10.0);
}

TEST_F(RecordingSessionTest, EveryFormatRecordsAndFinishes)
{
    for (int format = 0; format < 4; ++format) {
        SCOPED_TRACE(FormatNames[format]);
        SONALTO_REQUIRE_ENCODER_OF(format);
        m_settings.format = format;
        QSignalSpy ended(&m_session, &RecordingSession::takeEnded);
        const auto started = begin(m_settings);
        ASSERT_TRUE(started.ok) << started.message.toStdString();
        QTest::qWait(800);
        m_session.pause();
        QTest::qWait(300);
        m_session.stop(); // from the paused state
        const auto end = waitForEnd(ended);
        ASSERT_TRUE(end);
        EXPECT_TRUE(end->saved) << end->failure.toStdString();
        EXPECT_TRUE(end->failure.isEmpty()) << end->failure.toStdString();
        const auto decoded = decode(end->path);
        ASSERT_TRUE(decoded);
        EXPECT_NEAR(decoded->seconds(), 0.8, 0.25);
        EXPECT_NEAR(frequencyOf(*decoded), 1000.0, 15.0);
    }
}

TEST_F(RecordingSessionTest, AudioLostOnTheWayIsToldWithTheTakesEnd)
{
    m_settings.format = 3; // WAV: the file's frames are the take's
    QSignalSpy ended(&m_session, &RecordingSession::takeEnded);
    ASSERT_TRUE(begin(m_settings).ok);
    audio::CaptureChannel *channel = m_session.channel();
    ASSERT_NE(channel, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel->capturedFrames() > 4410; }, 10000));
    ASSERT_TRUE(m_backend->injectLoss("card0.in", 15435, audio::LossKind::Hole));
    ASSERT_TRUE(m_backend->injectLoss("card0.in", 441, audio::LossKind::Overrun));
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel->lostAudio().totalEvents() == 2; }, 10000));
    const uint64_t after = channel->capturedFrames();
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel->capturedFrames() > after + 4410; }, 10000));
    m_session.stop();
    const auto end = waitForEnd(ended);
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->saved) << end->failure.toStdString();
    EXPECT_EQ(end->lostAudioRate, 44100);
    EXPECT_EQ(end->lostAudio.eventCount(audio::LossKind::Hole), 1u);
    EXPECT_EQ(end->lostAudio.frameCount(audio::LossKind::Hole), 15435u);
    EXPECT_EQ(end->lostAudio.eventCount(audio::LossKind::Overrun), 1u);
    EXPECT_EQ(end->lostAudio.frameCount(audio::LossKind::Overrun), 441u);
    EXPECT_EQ(lossReportText(end->lostAudio, end->lostAudioRate),
              QStringLiteral("录制中丢失 0.36 秒音频（2 处）"));
}

TEST_F(RecordingSessionTest, InputThatGoesAwayEndsTheTakeAndKeepsWhatWasRecorded)
{
    m_settings.format = 3;
    QSignalSpy ended(&m_session, &RecordingSession::takeEnded);
    ASSERT_TRUE(begin(m_settings).ok);
    QTest::qWait(500);
    EXPECT_FALSE(m_session.checkPipeline()) << "all is well";
    ASSERT_TRUE(m_backend->removeSource("card0.in"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_session.checkPipeline(); }, 2000));
    EXPECT_EQ(m_session.state(), State::Finishing);
    const auto end = waitForEnd(ended);
    ASSERT_TRUE(end);
    EXPECT_FALSE(end->failure.isEmpty());
    EXPECT_TRUE(end->saved);
    EXPECT_GT(end->seconds.value_or(0), 0.3);
}

TEST_F(RecordingSessionTest, RemovedFolderIsAFailureWithNothingSaved)
{
    for (int format = 0; format < 4; ++format) {
        SCOPED_TRACE(FormatNames[format]);
        SONALTO_REQUIRE_ENCODER_OF(format);
        m_settings.format = format;
        QDir().mkpath(m_settings.audioDir);
        QSignalSpy ended(&m_session, &RecordingSession::takeEnded);
        ASSERT_TRUE(begin(m_settings).ok);
        QTest::qWait(400);
        ASSERT_TRUE(QDir(m_settings.audioDir).removeRecursively());
        EXPECT_TRUE(m_session.checkPipeline());
        const auto end = waitForEnd(ended);
        ASSERT_TRUE(end);
        EXPECT_FALSE(end->saved);
        EXPECT_FALSE(end->failure.isEmpty());
        EXPECT_FALSE(end->seconds);
        EXPECT_FALSE(QFileInfo::exists(end->path));
        EXPECT_TRUE(takeFailedText(end->failure, "x", false).contains("没有录到可以保存的音频"));
    }
}

TEST_F(RecordingSessionTest, EncoderThatDiesEndsTheTakeWithItsLastWords)
{
    // Creates its file, says something on standard error, takes some audio, then fails
    // without having written anything.
    m_settings.lameProgram = fakeEncoder("dying encoder", "for last; do :; done\n"
                                                          ": > \"$last\"\n"
                                                          "echo 'starting up' >&2\n"
                                                          "head -c 200000 > /dev/null\n"
                                                          "echo 'disk on fire' >&2\n"
                                                          "exit 4");
    m_settings.format = 0;
    QSignalSpy ended(&m_session, &RecordingSession::takeEnded);
    const auto started = begin(m_settings);
    ASSERT_TRUE(started.ok) << started.message.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_session.checkPipeline(); }, 5000));
    const auto end = waitForEnd(ended);
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->failure.contains("退出码为 4")) << end->failure.toStdString();
    EXPECT_TRUE(end->failure.contains("disk on fire")) << end->failure.toStdString();
    // What it wrote is no MP3: nothing is saved and nothing is left.
    EXPECT_FALSE(end->saved);
    EXPECT_TRUE(filesIn(m_settings.audioDir).isEmpty())
        << filesIn(m_settings.audioDir).join(' ').toStdString();
}

TEST_F(RecordingSessionTest, FailedStartsLeaveNothingBehind)
{
    {
        SCOPED_TRACE("no sound server");
        RecordingSession alone;
        const auto started = alone.start(m_settings);
        EXPECT_FALSE(started.ok);
        EXPECT_TRUE(started.message.startsWith("Couldn't start recording"))
            << started.message.toStdString();
        EXPECT_EQ(alone.state(), State::Idle);
    }
    {
        SCOPED_TRACE("encoder that ends at once");
        m_settings.format = 0;
        m_settings.lameProgram =
            fakeEncoder("quitter", "echo 'quitter: cannot open the output file' >&2\nexit 3");
        QSignalSpy changes(&m_session, &RecordingSession::stateChanged);
        const auto started = begin(m_settings);
        EXPECT_FALSE(started.ok);
        EXPECT_EQ(started.message, "Couldn't start Encoding for MP3\n\n编码器“" +
                                       m_settings.lameProgram +
                                       "”已退出，退出码为 3。编码器提示：quitter: cannot open the "
                                       "output file");
        // Starting, then back: nothing recorded.
        ASSERT_EQ(changes.size(), 2);
        EXPECT_EQ(changes[1][0].value<State>(), State::Idle);
        EXPECT_EQ(m_session.channel(), nullptr);
    }
    {
        SCOPED_TRACE("encoder that creates its file and then ends");
        m_settings.format = 2;
        m_settings.oggencProgram =
            fakeEncoder("creator", "touch \"$2\"\necho 'creator: no' >&2\nexit 5");
        const auto started = begin(m_settings);
        // Either it was seen running with its file (a start, ending at the first check)
        // or it had already ended (a failed start): never a file left and called saved.
        if (started.ok) {
            QSignalSpy ended(&m_session, &RecordingSession::takeEnded);
            ASSERT_TRUE(QTest::qWaitFor([&] { return m_session.checkPipeline(); }, 5000));
            const auto end = waitForEnd(ended);
            ASSERT_TRUE(end);
            EXPECT_FALSE(end->saved);
        } else {
            EXPECT_TRUE(started.message.startsWith("无法开始录制 OGG 音频\n\n"));
            EXPECT_TRUE(started.message.contains("creator: no")) << started.message.toStdString();
        }
    }
    {
        SCOPED_TRACE("encoder that never creates its file");
        m_settings.format = 0;
        m_settings.encoderStartWaitMs = 300;
        m_settings.lameProgram =
            fakeEncoder("sleeper", "echo 'sleeper: thinking' >&2\nexec sleep 30");
        QElapsedTimer timer;
        timer.start();
        const auto started = begin(m_settings);
        EXPECT_FALSE(started.ok);
        EXPECT_LT(timer.elapsed(), 5000);
        EXPECT_TRUE(started.message.contains("没有创建文件")) << started.message.toStdString();
        EXPECT_TRUE(started.message.contains("sleeper: thinking")) << started.message.toStdString();
    }
    {
        SCOPED_TRACE("folder the encoder cannot write into");
        SONALTO_REQUIRE_PROGRAM("lame");
        m_settings.format = 0;
        m_settings.encoderStartWaitMs = 5000;
        m_settings.lameProgram = QStandardPaths::findExecutable("lame");
        // A folder below a regular file: lame itself finds it cannot create the file.
        QFile(m_dir.path() + "/plain").open(QIODevice::WriteOnly);
        TakeSettings blocked = m_settings;
        blocked.audioDir = m_dir.path() + "/plain/sub/";
        const auto started = begin(blocked);
        EXPECT_FALSE(started.ok);
        EXPECT_TRUE(started.message.startsWith("Couldn't start Encoding for MP3\n\n编码器“"))
            << started.message.toStdString();
        EXPECT_TRUE(started.message.contains("退出码为")) << started.message.toStdString();
    }
    EXPECT_EQ(m_session.state(), State::Idle);
    EXPECT_TRUE(filesIn(m_settings.audioDir).isEmpty())
        << filesIn(m_settings.audioDir).join(' ').toStdString();
}

// The encoder stops (SIGSTOP) in the middle of a take: stopping returns at once, the
// caller's event loop keeps running while the take is finished, and the timeout comes
// back as the take's failure with its reason.
TEST_F(RecordingSessionTest, StalledEncoderIsFinishedOffTheCallersThread)
{
    SONALTO_REQUIRE_PROGRAM("lame");
    m_settings.format = 0;
    m_settings.finishWaitMs = 1500;
    QSignalSpy ended(&m_session, &RecordingSession::takeEnded);
    ASSERT_TRUE(begin(m_settings).ok);
    // The lame this session started: the newest child of this process named lame.
    pid_t lame = 0;
    for (const QString &entry : QDir("/proc").entryList(QDir::Dirs)) {
        std::ifstream stat(("/proc/" + entry + "/stat").toStdString());
        std::string line;
        if (!std::getline(stat, line))
            continue;
        const size_t close = line.rfind(')');
        if (close == std::string::npos || line.find("(lame)") == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        int ppid = 0;
        rest >> state >> ppid;
        if (ppid == getpid())
            lame = std::max(lame, pid_t(entry.toInt()));
    }
    ASSERT_NE(lame, 0);
    QTest::qWait(500);
    ASSERT_EQ(::kill(lame, SIGSTOP), 0);
    QTest::qWait(1500); // the pipe fills and the encoder's buffer holds the rest

    QElapsedTimer clock;
    clock.start();
    m_session.stop();
    const qint64 stopTook = clock.elapsed();
    EXPECT_EQ(m_session.state(), State::Finishing);

    // A timer on this thread keeps firing while the take is finished elsewhere.
    test::EventGapWatch gaps;
    const auto end = waitForEnd(ended);
    gaps.stop();
    const qint64 finishTook = clock.elapsed();
    ::kill(lame, SIGCONT);
    ASSERT_TRUE(end);
    // Stopping itself does no waiting; the finishing does, and the loop never waits on it.
    EXPECT_LT(stopTook * 5, finishTook);
    EXPECT_LT(gaps.longestGapMs() * 5, finishTook);
    EXPECT_GE(finishTook, 1500);
    EXPECT_TRUE(end->failure.contains("没有接收音频") || end->failure.contains("没有完成文件"))
        << end->failure.toStdString();
}

} // namespace
