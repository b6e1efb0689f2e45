#pragma once

#include "audio/AudioTypes.h"
#include "audio/Encoder.h"
#include "audio/LossCounter.h"
#include "audio/RingBuffer.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sonalto::audio {

// Common part of the encoders: the capture thread hands its blocks to a bounded
// ring buffer, and a writer thread of the encoder's own drains it into the
// output. A block that does not fit is counted as lost and written as silence
// of its length once the writer catches up, so a slow output costs audio but
// never shifts what follows. Subclasses say how audio is written and how the
// output is finished; they run on the writer thread only.
class BufferedEncoder : public Encoder
{
public:
    // Ten seconds of audio: enough for sources that deliver in 2 s bursts and for
    // a slow disk, small enough to notice a writer that stopped.
    static constexpr double BufferSeconds = 10.0;

    ~BufferedEncoder() override;

    void write(const int16_t *samples, size_t frames) override;
    void writeSilence(size_t frames) override;
    AudioLoss lostAudio() const override;
    void setPaused(bool paused) override;
    bool isPaused() const override;
    bool isActive() const override;
    std::string errorMessage() const override;
    void finish() override;

    PcmFormat format() const { return m_format; }

protected:
    explicit BufferedEncoder(PcmFormat format, double bufferSeconds = BufferSeconds);
    // Starts the writer thread; called by the subclass once its output is open.
    void startWriter();
    // Must be called by the subclass destructor (the thread calls its overrides).
    void stopWriter();

    // Writer thread, once before any audio: false with *error on failure.
    virtual bool beginOutput(std::string * /*error*/) { return true; }
    // Writer thread: writes one chunk; false with *error on failure.
    virtual bool writeSamples(const int16_t *samples, size_t frames, std::string *error) = 0;
    // Writer thread, between chunks and while idle: false with *error when the
    // output went away on its own (an encoder program that exited).
    virtual bool checkAlive(std::string * /*error*/) { return true; }
    // Writer thread, once at the end: closes the output. `failed` says whether
    // it ends after an error. False with *error when closing failed.
    virtual bool closeOutput(bool failed, std::string *error) = 0;

    bool finishing() const { return m_finishing; }

    const PcmFormat m_format;

private:
    // Silence of `frames` frames that follows the first `position` samples.
    struct Gap
    {
        uint64_t position;
        uint64_t frames;
    };

    void run();
    void fail(const std::string &message);
    bool acceptingAudio() const;
    // Capture thread: announces the pending silence to the writer; false while
    // the announcement does not fit (it stays pending).
    bool announceGap();
    bool writeSilenceFrames(uint64_t frames, std::vector<int16_t> &scratch, std::string *error);

    RingBuffer<int16_t> m_buffer;
    RingBuffer<Gap> m_gaps;
    // Capture thread only.
    uint64_t m_pushed = 0; // samples pushed into m_buffer
    bool m_overflowing = false;
    // Written by the capture thread; the writer takes what is left at the end.
    std::atomic<uint64_t> m_pendingGap{0};
    LossCounter m_loss;

    std::thread m_thread;
    std::atomic<bool> m_paused{false};
    std::atomic<bool> m_active{true};
    std::atomic<bool> m_finishing{false};
    mutable std::mutex m_errorMutex;
    std::string m_error;
    std::mutex m_finishMutex;
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
};

} // namespace sonalto::audio
