#include "TestSignals.h"

#include "audio/SpectrumAnalyzer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sonalto::test {

int16_t sineSample(double frequency, uint64_t frame, int rate, double amplitude)
{
    return int16_t(std::lround(
        32767.0 * amplitude * std::sin(2.0 * std::numbers::pi * frequency * double(frame) / rate)));
}

audio::SampleGenerator sineGenerator(double frequency, double amplitude)
{
    return [frequency, amplitude](uint64_t frame, int, int rate) {
        return sineSample(frequency, frame, rate, amplitude);
    };
}

std::vector<int16_t> toneSamples(double frequency, double seconds, audio::PcmFormat format,
                                 double amplitude)
{
    const auto frames = size_t(std::llround(seconds * format.rate));
    std::vector<int16_t> samples(frames * size_t(format.channels));
    for (size_t f = 0; f < frames; ++f) {
        const int16_t value = sineSample(frequency, f, format.rate, amplitude);
        for (int c = 0; c < format.channels; ++c)
            samples[f * size_t(format.channels) + size_t(c)] = value;
    }
    return samples;
}

double dominantFrequency(const std::vector<int16_t> &interleaved, int channels, int rate)
{
    constexpr size_t n = audio::SpectrumAnalyzer::Size;
    const size_t frames = interleaved.size() / size_t(channels);
    if (frames < n)
        return 0;
    // The magnitudes of up to 16 consecutive transforms around the middle are
    // averaged, so that a splice (a pause, a lost block) in one of them does not
    // move the peak.
    const size_t blocks = std::min<size_t>(16, frames / n);
    const size_t start = (frames - blocks * n) / 2;
    std::vector<float> mono(n), mag(n / 2), sum(n / 2, 0.f);
    audio::SpectrumAnalyzer analyzer;
    for (size_t b = 0; b < blocks; ++b) {
        for (size_t i = 0; i < n; ++i)
            mono[i] = float(interleaved[(start + b * n + i) * size_t(channels)]) / 32768.f;
        analyzer.compute(mono.data(), mag.data());
        for (size_t k = 0; k < n / 2; ++k)
            sum[k] += mag[k];
    }
    size_t peak = 1;
    for (size_t k = 1; k < n / 2 - 1; ++k) {
        if (sum[k] > sum[peak])
            peak = k;
    }
    // Parabola through the log magnitudes of the peak and its neighbours.
    const double a = std::log(sum[peak - 1] + 1e-9), b = std::log(sum[peak] + 1e-9),
                 c = std::log(sum[peak + 1] + 1e-9);
    const double offset = 0.5 * (a - c) / (a - 2 * b + c);
    return (double(peak) + offset) * rate / double(n);
}

} // namespace sonalto::test
