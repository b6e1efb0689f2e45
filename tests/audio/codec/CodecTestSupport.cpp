#include "CodecTestSupport.h"

#include "audio/SpectrumAnalyzer.h"

#include <chrono>
#include <cmath>
#include <fstream>
#include <numbers>

namespace sonalto::test {

std::vector<int16_t> makeTone(double frequency, double seconds, int rate, int channels,
                              double amplitude)
{
    const size_t frames = size_t(std::llround(seconds * rate));
    std::vector<int16_t> samples(frames * size_t(channels));
    for (size_t f = 0; f < frames; ++f) {
        const double v =
            amplitude * 32767.0 * std::sin(2.0 * std::numbers::pi * frequency * double(f) / rate);
        for (int c = 0; c < channels; ++c)
            samples[f * size_t(channels) + size_t(c)] = int16_t(std::lround(v));
    }
    return samples;
}

double dominantFrequency(const std::vector<int16_t> &interleaved, int channels, int rate)
{
    constexpr size_t n = audio::SpectrumAnalyzer::Size;
    const size_t frames = interleaved.size() / size_t(channels);
    if (frames < n)
        return 0;
    const size_t start = (frames - n) / 2;
    std::vector<float> mono(n);
    for (size_t i = 0; i < n; ++i)
        mono[i] = float(interleaved[(start + i) * size_t(channels)]) / 32768.f;
    std::vector<float> mag(n / 2);
    audio::SpectrumAnalyzer analyzer;
    analyzer.compute(mono.data(), mag.data());
    size_t peak = 1;
    for (size_t k = 1; k < n / 2 - 1; ++k) {
        if (mag[k] > mag[peak])
            peak = k;
    }
    // Parabola through the log magnitudes of the peak and its neighbours.
    const double a = std::log(mag[peak - 1] + 1e-9), b = std::log(mag[peak] + 1e-9),
                 c = std::log(mag[peak + 1] + 1e-9);
    const double offset = 0.5 * (a - c) / (a - 2 * b + c);
    return (double(peak) + offset) * rate / double(n);
}

void feed(audio::Encoder &encoder, const std::vector<int16_t> &samples, int channels, int rate)
{
    const size_t block = size_t(rate / 10) * size_t(channels);
    for (size_t pos = 0; pos < samples.size(); pos += block)
        encoder.write(samples.data() + pos,
                      std::min(block, samples.size() - pos) / size_t(channels));
}

bool writeWav(const std::string &path, const std::vector<int16_t> &samples, int channels, int rate)
{
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char *>(&v), 4); };
    auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char *>(&v), 2); };
    const uint32_t dataBytes = uint32_t(samples.size() * 2);
    out.write("RIFF", 4);
    u32(36 + dataBytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(uint16_t(channels));
    u32(uint32_t(rate));
    u32(uint32_t(rate * channels * 2));
    u16(uint16_t(channels * 2));
    u16(16);
    out.write("data", 4);
    u32(dataBytes);
    out.write(reinterpret_cast<const char *>(samples.data()), std::streamsize(dataBytes));
    return bool(out);
}

std::string tempPath(const QTemporaryDir &dir, const std::string &name)
{
    return dir.path().toStdString() + "/" + name;
}

FakePlaybackStream::FakePlaybackStream(audio::PlaybackSource *source, double speed)
    : m_source(source), m_speed(speed)
{
    m_thread = std::thread([this] {
        constexpr size_t step = 441; // 10 ms
        std::vector<int16_t> block(step * 2);
        auto next = std::chrono::steady_clock::now();
        while (!m_quit) {
            next += std::chrono::microseconds(int64_t(10000 / m_speed));
            std::this_thread::sleep_until(next);
            if (!m_running)
                continue;
            const size_t got = m_source->pull(block.data(), step);
            {
                std::lock_guard lock(m_mutex);
                m_received.insert(m_received.end(), block.begin(), block.begin() + long(got * 2));
            }
            m_played += step;
        }
    });
}

FakePlaybackStream::~FakePlaybackStream()
{
    m_quit = true;
    m_thread.join();
}

bool FakePlaybackStream::setRunning(bool running)
{
    m_running = running;
    return true;
}

std::vector<int16_t> FakePlaybackStream::received() const
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

void FakePlaybackStream::clearReceived()
{
    std::lock_guard lock(m_mutex);
    m_received.clear();
}

std::unique_ptr<audio::RawPlaybackStream> FakeBackend::openPlayback(audio::PcmFormat format,
                                                                    audio::PlaybackSource *source,
                                                                    std::string *error)
{
    if (format.rate != 44100 || format.channels != 2) {
        if (error)
            *error = "unexpected format";
        return nullptr;
    }
    auto stream = std::make_unique<FakePlaybackStream>(source, m_speed);
    lastStream = stream.get();
    return stream;
}

} // namespace sonalto::test
