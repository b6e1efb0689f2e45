#pragma once

#include "audio/AudioBackend.h"
#include "audio/CaptureChannel.h"
#include "audio/LossCounter.h"
#include "audio/SpectrumAnalyzer.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sonalto::audio {

// A capture channel over one raw capture stream of a backend. Audio arrives on
// the backend's capture thread; the program's calls come from its own thread.
class CaptureChannelImpl final : public CaptureChannel, private CaptureSink
{
public:
    // Null with *error when the stream cannot be opened.
    static std::unique_ptr<CaptureChannelImpl> open(AudioBackend &backend,
                                                    const std::string &sourceId, PcmFormat format,
                                                    bool paused, CaptureCallback callback,
                                                    std::string *error);
    ~CaptureChannelImpl() override;

    PcmFormat format() const override { return m_format; }
    bool play() override;
    bool pause() override;
    void stop() override;
    ActiveState state() const override;

    void attachEncoder(std::unique_ptr<Encoder> encoder) override;
    bool encodersActive() const override;
    std::string close() override;
    void setEncodersPaused(bool paused) override;

    bool spectrum(float *out512) const override;

    bool failed() const override;
    std::string failureMessage() const override;

    uint64_t capturedFrames() const override { return m_frames; }
    AudioLoss lostAudio() const override;
    PeakReading takePeaks() override { return m_peaks.take(); }

private:
    CaptureChannelImpl(PcmFormat format, CaptureCallback callback);

    void onCaptured(const int16_t *samples, size_t frames) override;
    void onCaptureLost(size_t frames, LossKind kind) override;
    void onCaptureFailed(const std::string &message) override;
    // Capture thread: the callback (false: it ended the capture) and the
    // encoders get one block.
    bool deliver(const int16_t *samples, size_t frames);
    // Stops the stream and enters `next` (Paused or Stopped).
    bool halt(ActiveState next);

    const PcmFormat m_format;
    const CaptureCallback m_callback;
    std::unique_ptr<RawCaptureStream> m_stream;
    std::atomic<int> m_state{int(ActiveState::Paused)};
    std::atomic<uint64_t> m_frames{0};

    RecentAudio m_recent;
    PeakTracker m_peaks;
    std::vector<int16_t> m_silence; // zeros handed to the callback for lost audio
    std::atomic<bool> m_encodersPaused{false};
    LossCounter m_loss;

    // Held only for short, non-blocking work on either side.
    mutable std::mutex m_encodersMutex;
    std::vector<std::unique_ptr<Encoder>> m_encoders;

    std::atomic<bool> m_streamFailed{false};
    mutable std::mutex m_failureMutex;
    std::string m_failure;
};

} // namespace sonalto::audio
