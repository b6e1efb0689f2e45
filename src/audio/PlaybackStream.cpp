#include "audio/PlaybackStream.h"

#include "audio/AudioFileDecoder.h"
#include "audio/MediaProbe.h"
#include "audio/RingBuffer.h"
#include "audio/SpectrumAnalyzer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace sonalto::audio {

namespace {

constexpr int Rate = AudioFileDecoder::OutputRate;
constexpr int Channels = AudioFileDecoder::OutputChannels;
constexpr uint64_t BytesPerFrame = Channels * 2;
constexpr double BytesPerSecond = double(Rate) * BytesPerFrame;
// Decoded audio kept ahead of the output: enough to ride out a slow disk, short
// enough that a seek throws little work away.
constexpr size_t QueueFrames = Rate * 2;
// When the output stops asking for audio this long after the last piece was
// handed over, it has been played even if the backend's count never says so.
constexpr auto EndGrace = std::chrono::seconds(3);

using Clock = std::chrono::steady_clock;

class PlaybackStreamImpl : public PlaybackStream, public PlaybackSource
{
public:
    explicit PlaybackStreamImpl(std::unique_ptr<AudioFileDecoder> decoder)
        : m_decoder(std::move(decoder)), m_queue(QueueFrames * Channels), m_recent(Channels)
    {
        m_lengthFrames = m_decoder->lengthFrames();
    }

    ~PlaybackStreamImpl() override
    {
        // The decoder thread goes first, as it reads the raw stream's position to
        // find the end; pull() only needs the queue, which outlives the raw stream.
        m_quit = true;
        m_wake.notify_all();
        if (m_worker.joinable())
            m_worker.join();
        m_raw.reset();
    }

    bool start(AudioBackend &backend, std::string *error)
    {
        m_raw = backend.openPlayback(PcmFormat{Rate, Channels}, this, error);
        if (!m_raw)
            return false;
        m_worker = std::thread([this] { decodeLoop(); });
        return true;
    }

    bool play() override
    {
        std::lock_guard control(m_controlMutex);
        if (m_state == ActiveState::Playing && !finished())
            return true;
        if (m_atEnd || finished()) {
            // Playing a stream that reached its end starts it over.
            if (!seekLocked(0))
                return false;
        }
        if (!m_raw->setRunning(true))
            return false;
        m_state = ActiveState::Playing;
        m_lastPull = Clock::now().time_since_epoch().count();
        return true;
    }

    bool pause() override
    {
        std::lock_guard control(m_controlMutex);
        if (m_state != ActiveState::Playing || finished())
            return false;
        m_raw->setRunning(false);
        m_state = ActiveState::Paused;
        return true;
    }

    void stop() override
    {
        std::lock_guard control(m_controlMutex);
        m_raw->setRunning(false);
        m_state = ActiveState::Stopped;
    }

    ActiveState state() const override
    {
        std::lock_guard control(m_controlMutex);
        if (m_state == ActiveState::Playing && finished())
            return ActiveState::Stopped;
        return m_state;
    }

    uint64_t lengthBytes() const override { return m_lengthFrames.load() * BytesPerFrame; }

    uint64_t positionBytes() const override
    {
        std::lock_guard control(m_controlMutex);
        return positionFramesLocked() * BytesPerFrame;
    }

    bool setPositionBytes(uint64_t bytes) override
    {
        const uint64_t frame = bytes / BytesPerFrame;
        const uint64_t length = m_lengthFrames.load();
        if (length > 0 && frame > length)
            return false;
        std::lock_guard control(m_controlMutex);
        return seekLocked(frame);
    }

    double bytesToSeconds(uint64_t bytes) const override { return double(bytes) / BytesPerSecond; }

    uint64_t secondsToBytes(double seconds) const override
    {
        if (!(seconds > 0))
            return 0;
        return uint64_t(std::llround(seconds * Rate)) * BytesPerFrame;
    }

    void setVolume(float volume) override
    {
        std::lock_guard control(m_controlMutex);
        m_raw->setVolume(std::clamp(volume, 0.f, 1.f));
    }

    bool spectrum(float *out512) const override { return m_recent.spectrum(out512); }

    void setEndHandler(std::function<void()> handler) override
    {
        std::lock_guard control(m_controlMutex);
        m_endHandler = std::move(handler);
    }

    // Backend's playback thread: never waits. While a seek holds the queue the
    // output gets silence for a moment.
    size_t pull(int16_t *out, size_t frames) override
    {
        std::unique_lock lock(m_pullMutex, std::try_to_lock);
        if (!lock.owns_lock())
            return 0;
        const size_t got = m_queue.pop(out, frames * Channels) / Channels;
        if (got > 0) {
            m_pulledSinceSeek.fetch_add(got, std::memory_order_relaxed);
            m_recent.push(out, got);
            m_lastPull.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
        }
        return got;
    }

private:
    void decodeLoop()
    {
        while (!m_quit) {
            bool progressed = false;
            {
                std::lock_guard decode(m_decodeMutex);
                if (m_pendingPos >= m_pending.size() && !m_decoderEnded) {
                    m_pending.clear();
                    m_pendingPos = 0;
                    if (!m_decoder->decodeMore(m_pending))
                        m_decoderEnded = true;
                    m_decodedEnd += m_pending.size() / Channels;
                    followDecodedLength();
                    progressed = true;
                }
                if (m_pendingPos < m_pending.size()) {
                    // Whole frames only, so that the queue never splits one.
                    size_t count = std::min(m_pending.size() - m_pendingPos, m_queue.freeSpace());
                    count -= count % Channels;
                    const size_t pushed = m_queue.push(m_pending.data() + m_pendingPos, count);
                    m_pendingPos += pushed;
                    progressed = progressed || pushed > 0;
                }
                m_drained = m_decoderEnded && m_pendingPos >= m_pending.size();
            }
            stopAtEnd();
            if (!progressed) {
                std::unique_lock lock(m_wakeMutex);
                m_wake.wait_for(lock, std::chrono::milliseconds(10));
            }
        }
    }

    // Decode lock held. The length given at the start may be an estimate (of a
    // file too long to measure in time) or a damaged file may decode to less:
    // where the decoding shows more, or ends having started at the beginning,
    // the length is what it found.
    void followDecodedLength()
    {
        if (m_decodedEnd > m_lengthFrames.load() || (m_decoderEnded && m_decodedFromStart))
            m_lengthFrames = m_decodedEnd;
    }

    // Lets the output rest once the last frame was heard.
    void stopAtEnd()
    {
        std::function<void()> handler;
        {
            std::lock_guard control(m_controlMutex);
            if (m_state != ActiveState::Playing || !finished())
                return;
            m_raw->setRunning(false);
            m_state = ActiveState::Stopped;
            m_atEnd = true;
            handler = m_endHandler;
        }
        if (handler)
            handler();
    }

    uint64_t playedSinceSeek() const
    {
        const uint64_t played = m_raw->playedFrames();
        return played > m_playedBase ? played - m_playedBase : 0;
    }

    // Control lock held. Frames handed over but not yet heard do not count, nor
    // silence the output played while waiting for them.
    uint64_t positionFramesLocked() const
    {
        const uint64_t pulled = m_pulledSinceSeek.load(std::memory_order_relaxed);
        uint64_t frame = m_seekOffset + std::min(playedSinceSeek(), pulled);
        const uint64_t length = m_lengthFrames.load();
        if (length > 0)
            frame = std::min(frame, length);
        return frame;
    }

    // Control lock held: the decoder reached the end and all of it was played.
    bool finished() const
    {
        if (!m_drained.load() || !m_queue.empty())
            return false;
        const uint64_t pulled = m_pulledSinceSeek.load(std::memory_order_relaxed);
        if (playedSinceSeek() >= pulled)
            return true;
        const auto last = Clock::time_point(Clock::duration(m_lastPull.load()));
        return Clock::now() - last > EndGrace;
    }

    // Control lock held.
    bool seekLocked(uint64_t frame)
    {
        std::lock_guard pull(m_pullMutex);
        std::lock_guard decode(m_decodeMutex);
        if (!m_decoder->seekToFrame(frame))
            return false;
        m_queue.clear();
        m_pending.clear();
        m_pendingPos = 0;
        m_decoderEnded = false;
        m_decodedEnd = frame;
        m_decodedFromStart = frame == 0;
        m_drained = false;
        m_atEnd = false;
        m_raw->flush();
        m_seekOffset = frame;
        m_playedBase = m_raw->playedFrames();
        m_pulledSinceSeek = 0;
        m_recent.clear();
        m_wake.notify_all();
        return true;
    }

    std::unique_ptr<AudioFileDecoder> m_decoder;
    std::unique_ptr<RawPlaybackStream> m_raw;
    std::atomic<uint64_t> m_lengthFrames{0};

    // Order: control, then pull, then decode.
    mutable std::mutex m_controlMutex;
    std::mutex m_pullMutex;
    std::mutex m_decodeMutex;

    // Control lock.
    ActiveState m_state = ActiveState::Stopped;
    bool m_atEnd = false;
    uint64_t m_seekOffset = 0;
    std::function<void()> m_endHandler;
    uint64_t m_playedBase = 0;

    // Decode lock.
    std::vector<int16_t> m_pending;
    size_t m_pendingPos = 0;
    bool m_decoderEnded = false;
    uint64_t m_decodedEnd = 0;          // frame of the file the decoder has reached
    bool m_decodedFromStart = true;     // and it got there from the first frame
    std::atomic<bool> m_drained{false}; // decoder ended and all of it is queued

    RingBuffer<int16_t> m_queue;
    std::atomic<uint64_t> m_pulledSinceSeek{0};
    std::atomic<Clock::rep> m_lastPull{0};
    RecentAudio m_recent;

    std::thread m_worker;
    std::atomic<bool> m_quit{false};
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
};

} // namespace

std::unique_ptr<PlaybackStream> PlaybackStream::open(AudioBackend &backend, const std::string &path,
                                                     std::string *error)
{
    const auto length = probeMediaLength(path);
    auto decoder = AudioFileDecoder::open(path, error);
    if (!decoder)
        return nullptr;
    if (length) {
        decoder->setLengthFrames(uint64_t(std::llround(length->seconds * Rate)));
        decoder->setSeekByDecoding(length->measured);
    }
    auto stream = std::make_unique<PlaybackStreamImpl>(std::move(decoder));
    if (!stream->start(backend, error))
        return nullptr;
    return stream;
}

} // namespace sonalto::audio
