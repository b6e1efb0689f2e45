#pragma once

#include "audio/AudioBackend.h"
#include "audio/Encoder.h"
#include "common/TestSignals.h"

#include <QTemporaryDir>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sonalto::test {

// Hands the audio to the encoder in 100 ms blocks (all at once: the buffer holds
// more than the test tones).
void feed(audio::Encoder &encoder, const std::vector<int16_t> &samples, int channels, int rate);

// Writes a 16-bit WAV of the samples with plain file I/O.
bool writeWav(const std::string &path, const std::vector<int16_t> &samples, int channels, int rate);

std::string tempPath(const QTemporaryDir &dir, const std::string &name);

std::vector<char> readFile(const std::string &path);
void writeFile(const std::string &path, const std::vector<char> &data);

// A backend whose playback streams are pulled by a thread of their own at
// `speed` times real time, in 10 ms steps, recording what they got. Counts
// played frames like a sound server: silence included.
class FakePlaybackStream : public audio::RawPlaybackStream
{
public:
    FakePlaybackStream(audio::PlaybackSource *source, double speed);
    ~FakePlaybackStream() override;
    bool setRunning(bool running) override;
    void setVolume(float volume) override { m_volume = volume; }
    void flush() override { ++m_flushes; }
    uint64_t playedFrames() const override { return m_played; }

    std::vector<int16_t> received() const;
    void clearReceived();
    float volume() const { return m_volume; }
    bool running() const { return m_running; }

private:
    audio::PlaybackSource *m_source;
    double m_speed;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_quit{false};
    std::atomic<float> m_volume{1.f};
    std::atomic<int> m_flushes{0};
    std::atomic<uint64_t> m_played{0};
    mutable std::mutex m_mutex;
    std::vector<int16_t> m_received;
    std::thread m_thread;
};

class FakeBackend : public audio::AudioBackend
{
public:
    explicit FakeBackend(double speed = 1.0) : m_speed(speed) {}
    bool connect(std::string *) override { return true; }
    std::vector<audio::BackendDevice> devices() override { return {}; }
    std::string defaultDeviceId() override { return {}; }
    bool activateInput(const audio::BackendInput &, std::string *) override { return false; }
    std::optional<audio::SourceLevel> sourceLevel(const std::string &) override
    {
        return std::nullopt;
    }
    bool setSourceVolume(const std::string &, float) override { return false; }
    std::optional<float> outputVolume() override { return 1.f; }
    std::unique_ptr<audio::RawCaptureStream> openCapture(const std::string &, audio::PcmFormat,
                                                         audio::CaptureSink *,
                                                         std::string *error) override
    {
        if (error)
            *error = "no capture here";
        return nullptr;
    }
    std::unique_ptr<audio::RawPlaybackStream> openPlayback(audio::PcmFormat format,
                                                           audio::PlaybackSource *source,
                                                           std::string *error) override;
    void setDevicesChangedHandler(std::function<void()>) override {}

    // The last stream opened (owned by its PlaybackStream).
    FakePlaybackStream *lastStream = nullptr;

private:
    double m_speed;
};

} // namespace sonalto::test
