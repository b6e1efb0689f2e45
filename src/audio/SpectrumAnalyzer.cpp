#include "audio/SpectrumAnalyzer.h"

#include <cmath>
#include <mutex>
#include <numbers>

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/tx.h>
}

namespace sonalto::audio {

struct SpectrumAnalyzer::Private
{
    AVTXContext *tx = nullptr;
    av_tx_fn transform = nullptr;
    float *input = nullptr;           // Size floats, aligned for av_tx
    AVComplexFloat *output = nullptr; // Size / 2 + 1 bins
    float window[Size];
    bool prepared = false;
};

SpectrumAnalyzer::SpectrumAnalyzer() : d(std::make_unique<Private>())
{
    // Periodic (not symmetric) Hann, so that a sine centred on an element leaks
    // into its two neighbours only.
    for (size_t i = 0; i < Size; ++i)
        d->window[i] = 0.5f - 0.5f * std::cos(2.0 * std::numbers::pi * double(i) / double(Size));
}

SpectrumAnalyzer::~SpectrumAnalyzer()
{
    if (!d->prepared)
        return;
    av_tx_uninit(&d->tx);
    av_free(d->input);
    av_free(d->output);
}

void SpectrumAnalyzer::compute(const float *mono, float *out512)
{
    // The transform is set up at its first use: a monitor opened at start-up
    // then does not wait for the library that computes it.
    if (!d->prepared) {
        d->prepared = true;
        // Scaling by 2/N turns a full-scale sine into 0.5 in its element: the
        // Hann window's coherent gain of 0.5 times the amplitude.
        const float scale = 2.0f / Size;
        av_tx_init(&d->tx, &d->transform, AV_TX_FLOAT_RDFT, 0, Size, &scale, 0);
        d->input = static_cast<float *>(av_malloc(Size * sizeof(float)));
        d->output =
            static_cast<AVComplexFloat *>(av_malloc((Size / 2 + 1) * sizeof(AVComplexFloat)));
    }
    if (!d->tx || !d->input || !d->output) {
        std::fill(out512, out512 + Size / 2, 0.f);
        return;
    }
    for (size_t i = 0; i < Size; ++i)
        d->input[i] = mono[i] * d->window[i];
    d->transform(d->tx, d->output, d->input, sizeof(float));
    for (size_t k = 0; k < Size / 2; ++k)
        out512[k] = std::hypot(d->output[k].re, d->output[k].im);
}

struct RecentAudio::Private
{
    int channels = 1;
    mutable std::mutex mutex;
    float ring[SpectrumAnalyzer::Size] = {};
    size_t next = 0;   // where the next sample goes
    size_t filled = 0; // samples held, up to Size
    // The transform has its own lock so the audio thread never waits for it.
    std::mutex analyzerMutex;
    SpectrumAnalyzer analyzer;
};

RecentAudio::RecentAudio(int channels) : d(std::make_unique<Private>())
{
    d->channels = channels > 0 ? channels : 1;
}

RecentAudio::~RecentAudio() = default;

void RecentAudio::push(const int16_t *samples, size_t frames)
{
    constexpr size_t size = SpectrumAnalyzer::Size;
    // Only the newest Size frames can survive; skip the rest before locking.
    if (frames > size) {
        samples += (frames - size) * size_t(d->channels);
        frames = size;
    }
    float mono[size];
    const float scale = 1.0f / (32768.0f * float(d->channels));
    for (size_t f = 0; f < frames; ++f) {
        int sum = 0;
        for (int c = 0; c < d->channels; ++c)
            sum += samples[f * size_t(d->channels) + size_t(c)];
        mono[f] = float(sum) * scale;
    }
    std::lock_guard lock(d->mutex);
    for (size_t f = 0; f < frames; ++f) {
        d->ring[d->next] = mono[f];
        d->next = (d->next + 1) % size;
    }
    d->filled = std::min(size, d->filled + frames);
}

bool RecentAudio::snapshot(float *mono1024) const
{
    constexpr size_t size = SpectrumAnalyzer::Size;
    std::lock_guard lock(d->mutex);
    if (d->filled < size)
        return false;
    const size_t first = size - d->next;
    std::copy(d->ring + d->next, d->ring + size, mono1024);
    std::copy(d->ring, d->ring + d->next, mono1024 + first);
    return true;
}

void RecentAudio::clear()
{
    std::lock_guard lock(d->mutex);
    d->next = 0;
    d->filled = 0;
}

bool RecentAudio::spectrum(float *out512) const
{
    float mono[SpectrumAnalyzer::Size];
    if (!snapshot(mono))
        return false;
    std::lock_guard lock(d->analyzerMutex);
    d->analyzer.compute(mono, out512);
    return true;
}

} // namespace sonalto::audio
