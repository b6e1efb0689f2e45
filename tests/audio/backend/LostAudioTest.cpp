// Lost audio keeps its place: gaps in the capture and blocks an encoder's buffer
// had no room for become silence of the same length, and every loss is counted.
#include "BackendTestSupport.h"

#include "audio/AudioEngine.h"
#include "audio/BufferedEncoder.h"
#include "audio/CaptureChannelImpl.h"
#include "common/TestSupport.h"

#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <thread>

using namespace sonalto::audio;
using namespace sonalto::audio::test;
using namespace std::chrono_literals;

namespace {

constexpr int Rate = 44100;

// Each frame tells its number (both channels, modulo 15000), so that a file can
// be checked frame by frame against the timeline it should keep.
int16_t counterSample(uint64_t frame, int channel)
{
    return int16_t((frame % 15000) * 2 + uint64_t(channel));
}

// A buffered encoder into memory whose writer thread the test can hold up, as a
// slow disk or a busy encoder program would. What it wrote outlives it.
class StallingEncoder : public BufferedEncoder
{
public:
    struct Output
    {
        std::mutex mutex;
        std::condition_variable wake;
        bool stalled = false;
        std::atomic<bool> held{false};
        std::vector<int16_t> written;

        void stall()
        {
            std::lock_guard lock(mutex);
            stalled = true;
        }
        void release()
        {
            {
                std::lock_guard lock(mutex);
                stalled = false;
            }
            wake.notify_all();
        }
        size_t frames()
        {
            std::lock_guard lock(mutex);
            return written.size() / 2;
        }
        std::vector<int16_t> copy()
        {
            std::lock_guard lock(mutex);
            return written;
        }
    };

    StallingEncoder(std::shared_ptr<Output> output, double bufferSeconds)
        : BufferedEncoder({Rate, 2}, bufferSeconds), m_output(std::move(output))
    {
        startWriter();
    }
    ~StallingEncoder() override { stopWriter(); }

protected:
    bool writeSamples(const int16_t *samples, size_t frames, std::string *) override
    {
        Output &o = *m_output;
        std::unique_lock lock(o.mutex);
        o.held = o.stalled;
        o.wake.wait(lock, [&] { return !o.stalled; });
        o.held = false;
        o.written.insert(o.written.end(), samples, samples + frames * 2);
        return true;
    }
    bool closeOutput(bool, std::string *) override { return true; }

private:
    std::shared_ptr<Output> m_output;
};

// Walks the counter's frames in `out`: each frame is either the next one of the
// timeline or silence. A frame that is neither starts a new timeline (a jump).
struct Timeline
{
    uint64_t silent = 0;
    int jumps = 0;
};

Timeline walk(const std::vector<int16_t> &out)
{
    Timeline t;
    bool synced = false;
    int64_t base = 0; // the counter's frame at index 0, modulo 15000
    size_t leading = 0;
    for (size_t j = 0; j < out.size() / 2; ++j) {
        const int16_t l = out[2 * j], r = out[2 * j + 1];
        if (l == 0 && r == 0) {
            ++t.silent;
            continue;
        }
        EXPECT_EQ(r, l + 1) << "frame " << j << " is not a counter frame";
        const int64_t expected = ((base + int64_t(j)) % 15000) * 2;
        if (!synced || l != expected) {
            if (synced)
                ++t.jumps;
            else
                leading = j;
            synced = true;
            base = ((l / 2 - int64_t(j)) % 15000 + 15000) % 15000;
        }
    }
    (void)leading;
    return t;
}

TEST(BufferedEncoderLoss, FullBufferBecomesSilenceOfTheSameLengthAndIsCounted)
{
    // 0.1 s of buffer; the test writes from its own thread, like a capture would.
    auto output = std::make_shared<StallingEncoder::Output>();
    StallingEncoder encoder(output, 0.1);
    std::vector<int16_t> block(441 * 2);
    uint64_t frame = 0;
    auto writeBlock = [&] {
        for (size_t i = 0; i < 441; ++i) {
            block[2 * i] = counterSample(frame + i, 0);
            block[2 * i + 1] = counterSample(frame + i, 1);
        }
        encoder.write(block.data(), 441);
        frame += 441;
    };

    for (int i = 0; i < 5; ++i)
        writeBlock();
    ASSERT_TRUE(QTest::qWaitFor([&] { return output->frames() == frame; }, 10000));
    output->stall();
    writeBlock(); // the writer takes this one and is held in its write
    ASSERT_TRUE(QTest::qWaitFor([&] { return output->held.load(); }, 10000));
    EXPECT_FALSE(encoder.lostAudio().any());
    for (int i = 0; i < 40; ++i) // 1.76 s into 0.1 s of buffer
        writeBlock();
    const AudioLoss whileHeld = encoder.lostAudio();
    EXPECT_EQ(whileHeld.eventCount(LossKind::Overflow), 1u);
    EXPECT_EQ(whileHeld.frameCount(LossKind::Overflow), 40u * 441 - 10 * 441)
        << "the buffer takes ten blocks, the rest is lost";
    EXPECT_TRUE(encoder.isActive()) << "a stall costs audio, not the take";

    output->release();
    // The silence is written once audio follows it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return output->frames() == frame - 30 * 441; }, 10000));
    // Eight blocks fit whether or not the writer keeps up.
    for (int i = 0; i < 5; ++i)
        writeBlock();
    encoder.writeSilence(1000); // a gap the capture reported
    frame += 1000;
    for (int i = 0; i < 3; ++i)
        writeBlock();
    // A second stall that lasts to the end: the lost tail is silence as well.
    ASSERT_TRUE(QTest::qWaitFor([&] { return output->frames() == frame; }, 10000));
    output->stall();
    writeBlock();
    ASSERT_TRUE(QTest::qWaitFor([&] { return output->held.load(); }, 10000));
    for (int i = 0; i < 40; ++i)
        writeBlock();
    output->release();
    encoder.finish();

    const AudioLoss loss = encoder.lostAudio();
    EXPECT_EQ(loss.eventCount(LossKind::Overflow), 2u);
    EXPECT_EQ(loss.frameCount(LossKind::Overflow), 2u * 30 * 441);
    EXPECT_EQ(loss.eventCount(LossKind::Hole), 0u) << "the capture counts its own gaps";
    const std::vector<int16_t> out = output->copy();
    EXPECT_EQ(out.size() / 2, frame) << "every frame handed over keeps its place";
    const Timeline t = walk(out);
    EXPECT_EQ(t.jumps, 0);
    EXPECT_EQ(t.silent, loss.totalFrames() + 1000);
}

TEST(BufferedEncoderLoss, PausedEncoderLosesNothing)
{
    auto output = std::make_shared<StallingEncoder::Output>();
    StallingEncoder encoder(output, 0.05);
    std::vector<int16_t> block(4410 * 2, 7);
    encoder.setPaused(true);
    for (int i = 0; i < 10; ++i)
        encoder.write(block.data(), 4410);
    encoder.writeSilence(44100);
    encoder.setPaused(false);
    encoder.write(block.data(), 441);
    encoder.finish();
    EXPECT_FALSE(encoder.lostAudio().any());
    EXPECT_EQ(output->frames(), 441u);
}

class CaptureLossTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        VirtualDevice device{"dev", "Device", true, {}};
        device.inputs.push_back(
            {"Counter",
             InputTypeLine,
             1.f,
             [](uint64_t frame, int channel, int) { return counterSample(frame, channel); },
             "counter",
             {}});
        m_backend.addDevice(std::move(device));
    }

    std::unique_ptr<CaptureChannelImpl> open(CaptureCallback callback = {})
    {
        std::string error;
        auto channel = CaptureChannelImpl::open(m_backend, "counter", {Rate, 2}, true,
                                                std::move(callback), &error);
        EXPECT_TRUE(channel) << error;
        return channel;
    }

    // Lets at least `frames` more frames of capture pass.
    static void pass(CaptureChannel &channel, uint64_t frames)
    {
        const uint64_t from = channel.capturedFrames();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return channel.capturedFrames() >= from + frames; }, 10000));
    }

    VirtualBackend m_backend;
};

TEST_F(CaptureLossTest, GapsInTheCaptureBecomeSilenceForCallbackAndEncoders)
{
    CaptureLog seen;
    auto channel = open([&](const int16_t *s, size_t bytes) {
        seen.add(s, bytes);
        return true;
    });
    ASSERT_TRUE(channel);
    auto output = std::make_shared<StallingEncoder::Output>();
    channel->attachEncoder(
        std::make_unique<StallingEncoder>(output, BufferedEncoder::BufferSeconds));
    ASSERT_TRUE(channel->play());
    pass(*channel, 4410);

    ASSERT_TRUE(m_backend.injectLoss("counter", 22050, LossKind::Hole));
    ASSERT_TRUE(m_backend.injectLoss("counter", 441, LossKind::Overrun));
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel->lostAudio().totalEvents() == 2; }, 10000));
    pass(*channel, 4410);
    // Paused encoders lose nothing: what they would have ignored is not counted.
    channel->setEncodersPaused(true);
    ASSERT_TRUE(m_backend.injectLoss("counter", 441, LossKind::Hole));
    pass(*channel, 4410);
    channel->setEncodersPaused(false);
    pass(*channel, 4410);

    const AudioLoss loss = channel->lostAudio();
    EXPECT_EQ(loss.eventCount(LossKind::Hole), 1u);
    EXPECT_EQ(loss.frameCount(LossKind::Hole), 22050u);
    EXPECT_EQ(loss.eventCount(LossKind::Overrun), 1u);
    EXPECT_EQ(loss.frameCount(LossKind::Overrun), 441u);
    EXPECT_EQ(loss.eventCount(LossKind::Overflow), 0u);
    channel.reset();

    // The callback saw the whole timeline, the gaps as silence.
    const Timeline callback = walk(seen.copy());
    EXPECT_EQ(callback.jumps, 0);
    EXPECT_EQ(callback.silent, 22050u + 441u + 441u);
    // The encoder too, up to the pause, which it skipped.
    const Timeline encoder = walk(output->copy());
    EXPECT_EQ(encoder.jumps, 1);
    EXPECT_EQ(encoder.silent, 22050u + 441u);
}

TEST_F(CaptureLossTest, StalledEncoderKeepsTheTimelineAndTheTakeGoesOn)
{
    auto channel = open();
    ASSERT_TRUE(channel);
    auto output = std::make_shared<StallingEncoder::Output>();
    // Half a second of buffer: more than the writer's idle wait, as in use.
    channel->attachEncoder(std::make_unique<StallingEncoder>(output, 0.5));
    ASSERT_TRUE(channel->play());
    pass(*channel, 4410);
    output->stall();
    ASSERT_TRUE(QTest::qWaitFor([&] { return output->held.load(); }, 10000));
    pass(*channel, 3 * 22050); // three times what the buffer holds
    EXPECT_TRUE(channel->encodersActive());
    EXPECT_FALSE(channel->failed());
    output->release();
    pass(*channel, 4410);
    const uint64_t captured = channel->capturedFrames();
    channel->stop();
    const AudioLoss loss = channel->lostAudio();
    channel.reset();

    EXPECT_EQ(loss.eventCount(LossKind::Overflow), 1u);
    EXPECT_GE(loss.frameCount(LossKind::Overflow), 2 * 22050u);
    const std::vector<int16_t> out = output->copy();
    // Everything captured reached the file, audio or silence (a block or two
    // may arrive between the count and the stop).
    EXPECT_GE(out.size() / 2, captured);
    EXPECT_LE(out.size() / 2, captured + 2205);
    const Timeline t = walk(out);
    EXPECT_EQ(t.jumps, 0);
    EXPECT_EQ(t.silent, loss.frameCount(LossKind::Overflow));
}

using Clock = std::chrono::steady_clock;

// The moment a new block arrives, and the channel's frame count then.
struct Mark
{
    Clock::time_point at;
    uint64_t frames;
};

Mark nextBlock(const CaptureChannel &channel)
{
    const uint64_t before = channel.capturedFrames();
    while (channel.capturedFrames() == before)
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    return {Clock::now(), channel.capturedFrames()};
}

TEST(PulseCaptureLoss, SuspendedSourceIsASilentGapOfTheTimeItWasAway)
{
    SONALTO_REQUIRE_PULSE();
    const auto tone = sonalto::test::sineGenerator(1000);
    sonalto::test::LineInFeed feed([&](uint64_t frame) { return tone(frame, 0, Rate); }, 10);
    auto backend = AudioEngine::createSystemBackend();
    std::string error;
    ASSERT_TRUE(backend->connect(&error)) << error;
    CaptureLog log;
    auto channel = CaptureChannelImpl::open(
        *backend, "sonalto_linein", {Rate, 2}, false,
        [&](const int16_t *s, size_t bytes) {
            log.add(s, bytes);
            return true;
        },
        &error);
    ASSERT_TRUE(channel) << error;
    // Steady audio first: the tone has arrived and blocks come in small steps.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const std::vector<int16_t> all = log.copy();
            return all.size() > 2 * 4410 && all[all.size() - 2] != 0;
        },
        10000));
    const Mark before = nextBlock(*channel);
    // A first audio the server held back is a gap of its own, before this one.
    const AudioLoss atStart = channel->lostAudio();

    sonalto::test::SuspendedSource suspension("sonalto_linein");
    std::this_thread::sleep_for(1s);
    suspension.resume();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return channel->lostAudio().totalEvents() > atStart.totalEvents(); }, 10000));
    const uint64_t resumed = channel->capturedFrames();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return channel->capturedFrames() >= resumed + Rate / 2; }, 10000));
    const Mark after = nextBlock(*channel);
    const AudioLoss loss = channel->lostAudio();
    channel.reset();

    // The timeline matches the clock across the suspension.
    const double wall = std::chrono::duration<double>(after.at - before.at).count();
    EXPECT_NEAR(double(after.frames - before.frames) / Rate, wall, 0.05);
    EXPECT_EQ(loss.eventCount(LossKind::Hole) - atStart.eventCount(LossKind::Hole), 1u);
    EXPECT_EQ(loss.totalEvents() - atStart.totalEvents(), 1u);
    const uint64_t holeFrames =
        loss.frameCount(LossKind::Hole) - atStart.frameCount(LossKind::Hole);
    const double hole = double(holeFrames) / Rate;
    EXPECT_GE(hole, suspension.leastSecondsAway() - 0.1);
    EXPECT_LE(hole, suspension.mostSecondsAway() + 0.1);
    // The gap is silence of exactly the length counted (after the tone began).
    const std::vector<int16_t> all = log.copy();
    size_t first = 0;
    while (first < all.size() / 2 && all[2 * first] == 0)
        ++first;
    size_t longest = 0, run = 0;
    for (size_t j = first; j < all.size() / 2; ++j) {
        run = all[2 * j] == 0 && all[2 * j + 1] == 0 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    EXPECT_NEAR(double(longest), double(holeFrames), 2.0);
}

// The server's module that suspends what nobody uses, loaded while it lives.
class SuspendOnIdle
{
public:
    SuspendOnIdle()
    {
        m_module =
            sonalto::test::pactl({"load-module", "module-suspend-on-idle", "timeout=1"}).trimmed();
    }
    ~SuspendOnIdle() { sonalto::test::pactl({"unload-module", m_module}); }
    bool loaded() const { return !m_module.isEmpty(); }

private:
    QString m_module;
};

bool outputSuspended()
{
    const QString sinks = sonalto::test::pactl({"list", "short", "sinks"});
    for (const QString &line : sinks.split('\n'))
        if (line.contains("\tsonalto_out\t") && line.endsWith("SUSPENDED"))
            return true;
    return false;
}

// An output nobody plays to is suspended when the take starts. The time until its
// audio flows is a gap of silence, counted, so the take is as long as the time
// recorded and what is heard later sits at its time; a source away to the end is
// silence to the end.
TEST(PulseCaptureLoss, SourceSuspendedWhenTheTakeStartsIsASilentGapToo)
{
    SONALTO_REQUIRE_PULSE();
    enum Case { IdleOutput, BackInTheTake, AwayToTheEnd };
    for (const Case c : {IdleOutput, BackInTheTake, AwayToTheEnd}) {
        SCOPED_TRACE(c == IdleOutput      ? "suspended by the server for being idle"
                     : c == BackInTheTake ? "suspended, back a second into the take"
                                          : "suspended to the end");
        std::optional<SuspendOnIdle> idle;
        std::optional<sonalto::test::SuspendedSource> suspension;
        if (c == IdleOutput) {
            idle.emplace();
            ASSERT_TRUE(idle->loaded());
            ASSERT_TRUE(QTest::qWaitFor(outputSuspended, 10000));
        } else {
            suspension.emplace("sonalto_out.monitor");
        }
        auto backend = AudioEngine::createSystemBackend();
        std::string error;
        ASSERT_TRUE(backend->connect(&error)) << error;
        auto channel =
            CaptureChannelImpl::open(*backend, "sonalto_out.monitor", {Rate, 2}, true, {}, &error);
        ASSERT_TRUE(channel) << error;
        const Clock::time_point start = Clock::now();
        ASSERT_TRUE(channel->play());
        if (c == AwayToTheEnd) {
            std::this_thread::sleep_for(1s);
        } else {
            if (c == BackInTheTake) {
                std::this_thread::sleep_for(1s);
                suspension->resume();
            }
            // Its audio flows, for a while.
            ASSERT_TRUE(QTest::qWaitFor([&] { return channel->lostAudio().any(); }, 10000));
            const uint64_t back = channel->capturedFrames();
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return channel->capturedFrames() >= back + Rate / 2; }, 10000));
        }
        channel->stop();
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        const double recorded = double(channel->capturedFrames()) / Rate;
        const AudioLoss loss = channel->lostAudio();
        channel.reset();

        EXPECT_NEAR(recorded, wall, 0.15);
        EXPECT_EQ(loss.eventCount(LossKind::Hole), 1u);
        EXPECT_EQ(loss.totalEvents(), 1u);
        const double hole = double(loss.frameCount(LossKind::Hole)) / Rate;
        if (c == BackInTheTake) {
            EXPECT_GE(hole, suspension->leastSecondsAway() - 0.1);
        } else if (c == AwayToTheEnd) {
            EXPECT_NEAR(hole, wall, 0.1);
        }
        EXPECT_LE(hole, wall);
    }
}

// A server may hold a new stream's first audio back: an output's monitor whose
// last listener has just gone waits for the output's next block, up to two
// seconds later. Takes in a row, each started as the one before ends, still last
// as long as the time they recorded (give or take what the server may hold
// back for its own scheduling, 0.3 s).
TEST(PulseCaptureLoss, TakesInARowOnAnOutputLastAsLongAsTheTimeRecorded)
{
    SONALTO_REQUIRE_PULSE();
    auto backend = AudioEngine::createSystemBackend();
    std::string error;
    ASSERT_TRUE(backend->connect(&error)) << error;
    for (int take = 1; take <= 4; ++take) {
        SCOPED_TRACE(take);
        auto channel =
            CaptureChannelImpl::open(*backend, "sonalto_out.monitor", {Rate, 2}, true, {}, &error);
        ASSERT_TRUE(channel) << error;
        const Clock::time_point start = Clock::now();
        ASSERT_TRUE(channel->play());
        // A second of take; audio held back and never made up would take longer.
        ASSERT_TRUE(QTest::qWaitFor([&] { return channel->capturedFrames() >= Rate; }, 10000));
        channel->stop();
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        EXPECT_NEAR(double(channel->capturedFrames()) / Rate, wall, 0.45);
        EXPECT_FALSE(channel->lostAudio().any()) << "silence from the server is no loss";
    }
}

} // namespace
