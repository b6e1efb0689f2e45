#include "audio/AudioEngine.h"

#include "audio/AudioText.h"
#include "audio/CaptureChannelImpl.h"
#include "audio/PulseBackend.h"

#include <algorithm>
#include <mutex>
#include <set>

namespace sonalto::audio {

namespace {

// The playback streams opened through the engine that are still alive, so that a
// change of the output volume reaches the ones already playing. Shared with the
// streams: they may outlive the engine.
struct PlaybackRegistry
{
    std::mutex mutex;
    std::set<PlaybackStream *> streams;
    float volume = 1.f;
    // The streams' own volume: full scale while the output device's volume is
    // the playback volume, so that it is not applied twice.
    float streamVolume = 1.f;
};

class EnginePlaybackStream : public PlaybackStream
{
public:
    EnginePlaybackStream(std::unique_ptr<PlaybackStream> inner,
                         std::shared_ptr<PlaybackRegistry> registry)
        : m_inner(std::move(inner)), m_registry(std::move(registry))
    {
        std::lock_guard lock(m_registry->mutex);
        m_inner->setVolume(m_registry->streamVolume);
        m_registry->streams.insert(this);
    }
    ~EnginePlaybackStream() override
    {
        std::lock_guard lock(m_registry->mutex);
        m_registry->streams.erase(this);
    }

    bool play() override { return m_inner->play(); }
    bool pause() override { return m_inner->pause(); }
    void stop() override { m_inner->stop(); }
    ActiveState state() const override { return m_inner->state(); }
    uint64_t lengthBytes() const override { return m_inner->lengthBytes(); }
    uint64_t positionBytes() const override { return m_inner->positionBytes(); }
    bool setPositionBytes(uint64_t bytes) override { return m_inner->setPositionBytes(bytes); }
    double bytesToSeconds(uint64_t bytes) const override { return m_inner->bytesToSeconds(bytes); }
    uint64_t secondsToBytes(double seconds) const override
    {
        return m_inner->secondsToBytes(seconds);
    }
    void setVolume(float volume) override { m_inner->setVolume(volume); }
    bool spectrum(float *out512) const override { return m_inner->spectrum(out512); }
    void setEndHandler(std::function<void()> handler) override
    {
        m_inner->setEndHandler(std::move(handler));
    }

private:
    std::unique_ptr<PlaybackStream> m_inner;
    std::shared_ptr<PlaybackRegistry> m_registry;
};

} // namespace

struct AudioEngine::Private
{
    std::unique_ptr<AudioBackend> backend;
    std::shared_ptr<PlaybackRegistry> playbacks = std::make_shared<PlaybackRegistry>();

    mutable std::mutex mutex; // everything below
    bool started = false;
    std::vector<BackendDevice> devices;
    int device = -1;
    int input = -1;
    std::function<void()> devicesChanged;

    // Input of the current device the user most likely means: the default
    // source's active input, else an input whose port is active, else the first.
    int preferredInput(const BackendDevice &dev, const std::string &defaultSource) const
    {
        if (dev.inputs.empty())
            return -1;
        auto find = [&](auto pred) -> int {
            auto it = std::find_if(dev.inputs.begin(), dev.inputs.end(), pred);
            return it == dev.inputs.end() ? -1 : int(it - dev.inputs.begin());
        };
        int i = find([&](const BackendInput &in) {
            return in.sourceId == defaultSource && (in.portId.empty() || in.portActive);
        });
        if (i < 0)
            i = find([&](const BackendInput &in) { return in.sourceId == defaultSource; });
        if (i < 0)
            i = find([](const BackendInput &in) { return in.portActive; });
        return i < 0 ? 0 : i;
    }

    const BackendInput *currentInput() const
    {
        if (device < 0 || device >= int(devices.size()))
            return nullptr;
        const auto &inputs = devices[size_t(device)].inputs;
        return input >= 0 && input < int(inputs.size()) ? &inputs[size_t(input)] : nullptr;
    }
};

AudioEngine::AudioEngine(std::unique_ptr<AudioBackend> backend) : d(std::make_unique<Private>())
{
    d->backend = std::move(backend);
}

AudioEngine::~AudioEngine()
{
    d->backend->setDevicesChangedHandler(nullptr);
    d->backend->setVolumesChangedHandler(nullptr);
}

std::unique_ptr<AudioBackend> AudioEngine::createSystemBackend()
{
    return std::make_unique<PulseBackend>();
}

bool AudioEngine::start(std::string *error)
{
    if (!d->backend->connect(error))
        return false;
    d->backend->setDevicesChangedHandler([p = d.get()] {
        std::function<void()> handler;
        {
            std::lock_guard lock(p->mutex);
            handler = p->devicesChanged;
        }
        if (handler)
            handler();
    });
    std::vector<BackendDevice> devices;
    std::string defaultDevice, defaultSource;
    d->backend->readDevices(devices, defaultDevice, defaultSource);
    const float volume = std::clamp(d->backend->outputVolume().value_or(1.f), 0.f, 1.f);
    {
        std::lock_guard lock(d->mutex);
        d->devices = std::move(devices);
        auto it = std::find_if(d->devices.begin(), d->devices.end(),
                               [&](const BackendDevice &dev) { return dev.id == defaultDevice; });
        d->device = d->devices.empty()       ? -1
                    : it == d->devices.end() ? 0
                                             : int(it - d->devices.begin());
        d->input =
            d->device < 0 ? -1 : d->preferredInput(d->devices[size_t(d->device)], defaultSource);
        d->started = true;
    }
    std::lock_guard lock(d->playbacks->mutex);
    d->playbacks->volume = volume;
    return true;
}

bool AudioEngine::isStarted() const
{
    std::lock_guard lock(d->mutex);
    return d->started;
}

float AudioEngine::outputVolume() const
{
    std::lock_guard lock(d->playbacks->mutex);
    return d->playbacks->volume;
}

void AudioEngine::setOutputVolume(float volume)
{
    volume = std::clamp(volume, 0.f, 1.f);
    // The output device's own volume, the one the desktop's mixer shows: a file
    // then sounds as loud as any other program playing at that setting. Only
    // where the device refuses does the stream carry the volume itself.
    const bool onDevice = d->backend->setOutputVolume(volume);
    std::lock_guard lock(d->playbacks->mutex);
    d->playbacks->volume = volume;
    d->playbacks->streamVolume = onDevice ? 1.f : volume;
    for (PlaybackStream *stream : d->playbacks->streams)
        stream->setVolume(d->playbacks->streamVolume);
}

std::vector<DeviceInfo> AudioEngine::captureDevices() const
{
    std::lock_guard lock(d->mutex);
    std::vector<DeviceInfo> result;
    for (const auto &dev : d->devices) {
        result.push_back({dev.name, dev.enabled, {}});
        for (const auto &in : dev.inputs)
            result.back().inputNames.push_back(in.name);
    }
    return result;
}

int AudioEngine::currentDevice() const
{
    std::lock_guard lock(d->mutex);
    return d->device;
}

bool AudioEngine::selectDevice(int device)
{
    if (!isStarted())
        return false;
    const std::string defaultSource = d->backend->defaultSourceId();
    std::lock_guard lock(d->mutex);
    if (device < 0 || device >= int(d->devices.size()) || !d->devices[size_t(device)].enabled)
        return false;
    if (device != d->device) {
        d->device = device;
        d->input = d->preferredInput(d->devices[size_t(device)], defaultSource);
    }
    return true;
}

std::optional<InputInfo> AudioEngine::input(int index) const
{
    BackendInput in;
    {
        std::lock_guard lock(d->mutex);
        if (d->device < 0 || index < 0)
            return std::nullopt;
        const auto &inputs = d->devices[size_t(d->device)].inputs;
        if (index >= int(inputs.size()))
            return std::nullopt;
        in = inputs[size_t(index)];
    }
    return InputInfo{in.name, in.flags, d->backend->sourceVolume(in.sourceId).value_or(0.f)};
}

std::vector<InputInfo> AudioEngine::inputs() const
{
    std::lock_guard lock(d->mutex);
    std::vector<InputInfo> result;
    if (d->device >= 0)
        for (const BackendInput &in : d->devices[size_t(d->device)].inputs)
            result.push_back({in.name, in.flags, 0.f});
    return result;
}

int AudioEngine::inputCount() const
{
    std::lock_guard lock(d->mutex);
    return d->device < 0 ? 0 : int(d->devices[size_t(d->device)].inputs.size());
}

bool AudioEngine::switchOnInput(int index)
{
    BackendInput in;
    int device;
    {
        std::lock_guard lock(d->mutex);
        device = d->device;
        if (device < 0 || index < 0 || index >= int(d->devices[size_t(device)].inputs.size()))
            return false;
        in = d->devices[size_t(device)].inputs[size_t(index)];
    }
    if (!d->backend->activateInput(in, nullptr))
        return false;
    std::lock_guard lock(d->mutex);
    if (d->device != device) // the lists were re-read meanwhile
        return false;
    d->input = index;
    for (auto &other : d->devices[size_t(device)].inputs)
        if (other.sourceId == in.sourceId)
            other.portActive = !in.portId.empty() && other.portId == in.portId;
    return true;
}

int AudioEngine::currentInput() const
{
    std::lock_guard lock(d->mutex);
    return d->input;
}

bool AudioEngine::setInputVolume(int index, float volume)
{
    std::string sourceId;
    {
        std::lock_guard lock(d->mutex);
        if (d->device < 0)
            return false;
        const auto &inputs = d->devices[size_t(d->device)].inputs;
        if (index == -1) {
            const BackendInput *current = d->currentInput();
            if (!current)
                return false;
            sourceId = current->sourceId;
        } else if (index >= 0 && index < int(inputs.size())) {
            sourceId = inputs[size_t(index)].sourceId;
        } else {
            return false;
        }
    }
    return d->backend->setSourceVolume(sourceId, std::clamp(volume, 0.f, 1.f));
}

std::unique_ptr<CaptureChannel> AudioEngine::startCapture(PcmFormat format, bool paused,
                                                          CaptureCallback callback,
                                                          std::string *error)
{
    std::string sourceId;
    {
        std::lock_guard lock(d->mutex);
        const BackendInput *current = d->currentInput();
        if (!d->started || !current) {
            if (error)
                *error = d->started ? AudioText::tr("没有选择录音输入。")
                                    : AudioText::tr("音频系统尚未启动。");
            return nullptr;
        }
        sourceId = current->sourceId;
    }
    return CaptureChannelImpl::open(*d->backend, sourceId, format, paused, std::move(callback),
                                    error);
}

std::unique_ptr<CaptureChannel> AudioEngine::startCapture(const std::string &sourceId,
                                                          PcmFormat format, bool paused,
                                                          CaptureCallback callback,
                                                          std::string *error)
{
    if (!isStarted()) {
        if (error)
            *error = AudioText::tr("音频系统尚未启动。");
        return nullptr;
    }
    return CaptureChannelImpl::open(*d->backend, sourceId, format, paused, std::move(callback),
                                    error);
}

std::unique_ptr<PlaybackStream> AudioEngine::openFile(const std::string &path, std::string *error)
{
    auto stream = PlaybackStream::open(*d->backend, path, error);
    if (!stream)
        return nullptr;
    return std::make_unique<EnginePlaybackStream>(std::move(stream), d->playbacks);
}

std::vector<BackendDevice> AudioEngine::deviceModel() const
{
    std::lock_guard lock(d->mutex);
    return d->devices;
}

bool AudioEngine::useInput(const std::string &deviceId, const std::string &sourceId,
                           const std::string &portId, std::string *error)
{
    BackendInput in;
    int device = -1, index = -1;
    {
        std::lock_guard lock(d->mutex);
        for (size_t i = 0; i < d->devices.size() && device < 0; ++i) {
            if (d->devices[i].id != deviceId)
                continue;
            const auto &inputs = d->devices[i].inputs;
            for (size_t j = 0; j < inputs.size(); ++j) {
                if (inputs[j].sourceId == sourceId && inputs[j].portId == portId) {
                    device = int(i);
                    index = int(j);
                    in = inputs[j];
                    break;
                }
            }
        }
    }
    if (index < 0) {
        if (error)
            *error = AudioText::tr("找不到录音输入“%1”。", {sourceId});
        return false;
    }
    if (!d->backend->activateInput(in, error))
        return false;
    std::lock_guard lock(d->mutex);
    if (device >= int(d->devices.size()) || d->devices[size_t(device)].id != deviceId) {
        if (error)
            *error = AudioText::tr("录音输入“%1”已不可用。",
                                   {in.name}); // the lists were re-read meanwhile
        return false;
    }
    d->device = device;
    d->input = index;
    for (auto &other : d->devices[size_t(device)].inputs)
        if (other.sourceId == in.sourceId)
            other.portActive = !in.portId.empty() && other.portId == in.portId;
    return true;
}

std::string AudioEngine::currentDeviceId() const
{
    std::lock_guard lock(d->mutex);
    return d->device < 0 ? std::string() : d->devices[size_t(d->device)].id;
}

std::optional<BackendInput> AudioEngine::currentInputKey() const
{
    std::lock_guard lock(d->mutex);
    if (const BackendInput *in = d->currentInput())
        return *in;
    return std::nullopt;
}

std::optional<SourceLevel> AudioEngine::currentInputLevel() const
{
    const auto in = currentInputKey();
    if (!in)
        return std::nullopt;
    return d->backend->sourceLevel(in->sourceId);
}

bool AudioEngine::refreshDevices()
{
    if (!isStarted())
        return false;
    std::vector<BackendDevice> devices;
    std::string defaultDevice, defaultSource;
    // A server that does not answer has not lost its devices: the lists stay.
    if (!d->backend->readDevices(devices, defaultDevice, defaultSource))
        return false;
    std::lock_guard lock(d->mutex);
    std::string deviceId;
    std::optional<BackendInput> current;
    if (d->device >= 0)
        deviceId = d->devices[size_t(d->device)].id;
    if (const BackendInput *in = d->currentInput())
        current = *in;
    d->devices = std::move(devices);

    auto byId = [&](const std::string &id) {
        auto it = std::find_if(d->devices.begin(), d->devices.end(),
                               [&](const BackendDevice &dev) { return dev.id == id; });
        return it == d->devices.end() ? -1 : int(it - d->devices.begin());
    };
    d->device = byId(deviceId);
    d->input = -1;
    if (d->device >= 0 && current) {
        const auto &inputs = d->devices[size_t(d->device)].inputs;
        auto it = std::find_if(inputs.begin(), inputs.end(), [&](const BackendInput &in) {
            return in.sourceId == current->sourceId && in.portId == current->portId;
        });
        if (it != inputs.end())
            d->input = int(it - inputs.begin());
    }
    if (d->device < 0)
        d->device = d->devices.empty() ? -1 : std::max(byId(defaultDevice), 0);
    if (d->device >= 0 && d->input < 0)
        d->input = d->preferredInput(d->devices[size_t(d->device)], defaultSource);
    return true;
}

void AudioEngine::setVolumesChangedHandler(std::function<void()> handler)
{
    d->backend->setVolumesChangedHandler(std::move(handler));
}

void AudioEngine::setDevicesChangedHandler(std::function<void()> handler)
{
    std::lock_guard lock(d->mutex);
    d->devicesChanged = std::move(handler);
}

AudioBackend &AudioEngine::backend()
{
    return *d->backend;
}

} // namespace sonalto::audio
