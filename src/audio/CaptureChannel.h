#pragma once

#include "audio/AudioTypes.h"
#include "audio/Encoder.h"
#include "audio/PeakTracker.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace sonalto::audio {

// Called on the capture thread with each block of 16-bit interleaved samples
// (size in bytes). Returning false ends the capture.
using CaptureCallback = std::function<bool(const int16_t *samples, size_t bytes)>;

class CaptureChannel
{
public:
    virtual ~CaptureChannel() = default; // stops capturing, then finishes the encoders

    virtual PcmFormat format() const = 0;
    virtual bool play() = 0;  // start or resume capturing
    virtual bool pause() = 0; // stop delivering audio, keep the stream
    virtual void stop() = 0;
    virtual ActiveState state() const = 0;

    // Attached encoders receive every block the callback accepted, and end with
    // the channel. Where the capture lost audio, the callback gets silence and
    // the encoders writeSilence() of the same length.
    virtual void attachEncoder(std::unique_ptr<Encoder> encoder) = 0;
    // True while at least one encoder is attached and all of them are active.
    virtual bool encodersActive() const = 0;
    // Stops capturing and finishes the attached encoders, waiting for them (and their
    // programs) to complete their files. Returns why the stream or an encoder failed,
    // empty when all went well. Blocks: not for the GUI thread.
    virtual std::string close() = 0;
    virtual void setEncodersPaused(bool paused) = 0;

    // 512 magnitudes of a 1024-sample FFT of the newest audio (channels mixed).
    // False when not enough audio has arrived yet.
    virtual bool spectrum(float *out512) const = 0;

    // Set once the stream or an encoder failed; says what happened.
    virtual bool failed() const = 0;
    virtual std::string failureMessage() const = 0;

    // Frames delivered by the stream since it was opened, lost ones included.
    virtual uint64_t capturedFrames() const = 0;

    // Peak of each channel since the last call, and whether a sample reached
    // full scale; audio the callback refused is not counted.
    virtual PeakReading takePeaks() = 0;

    // Audio lost while capturing into unpaused encoders: gaps in the capture
    // (passed on as silence) and what the encoders' buffers dropped.
    virtual AudioLoss lostAudio() const = 0;
};

} // namespace sonalto::audio
