// The input level meter: peaks collected on the audio thread, shown in dBFS
// with a held peak and a clip warning.
#include "recording/InputLevelMeter.h"
#include "audio/PeakTracker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using sonalto::audio::PeakReading;
using sonalto::audio::PeakTracker;
using sonalto::recording::InputLevelMeter;

namespace {

PeakReading stereo(int left, int right, bool clipped = false)
{
    PeakReading r;
    r.channels = 2;
    r.peak[0] = left;
    r.peak[1] = right;
    r.clipped = clipped;
    return r;
}

TEST(PeakTracker, PeaksPerChannelSinceLastTakenAndFullScale)
{
    PeakTracker tracker(2);
    const std::vector<int16_t> block{100, -3000, -1000, 200, 500, 2999};
    tracker.push(block.data(), 3, 2);
    const std::vector<int16_t> quieter{10, 10};
    tracker.push(quieter.data(), 1, 2);
    PeakReading r = tracker.take();
    EXPECT_EQ(r.channels, 2);
    EXPECT_EQ(r.peak[0], 1000);
    EXPECT_EQ(r.peak[1], 3000);
    EXPECT_FALSE(r.clipped);
    r = tracker.take();
    EXPECT_EQ(r.peak[0], 0) << "taking starts again from zero";

    const std::vector<int16_t> nearly{32766, -32766};
    tracker.push(nearly.data(), 1, 2);
    EXPECT_FALSE(tracker.take().clipped);
    for (int16_t full : {int16_t(32767), int16_t(-32767), int16_t(-32768)}) {
        const std::vector<int16_t> clip{0, full};
        tracker.push(clip.data(), 1, 2);
        r = tracker.take();
        EXPECT_TRUE(r.clipped) << full;
        EXPECT_GE(r.peak[1], 32767);
    }
    EXPECT_FALSE(tracker.take().clipped);

    PeakTracker mono(1);
    const std::vector<int16_t> m{5, -7, 6};
    mono.push(m.data(), 3, 1);
    r = mono.take();
    EXPECT_EQ(r.channels, 1);
    EXPECT_EQ(r.peak[0], 7);
}

TEST(InputLevelMeter, DecibelsOfFullScaleWithAFloor)
{
    EXPECT_DOUBLE_EQ(InputLevelMeter::toDb(32767), 0.0);
    EXPECT_DOUBLE_EQ(InputLevelMeter::toDb(32768), 0.0);
    EXPECT_NEAR(InputLevelMeter::toDb(3277), -20.0, 0.01);
    EXPECT_NEAR(InputLevelMeter::toDb(16384), -6.02, 0.01);
    EXPECT_DOUBLE_EQ(InputLevelMeter::toDb(0), -60.0);
    EXPECT_DOUBLE_EQ(InputLevelMeter::toDb(1), -60.0); // -90 dB reads as the floor
    EXPECT_NEAR(InputLevelMeter::toDb(33), -60.0, 0.1);
}

TEST(InputLevelMeter, HeldPeakFallsBackAfterItsHoldTime)
{
    InputLevelMeter meter;
    EXPECT_EQ(meter.valueDb(), -60);
    meter.update(stereo(32767, 3277), 0);
    EXPECT_DOUBLE_EQ(meter.levelDb(0), 0.0);
    EXPECT_NEAR(meter.levelDb(1), -20.0, 0.01);
    EXPECT_EQ(meter.valueDb(), 0);
    // Quieter audio: the level follows at once, the held peak waits.
    for (int64_t t = 50; t < InputLevelMeter::HoldMs; t += 50) {
        meter.update(stereo(1036, 1036), t); // -30 dB
        ASSERT_NEAR(meter.levelDb(0), -30.0, 0.01);
        ASSERT_DOUBLE_EQ(meter.heldDb(0), 0.0) << t;
        ASSERT_NEAR(meter.heldDb(1), -20.0, 0.01) << t;
    }
    meter.update(stereo(1036, 1036), InputLevelMeter::HoldMs);
    EXPECT_NEAR(meter.heldDb(0), -30.0, 0.01);
    EXPECT_NEAR(meter.heldDb(1), -30.0, 0.01);
    EXPECT_EQ(meter.valueDb(), -30);
    // A louder peak is held from when it came.
    meter.update(stereo(3277, 0), 2000);
    meter.update(stereo(0, 0), 3400);
    EXPECT_NEAR(meter.heldDb(0), -20.0, 0.01);
    EXPECT_DOUBLE_EQ(meter.heldDb(1), -60.0);
    meter.update(stereo(0, 0), 3500);
    EXPECT_DOUBLE_EQ(meter.heldDb(0), -60.0);
    EXPECT_EQ(meter.valueDb(), -60);
}

TEST(InputLevelMeter, ClipWarningStaysUntilCleared)
{
    InputLevelMeter meter;
    meter.update(stereo(100, 100), 0);
    EXPECT_FALSE(meter.clipped());
    meter.update(stereo(32767, 100, true), 50);
    meter.update(stereo(100, 100), 10000);
    EXPECT_TRUE(meter.clipped());
    meter.clear();
    EXPECT_TRUE(meter.clipped()) << "losing the input does not clear the warning";
    EXPECT_DOUBLE_EQ(meter.heldDb(0), -60.0);
    meter.clearClip();
    EXPECT_FALSE(meter.clipped());
}

TEST(InputLevelMeter, MonoShowsOneChannel)
{
    InputLevelMeter meter;
    PeakReading r;
    r.channels = 1;
    r.peak[0] = 3277;
    meter.update(r, 0);
    EXPECT_EQ(meter.channels(), 1);
    EXPECT_EQ(meter.valueDb(), -20);
    EXPECT_DOUBLE_EQ(meter.levelDb(1), -60.0);
}

} // namespace
