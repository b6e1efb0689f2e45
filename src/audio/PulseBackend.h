#pragma once

#include "audio/AudioBackend.h"

#include <functional>
#include <memory>
#include <thread>

namespace sonalto::audio {

// The sound server users run: PulseAudio, or PipeWire's PulseAudio server,
// through libpulse's threaded main loop.
//
// A capture device is a sound card: its inputs are the ports of the card's
// capture sources and the monitors of the card's outputs. Sources and sinks of
// no card (null sinks, remaps, network streams...) form one further device.
//
// When the server goes away (restarted, or updated), the backend connects again
// by itself, trying with a growing pause of up to a few seconds, and reports the
// new connection as a device change.
class PulseBackend : public AudioBackend
{
public:
    PulseBackend();
    // Streams still open keep the connection alive until they are freed.
    ~PulseBackend() override;

    bool connect(std::string *error) override;
    std::vector<BackendDevice> devices() override;
    bool readDevices(std::vector<BackendDevice> &devices, std::string &defaultDevice,
                     std::string &defaultSource) override;
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

    // Key of the device of cardless sources and sinks.
    static constexpr const char *VirtualDeviceId = "virtual";

    struct Connection;
    struct Shared;

private:
    std::shared_ptr<Connection> connection() const;
    void reconnectLoop();

    std::shared_ptr<Shared> m_shared;
    std::thread m_reconnector;
};

} // namespace sonalto::audio
