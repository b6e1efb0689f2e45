#pragma once

#include "audio/AudioBackend.h"
#include "audio/AudioTypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace sonalto::audio {

// A file decoded and played on the backend's default output. Positions and
// lengths count bytes of the decoded 16-bit stereo 44100 Hz stream.
class PlaybackStream
{
public:
    // Opens MP3, OGG, WAV or WMA (any format FFmpeg decodes). Null with *error on
    // failure. The stream is created stopped. Its length is the one the list
    // shows (probeMediaLength), which is what decodes where the container's
    // length is missing or wrong; should playing find more, or the end before
    // it, the length follows.
    static std::unique_ptr<PlaybackStream> open(AudioBackend &backend, const std::string &path,
                                                std::string *error);
    virtual ~PlaybackStream() = default;

    virtual bool play() = 0; // start, or resume after pause
    virtual bool pause() = 0;
    virtual void stop() = 0;
    // Playing until the last decoded frame has been played, then Stopped.
    virtual ActiveState state() const = 0;

    virtual uint64_t lengthBytes() const = 0;
    virtual uint64_t positionBytes() const = 0;
    virtual bool setPositionBytes(uint64_t bytes) = 0;
    virtual double bytesToSeconds(uint64_t bytes) const = 0;
    virtual uint64_t secondsToBytes(double seconds) const = 0;

    virtual void setVolume(float volume) = 0; // 0..1, this stream only

    // As CaptureChannel::spectrum, of the audio being played.
    virtual bool spectrum(float *out512) const = 0;

    // Called on a thread of the stream's own each time playing reaches the end of
    // the decoded audio (the state has just become Stopped). Must not call back
    // into the stream; set it before play().
    virtual void setEndHandler(std::function<void()> handler) = 0;
};

} // namespace sonalto::audio
