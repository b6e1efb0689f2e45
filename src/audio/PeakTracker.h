#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace sonalto::audio {

// Peaks of a stream since they were last taken: per channel, and whether any
// sample reached full scale.
struct PeakReading
{
    static constexpr int MaxChannels = 2;
    int channels = 0;
    int peak[MaxChannels] = {}; // 0..32768
    bool clipped = false;
};

// Collects peaks on the audio thread without locks; another thread takes them.
class PeakTracker
{
public:
    static constexpr int FullScale = 32767;

    explicit PeakTracker(int channels)
        : m_channels(std::clamp(channels, 1, PeakReading::MaxChannels))
    {
    }

    // Audio thread. Streams with more channels than tracked fold the rest into
    // the last one.
    void push(const int16_t *samples, size_t frames, int streamChannels)
    {
        int peak[PeakReading::MaxChannels] = {};
        const size_t stride = size_t(std::max(streamChannels, 1));
        for (size_t i = 0; i < frames; ++i)
            for (size_t c = 0; c < stride; ++c) {
                const int v = std::abs(int(samples[i * stride + c]));
                int &p = peak[std::min<size_t>(c, size_t(m_channels - 1))];
                p = std::max(p, v);
            }
        bool clipped = false;
        for (int c = 0; c < m_channels; ++c) {
            clipped = clipped || peak[c] >= FullScale;
            int seen = m_peak[c].load(std::memory_order_relaxed);
            while (peak[c] > seen &&
                   !m_peak[c].compare_exchange_weak(seen, peak[c], std::memory_order_relaxed)) {
            }
        }
        if (clipped)
            m_clipped.store(true, std::memory_order_relaxed);
    }

    // Any thread: the peaks since the last call, which start again from zero.
    PeakReading take()
    {
        PeakReading r;
        r.channels = m_channels;
        for (int c = 0; c < m_channels; ++c)
            r.peak[c] = m_peak[c].exchange(0, std::memory_order_relaxed);
        r.clipped = m_clipped.exchange(false, std::memory_order_relaxed);
        return r;
    }

private:
    const int m_channels;
    std::atomic<int> m_peak[PeakReading::MaxChannels] = {};
    std::atomic<bool> m_clipped{false};
};

} // namespace sonalto::audio
