#include "audio/BufferedEncoder.h"

#include <chrono>
#include <csignal>
#include <pthread.h>
#include <vector>

namespace sonalto::audio {

namespace {
const char *const OverflowMessage =
    "The encoder could not keep up: its buffer overflowed and audio was lost.";

size_t bufferSamples(PcmFormat format)
{
    return size_t(BufferedEncoder::BufferSeconds * format.rate) * size_t(format.channels);
}
} // namespace

BufferedEncoder::BufferedEncoder(PcmFormat format)
    : m_format(format), m_buffer(bufferSamples(format))
{
}

BufferedEncoder::~BufferedEncoder()
{
    // Subclasses stop the thread in their destructors; this is only a safety net
    // for a writer that was never started.
    if (m_thread.joinable()) {
        m_finishing = true;
        m_wake.notify_all();
        m_thread.join();
    }
}

void BufferedEncoder::startWriter()
{
    m_thread = std::thread([this] { run(); });
}

void BufferedEncoder::stopWriter()
{
    finish();
}

void BufferedEncoder::write(const int16_t *samples, size_t frames)
{
    tryWrite(samples, frames);
}

bool BufferedEncoder::tryWrite(const int16_t *samples, size_t frames)
{
    if (m_paused.load(std::memory_order_relaxed) || !m_active.load(std::memory_order_relaxed) ||
        m_finishing.load(std::memory_order_relaxed))
        return false;
    if (!m_buffer.pushAll(samples, frames * size_t(m_format.channels))) {
        // The writer thread reports it: this thread must not take locks.
        m_overflow = true;
        m_active = false;
        return false;
    }
    return true;
}

void BufferedEncoder::setPaused(bool paused)
{
    m_paused = paused;
}
bool BufferedEncoder::isPaused() const
{
    return m_paused;
}
bool BufferedEncoder::isActive() const
{
    return m_active;
}

std::string BufferedEncoder::errorMessage() const
{
    std::lock_guard lock(m_errorMutex);
    if (m_error.empty() && m_overflow)
        return OverflowMessage;
    return m_error;
}

void BufferedEncoder::fail(const std::string &message)
{
    {
        std::lock_guard lock(m_errorMutex);
        if (m_error.empty())
            m_error = message;
    }
    m_active = false;
}

void BufferedEncoder::finish()
{
    std::lock_guard lock(m_finishMutex);
    m_finishing = true;
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    m_active = false;
}

void BufferedEncoder::run()
{
    // A write into a pipe whose reader is gone must give EPIPE on this thread,
    // whatever the program does with SIGPIPE.
    sigset_t pipeSet;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet, nullptr);

    // About 50 ms per chunk keeps the writes large without delaying finish().
    std::vector<int16_t> chunk(size_t(m_format.rate / 20 + 1) * size_t(m_format.channels));
    std::string error;
    bool failed = false;
    if (!beginOutput(&error)) {
        fail(error);
        failed = true;
    }
    while (!failed) {
        if (m_overflow) {
            fail(OverflowMessage);
            failed = true;
            break;
        }
        const bool finishing = m_finishing.load();
        const size_t got = m_buffer.pop(chunk.data(), chunk.size());
        if (got > 0) {
            if (!writeSamples(chunk.data(), got / size_t(m_format.channels), &error)) {
                fail(error);
                failed = true;
                break;
            }
        }
        if (!checkAlive(&error)) {
            fail(error);
            failed = true;
            break;
        }
        if (got == 0) {
            if (finishing)
                break;
            std::unique_lock lock(m_wakeMutex);
            m_wake.wait_for(lock, std::chrono::milliseconds(250));
        }
    }
    if (!closeOutput(failed, &error) && !failed)
        fail(error);
    m_active = false;
}

} // namespace sonalto::audio
