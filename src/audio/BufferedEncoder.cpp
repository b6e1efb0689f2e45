#include "audio/BufferedEncoder.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <pthread.h>
#include <vector>

namespace sonalto::audio {

namespace {
// Silences announced but not yet written; more merge into the pending one.
constexpr size_t GapSlots = 256;

size_t bufferSamples(PcmFormat format, double seconds)
{
    return std::max<size_t>(1, size_t(seconds * format.rate)) * size_t(format.channels);
}
} // namespace

BufferedEncoder::BufferedEncoder(PcmFormat format, double bufferSeconds)
    : m_format(format), m_buffer(bufferSamples(format, bufferSeconds)), m_gaps(GapSlots)
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

bool BufferedEncoder::acceptingAudio() const
{
    return !m_paused.load(std::memory_order_relaxed) && m_active.load(std::memory_order_relaxed) &&
           !m_finishing.load(std::memory_order_relaxed);
}

bool BufferedEncoder::announceGap()
{
    const uint64_t pending = m_pendingGap.load(std::memory_order_relaxed);
    if (pending == 0)
        return true;
    const Gap gap{m_pushed, pending};
    if (!m_gaps.pushAll(&gap, 1))
        return false;
    m_pendingGap.store(0, std::memory_order_relaxed);
    return true;
}

void BufferedEncoder::write(const int16_t *samples, size_t frames)
{
    if (!acceptingAudio() || frames == 0)
        return;
    const size_t count = frames * size_t(m_format.channels);
    // After an overflow, wait for the writer to make real room, so that one
    // stall is one loss and not many small ones.
    const size_t needed = m_overflowing ? count + m_buffer.capacity() / 4 : count;
    // A pending silence goes first; audio may not overtake it. Only this thread
    // adds to the buffer, so the room seen here stays.
    if (m_buffer.freeSpace() >= needed && announceGap()) {
        m_buffer.pushAll(samples, count);
        m_pushed += count;
        m_overflowing = false;
        return;
    }
    // No room: this block becomes silence in the file. No locks on this thread;
    // the writer finds the silence when it gets there.
    if (m_overflowing) {
        m_loss.addFrames(LossKind::Overflow, frames);
    } else {
        m_loss.addEvent(LossKind::Overflow, frames);
        m_overflowing = true;
    }
    m_pendingGap.fetch_add(frames, std::memory_order_relaxed);
}

void BufferedEncoder::writeSilence(size_t frames)
{
    if (!acceptingAudio() || frames == 0)
        return;
    m_pendingGap.fetch_add(frames, std::memory_order_relaxed);
    announceGap();
}

AudioLoss BufferedEncoder::lostAudio() const
{
    return m_loss.snapshot();
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

bool BufferedEncoder::writeSilenceFrames(uint64_t frames, std::vector<int16_t> &scratch,
                                         std::string *error)
{
    const size_t perChunk = scratch.size() / size_t(m_format.channels);
    std::fill(scratch.begin(), scratch.end(), int16_t(0));
    while (frames > 0) {
        const size_t n = size_t(std::min<uint64_t>(frames, perChunk));
        if (!writeSamples(scratch.data(), n, error))
            return false;
        frames -= n;
    }
    return true;
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
    Gap gap{0, 0};
    bool haveGap = false;
    uint64_t popped = 0; // samples taken from m_buffer
    while (!failed) {
        const bool finishing = m_finishing.load();
        // The capture thread announces a silence before the audio that follows
        // it: one announced after this look lies beyond what is here now.
        const size_t available = m_buffer.size();
        if (!haveGap)
            haveGap = m_gaps.pop(&gap, 1) == 1;
        size_t limit = std::min(chunk.size(), available);
        if (haveGap)
            limit = size_t(std::min<uint64_t>(limit, gap.position - popped));
        const size_t got = limit > 0 ? m_buffer.pop(chunk.data(), limit) : 0;
        popped += got;
        bool progressed = got > 0;
        if (got > 0 && !writeSamples(chunk.data(), got / size_t(m_format.channels), &error)) {
            fail(error);
            failed = true;
            break;
        }
        if (haveGap && popped == gap.position) {
            if (!writeSilenceFrames(gap.frames, chunk, &error)) {
                fail(error);
                failed = true;
                break;
            }
            haveGap = false;
            progressed = true;
        }
        if (!checkAlive(&error)) {
            fail(error);
            failed = true;
            break;
        }
        if (!progressed) {
            if (finishing)
                break;
            std::unique_lock lock(m_wakeMutex);
            m_wake.wait_for(lock, std::chrono::milliseconds(250));
        }
    }
    // Audio lost at the very end still took its time: the file runs to the stop.
    if (!failed) {
        const uint64_t trailing = m_pendingGap.exchange(0);
        if (trailing > 0 && !writeSilenceFrames(trailing, chunk, &error)) {
            fail(error);
            failed = true;
        }
    }
    if (!closeOutput(failed, &error) && !failed)
        fail(error);
    m_active = false;
}

} // namespace sonalto::audio
