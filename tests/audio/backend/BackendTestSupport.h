#pragma once

#include "audio/AudioBackend.h"
#include "audio/VirtualBackend.h"
#include "common/TestSignals.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <mutex>
#include <numbers>
#include <vector>

namespace sonalto::audio::test {

// A sine like the test server's tone source: half scale.
using sonalto::test::sineGenerator;

// The endpoints of the test runner's private server, as a virtual backend.
inline std::unique_ptr<VirtualBackend> makeServerLikeBackend()
{
    auto backend = std::make_unique<VirtualBackend>();
    VirtualDevice group{"virtual", "虚拟设备", true, {}};
    group.inputs.push_back(
        {"Sine source", InputTypeUndefined, 1.f, sineGenerator(1000), "sonalto_tone", {}});
    group.inputs.push_back({"LineIn", InputTypeLine, 1.f, {}, "sonalto_linein", {}});
    group.inputs.push_back(
        {"Speakers（输出混音）", InputTypeOutputMix, 1.f, {}, "sonalto_out.monitor", {}});
    group.inputs.push_back(
        {"Headphones（输出混音）", InputTypeOutputMix, 1.f, {}, "sonalto_out2.monitor", {}});
    group.inputs.push_back({"LineInFeed（输出混音）",
                            InputTypeOutputMix,
                            1.f,
                            {},
                            "sonalto_linein_feed.monitor",
                            {}});
    backend->addDevice(std::move(group));
    backend->setDefaultSource("sonalto_tone");
    return backend;
}

// Collects what a capture delivers.
struct CaptureLog
{
    std::mutex mutex;
    std::vector<int16_t> samples;
    size_t blocks = 0;

    size_t frames(int channels)
    {
        std::lock_guard lock(mutex);
        return samples.size() / size_t(channels);
    }
    std::vector<int16_t> copy()
    {
        std::lock_guard lock(mutex);
        return samples;
    }
    size_t blockCount()
    {
        std::lock_guard lock(mutex);
        return blocks;
    }
    void add(const int16_t *data, size_t bytes)
    {
        std::lock_guard lock(mutex);
        samples.insert(samples.end(), data, data + bytes / sizeof(int16_t));
        ++blocks;
    }
};

// Index of the strongest element of a 512-element spectrum.
inline int peakElement(const float *spectrum)
{
    int best = 1;
    for (int k = 1; k < 512; ++k)
        if (spectrum[k] > spectrum[best])
            best = k;
    return best;
}

// Where one channel of a sampled sine breaks its recurrence x[n+1] = 2cos(w)x[n] - x[n-1]:
// a lost or repeated sample shows up there. Returns the number of breaks.
inline size_t sineBreaks(const std::vector<int16_t> &interleaved, int channels, double frequency,
                         int rate)
{
    const double c = 2 * std::cos(2 * std::numbers::pi * frequency / rate);
    size_t breaks = 0;
    const size_t frames = interleaved.size() / size_t(channels);
    for (size_t n = 1; n + 1 < frames; ++n) {
        const double prev = interleaved[(n - 1) * size_t(channels)];
        const double cur = interleaved[n * size_t(channels)];
        const double next = interleaved[(n + 1) * size_t(channels)];
        if (std::abs(next - (c * cur - prev)) > 6)
            ++breaks;
    }
    return breaks;
}

} // namespace sonalto::audio::test
