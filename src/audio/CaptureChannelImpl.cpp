#include "audio/CaptureChannelImpl.h"

#include "audio/AudioText.h"

#include <algorithm>

namespace sonalto::audio {

std::unique_ptr<CaptureChannelImpl>
CaptureChannelImpl::open(AudioBackend &backend, const std::string &sourceId, PcmFormat format,
                         bool paused, CaptureCallback callback, std::string *error)
{
    std::unique_ptr<CaptureChannelImpl> channel(
        new CaptureChannelImpl(format, std::move(callback)));
    channel->m_stream = backend.openCapture(sourceId, format, channel.get(), error);
    if (!channel->m_stream)
        return nullptr;
    if (!paused && !channel->play()) {
        if (error)
            *error = AudioText::tr("无法开始录音。");
        return nullptr;
    }
    return channel;
}

namespace {
constexpr size_t SilenceBlockFrames = 4096;
}

CaptureChannelImpl::CaptureChannelImpl(PcmFormat format, CaptureCallback callback)
    : m_format(format), m_callback(std::move(callback)), m_recent(format.channels),
      m_peaks(format.channels), m_silence(SilenceBlockFrames * size_t(format.channels), 0)
{
}

CaptureChannelImpl::~CaptureChannelImpl()
{
    close();
}

std::string CaptureChannelImpl::close()
{
    // The stream first, so that no block arrives while the encoders close.
    m_state = int(ActiveState::Stopped);
    m_stream.reset();
    std::vector<std::unique_ptr<Encoder>> encoders;
    {
        std::lock_guard lock(m_encodersMutex);
        encoders.swap(m_encoders);
    }
    std::string failure;
    {
        std::lock_guard lock(m_failureMutex);
        failure = m_failure;
    }
    for (auto &encoder : encoders) {
        encoder->finish();
        if (failure.empty())
            failure = encoder->errorMessage();
    }
    return failure;
}

bool CaptureChannelImpl::play()
{
    if (m_streamFailed || !m_stream)
        return false;
    const int previous = m_state.exchange(int(ActiveState::Playing));
    if (previous == int(ActiveState::Playing))
        return true;
    if (!m_stream->setRunning(true)) {
        m_state = previous;
        return false;
    }
    return true;
}

bool CaptureChannelImpl::pause()
{
    if (m_streamFailed || !m_stream || m_state == int(ActiveState::Stopped))
        return false;
    return halt(ActiveState::Paused);
}

void CaptureChannelImpl::stop()
{
    halt(ActiveState::Stopped);
}

bool CaptureChannelImpl::halt(ActiveState next)
{
    if (!m_stream) {
        m_state = int(next);
        return false;
    }
    // Stopped while its source is away, the stream passes on that gap as it stops,
    // while the channel still takes it.
    const bool wasPlaying = m_state == int(ActiveState::Playing);
    const bool halted = !wasPlaying || m_stream->setRunning(false);
    m_state = int(next);
    // Again once the state is set: this holds back the capture thread until a block
    // that saw the old state is through, so nothing is delivered after this returns.
    m_stream->setRunning(false);
    return halted;
}

ActiveState CaptureChannelImpl::state() const
{
    return ActiveState(m_state.load());
}

void CaptureChannelImpl::attachEncoder(std::unique_ptr<Encoder> encoder)
{
    if (!encoder)
        return;
    std::lock_guard lock(m_encodersMutex);
    m_encoders.push_back(std::move(encoder));
}

bool CaptureChannelImpl::encodersActive() const
{
    std::lock_guard lock(m_encodersMutex);
    if (m_encoders.empty())
        return false;
    for (const auto &encoder : m_encoders)
        if (!encoder->isActive())
            return false;
    return true;
}

void CaptureChannelImpl::setEncodersPaused(bool paused)
{
    m_encodersPaused = paused;
    std::lock_guard lock(m_encodersMutex);
    for (auto &encoder : m_encoders)
        encoder->setPaused(paused);
}

bool CaptureChannelImpl::spectrum(float *out512) const
{
    return m_recent.spectrum(out512);
}

bool CaptureChannelImpl::failed() const
{
    return m_streamFailed || !failureMessage().empty();
}

std::string CaptureChannelImpl::failureMessage() const
{
    {
        std::lock_guard lock(m_failureMutex);
        if (!m_failure.empty())
            return m_failure;
    }
    std::lock_guard lock(m_encodersMutex);
    for (const auto &encoder : m_encoders) {
        std::string message = encoder->errorMessage();
        if (!message.empty())
            return message;
    }
    return {};
}

AudioLoss CaptureChannelImpl::lostAudio() const
{
    AudioLoss loss = m_loss.snapshot();
    std::lock_guard lock(m_encodersMutex);
    for (const auto &encoder : m_encoders)
        loss += encoder->lostAudio();
    return loss;
}

bool CaptureChannelImpl::deliver(const int16_t *samples, size_t frames)
{
    if (m_callback && !m_callback(samples, frames * size_t(m_format.channels) * sizeof(int16_t))) {
        m_state = int(ActiveState::Stopped);
        m_stream->setRunning(false);
        return false;
    }
    return true;
}

void CaptureChannelImpl::onCaptured(const int16_t *samples, size_t frames)
{
    // The state is read once: a stopped channel takes nothing more, not even into
    // its count, so once stop() has returned (the stream holds back the capture
    // thread meanwhile) the count is exactly what the encoders were given, apart
    // from what arrived while paused.
    const int state = m_state;
    if (state == int(ActiveState::Stopped))
        return;
    m_frames += frames;
    if (state != int(ActiveState::Playing))
        return;
    if (!deliver(samples, frames))
        return;
    m_recent.push(samples, frames);
    m_peaks.push(samples, frames, m_format.channels);
    std::lock_guard lock(m_encodersMutex);
    for (auto &encoder : m_encoders)
        encoder->write(samples, frames);
}

void CaptureChannelImpl::onCaptureLost(size_t frames, LossKind kind)
{
    m_frames += frames;
    if (m_state != int(ActiveState::Playing) || frames == 0)
        return;
    // Audio the paused encoders would not have taken is no loss to the recording.
    if (!m_encodersPaused)
        m_loss.addEvent(kind, frames);
    // The gap stays in the timeline as silence: the callback (which may write
    // a file itself) sees zeros, the encoders write silence of the same length.
    for (size_t left = frames; left > 0;) {
        const size_t n = std::min(left, SilenceBlockFrames);
        if (!deliver(m_silence.data(), n))
            return;
        left -= n;
    }
    m_recent.push(m_silence.data(), std::min(frames, SilenceBlockFrames));
    std::lock_guard lock(m_encodersMutex);
    for (auto &encoder : m_encoders)
        encoder->writeSilence(frames);
}

void CaptureChannelImpl::onCaptureFailed(const std::string &message)
{
    {
        std::lock_guard lock(m_failureMutex);
        if (m_failure.empty())
            m_failure = message.empty() ? AudioText::tr("录音已中断。") : message;
    }
    m_streamFailed = true;
    m_state = int(ActiveState::Stopped);
}

} // namespace sonalto::audio
