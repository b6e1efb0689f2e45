// The behaviour every backend owes the engine, checked against the in-process
// backend and, inside the test runner's session, against the private PulseAudio
// server (whose endpoints the virtual layout mirrors).
#include "BackendTestSupport.h"

#include "audio/AudioEngine.h"
#include "audio/PulseBackend.h"
#include "audio/SpectrumAnalyzer.h"
#include "common/TestSupport.h"

#include <QTest>
#include <gtest/gtest.h>

#include <QRegularExpression>

#include <atomic>
#include <cstdlib>
#include <optional>
#include <thread>

using namespace sonalto::audio;
using namespace sonalto::audio::test;
using namespace std::chrono_literals;

namespace {

enum class Kind { Virtual, Pulse };

// Plays a sine centred on spectrum element 40, for a given number of frames.
class TonePlayer : public PlaybackSource
{
public:
    explicit TonePlayer(uint64_t frames) : m_total(frames) {}
    size_t pull(int16_t *out, size_t frames) override
    {
        const auto tone = sineGenerator(40 * 44100.0 / 1024);
        size_t n = 0;
        for (; n < frames && m_next < m_total; ++n, ++m_next)
            out[2 * n] = out[2 * n + 1] = tone(m_next, 0, 44100);
        return n;
    }
    std::vector<int16_t> expected() const
    {
        const auto tone = sineGenerator(40 * 44100.0 / 1024);
        std::vector<int16_t> all;
        for (uint64_t i = 0; i < m_total; ++i)
            all.insert(all.end(), 2, tone(i, 0, 44100));
        return all;
    }

private:
    const uint64_t m_total;
    uint64_t m_next = 0;
};

class BackendContract : public ::testing::TestWithParam<Kind>
{
protected:
    void SetUp() override
    {
        if (GetParam() == Kind::Pulse) {
            SONALTO_REQUIRE_PULSE();
            m_engine = std::make_unique<AudioEngine>(AudioEngine::createSystemBackend());
        } else {
            auto backend = makeServerLikeBackend();
            m_virtual = backend.get();
            m_engine = std::make_unique<AudioEngine>(std::move(backend));
        }
        std::string error;
        ASSERT_TRUE(m_engine->start(&error)) << error;
    }

    void TearDown() override
    {
        if (m_tmpModule >= 0)
            removeTemporaryOutput();
    }

    bool pulse() const { return GetParam() == Kind::Pulse; }

    // Position of a source's input in the current device; -1 when absent.
    int inputOf(const std::string &sourceId)
    {
        const auto devices = m_engine->backend().devices();
        const int device = m_engine->currentDevice();
        if (device < 0 || device >= int(devices.size()))
            return -1;
        const auto &inputs = devices[size_t(device)].inputs;
        for (size_t i = 0; i < inputs.size(); ++i)
            if (inputs[i].sourceId == sourceId)
                return int(i);
        return -1;
    }

    std::unique_ptr<CaptureChannel> captureFrom(const std::string &sourceId, CaptureLog &log,
                                                bool paused = false)
    {
        const int input = inputOf(sourceId);
        EXPECT_GE(input, 0) << sourceId;
        EXPECT_TRUE(m_engine->switchOnInput(input));
        std::string error;
        auto channel = m_engine->startCapture(
            {44100, 2}, paused,
            [&log](const int16_t *samples, size_t bytes) {
                log.add(samples, bytes);
                return true;
            },
            &error);
        EXPECT_TRUE(channel) << error;
        return channel;
    }

    // A new output "TmpX" whose monitor is a new input.
    void addTemporaryOutput()
    {
        if (pulse()) {
            int code = 0;
            const QString out =
                sonalto::test::pactl({"load-module", "module-null-sink", "sink_name=tmp_x",
                                      "sink_properties=device.description=TmpX"},
                                     &code);
            ASSERT_EQ(code, 0);
            m_tmpModule = out.trimmed().toInt();
        } else {
            m_virtual->addInput("virtual", {"TmpX（输出混音）",
                                            InputTypeOutputMix,
                                            1.f,
                                            sineGenerator(1000),
                                            "tmp_x.monitor",
                                            {}});
            m_tmpModule = 0;
        }
    }

    void removeTemporaryOutput()
    {
        if (pulse())
            sonalto::test::pactl({"unload-module", QString::number(m_tmpModule)});
        else
            m_virtual->removeSource("tmp_x.monitor");
        m_tmpModule = -1;
    }

    // The source's volume as the server's own tools report it.
    std::optional<float> reportedVolume(const std::string &sourceId)
    {
        if (!pulse())
            return m_virtual->sourceVolume(sourceId);
        const QString out =
            sonalto::test::pactl({"get-source-volume", QString::fromStdString(sourceId)});
        const auto match = QRegularExpression(QStringLiteral("(\\d+)%")).match(out);
        if (!match.hasMatch())
            return std::nullopt;
        return match.captured(1).toFloat() / 100.f;
    }

    std::unique_ptr<AudioEngine> m_engine;
    VirtualBackend *m_virtual = nullptr;
    int m_tmpModule = -1;
};

TEST_P(BackendContract, GroupsCardlessEndpointsIntoOneDefaultDevice)
{
    const auto devices = m_engine->captureDevices();
    const int device = m_engine->currentDevice();
    ASSERT_GE(device, 0);
    ASSERT_LT(device, int(devices.size()));
    EXPECT_EQ(devices[size_t(device)].name, "虚拟设备");
    EXPECT_TRUE(devices[size_t(device)].enabled);

    // The default source's input is the current one.
    const int tone = inputOf("sonalto_tone");
    ASSERT_GE(tone, 0);
    EXPECT_EQ(m_engine->currentInput(), tone);
    EXPECT_NE(m_engine->input(tone)->flags & InputTypeMask, InputTypeOutputMix);
    const int lineIn = inputOf("sonalto_linein");
    ASSERT_GE(lineIn, 0);
    EXPECT_EQ(m_engine->input(lineIn)->flags & InputTypeMask, InputTypeLine);

    // Every output shows up as an output-mix input named after it.
    for (const char *monitor :
         {"sonalto_out.monitor", "sonalto_out2.monitor", "sonalto_linein_feed.monitor"}) {
        const int i = inputOf(monitor);
        ASSERT_GE(i, 0) << monitor;
        EXPECT_EQ(m_engine->input(i)->flags & InputTypeMask, InputTypeOutputMix) << monitor;
    }
    EXPECT_EQ(m_engine->input(inputOf("sonalto_out.monitor"))->name, "Speakers（输出混音）");
    EXPECT_EQ(m_engine->input(inputOf("sonalto_out2.monitor"))->name, "Headphones（输出混音）");
    EXPECT_EQ(m_engine->inputCount(), 5);
    EXPECT_FALSE(m_engine->input(m_engine->inputCount()));
}

TEST_P(BackendContract, SwitchesInputsAndSetsTheirVolumes)
{
    std::optional<sonalto::test::LineInLevelsRestored> restored;
    if (pulse())
        restored.emplace();
    const int lineIn = inputOf("sonalto_linein");
    const int tone = inputOf("sonalto_tone");
    ASSERT_TRUE(m_engine->switchOnInput(lineIn));
    EXPECT_EQ(m_engine->currentInput(), lineIn);
    EXPECT_FALSE(m_engine->switchOnInput(m_engine->inputCount()));
    EXPECT_EQ(m_engine->currentInput(), lineIn);

    for (float volume : {0.37f, 0.29f, 0.f, 1.f}) {
        ASSERT_TRUE(m_engine->setInputVolume(lineIn, volume));
        EXPECT_NEAR(m_engine->input(lineIn)->volume, volume, 1e-4f);
        const auto reported = reportedVolume("sonalto_linein");
        ASSERT_TRUE(reported);
        EXPECT_NEAR(*reported, volume, 1e-4f);
    }
    // -1 is the current input's source, and only that one.
    ASSERT_TRUE(m_engine->setInputVolume(-1, 0.5f));
    EXPECT_NEAR(m_engine->input(lineIn)->volume, 0.5f, 1e-4f);
    EXPECT_NEAR(m_engine->input(tone)->volume, 1.f, 1e-4f);
    EXPECT_FALSE(m_engine->setInputVolume(m_engine->inputCount(), 0.5f));
    ASSERT_TRUE(m_engine->setInputVolume(-1, 1.f));
}

TEST_P(BackendContract, CapturesTheToneWithoutLosingASample)
{
    CaptureLog log;
    auto channel = captureFrom("sonalto_tone", log);
    ASSERT_TRUE(channel);
    EXPECT_EQ(channel->state(), ActiveState::Playing);
    // Past the end of the first of the source's two-second bursts.
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.frames(2) >= 2 * 44100 + 22050; }, 10000));
    float spectrum[512];
    ASSERT_TRUE(channel->spectrum(spectrum));
    channel.reset();

    const auto samples = log.copy();
    EXPECT_EQ(peakElement(spectrum), 23);
    EXPECT_NEAR(spectrum[23], 0.24f, 0.03f); // a half-scale tone
    EXPECT_EQ(sineBreaks(samples, 2, 1000, 44100), 0u);
    for (size_t i = 0; i < samples.size(); i += 2)
        ASSERT_EQ(samples[i], samples[i + 1]) << "frame " << i / 2;
}

TEST_P(BackendContract, CapturesAtTheRequestedFormat)
{
    CaptureLog log;
    ASSERT_TRUE(m_engine->switchOnInput(inputOf("sonalto_tone")));
    std::string error;
    auto channel = m_engine->startCapture(
        {22050, 1}, false,
        [&log](const int16_t *s, size_t bytes) {
            log.add(s, bytes);
            return true;
        },
        &error);
    ASSERT_TRUE(channel) << error;
    EXPECT_EQ(channel->format().rate, 22050);
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.frames(1) >= 11025; }, 10000));
    float spectrum[512];
    ASSERT_TRUE(channel->spectrum(spectrum));
    channel.reset();
    EXPECT_EQ(peakElement(spectrum), 46); // 1000 Hz * 1024 / 22050
}

TEST_P(BackendContract, CallbackRefusingAudioEndsTheCapture)
{
    std::atomic<int> calls{0};
    ASSERT_TRUE(m_engine->switchOnInput(inputOf("sonalto_tone")));
    std::string error;
    auto channel = m_engine->startCapture(
        {44100, 2}, false, [&](const int16_t *, size_t) { return ++calls < 3; }, &error);
    ASSERT_TRUE(channel) << error;
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel->state() == ActiveState::Stopped; }, 10000));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(calls, 3);
    EXPECT_FALSE(channel->failed());
}

TEST_P(BackendContract, PauseStopsDelivery)
{
    CaptureLog log;
    auto channel = captureFrom("sonalto_tone", log, true);
    ASSERT_TRUE(channel);
    EXPECT_EQ(channel->state(), ActiveState::Paused);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(log.blockCount(), 0u);

    ASSERT_TRUE(channel->play());
    EXPECT_EQ(channel->state(), ActiveState::Playing);
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.blockCount() > 0; }, 10000));
    ASSERT_TRUE(channel->pause());
    EXPECT_EQ(channel->state(), ActiveState::Paused);
    const size_t paused = log.blockCount();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(log.blockCount(), paused);

    ASSERT_TRUE(channel->play());
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.blockCount() > paused; }, 10000));
    channel->stop();
    EXPECT_EQ(channel->state(), ActiveState::Stopped);
}

TEST_P(BackendContract, PlaybackReachesTheOutput)
{
    CaptureLog log;
    auto channel = captureFrom("sonalto_out.monitor", log);
    ASSERT_TRUE(channel);

    const uint64_t frames = 44100;
    TonePlayer player(frames);
    std::string error;
    auto playback = m_engine->backend().openPlayback({44100, 2}, &player, &error);
    ASSERT_TRUE(playback) << error;
    EXPECT_EQ(playback->playedFrames(), 0u);
    ASSERT_TRUE(playback->setRunning(true));
    uint64_t last = 0;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const uint64_t played = playback->playedFrames();
            EXPECT_GE(played, last); // never goes back
            last = played;
            return played >= frames;
        },
        10000));
    EXPECT_EQ(playback->playedFrames(), frames); // silence after the end does not count
    playback->flush();
    EXPECT_EQ(playback->playedFrames(), 0u);
    playback.reset();
    channel.reset();

    if (!pulse()) {
        EXPECT_EQ(m_virtual->playedAudio(), player.expected());
        return;
    }
    // The monitor brings it back (less its first few ms): look for the tone.
    const auto samples = log.copy();
    SpectrumAnalyzer analyzer;
    bool found = false;
    for (size_t start = 0; start + 2048 <= samples.size() && !found; start += 2048) {
        float mono[1024], spectrum[512];
        for (size_t i = 0; i < 1024; ++i)
            mono[i] = (samples[start + 2 * i] + samples[start + 2 * i + 1]) / 65536.f;
        analyzer.compute(mono, spectrum);
        found = peakElement(spectrum) == 40 && spectrum[40] > 0.2f;
    }
    EXPECT_TRUE(found);
}

TEST_P(BackendContract, VanishedSourceFailsTheCaptureInsteadOfMovingIt)
{
    addTemporaryOutput();
    ASSERT_TRUE(QTest::qWaitFor([&] { return inputOf("tmp_x.monitor") >= 0; }, 10000));
    m_engine->refreshDevices();
    CaptureLog log;
    auto channel = captureFrom("tmp_x.monitor", log);
    ASSERT_TRUE(channel);
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel->capturedFrames() > 0; }, 10000));

    removeTemporaryOutput();
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel->failed(); }, 10000));
    // Said in the user's words: the input by the name the user chose it by.
    EXPECT_EQ(channel->failureMessage(), "输入“TmpX（输出混音）”已不可用。");
    EXPECT_EQ(channel->state(), ActiveState::Stopped);
    EXPECT_FALSE(channel->play());
    const uint64_t frames = channel->capturedFrames();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(channel->capturedFrames(), frames);
}

TEST_P(BackendContract, HotPlugIsReportedAndRefreshShowsIt)
{
    std::atomic<int> changes{0};
    m_engine->setDevicesChangedHandler([&] { ++changes; });
    const int device = m_engine->currentDevice();
    // The current input is kept by what it is; its position may move.
    const std::string tone = m_engine->input(m_engine->currentInput())->name;
    auto currentName = [&] { return m_engine->input(m_engine->currentInput())->name; };
    auto hasTmp = [&] {
        for (int i = 0; i < m_engine->inputCount(); ++i)
            if (m_engine->input(i)->name == "TmpX（输出混音）")
                return true;
        return false;
    };

    addTemporaryOutput();
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes > 0; }, 10000));
    m_engine->refreshDevices();
    EXPECT_TRUE(hasTmp());
    EXPECT_EQ(m_engine->currentDevice(), device);
    EXPECT_EQ(currentName(), tone);

    const int before = changes;
    removeTemporaryOutput();
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes > before; }, 10000));
    m_engine->refreshDevices();
    EXPECT_FALSE(hasTmp());
    EXPECT_EQ(currentName(), tone);
    m_engine->setDevicesChangedHandler(nullptr);
}

TEST_P(BackendContract, CallsFromItsOwnCallbacksDoNotDeadlock)
{
    // The capture callback runs on the backend's thread; the program may still
    // query the engine and pause the channel from there.
    std::atomic<int> calls{0};
    CaptureChannel *raw = nullptr;
    std::atomic<bool> ready{false};
    std::atomic<bool> paused{false};
    ASSERT_TRUE(m_engine->switchOnInput(inputOf("sonalto_tone")));
    std::string error;
    auto channel = m_engine->startCapture(
        {44100, 2}, false,
        [&](const int16_t *, size_t) {
            m_engine->input(0);
            m_engine->inputCount();
            if (++calls >= 2 && ready && !paused.exchange(true))
                raw->pause();
            return true;
        },
        &error);
    ASSERT_TRUE(channel) << error;
    raw = channel.get();
    ready = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel->state() == ActiveState::Paused; }, 10000));

    // The devices-changed handler may re-read the lists right away.
    std::atomic<bool> refreshed{false};
    m_engine->setDevicesChangedHandler([&] {
        m_engine->refreshDevices();
        refreshed = true;
    });
    addTemporaryOutput();
    ASSERT_TRUE(QTest::qWaitFor([&] { return refreshed.load(); }, 10000));
    m_engine->setDevicesChangedHandler(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Backends, BackendContract, ::testing::Values(Kind::Virtual, Kind::Pulse),
                         [](const auto &info) {
                             return info.param == Kind::Pulse ? "Pulse" : "Virtual";
                         });

TEST(PulseBackend, StartFailsWithAMessageWhenNoServerAnswers)
{
    const QByteArray saved = qgetenv("PULSE_SERVER");
    const bool had = qEnvironmentVariableIsSet("PULSE_SERVER");
    qputenv("PULSE_SERVER", "unix:/nonexistent");
    AudioEngine engine(AudioEngine::createSystemBackend());
    std::string error;
    const bool started = engine.start(&error);
    if (had)
        qputenv("PULSE_SERVER", saved);
    else
        qunsetenv("PULSE_SERVER");
    EXPECT_FALSE(started);
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(engine.isStarted());
    EXPECT_EQ(engine.currentDevice(), -1);
}

} // namespace
