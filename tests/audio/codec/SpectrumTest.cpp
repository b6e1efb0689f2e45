#include "audio/RingBuffer.h"
#include "audio/SpectrumAnalyzer.h"

#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

using namespace sonalto::audio;

namespace {

std::vector<float> sine(double cyclesPer1024, double amplitude = 1.0)
{
    std::vector<float> v(1024);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = float(amplitude * std::sin(2 * std::numbers::pi * cyclesPer1024 * double(i) / 1024));
    return v;
}

size_t peakOf(const std::vector<float> &mag)
{
    return size_t(std::max_element(mag.begin(), mag.end()) - mag.begin());
}

} // namespace

TEST(SpectrumAnalyzer, FullScaleSineOnAnElementGivesHalf)
{
    SpectrumAnalyzer analyzer;
    std::vector<float> mag(512);
    for (int k : {5, 40, 200}) {
        analyzer.compute(sine(k).data(), mag.data());
        EXPECT_EQ(peakOf(mag), size_t(k));
        EXPECT_NEAR(mag[size_t(k)], 0.5f, 0.001f);
        // The Hann window leaks into the two neighbours only (a quarter each).
        EXPECT_NEAR(mag[size_t(k - 1)], 0.25f, 0.001f);
        EXPECT_LT(mag[size_t(k + 3)], 0.001f);
    }
    analyzer.compute(sine(40, 0.25).data(), mag.data());
    EXPECT_NEAR(mag[40], 0.125f, 0.001f);
}

TEST(SpectrumAnalyzer, ThousandHertzAt44100LandsInElement23)
{
    SpectrumAnalyzer analyzer;
    std::vector<float> mag(512);
    analyzer.compute(sine(1000.0 * 1024 / 44100).data(), mag.data());
    EXPECT_EQ(peakOf(mag), 23u);
    EXPECT_NEAR(mag[23], 0.48f, 0.01f);
}

TEST(RecentAudio, KeepsTheNewest1024FramesMixedToMono)
{
    RecentAudio recent(2);
    std::vector<float> out(1024);
    std::vector<int16_t> block(2 * 600);
    for (size_t f = 0; f < 600; ++f) {
        block[2 * f] = int16_t(f);
        block[2 * f + 1] = int16_t(f + 2); // mono: f + 1
    }
    recent.push(block.data(), 600);
    EXPECT_FALSE(recent.snapshot(out.data()));
    for (size_t f = 0; f < 600; ++f) {
        block[2 * f] = int16_t(600 + f);
        block[2 * f + 1] = int16_t(602 + f);
    }
    recent.push(block.data(), 600);
    ASSERT_TRUE(recent.snapshot(out.data()));
    // 1200 frames pushed: the oldest kept is frame 176, the newest 1199.
    EXPECT_FLOAT_EQ(out.front() * 32768.f, 177.f);
    EXPECT_FLOAT_EQ(out.back() * 32768.f, 1200.f);
    recent.clear();
    EXPECT_FALSE(recent.snapshot(out.data()));
}

TEST(RecentAudio, ABlockLargerThanTheWindowKeepsItsTail)
{
    RecentAudio recent(1);
    std::vector<int16_t> block(3000);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = int16_t(i);
    recent.push(block.data(), block.size());
    std::vector<float> out(1024);
    ASSERT_TRUE(recent.snapshot(out.data()));
    EXPECT_FLOAT_EQ(out.front() * 32768.f, 3000.f - 1024.f);
    EXPECT_FLOAT_EQ(out.back() * 32768.f, 2999.f);
}

TEST(RingBuffer, WrapsAroundAndRefusesWhatDoesNotFit)
{
    RingBuffer<int> ring(10);
    std::vector<int> in{1, 2, 3, 4, 5, 6, 7}, out(10);
    EXPECT_TRUE(ring.pushAll(in.data(), 7));
    EXPECT_FALSE(ring.pushAll(in.data(), 4)); // all or nothing
    EXPECT_EQ(ring.size(), 7u);
    EXPECT_EQ(ring.pop(out.data(), 5), 5u);
    EXPECT_TRUE(ring.pushAll(in.data(), 7)); // crosses the end of the storage
    EXPECT_EQ(ring.freeSpace(), 1u);
    EXPECT_EQ(ring.push(in.data(), 5), 1u);
    EXPECT_EQ(ring.pop(out.data(), 10), 10u);
    EXPECT_EQ(out, (std::vector<int>{6, 7, 1, 2, 3, 4, 5, 6, 7, 1}));
    EXPECT_TRUE(ring.empty());
}

TEST(RingBuffer, KeepsOrderBetweenTwoThreads)
{
    RingBuffer<uint32_t> ring(257);
    constexpr uint32_t total = 2'000'000;
    std::thread producer([&] {
        uint32_t next = 0;
        uint32_t block[37];
        while (next < total) {
            const uint32_t n = std::min<uint32_t>(37, total - next);
            for (uint32_t i = 0; i < n; ++i)
                block[i] = next + i;
            next += uint32_t(ring.push(block, n));
        }
    });
    uint32_t expected = 0;
    bool inOrder = true;
    uint32_t block[50];
    while (expected < total) {
        const size_t n = ring.pop(block, 50);
        for (size_t i = 0; i < n; ++i)
            inOrder = inOrder && block[i] == expected++;
    }
    producer.join();
    EXPECT_TRUE(inOrder);
}
