#pragma once

#include "audio/AudioBackend.h"
#include "audio/AudioTypes.h"
#include "audio/CaptureChannel.h"
#include "audio/PlaybackStream.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sonalto::audio {

// The program's single entry to sound: devices, inputs, volumes, capture
// channels and playback streams, over one backend.
class AudioEngine
{
public:
    explicit AudioEngine(std::unique_ptr<AudioBackend> backend);
    ~AudioEngine();

    // The backend users run (PulseAudio).
    static std::unique_ptr<AudioBackend> createSystemBackend();

    // Connects, reads the devices and makes the default capture device current.
    bool start(std::string *error);
    bool isStarted() const;

    // Playback volume 0..1: the default output device's volume (streams then
    // play at full scale); starts at that device's volume.
    float outputVolume() const;
    void setOutputVolume(float volume);

    // Capture devices in enumeration order, disabled ones included.
    std::vector<DeviceInfo> captureDevices() const;
    int currentDevice() const; // -1 when none
    bool selectDevice(int device);

    // Inputs of the current device. nullopt past the last input.
    std::optional<InputInfo> input(int index) const;
    // All of them, by name and kind only (volume 0): reading a volume asks the
    // sound server, one round trip per input.
    std::vector<InputInfo> inputs() const;
    int inputCount() const;
    // Makes the input the one captured from (and its port active).
    bool switchOnInput(int index);
    int currentInput() const;
    // index -1: the device's master level (the current input's source).
    bool setInputVolume(int index, float volume);

    // A capture channel on the current input.
    std::unique_ptr<CaptureChannel> startCapture(PcmFormat format, bool paused,
                                                 CaptureCallback callback, std::string *error);
    // A capture channel on the source of that input (its source id), current or not.
    std::unique_ptr<CaptureChannel> startCapture(const std::string &sourceId, PcmFormat format,
                                                 bool paused, CaptureCallback callback,
                                                 std::string *error);
    // A playback stream of a file, at the current output volume.
    std::unique_ptr<PlaybackStream> openFile(const std::string &path, std::string *error);

    // The devices with their stable keys (device id; source and port of each input), as
    // last read from the backend.
    std::vector<BackendDevice> deviceModel() const;
    // Makes the input of that device current and switches it on. False with the reason
    // when the device or the input is not listed, or the server refuses.
    bool useInput(const std::string &deviceId, const std::string &sourceId,
                  const std::string &portId, std::string *error);
    // The current device and input; empty ids when there is none.
    std::string currentDeviceId() const;
    std::optional<BackendInput> currentInputKey() const;
    // The current input's level as the server holds it; nullopt without an input or an
    // answer.
    std::optional<SourceLevel> currentInputLevel() const;

    // Re-reads the device lists (after hot-plug); keeps the current device and
    // input by name when they still exist. False, with the lists left as they were,
    // when the server could not be asked.
    bool refreshDevices();
    // Called on a backend thread after a device was added or removed.
    void setDevicesChangedHandler(std::function<void()> handler);
    // Called on a backend thread after an input's volume or mute state changed,
    // by this program or another one.
    void setVolumesChangedHandler(std::function<void()> handler);

    AudioBackend &backend();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace sonalto::audio
