#pragma once

#include "audio/AudioTypes.h"
#include "audio/Encoder.h"
#include "audio/RingBuffer.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace sonalto::audio {

// Common part of the encoders: the capture thread hands its blocks to a bounded
// ring buffer, and a writer thread of the encoder's own drains it into the
// output. Subclasses say how audio is written and how the output is finished;
// they run on the writer thread only.
class BufferedEncoder : public Encoder
{
public:
    // Ten seconds of audio: enough for sources that deliver in 2 s bursts and for
    // a slow disk, small enough to notice a writer that stopped.
    static constexpr double BufferSeconds = 10.0;

    ~BufferedEncoder() override;

    void write(const int16_t *samples, size_t frames) override;
    void setPaused(bool paused) override;
    bool isPaused() const override;
    bool isActive() const override;
    std::string errorMessage() const override;
    void finish() override;

    PcmFormat format() const { return m_format; }
    // Like write() but says whether the block was taken.
    bool tryWrite(const int16_t *samples, size_t frames);

protected:
    explicit BufferedEncoder(PcmFormat format);
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

    // Writer thread: whether a write stuck on a slow output should give up.
    bool overflowed() const { return m_overflow; }
    bool finishing() const { return m_finishing; }

    const PcmFormat m_format;

private:
    void run();
    void fail(const std::string &message);

    RingBuffer<int16_t> m_buffer;
    std::thread m_thread;
    std::atomic<bool> m_paused{false};
    std::atomic<bool> m_active{true};
    std::atomic<bool> m_finishing{false};
    std::atomic<bool> m_overflow{false};
    mutable std::mutex m_errorMutex;
    std::string m_error;
    std::mutex m_finishMutex;
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
};

} // namespace sonalto::audio
