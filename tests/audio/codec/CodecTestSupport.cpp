#include "CodecTestSupport.h"

#include "audio/SpectrumAnalyzer.h"

#include <chrono>
#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>

namespace sonalto::test {

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

std::vector<char> readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string &path, const std::vector<char> &data)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(data.data(), std::streamsize(data.size()));
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
