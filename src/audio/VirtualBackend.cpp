#include "audio/VirtualBackend.h"

#include "audio/AudioText.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <optional>
#include <thread>

namespace sonalto::audio {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr auto BlockPeriod = 10ms;

float amplitudeOf(float volume)
{
    const float v = std::clamp(volume, 0.f, 1.f);
    return v * v * v;
}

int16_t scaled(int16_t sample, float amplitude)
{
    return int16_t(std::lround(std::clamp(sample * amplitude, -32768.f, 32767.f)));
}

// A thread woken every block period until stopped; the stop is seen at once.
class Ticker
{
public:
    // Returns false when stopped.
    bool waitUntil(Clock::time_point when)
    {
        std::unique_lock lock(m_mutex);
        m_wake.wait_until(lock, when, [this] { return m_stop; });
        return !m_stop;
    }
    void stop()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
    }
    bool stopped()
    {
        std::lock_guard lock(m_mutex);
        return m_stop;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
};

void endThread(std::thread &thread)
{
    if (!thread.joinable())
        return;
    if (thread.get_id() == std::this_thread::get_id())
        thread.detach(); // freed from its own callback: the loop sees the stop and ends
    else
        thread.join();
}

} // namespace

struct VirtualBackend::Source
{
    std::string id;
    SampleGenerator generator;
    std::atomic<float> volume{1.f};
    std::atomic<bool> muted{false};
    std::atomic<bool> removed{false};
    std::string activePort; // guarded by the backend's mutex

    struct Loss
    {
        size_t frames;
        LossKind kind;
    };
    std::mutex lossMutex;
    std::deque<Loss> losses; // injected, not yet begun

    std::optional<Loss> takeLoss()
    {
        std::lock_guard lock(lossMutex);
        if (losses.empty())
            return std::nullopt;
        const Loss loss = losses.front();
        losses.pop_front();
        return loss;
    }
};

struct VirtualBackend::Recorder
{
    std::mutex mutex;
    std::vector<int16_t> samples;
};

namespace {

class VirtualCaptureStream : public RawCaptureStream
{
public:
    VirtualCaptureStream(std::shared_ptr<VirtualBackend::Source> source, std::string inputName,
                         PcmFormat format, CaptureSink *sink)
        : m_shared(std::make_shared<Shared>())
    {
        m_shared->source = std::move(source);
        m_shared->inputName = std::move(inputName);
        m_shared->format = format;
        m_shared->sink = sink;
        m_thread = std::thread(&VirtualCaptureStream::run, m_shared);
    }
    ~VirtualCaptureStream() override
    {
        m_shared->ticker.stop();
        endThread(m_thread);
    }
    bool setRunning(bool running) override
    {
        if (m_shared->source->removed)
            return false;
        m_shared->running = running;
        return true;
    }

private:
    struct Shared
    {
        std::shared_ptr<VirtualBackend::Source> source;
        std::string inputName;
        PcmFormat format;
        CaptureSink *sink = nullptr;
        std::atomic<bool> running{false};
        Ticker ticker;
    };

    static void run(std::shared_ptr<Shared> s)
    {
        const int channels = s->format.channels;
        const int rate = s->format.rate;
        std::vector<int16_t> block;
        uint64_t frame = 0;     // generator position, continues across pauses
        uint64_t delivered = 0; // since the clock was last started
        bool clockRunning = false;
        std::optional<VirtualBackend::Source::Loss> loss; // being lost now
        size_t lossLeft = 0;
        Clock::time_point started;
        auto next = Clock::now();
        while (s->ticker.waitUntil(next)) {
            next += BlockPeriod;
            if (s->source->removed) {
                s->sink->onCaptureFailed(AudioText::tr("输入“%1”已不可用。", {s->inputName}));
                return;
            }
            if (!s->running) {
                clockRunning = false;
                continue;
            }
            const auto now = Clock::now();
            if (!clockRunning) {
                // Audio starts one block after the stream does, as it would from
                // a real device.
                clockRunning = true;
                started = now - BlockPeriod;
                delivered = 0;
            }
            const auto elapsed =
                std::chrono::duration_cast<std::chrono::microseconds>(now - started).count();
            const uint64_t due = uint64_t(elapsed) * uint64_t(rate) / 1000000u;
            if (due <= delivered)
                continue;
            size_t frames = size_t(due - delivered);
            delivered = due;
            if (!loss && (loss = s->source->takeLoss()))
                lossLeft = loss->frames;
            if (loss) {
                // The generator runs on through the loss, like the sound did.
                const size_t n = std::min(frames, lossLeft);
                frame += n;
                frames -= n;
                lossLeft -= n;
                if (lossLeft > 0)
                    continue;
                s->sink->onCaptureLost(loss->frames, loss->kind);
                loss.reset();
                if (frames == 0)
                    continue;
            }
            block.resize(frames * size_t(channels));
            const float amplitude = s->source->muted ? 0.f : amplitudeOf(s->source->volume);
            for (size_t i = 0; i < frames; ++i)
                for (int c = 0; c < channels; ++c) {
                    const int16_t v =
                        s->source->generator ? s->source->generator(frame + i, c, rate) : 0;
                    block[i * size_t(channels) + size_t(c)] = scaled(v, amplitude);
                }
            frame += frames;
            s->sink->onCaptured(block.data(), frames);
        }
    }

    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};

class VirtualPlaybackStream : public RawPlaybackStream
{
public:
    VirtualPlaybackStream(std::shared_ptr<VirtualBackend::Recorder> recorder, PcmFormat format,
                          PlaybackSource *source)
        : m_shared(std::make_shared<Shared>())
    {
        m_shared->recorder = std::move(recorder);
        m_shared->format = format;
        m_shared->source = source;
        m_thread = std::thread(&VirtualPlaybackStream::run, m_shared);
    }
    ~VirtualPlaybackStream() override
    {
        m_shared->ticker.stop();
        endThread(m_thread);
    }
    bool setRunning(bool running) override
    {
        m_shared->running = running;
        return true;
    }
    void setVolume(float volume) override { m_shared->volume = volume; }
    void flush() override
    {
        // Nothing is queued ahead of the clock here; only the count starts again.
        std::lock_guard lock(m_shared->countMutex);
        m_shared->played = 0;
    }
    uint64_t playedFrames() const override
    {
        std::lock_guard lock(m_shared->countMutex);
        return m_shared->played;
    }

private:
    struct Shared
    {
        std::shared_ptr<VirtualBackend::Recorder> recorder;
        PcmFormat format;
        PlaybackSource *source = nullptr;
        std::atomic<bool> running{false};
        std::atomic<float> volume{1.f};
        std::mutex countMutex;
        uint64_t played = 0;
        Ticker ticker;
    };

    static void run(std::shared_ptr<Shared> s)
    {
        const size_t channels = size_t(s->format.channels);
        std::vector<int16_t> block;
        uint64_t clocked = 0;
        bool clockRunning = false;
        Clock::time_point started;
        auto next = Clock::now();
        while (s->ticker.waitUntil(next)) {
            next += BlockPeriod;
            if (!s->running) {
                clockRunning = false;
                continue;
            }
            const auto now = Clock::now();
            if (!clockRunning) {
                clockRunning = true;
                started = now - BlockPeriod;
                clocked = 0;
            }
            const auto elapsed =
                std::chrono::duration_cast<std::chrono::microseconds>(now - started).count();
            const uint64_t due = uint64_t(elapsed) * uint64_t(s->format.rate) / 1000000u;
            if (due <= clocked)
                continue;
            const size_t frames = size_t(due - clocked);
            clocked = due;
            block.assign(frames * channels, 0);
            const size_t got = std::min(frames, s->source->pull(block.data(), frames));
            if (got == 0)
                continue;
            const float amplitude = amplitudeOf(s->volume);
            for (size_t i = 0; i < got * channels; ++i)
                block[i] = scaled(block[i], amplitude);
            {
                std::lock_guard lock(s->recorder->mutex);
                s->recorder->samples.insert(s->recorder->samples.end(), block.begin(),
                                            block.begin() + std::ptrdiff_t(got * channels));
            }
            std::lock_guard lock(s->countMutex);
            s->played += got;
        }
    }

    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};

} // namespace

VirtualBackend::VirtualBackend() : m_recorder(std::make_shared<Recorder>()), m_notifier(20ms) {}

VirtualBackend::~VirtualBackend() = default;

void VirtualBackend::setConnectError(const std::string &message)
{
    std::lock_guard lock(m_mutex);
    m_connectError = message;
}

void VirtualBackend::addDevice(VirtualDevice device)
{
    {
        std::lock_guard lock(m_mutex);
        for (VirtualInput &input : device.inputs) {
            if (input.sourceId.empty())
                input.sourceId = device.id + "/" + input.name;
            auto &source = m_sources[input.sourceId];
            if (!source) {
                source = std::make_shared<Source>();
                source->id = input.sourceId;
                source->generator = input.generator;
                source->volume = input.volume;
                source->activePort = input.portId;
            }
        }
        m_devices.push_back(std::move(device));
    }
    m_notifier.notify();
}

bool VirtualBackend::removeDevice(const std::string &deviceId)
{
    {
        std::lock_guard lock(m_mutex);
        auto it = std::find_if(m_devices.begin(), m_devices.end(),
                               [&](const VirtualDevice &d) { return d.id == deviceId; });
        if (it == m_devices.end())
            return false;
        const std::vector<VirtualInput> inputs = it->inputs;
        m_devices.erase(it);
        for (const VirtualInput &input : inputs) {
            auto source = m_sources.find(input.sourceId);
            if (source != m_sources.end()) {
                source->second->removed = true;
                m_sources.erase(source);
            }
        }
    }
    m_notifier.notify();
    return true;
}

bool VirtualBackend::addInput(const std::string &deviceId, VirtualInput input)
{
    {
        std::lock_guard lock(m_mutex);
        auto it = std::find_if(m_devices.begin(), m_devices.end(),
                               [&](const VirtualDevice &d) { return d.id == deviceId; });
        if (it == m_devices.end())
            return false;
        if (input.sourceId.empty())
            input.sourceId = deviceId + "/" + input.name;
        auto &source = m_sources[input.sourceId];
        if (!source) {
            source = std::make_shared<Source>();
            source->id = input.sourceId;
            source->generator = input.generator;
            source->volume = input.volume;
            source->activePort = input.portId;
        }
        it->inputs.push_back(std::move(input));
    }
    m_notifier.notify();
    return true;
}

bool VirtualBackend::removeSource(const std::string &sourceId)
{
    {
        std::lock_guard lock(m_mutex);
        auto source = m_sources.find(sourceId);
        if (source == m_sources.end())
            return false;
        source->second->removed = true;
        m_sources.erase(source);
        for (VirtualDevice &device : m_devices)
            std::erase_if(device.inputs,
                          [&](const VirtualInput &i) { return i.sourceId == sourceId; });
    }
    m_notifier.notify();
    return true;
}

void VirtualBackend::setDefaultSource(const std::string &sourceId)
{
    std::lock_guard lock(m_mutex);
    m_defaultSource = sourceId;
}

void VirtualBackend::setDefaultOutputVolume(float volume)
{
    std::lock_guard lock(m_mutex);
    m_outputVolume = volume;
}

std::string VirtualBackend::activePort(const std::string &sourceId) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_sources.find(sourceId);
    return it == m_sources.end() ? std::string() : it->second->activePort;
}

bool VirtualBackend::injectLoss(const std::string &sourceId, size_t frames, LossKind kind)
{
    std::shared_ptr<Source> source;
    {
        std::lock_guard lock(m_mutex);
        source = findSource(sourceId);
    }
    if (!source || frames == 0)
        return false;
    std::lock_guard lock(source->lossMutex);
    source->losses.push_back({frames, kind});
    return true;
}

std::vector<int16_t> VirtualBackend::playedAudio() const
{
    std::lock_guard lock(m_recorder->mutex);
    return m_recorder->samples;
}

void VirtualBackend::clearPlayedAudio()
{
    std::lock_guard lock(m_recorder->mutex);
    m_recorder->samples.clear();
}

bool VirtualBackend::connect(std::string *error)
{
    if (!answer()) {
        if (error)
            *error = "no answer";
        return false;
    }
    std::lock_guard lock(m_mutex);
    if (!m_connectError.empty()) {
        if (error)
            *error = m_connectError;
        return false;
    }
    m_connected = true;
    return true;
}

std::vector<BackendDevice> VirtualBackend::devices()
{
    if (!answer())
        return {};
    std::lock_guard lock(m_mutex);
    std::vector<BackendDevice> result;
    for (const VirtualDevice &device : m_devices) {
        BackendDevice out{device.id, device.name, device.enabled, {}};
        for (const VirtualInput &input : device.inputs) {
            auto source = m_sources.find(input.sourceId);
            const bool active = !input.portId.empty() && source != m_sources.end() &&
                                source->second->activePort == input.portId;
            out.inputs.push_back({input.name, input.flags, input.sourceId, input.portId, active});
        }
        result.push_back(std::move(out));
    }
    return result;
}

std::string VirtualBackend::defaultDeviceId()
{
    std::lock_guard lock(m_mutex);
    for (const VirtualDevice &device : m_devices)
        for (const VirtualInput &input : device.inputs)
            if (input.sourceId == m_defaultSource)
                return device.id;
    return {};
}

std::string VirtualBackend::defaultSourceId()
{
    std::lock_guard lock(m_mutex);
    return m_sources.count(m_defaultSource) ? m_defaultSource : std::string();
}

std::shared_ptr<VirtualBackend::Source> VirtualBackend::findSource(const std::string &id) const
{
    auto it = m_sources.find(id);
    return it == m_sources.end() ? nullptr : it->second;
}

bool VirtualBackend::activateInput(const BackendInput &input, std::string *error)
{
    if (!answer()) {
        if (error)
            *error = "no answer";
        return false;
    }
    std::lock_guard lock(m_mutex);
    auto source = findSource(input.sourceId);
    if (!source) {
        if (error)
            *error = AudioText::tr("没有输入“%1”。", {input.name});
        return false;
    }
    if (!input.portId.empty())
        source->activePort = input.portId;
    return true;
}

std::optional<SourceLevel> VirtualBackend::sourceLevel(const std::string &sourceId)
{
    if (!answer())
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    auto source = findSource(sourceId);
    if (!source)
        return std::nullopt;
    return SourceLevel{source->volume.load(), source->muted.load()};
}

bool VirtualBackend::setSourceVolume(const std::string &sourceId, float volume)
{
    if (!answer())
        return false;
    {
        std::lock_guard lock(m_mutex);
        auto source = findSource(sourceId);
        if (!source)
            return false;
        source->volume = std::clamp(volume, 0.f, 1.f);
        // A level above 0 is meant to be heard, as on the sound server.
        if (volume > 0.f)
            source->muted = false;
    }
    m_volumeNotifier.notify();
    return true;
}

bool VirtualBackend::setSourceMuted(const std::string &sourceId, bool muted)
{
    {
        std::lock_guard lock(m_mutex);
        auto source = findSource(sourceId);
        if (!source)
            return false;
        source->muted = muted;
    }
    m_volumeNotifier.notify();
    return true;
}

void VirtualBackend::setStalled(bool stalled)
{
    {
        std::lock_guard lock(m_stallMutex);
        m_stalled = stalled;
    }
    m_stallEnded.notify_all();
}

bool VirtualBackend::answer()
{
    std::unique_lock lock(m_stallMutex);
    if (m_stalled) {
        const auto self = std::this_thread::get_id();
        if (std::find(m_stalledCallers.begin(), m_stalledCallers.end(), self) ==
            m_stalledCallers.end())
            m_stalledCallers.push_back(self);
    }
    return m_stallEnded.wait_for(lock, m_answerDeadline, [this] { return !m_stalled; });
}

std::vector<std::thread::id> VirtualBackend::stalledCallers() const
{
    std::lock_guard lock(m_stallMutex);
    return m_stalledCallers;
}

std::optional<float> VirtualBackend::outputVolume()
{
    if (!answer())
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    return m_outputVolume;
}

bool VirtualBackend::setOutputVolume(float volume)
{
    if (!answer())
        return false;
    std::lock_guard lock(m_mutex);
    m_outputVolume = volume;
    return true;
}

std::unique_ptr<RawCaptureStream> VirtualBackend::openCapture(const std::string &sourceId,
                                                              PcmFormat format, CaptureSink *sink,
                                                              std::string *error)
{
    if (!answer()) {
        if (error)
            *error = "no answer";
        return nullptr;
    }
    std::shared_ptr<Source> source;
    std::string inputName = sourceId;
    {
        std::lock_guard lock(m_mutex);
        source = findSource(sourceId);
        // Messages name the input the user chose: the source's active port, else its first.
        bool named = false;
        for (const VirtualDevice &device : m_devices) {
            for (const VirtualInput &input : device.inputs) {
                if (source && input.sourceId == sourceId &&
                    (!named || input.portId == source->activePort)) {
                    inputName = input.name;
                    named = true;
                }
            }
        }
    }
    if (!source || !sink || format.rate <= 0 || format.channels <= 0) {
        if (error)
            *error = source ? AudioText::tr("不支持这种录音格式。")
                            : AudioText::tr("没有输入“%1”。", {sourceId});
        return nullptr;
    }
    return std::make_unique<VirtualCaptureStream>(source, inputName, format, sink);
}

std::unique_ptr<RawPlaybackStream>
VirtualBackend::openPlayback(PcmFormat format, PlaybackSource *source, std::string *error)
{
    if (!source || format.rate <= 0 || format.channels <= 0) {
        if (error)
            *error = AudioText::tr("不支持这种播放格式。");
        return nullptr;
    }
    return std::make_unique<VirtualPlaybackStream>(m_recorder, format, source);
}

void VirtualBackend::setDevicesChangedHandler(std::function<void()> handler)
{
    m_notifier.setHandler(std::move(handler));
}

void VirtualBackend::setVolumesChangedHandler(std::function<void()> handler)
{
    m_volumeNotifier.setHandler(std::move(handler));
}

} // namespace sonalto::audio
