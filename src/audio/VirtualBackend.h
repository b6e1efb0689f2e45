#pragma once

#include "audio/AudioBackend.h"
#include "audio/DeviceChangeNotifier.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sonalto::audio {

// Sample of a virtual input at a frame (counted from the start of a capture) and
// channel, for a stream at `rate` frames per second.
using SampleGenerator = std::function<int16_t(uint64_t frame, int channel, int rate)>;

struct VirtualInput
{
    std::string name;
    uint32_t flags = 0;
    float volume = 1.f;
    SampleGenerator generator; // silence when empty
    std::string sourceId;      // inputs sharing a source differ by port
    std::string portId;
};

struct VirtualDevice
{
    std::string id;
    std::string name;
    bool enabled = true;
    std::vector<VirtualInput> inputs;
};

// An in-process backend for deterministic tests: the test describes devices and
// inputs, capture streams deliver generated audio clocked in real time in ~10 ms
// blocks on their own thread, and playback streams are played in real time into
// a recorder the test reads back. Volumes follow the sound server's software
// volume curve (amplitude = volume cubed).
class VirtualBackend : public AudioBackend
{
public:
    VirtualBackend();
    ~VirtualBackend() override;

    // --- Set up and driven by the test ---------------------------------------
    void setConnectError(const std::string &message); // connect() fails with it
    void addDevice(VirtualDevice device);
    // Removing a device or input fails the captures of its sources.
    bool removeDevice(const std::string &deviceId);
    bool addInput(const std::string &deviceId, VirtualInput input);
    bool removeSource(const std::string &sourceId);
    void setDefaultSource(const std::string &sourceId);
    void setDefaultOutputVolume(float volume);
    // Mutes or unmutes a source from outside the program, as the desktop's mixer does.
    bool setSourceMuted(const std::string &sourceId, bool muted);
    // While stalled, the backend answers nothing, like a sound server that was stopped:
    // every call waits until the stall ends, and fails after the answer deadline.
    void setStalled(bool stalled);
    void setAnswerDeadline(std::chrono::milliseconds deadline) { m_answerDeadline = deadline; }
    // The threads that called the backend while it was stalled (each once): a caller
    // that must never wait for a server must not be among them.
    std::vector<std::thread::id> stalledCallers() const;
    std::string activePort(const std::string &sourceId) const;
    // The captures of the source lose their next `frames` frames: they deliver
    // nothing for that long, then report the loss at once, as a server does
    // after a suspended source or a hole.
    bool injectLoss(const std::string &sourceId, size_t frames, LossKind kind);
    // Everything the playback streams played (their own volume applied), in order.
    std::vector<int16_t> playedAudio() const;
    void clearPlayedAudio();

    // --- AudioBackend ----------------------------------------------------------
    bool connect(std::string *error) override;
    std::vector<BackendDevice> devices() override;
    std::string defaultDeviceId() override;
    std::string defaultSourceId() override;
    bool activateInput(const BackendInput &input, std::string *error) override;
    std::optional<SourceLevel> sourceLevel(const std::string &sourceId) override;
    bool setSourceVolume(const std::string &sourceId, float volume) override;
    std::optional<float> outputVolume() override;
    bool setOutputVolume(float volume) override;
    std::unique_ptr<RawCaptureStream> openCapture(const std::string &sourceId, PcmFormat format,
                                                  CaptureSink *sink, std::string *error) override;
    std::unique_ptr<RawPlaybackStream> openPlayback(PcmFormat format, PlaybackSource *source,
                                                    std::string *error) override;
    void setDevicesChangedHandler(std::function<void()> handler) override;
    void setVolumesChangedHandler(std::function<void()> handler) override;

    // State of one source, shared with the streams capturing it.
    struct Source;
    struct Recorder;

private:
    std::shared_ptr<Source> findSource(const std::string &sourceId) const;
    // Waits out a stall; false when the deadline passed first.
    bool answer();

    mutable std::mutex m_mutex;
    std::vector<VirtualDevice> m_devices;
    std::map<std::string, std::shared_ptr<Source>> m_sources;
    std::string m_defaultSource;
    float m_outputVolume = 1.f;
    std::string m_connectError;
    bool m_connected = false;
    std::shared_ptr<Recorder> m_recorder;
    DeviceChangeNotifier m_notifier;
    DeviceChangeNotifier m_volumeNotifier{std::chrono::milliseconds(20)};
    mutable std::mutex m_stallMutex;
    std::condition_variable m_stallEnded;
    bool m_stalled = false;
    std::vector<std::thread::id> m_stalledCallers;
    std::chrono::milliseconds m_answerDeadline{3000};
};

} // namespace sonalto::audio
