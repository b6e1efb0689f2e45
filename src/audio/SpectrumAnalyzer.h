#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace sonalto::audio {

// 1024-point real FFT with a periodic Hann window, scaled 2/N so that a full-scale
// sine centred on an element gives about 0.5 there. Element k is frequency
// k * rate / 1024.
class SpectrumAnalyzer
{
public:
    static constexpr size_t Size = 1024;
    SpectrumAnalyzer();
    ~SpectrumAnalyzer();
    // mono: 1024 samples in -1..1. out: 512 magnitudes.
    void compute(const float *mono, float *out512);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// Keeps the newest 1024 frames of a 16-bit stream, mixed to mono. Written on the
// audio thread, read on another: a short lock, never held while computing.
class RecentAudio
{
public:
    explicit RecentAudio(int channels);
    ~RecentAudio();
    RecentAudio(const RecentAudio &) = delete;
    RecentAudio &operator=(const RecentAudio &) = delete;
    void push(const int16_t *samples, size_t frames);
    // Copies the newest 1024 mono samples (oldest first); false before 1024 arrived.
    bool snapshot(float *mono1024) const;
    // 512 magnitudes of the newest 1024 samples; false before 1024 arrived.
    bool spectrum(float *out512) const;
    void clear();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace sonalto::audio
