#pragma once

#include "audio/AudioTypes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sonalto::audio {

// One capturable input of a device as the backend sees it.
struct BackendInput
{
    std::string name;        // shown to the user
    uint32_t flags = 0;      // type in the top 8 bits
    std::string sourceId;    // backend key of the source captured from
    std::string portId;      // port made active when selected; empty when the source has none
    bool portActive = false; // portId is the source's active port right now
};

// A capture device: a sound card, or the group of endpoints that belong to no card.
struct BackendDevice
{
    std::string id; // stable key (indices change on every re-plug)
    std::string name;
    bool enabled = true;
    std::vector<BackendInput> inputs;
};

// An input's level as the server holds it: muting keeps the volume.
struct SourceLevel
{
    float volume = 0.f; // 0..1
    bool muted = false;
};

// Receives captured audio on the backend's capture thread. Implementations must
// never block there.
class CaptureSink
{
public:
    virtual ~CaptureSink() = default;
    virtual void onCaptured(const int16_t *samples, size_t frames) = 0;
    // `frames` frames of the stream could not be delivered at this point (a hole
    // in the server's data, a suspended source, audio dropped upstream); the
    // stream's timeline goes on after them.
    virtual void onCaptureLost(size_t frames, LossKind kind) = 0;
    // The stream ended for good (server gone, source removed...). Called once.
    virtual void onCaptureFailed(const std::string &message) = 0;
};

class RawCaptureStream
{
public:
    virtual ~RawCaptureStream() = default; // no sink call happens after this returns
    // Streams are created stopped; running(true) delivers audio to the sink.
    virtual bool setRunning(bool running) = 0;
};

// Pulled by the backend's playback thread; must not block.
class PlaybackSource
{
public:
    virtual ~PlaybackSource() = default;
    // Fills up to `frames` frames and returns how many were written. Fewer means
    // nothing more is available right now; silence fills the gap.
    virtual size_t pull(int16_t *out, size_t frames) = 0;
};

class RawPlaybackStream
{
public:
    virtual ~RawPlaybackStream() = default;    // no source call happens after this returns
    virtual bool setRunning(bool running) = 0; // created stopped
    virtual void setVolume(float volume) = 0;  // the stream's own volume, 0..1
    virtual void flush() = 0;                  // drop what is queued but not yet heard
    // Frames the server has actually played from this stream so far.
    virtual uint64_t playedFrames() const = 0;
};

class AudioBackend
{
public:
    virtual ~AudioBackend() = default;

    virtual bool connect(std::string *error) = 0;
    // Empty when there are none, or when the server could not be asked.
    virtual std::vector<BackendDevice> devices() = 0;
    // The devices with the default device and source, read at once. False when the
    // server could not be asked (the outputs are then left alone).
    virtual bool readDevices(std::vector<BackendDevice> &devices, std::string &defaultDevice,
                             std::string &defaultSource)
    {
        devices = this->devices();
        defaultDevice = defaultDeviceId();
        defaultSource = defaultSourceId();
        return true;
    }
    // The id of the device holding the server's default source; empty if none.
    virtual std::string defaultDeviceId() = 0;
    // The backend key of the server's default source; empty if none.
    virtual std::string defaultSourceId() { return {}; }
    virtual bool activateInput(const BackendInput &input, std::string *error) = 0;
    virtual std::optional<SourceLevel> sourceLevel(const std::string &sourceId) = 0;
    // The level a capture of the source records at: 0 while it is muted.
    std::optional<float> sourceVolume(const std::string &sourceId)
    {
        const auto level = sourceLevel(sourceId);
        if (!level)
            return std::nullopt;
        return level->muted ? 0.f : level->volume;
    }
    virtual bool setSourceVolume(const std::string &sourceId, float volume) = 0;
    // Volume of the default output device, 0..1.
    virtual std::optional<float> outputVolume() = 0;
    // Sets it (keeping the balance between its channels). False when it cannot.
    virtual bool setOutputVolume(float /*volume*/) { return false; }

    virtual std::unique_ptr<RawCaptureStream> openCapture(const std::string &sourceId,
                                                          PcmFormat format, CaptureSink *sink,
                                                          std::string *error) = 0;
    virtual std::unique_ptr<RawPlaybackStream>
    openPlayback(PcmFormat format, PlaybackSource *source, std::string *error) = 0;

    // Called on a backend thread some time after devices were added or removed.
    virtual void setDevicesChangedHandler(std::function<void()> handler) = 0;
    // Called on a backend thread some time after a source's volume or mute state
    // changed, by this program or another one.
    virtual void setVolumesChangedHandler(std::function<void()> handler) { (void)handler; }
};

} // namespace sonalto::audio
