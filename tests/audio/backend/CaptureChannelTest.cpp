// Capture channels over the virtual backend: what reaches the callback, the
// encoders and the spectrum, and in which order things end.
#include "BackendTestSupport.h"

#include "audio/CaptureChannelImpl.h"

#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace sonalto::audio;
using namespace sonalto::audio::test;
using namespace std::chrono_literals;

namespace {

// Records what it is given; tells the test when it was finished and whether
// audio still came afterwards.
class RecordingEncoder : public Encoder
{
public:
    struct Log
    {
        std::mutex mutex;
        std::vector<int16_t> samples;
        std::atomic<bool> finished{false};
        std::atomic<int> writesAfterFinish{0};
        std::atomic<bool> paused{false};
    };

    explicit RecordingEncoder(std::shared_ptr<Log> log, int channels)
        : m_log(std::move(log)), m_channels(channels)
    {
    }
    void write(const int16_t *samples, size_t frames) override
    {
        if (m_log->finished)
            ++m_log->writesAfterFinish;
        if (m_log->paused)
            return;
        std::lock_guard lock(m_log->mutex);
        m_log->samples.insert(m_log->samples.end(), samples, samples + frames * size_t(m_channels));
    }
    void writeSilence(size_t frames) override
    {
        if (m_log->paused)
            return;
        std::lock_guard lock(m_log->mutex);
        m_log->samples.insert(m_log->samples.end(), frames * size_t(m_channels), 0);
    }
    void setPaused(bool paused) override { m_log->paused = paused; }
    bool isPaused() const override { return m_log->paused; }
    bool isActive() const override { return !m_log->finished && m_error.empty(); }
    std::string errorMessage() const override { return m_error; }
    void finish() override { m_log->finished = true; }

    std::string m_error;

private:
    std::shared_ptr<RecordingEncoder::Log> m_log;
    int m_channels;
};

class CaptureChannelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        VirtualDevice device{"dev", "Device", true, {}};
        // Each sample tells its frame number, so gaps and repeats show.
        device.inputs.push_back({"Counter",
                                 InputTypeLine,
                                 1.f,
                                 [](uint64_t frame, int channel, int) {
                                     return int16_t((frame * 2 + uint64_t(channel)) % 30000);
                                 },
                                 "counter",
                                 {}});
        device.inputs.push_back({"Tone", InputTypeUndefined, 1.f, sineGenerator(1000), "tone", {}});
        m_backend.addDevice(std::move(device));
    }

    std::unique_ptr<CaptureChannelImpl> open(const std::string &source, bool paused,
                                             CaptureCallback callback)
    {
        std::string error;
        auto channel = CaptureChannelImpl::open(m_backend, source, {44100, 2}, paused,
                                                std::move(callback), &error);
        EXPECT_TRUE(channel) << error;
        return channel;
    }

    VirtualBackend m_backend;
};

void expectCounting(const std::vector<int16_t> &samples)
{
    ASSERT_FALSE(samples.empty());
    for (size_t i = 1; i < samples.size(); ++i)
        ASSERT_EQ(samples[i], int16_t((samples[i - 1] + 1) % 30000)) << "sample " << i;
}

TEST_F(CaptureChannelTest, EncodersGetExactlyWhatTheCallbackAccepted)
{
    CaptureLog accepted;
    std::atomic<bool> refuse{false};
    auto channel = open("counter", true, [&](const int16_t *s, size_t bytes) {
        if (refuse)
            return false;
        accepted.add(s, bytes);
        return true;
    });
    ASSERT_TRUE(channel);
    auto log = std::make_shared<RecordingEncoder::Log>();
    auto other = std::make_shared<RecordingEncoder::Log>();
    EXPECT_FALSE(channel->encodersActive());
    channel->attachEncoder(std::make_unique<RecordingEncoder>(log, 2));
    channel->attachEncoder(std::make_unique<RecordingEncoder>(other, 2));
    EXPECT_TRUE(channel->encodersActive());

    ASSERT_TRUE(channel->play());
    ASSERT_TRUE(QTest::qWaitFor([&] { return accepted.frames(2) >= 4410; }, 10000));
    refuse = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel->state() == ActiveState::Stopped; }, 10000));
    std::this_thread::sleep_for(50ms);
    const uint64_t captured = channel->capturedFrames();
    EXPECT_GT(captured, accepted.frames(2)); // the refused block was counted, not passed on

    channel.reset();
    EXPECT_TRUE(log->finished);
    EXPECT_TRUE(other->finished);
    EXPECT_EQ(log->writesAfterFinish, 0);
    EXPECT_EQ(log->samples, accepted.copy());
    EXPECT_EQ(other->samples, accepted.copy());
    expectCounting(log->samples);
}

TEST_F(CaptureChannelTest, PausedEncodersAndEncoderFailures)
{
    auto channel = open("counter", false, {});
    ASSERT_TRUE(channel);
    auto log = std::make_shared<RecordingEncoder::Log>();
    auto encoder = std::make_unique<RecordingEncoder>(log, 2);
    RecordingEncoder *raw = encoder.get();
    channel->attachEncoder(std::move(encoder));
    channel->setEncodersPaused(true);
    EXPECT_TRUE(log->paused);
    channel->setEncodersPaused(false);
    EXPECT_FALSE(log->paused);

    EXPECT_FALSE(channel->failed());
    raw->m_error = "disk full";
    EXPECT_FALSE(channel->encodersActive());
    EXPECT_TRUE(channel->failed());
    EXPECT_EQ(channel->failureMessage(), "disk full");
}

TEST_F(CaptureChannelTest, SpectrumNeedsAFullWindowThenShowsTheTone)
{
    auto channel = open("tone", true, {});
    ASSERT_TRUE(channel);
    float spectrum[512];
    EXPECT_FALSE(channel->spectrum(spectrum));
    ASSERT_TRUE(channel->play());
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel->capturedFrames() >= 1024; }, 10000));
    ASSERT_TRUE(channel->spectrum(spectrum));
    EXPECT_EQ(peakElement(spectrum), 23);
}

TEST_F(CaptureChannelTest, OpeningAnUnknownSourceFails)
{
    std::string error;
    EXPECT_FALSE(CaptureChannelImpl::open(m_backend, "nowhere", {44100, 2}, false, {}, &error));
    EXPECT_FALSE(error.empty());
}

TEST_F(CaptureChannelTest, FreeingFromAnotherThreadWhileAudioFlows)
{
    // Repeated open/free races the capture thread's delivery against the
    // destructor; nothing may arrive at a freed channel.
    for (int i = 0; i < 20; ++i) {
        std::atomic<int> calls{0};
        auto channel = open("counter", false, [&](const int16_t *, size_t) {
            ++calls;
            return true;
        });
        ASSERT_TRUE(channel);
        EXPECT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 10000));
        channel.reset();
        const int after = calls;
        std::this_thread::sleep_for(15ms);
        EXPECT_EQ(calls, after);
    }
}

} // namespace
