#include "audio/PulseBackend.h"

#include "audio/DeviceChangeNotifier.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <deque>
#include <map>

namespace sonalto::audio {

using namespace std::chrono_literals;

struct PulseBackend::Connection
{
    pa_threaded_mainloop *loop = nullptr;
    pa_context *context = nullptr;
    // Hot-plug events come in bursts (a "change" may even precede its "new"):
    // the handler runs once, a while after the last of them.
    DeviceChangeNotifier notifier{100ms};

    ~Connection()
    {
        if (loop)
            pa_threaded_mainloop_stop(loop);
        if (context) {
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_set_subscribe_callback(context, nullptr, nullptr);
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        if (loop)
            pa_threaded_mainloop_free(loop);
    }

    bool ready() const { return context && pa_context_get_state(context) == PA_CONTEXT_READY; }
    std::string lastError() const { return pa_strerror(pa_context_errno(context)); }
};

namespace {

// Locks the main loop, unless we already run on its thread (inside a callback),
// where the lock is held already and waiting for the server is impossible.
class LoopLock
{
public:
    explicit LoopLock(pa_threaded_mainloop *loop)
        : m_loop(loop), m_locked(!pa_threaded_mainloop_in_thread(loop))
    {
        if (m_locked)
            pa_threaded_mainloop_lock(m_loop);
    }
    ~LoopLock()
    {
        if (m_locked)
            pa_threaded_mainloop_unlock(m_loop);
    }
    LoopLock(const LoopLock &) = delete;
    LoopLock &operator=(const LoopLock &) = delete;
    bool canWait() const { return m_locked; }

private:
    pa_threaded_mainloop *m_loop;
    bool m_locked;
};

void signalLoop(pa_threaded_mainloop *loop)
{
    pa_threaded_mainloop_signal(loop, 0);
}

// Waits (main loop locked, not on its thread) until the operation is done or
// cancelled, e.g. by a lost connection.
bool finish(pa_threaded_mainloop *loop, pa_operation *op)
{
    if (!op)
        return false;
    pa_operation_set_state_callback(
        op, [](pa_operation *, void *l) { signalLoop(static_cast<pa_threaded_mainloop *>(l)); },
        loop);
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(loop);
    const bool done = pa_operation_get_state(op) == PA_OPERATION_DONE;
    pa_operation_unref(op);
    return done;
}

struct SuccessResult
{
    pa_threaded_mainloop *loop;
    bool success = false;
};

void onSuccess(pa_context *, int success, void *userdata)
{
    auto *result = static_cast<SuccessResult *>(userdata);
    result->success = success != 0;
    signalLoop(result->loop);
}

std::string text(const char *s)
{
    return s ? std::string(s) : std::string();
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

// --- Device lists ----------------------------------------------------------------

struct PortData
{
    std::string name;
    std::string description;
    uint32_t type = PA_DEVICE_PORT_TYPE_UNKNOWN;
};

struct SourceData
{
    uint32_t index = 0;
    uint32_t card = PA_INVALID_INDEX;
    uint32_t monitorOf = PA_INVALID_INDEX;
    std::string name;
    std::string description;
    std::string formFactor;
    std::string activePort;
    std::vector<PortData> ports;
};

struct SinkData
{
    uint32_t index = 0;
    uint32_t card = PA_INVALID_INDEX;
    std::string name;
    std::string description;
    std::string monitor;
};

struct CardData
{
    uint32_t index = 0;
    std::string name;
    std::string description;
    bool enabled = true;
};

struct Snapshot
{
    pa_threaded_mainloop *loop = nullptr;
    int pending = 0;
    std::vector<CardData> cards;
    std::vector<SinkData> sinks;
    std::vector<SourceData> sources;
    std::string defaultSink;
    std::string defaultSource;
};

void listDone(Snapshot *s)
{
    --s->pending;
    signalLoop(s->loop);
}

void onCard(pa_context *, const pa_card_info *info, int eol, void *userdata)
{
    auto *s = static_cast<Snapshot *>(userdata);
    if (eol) {
        listDone(s);
        return;
    }
    CardData card;
    card.index = info->index;
    card.name = text(info->name);
    card.description = text(pa_proplist_gets(info->proplist, PA_PROP_DEVICE_DESCRIPTION));
    if (card.description.empty())
        card.description = card.name;
    // A card whose profile is "off" has no endpoints: listed, but unusable.
    const pa_card_profile_info2 *profile = info->active_profile2;
    card.enabled = profile && profile->n_sinks + profile->n_sources > 0;
    s->cards.push_back(std::move(card));
}

void onSink(pa_context *, const pa_sink_info *info, int eol, void *userdata)
{
    auto *s = static_cast<Snapshot *>(userdata);
    if (eol) {
        listDone(s);
        return;
    }
    s->sinks.push_back({info->index, info->card, text(info->name), text(info->description),
                        text(info->monitor_source_name)});
}

void onSource(pa_context *, const pa_source_info *info, int eol, void *userdata)
{
    auto *s = static_cast<Snapshot *>(userdata);
    if (eol) {
        listDone(s);
        return;
    }
    SourceData source;
    source.index = info->index;
    source.card = info->card;
    source.monitorOf = info->monitor_of_sink;
    source.name = text(info->name);
    source.description = text(info->description);
    source.formFactor = text(pa_proplist_gets(info->proplist, PA_PROP_DEVICE_FORM_FACTOR));
    if (info->active_port)
        source.activePort = text(info->active_port->name);
    for (uint32_t i = 0; i < info->n_ports; ++i)
        source.ports.push_back({text(info->ports[i]->name), text(info->ports[i]->description),
                                uint32_t(info->ports[i]->type)});
    s->sources.push_back(std::move(source));
}

void onServer(pa_context *, const pa_server_info *info, void *userdata)
{
    auto *s = static_cast<Snapshot *>(userdata);
    if (info) {
        s->defaultSink = text(info->default_sink_name);
        s->defaultSource = text(info->default_source_name);
    }
    listDone(s);
}

// Reads the four lists in one round trip. False when the server cannot answer.
bool readSnapshot(PulseBackend::Connection &c, Snapshot &s)
{
    LoopLock lock(c.loop);
    if (!lock.canWait() || !c.ready())
        return false;
    s.loop = c.loop;
    pa_operation *ops[] = {
        pa_context_get_card_info_list(c.context, onCard, &s),
        pa_context_get_sink_info_list(c.context, onSink, &s),
        pa_context_get_source_info_list(c.context, onSource, &s),
        pa_context_get_server_info(c.context, onServer, &s),
    };
    bool ok = true;
    for (pa_operation *op : ops)
        ok = finish(c.loop, op) && ok;
    return ok;
}

uint32_t typeFromWords(const std::string &words)
{
    const std::string w = lower(words);
    if (w.find("mic") != std::string::npos || w.find("headset") != std::string::npos ||
        w.find("webcam") != std::string::npos)
        return InputTypeMicrophone;
    if (w.find("line") != std::string::npos)
        return InputTypeLine;
    if (w.find("spdif") != std::string::npos || w.find("iec958") != std::string::npos ||
        w.find("hdmi") != std::string::npos || w.find("digital") != std::string::npos)
        return InputTypeDigital;
    if (w.find("analog") != std::string::npos)
        return InputTypeAnalog;
    return InputTypeUndefined;
}

uint32_t portType(const PortData &port)
{
    switch (port.type) {
    case PA_DEVICE_PORT_TYPE_MIC:
    case PA_DEVICE_PORT_TYPE_HEADSET:
    case PA_DEVICE_PORT_TYPE_HANDSET:
    case PA_DEVICE_PORT_TYPE_HANDSFREE:
        return InputTypeMicrophone;
    case PA_DEVICE_PORT_TYPE_LINE:
        return InputTypeLine;
    case PA_DEVICE_PORT_TYPE_SPDIF:
    case PA_DEVICE_PORT_TYPE_HDMI:
        return InputTypeDigital;
    case PA_DEVICE_PORT_TYPE_ANALOG:
        return InputTypeAnalog;
    default:
        return typeFromWords(port.name + " " + port.description);
    }
}

void addSourceInputs(BackendDevice &device, const SourceData &source)
{
    if (source.ports.empty()) {
        const std::string name = source.description.empty() ? source.name : source.description;
        device.inputs.push_back(
            {name,
             typeFromWords(source.formFactor + " " + source.name + " " + source.description),
             source.name,
             {},
             false});
        return;
    }
    for (const PortData &port : source.ports)
        device.inputs.push_back({port.description.empty() ? port.name : port.description,
                                 portType(port), source.name, port.name,
                                 port.name == source.activePort});
}

void addMonitorInput(BackendDevice &device, const SinkData &sink)
{
    if (sink.monitor.empty())
        return;
    const std::string name = sink.description.empty() ? sink.name : sink.description;
    device.inputs.push_back({name + " (output mix)", InputTypeOutputMix, sink.monitor, {}, false});
}

// Inputs of one device that would read the same tell which source they are on.
void disambiguate(BackendDevice &device, const std::vector<SourceData> &sources)
{
    std::map<std::string, int> count;
    for (const auto &input : device.inputs)
        ++count[input.name];
    for (auto &input : device.inputs) {
        if (count[input.name] < 2)
            continue;
        auto it = std::find_if(sources.begin(), sources.end(),
                               [&](const SourceData &s) { return s.name == input.sourceId; });
        if (it != sources.end() && !it->description.empty())
            input.name += " (" + it->description + ")";
    }
}

std::vector<BackendDevice> buildDevices(Snapshot &s)
{
    auto byIndex = [](const auto &a, const auto &b) { return a.index < b.index; };
    std::sort(s.cards.begin(), s.cards.end(), byIndex);
    std::sort(s.sinks.begin(), s.sinks.end(), byIndex);
    std::sort(s.sources.begin(), s.sources.end(), byIndex);

    // What the device plays comes first: a first start without settings takes
    // input 0, and a device change the last output mix, so both record the
    // card's own output, the input this program is mostly used for.
    auto collect = [&](BackendDevice &device, uint32_t card) {
        for (const SinkData &sink : s.sinks)
            if (sink.card == card)
                addMonitorInput(device, sink);
        for (const SourceData &source : s.sources)
            if (source.card == card && source.monitorOf == PA_INVALID_INDEX)
                addSourceInputs(device, source);
        disambiguate(device, s.sources);
    };

    std::vector<BackendDevice> devices;
    for (const CardData &card : s.cards) {
        BackendDevice device{"card:" + card.name, card.description, card.enabled, {}};
        collect(device, card.index);
        devices.push_back(std::move(device));
    }
    BackendDevice group{PulseBackend::VirtualDeviceId, "Virtual devices", true, {}};
    collect(group, PA_INVALID_INDEX);
    if (!group.inputs.empty())
        devices.push_back(std::move(group));
    return devices;
}

// --- Volumes -----------------------------------------------------------------------

pa_volume_t toPulseVolume(float volume)
{
    return pa_volume_t(std::lround(double(std::clamp(volume, 0.f, 1.f)) * PA_VOLUME_NORM));
}

float fromPulseVolume(const pa_cvolume &volume)
{
    return std::min(1.f, float(pa_cvolume_max(&volume)) / float(PA_VOLUME_NORM));
}

struct VolumeResult
{
    pa_threaded_mainloop *loop;
    std::optional<pa_cvolume> volume;
};

void onSourceVolume(pa_context *, const pa_source_info *info, int eol, void *userdata)
{
    auto *r = static_cast<VolumeResult *>(userdata);
    if (!eol && info)
        r->volume = info->volume;
    signalLoop(r->loop);
}

void onSinkVolume(pa_context *, const pa_sink_info *info, int eol, void *userdata)
{
    auto *r = static_cast<VolumeResult *>(userdata);
    if (!eol && info)
        r->volume = info->volume;
    signalLoop(r->loop);
}

std::optional<pa_cvolume> readSourceVolume(PulseBackend::Connection &c, const std::string &id)
{
    VolumeResult r{c.loop, std::nullopt};
    if (!finish(c.loop,
                pa_context_get_source_info_by_name(c.context, id.c_str(), onSourceVolume, &r)))
        return std::nullopt;
    return r.volume;
}

// --- Capture --------------------------------------------------------------------------

class PulseCaptureStream : public RawCaptureStream
{
public:
    PulseCaptureStream(std::shared_ptr<PulseBackend::Connection> connection, CaptureSink *sink,
                       PcmFormat format, std::string sourceId)
        : m_connection(std::move(connection)), m_sink(sink),
          m_bytesPerFrame(format.bytesPerFrame()), m_sourceId(std::move(sourceId))
    {
    }

    ~PulseCaptureStream() override
    {
        LoopLock lock(m_connection->loop);
        if (m_stream) {
            pa_stream_set_state_callback(m_stream, nullptr, nullptr);
            pa_stream_set_read_callback(m_stream, nullptr, nullptr);
            pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
        }
    }

    // Main loop locked, not on its thread.
    bool open(PcmFormat format, std::string *error)
    {
        pa_context *context = m_connection->context;
        const pa_sample_spec spec{PA_SAMPLE_S16LE, uint32_t(format.rate), uint8_t(format.channels)};
        pa_channel_map map;
        if (!pa_sample_spec_valid(&spec) ||
            !pa_channel_map_init_auto(&map, spec.channels, PA_CHANNEL_MAP_DEFAULT)) {
            *error = "Unsupported capture format.";
            return false;
        }
        m_stream = pa_stream_new(context, "Capture", &spec, &map);
        if (!m_stream) {
            *error = m_connection->lastError();
            return false;
        }
        pa_stream_set_state_callback(m_stream, onState, this);
        pa_stream_set_read_callback(m_stream, onRead, this);
        // Small fragments, or the server hands audio over in two-second lumps;
        // a generous maximum, so that a source that delivers in bursts loses
        // nothing while we catch up.
        pa_buffer_attr attr;
        attr.maxlength = uint32_t(-1);
        attr.tlength = uint32_t(-1);
        attr.prebuf = uint32_t(-1);
        attr.minreq = uint32_t(-1);
        attr.fragsize = uint32_t(pa_usec_to_bytes(50 * PA_USEC_PER_MSEC, &spec));
        // DONT_MOVE: when the source goes away the stream must fail, not carry on
        // silently recording another input.
        const auto flags = pa_stream_flags_t(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY |
                                             PA_STREAM_DONT_MOVE);
        if (pa_stream_connect_record(m_stream, m_sourceId.c_str(), &attr, flags) < 0) {
            *error = m_connection->lastError();
            return false;
        }
        for (;;) {
            const pa_stream_state_t state = pa_stream_get_state(m_stream);
            if (state == PA_STREAM_READY)
                break;
            if (!PA_STREAM_IS_GOOD(state)) {
                *error = "Cannot capture from \"" + m_sourceId + "\": " + m_connection->lastError();
                return false;
            }
            pa_threaded_mainloop_wait(m_connection->loop);
        }
        m_ready = true;
        return true;
    }

    bool setRunning(bool running) override
    {
        LoopLock lock(m_connection->loop);
        if (!m_stream || pa_stream_get_state(m_stream) != PA_STREAM_READY)
            return false;
        pa_operation *op = pa_stream_cork(m_stream, running ? 0 : 1, nullptr, nullptr);
        if (!op)
            return false;
        pa_operation_unref(op);
        return true;
    }

private:
    static void onState(pa_stream *stream, void *userdata)
    {
        auto *self = static_cast<PulseCaptureStream *>(userdata);
        signalLoop(self->m_connection->loop);
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (PA_STREAM_IS_GOOD(state) || !self->m_ready || self->m_failed)
            return;
        self->m_failed = true;
        std::string message;
        const int error = pa_context_errno(self->m_connection->context);
        if (!self->m_connection->ready())
            message = "The connection to the sound server was lost.";
        else if (error == PA_ERR_KILLED || error == PA_ERR_NOENTITY)
            message = "The input \"" + self->m_sourceId + "\" is no longer available.";
        else
            message = "Capture from \"" + self->m_sourceId + "\" stopped: " + pa_strerror(error);
        self->m_sink->onCaptureFailed(message);
    }

    static void onRead(pa_stream *stream, size_t, void *userdata)
    {
        auto *self = static_cast<PulseCaptureStream *>(userdata);
        for (;;) {
            const void *data = nullptr;
            size_t bytes = 0;
            if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0)
                return;
            if (data) // a null block with a size is a hole: nothing to deliver
                self->deliver(static_cast<const uint8_t *>(data), bytes);
            pa_stream_drop(stream);
        }
    }

    // Blocks can end in the middle of a frame: such a tail waits for the rest.
    void deliver(const uint8_t *data, size_t bytes)
    {
        const size_t bpf = size_t(m_bytesPerFrame);
        if (m_pending.empty() && bytes % bpf == 0 &&
            reinterpret_cast<uintptr_t>(data) % alignof(int16_t) == 0) {
            m_sink->onCaptured(reinterpret_cast<const int16_t *>(data), bytes / bpf);
            return;
        }
        m_pending.insert(m_pending.end(), data, data + bytes);
        const size_t whole = m_pending.size() / bpf * bpf;
        if (whole == 0)
            return;
        m_aligned.resize(whole / sizeof(int16_t));
        std::memcpy(m_aligned.data(), m_pending.data(), whole);
        m_pending.erase(m_pending.begin(), m_pending.begin() + std::ptrdiff_t(whole));
        m_sink->onCaptured(m_aligned.data(), whole / bpf);
    }

    std::shared_ptr<PulseBackend::Connection> m_connection;
    CaptureSink *m_sink;
    const int m_bytesPerFrame;
    const std::string m_sourceId;
    pa_stream *m_stream = nullptr;
    bool m_ready = false;  // failures before this are open()'s to report
    bool m_failed = false; // reported once
    std::vector<uint8_t> m_pending;
    std::vector<int16_t> m_aligned;
};

// --- Playback ---------------------------------------------------------------------------

class PulsePlaybackStream : public RawPlaybackStream
{
public:
    PulsePlaybackStream(std::shared_ptr<PulseBackend::Connection> connection,
                        PlaybackSource *source, PcmFormat format)
        : m_connection(std::move(connection)), m_source(source), m_format(format)
    {
    }

    ~PulsePlaybackStream() override
    {
        LoopLock lock(m_connection->loop);
        if (m_stream) {
            pa_stream_set_state_callback(m_stream, nullptr, nullptr);
            pa_stream_set_write_callback(m_stream, nullptr, nullptr);
            pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
        }
    }

    bool open(std::string *error)
    {
        const pa_sample_spec spec{PA_SAMPLE_S16LE, uint32_t(m_format.rate),
                                  uint8_t(m_format.channels)};
        pa_channel_map map;
        if (!pa_sample_spec_valid(&spec) ||
            !pa_channel_map_init_auto(&map, spec.channels, PA_CHANNEL_MAP_DEFAULT)) {
            *error = "Unsupported playback format.";
            return false;
        }
        m_stream = pa_stream_new(m_connection->context, "Playback", &spec, &map);
        if (!m_stream) {
            *error = m_connection->lastError();
            return false;
        }
        pa_stream_set_state_callback(
            m_stream,
            [](pa_stream *, void *userdata) {
                signalLoop(static_cast<PulsePlaybackStream *>(userdata)->m_connection->loop);
            },
            this);
        pa_stream_set_write_callback(m_stream, onWrite, this);
        // A short queue keeps pause, seek and volume changes prompt.
        pa_buffer_attr attr;
        attr.maxlength = uint32_t(-1);
        attr.tlength = uint32_t(pa_usec_to_bytes(100 * PA_USEC_PER_MSEC, &spec));
        attr.prebuf = uint32_t(-1);
        attr.minreq = uint32_t(-1);
        attr.fragsize = uint32_t(-1);
        const auto flags =
            pa_stream_flags_t(PA_STREAM_START_CORKED | PA_STREAM_INTERPOLATE_TIMING |
                              PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
        pa_cvolume volume;
        pa_cvolume_set(&volume, spec.channels, toPulseVolume(m_volume));
        if (pa_stream_connect_playback(m_stream, nullptr, &attr, flags, &volume, nullptr) < 0) {
            *error = m_connection->lastError();
            return false;
        }
        for (;;) {
            const pa_stream_state_t state = pa_stream_get_state(m_stream);
            if (state == PA_STREAM_READY)
                return true;
            if (!PA_STREAM_IS_GOOD(state)) {
                *error = "Cannot play to the default output: " + m_connection->lastError();
                return false;
            }
            pa_threaded_mainloop_wait(m_connection->loop);
        }
    }

    bool setRunning(bool running) override
    {
        LoopLock lock(m_connection->loop);
        if (pa_stream_get_state(m_stream) != PA_STREAM_READY)
            return false;
        pa_operation *op = pa_stream_cork(m_stream, running ? 0 : 1, nullptr, nullptr);
        if (!op)
            return false;
        pa_operation_unref(op);
        m_started = m_started || running;
        return true;
    }

    void setVolume(float volume) override
    {
        LoopLock lock(m_connection->loop);
        m_volume = volume;
        if (pa_stream_get_state(m_stream) != PA_STREAM_READY)
            return;
        pa_cvolume cv;
        pa_cvolume_set(&cv, uint8_t(m_format.channels), toPulseVolume(volume));
        pa_operation *op = pa_context_set_sink_input_volume(
            m_connection->context, pa_stream_get_index(m_stream), &cv, nullptr, nullptr);
        if (op)
            pa_operation_unref(op);
    }

    void flush() override
    {
        LoopLock lock(m_connection->loop);
        if (pa_stream_get_state(m_stream) != PA_STREAM_READY)
            return;
        // What is written from now on starts where the server reads now: a new
        // count of played frames begins there.
        m_base = streamFrames().value_or(m_base + m_written);
        m_written = 0;
        m_content = 0;
        m_silence.clear();
        m_silenceBefore = 0;
        m_lastPlayed = 0;
        pa_operation *op = pa_stream_flush(m_stream, nullptr, nullptr);
        if (op)
            pa_operation_unref(op);
    }

    uint64_t playedFrames() const override
    {
        LoopLock lock(m_connection->loop);
        // The clock of a stream that never ran can show a few frames of latency
        // correction; nothing has been heard yet.
        const auto now = streamFrames();
        if (!now || !m_started)
            return m_lastPlayed;
        // Frames of the stream heard since the last flush, less the silence we
        // filled in when the source had nothing.
        const uint64_t heard = std::min(*now > m_base ? *now - m_base : 0, m_written);
        while (!m_silence.empty() && m_silence.front().second <= heard) {
            m_silenceBefore += m_silence.front().second - m_silence.front().first;
            m_silence.pop_front();
        }
        uint64_t silence = m_silenceBefore;
        if (!m_silence.empty() && m_silence.front().first < heard)
            silence += heard - m_silence.front().first;
        const uint64_t played = std::min(heard - std::min(silence, heard), m_content);
        m_lastPlayed = std::max(m_lastPlayed, played);
        return m_lastPlayed;
    }

private:
    // Playback position of the stream in frames, since it was created.
    std::optional<uint64_t> streamFrames() const
    {
        pa_usec_t usec = 0;
        if (pa_stream_get_time(m_stream, &usec) < 0)
            return std::nullopt;
        return uint64_t(usec) * uint64_t(m_format.rate) / PA_USEC_PER_SEC;
    }

    static void onWrite(pa_stream *stream, size_t bytes, void *userdata)
    {
        auto *self = static_cast<PulsePlaybackStream *>(userdata);
        const size_t bpf = size_t(self->m_format.bytesPerFrame());
        while (bytes >= bpf) {
            void *buffer = nullptr;
            size_t size = bytes / bpf * bpf;
            if (pa_stream_begin_write(stream, &buffer, &size) < 0 || !buffer || size < bpf)
                return;
            const size_t frames = size / bpf;
            auto *out = static_cast<int16_t *>(buffer);
            const size_t got = std::min(frames, self->m_source->pull(out, frames));
            if (got < frames) {
                std::memset(out + got * size_t(self->m_format.channels), 0, (frames - got) * bpf);
                const uint64_t start = self->m_written + got;
                const uint64_t end = self->m_written + frames;
                if (!self->m_silence.empty() && self->m_silence.back().second == start)
                    self->m_silence.back().second = end;
                else
                    self->m_silence.emplace_back(start, end);
            }
            if (pa_stream_write(stream, buffer, frames * bpf, nullptr, 0, PA_SEEK_RELATIVE) < 0)
                return;
            self->m_written += frames;
            self->m_content += got;
            bytes -= frames * bpf;
        }
    }

    std::shared_ptr<PulseBackend::Connection> m_connection;
    PlaybackSource *m_source;
    const PcmFormat m_format;
    pa_stream *m_stream = nullptr;
    float m_volume = 1.f;
    bool m_started = false;

    // Guarded by the main loop lock. Counts in frames, since the last flush.
    uint64_t m_base = 0;    // stream position where the count starts
    uint64_t m_written = 0; // frames written, silence included
    uint64_t m_content = 0; // frames that came from the source
    // Stretches of filled-in silence [begin, end), in written frames.
    mutable std::deque<std::pair<uint64_t, uint64_t>> m_silence;
    mutable uint64_t m_silenceBefore = 0; // silence of stretches already heard
    mutable uint64_t m_lastPlayed = 0;
};

} // namespace

// --- Backend ----------------------------------------------------------------------------------

PulseBackend::PulseBackend() = default;

PulseBackend::~PulseBackend()
{
    if (m_connection)
        m_connection->notifier.setHandler(nullptr);
}

bool PulseBackend::connect(std::string *error)
{
    if (m_connection && m_connection->ready())
        return true;
    auto fail = [&](const std::string &why) {
        if (error)
            *error = "Cannot connect to the sound server: " + why;
        m_connection.reset();
        return false;
    };
    m_connection = std::make_shared<Connection>();
    Connection &c = *m_connection;
    c.loop = pa_threaded_mainloop_new();
    if (!c.loop)
        return fail("out of memory");
    c.context = pa_context_new(pa_threaded_mainloop_get_api(c.loop), "Sonalto");
    if (!c.context)
        return fail("out of memory");
    pa_context_set_state_callback(
        c.context,
        [](pa_context *context, void *userdata) {
            auto *conn = static_cast<Connection *>(userdata);
            signalLoop(conn->loop);
            // A lost server takes all devices with it.
            if (pa_context_get_state(context) == PA_CONTEXT_FAILED)
                conn->notifier.notify();
        },
        &c);
    pa_context_set_subscribe_callback(
        c.context,
        [](pa_context *, pa_subscription_event_type_t event, uint32_t, void *userdata) {
            const unsigned facility = event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
            const unsigned type = event & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
            // Sources and sinks "change" with every volume step; only their
            // arrival and departure matter. A card's change is a new profile,
            // the server's a new default.
            if (type != PA_SUBSCRIPTION_EVENT_CHANGE || facility == PA_SUBSCRIPTION_EVENT_CARD ||
                facility == PA_SUBSCRIPTION_EVENT_SERVER)
                static_cast<Connection *>(userdata)->notifier.notify();
        },
        &c);
    if (pa_threaded_mainloop_start(c.loop) < 0)
        return fail("cannot start the event thread");

    std::string why;
    {
        LoopLock lock(c.loop);
        if (pa_context_connect(c.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            why = c.lastError();
        } else {
            bool timedOut = false;
            struct Timeout
            {
                pa_threaded_mainloop *loop;
                bool *flag;
            } timeout{c.loop, &timedOut};
            pa_mainloop_api *api = pa_threaded_mainloop_get_api(c.loop);
            timeval when;
            pa_timeval_add(pa_gettimeofday(&when), 5 * PA_USEC_PER_SEC);
            pa_time_event *timer = api->time_new(
                api, &when,
                [](pa_mainloop_api *, pa_time_event *, const timeval *, void *userdata) {
                    auto *t = static_cast<Timeout *>(userdata);
                    *t->flag = true;
                    signalLoop(t->loop);
                },
                &timeout);
            for (;;) {
                const pa_context_state_t state = pa_context_get_state(c.context);
                if (state == PA_CONTEXT_READY)
                    break;
                if (!PA_CONTEXT_IS_GOOD(state)) {
                    why = c.lastError();
                    break;
                }
                if (timedOut) {
                    why = "no answer";
                    break;
                }
                pa_threaded_mainloop_wait(c.loop);
            }
            api->time_free(timer);
            if (why.empty()) {
                const auto mask = pa_subscription_mask_t(
                    PA_SUBSCRIPTION_MASK_CARD | PA_SUBSCRIPTION_MASK_SINK |
                    PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER);
                if (pa_operation *op = pa_context_subscribe(c.context, mask, nullptr, nullptr))
                    pa_operation_unref(op);
            }
        }
    }
    if (!why.empty())
        return fail(why);
    c.notifier.setHandler(m_devicesChanged);
    return true;
}

std::vector<BackendDevice> PulseBackend::devices()
{
    Snapshot s;
    if (!m_connection || !readSnapshot(*m_connection, s))
        return {};
    return buildDevices(s);
}

std::string PulseBackend::defaultDeviceId()
{
    Snapshot s;
    if (!m_connection || !readSnapshot(*m_connection, s))
        return {};
    for (const BackendDevice &device : buildDevices(s))
        for (const BackendInput &input : device.inputs)
            if (input.sourceId == s.defaultSource)
                return device.id;
    return {};
}

std::string PulseBackend::defaultSourceId()
{
    Snapshot s;
    if (!m_connection || !readSnapshot(*m_connection, s))
        return {};
    return s.defaultSource;
}

bool PulseBackend::activateInput(const BackendInput &input, std::string *error)
{
    auto fail = [&](const std::string &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!m_connection)
        return fail("Not connected to the sound server.");
    Connection &c = *m_connection;
    LoopLock lock(c.loop);
    if (!lock.canWait() || !c.ready())
        return fail("Not connected to the sound server.");
    if (input.portId.empty()) {
        // Nothing to switch on a source without ports (the server would answer
        // "not implemented"); it only has to exist.
        if (!readSourceVolume(c, input.sourceId))
            return fail("The input \"" + input.name + "\" is no longer available.");
        return true;
    }
    SuccessResult r{c.loop};
    if (!finish(c.loop, pa_context_set_source_port_by_name(c.context, input.sourceId.c_str(),
                                                           input.portId.c_str(), onSuccess, &r)) ||
        !r.success)
        return fail("Cannot switch to \"" + input.name + "\": " + c.lastError());
    return true;
}

std::optional<float> PulseBackend::sourceVolume(const std::string &sourceId)
{
    if (!m_connection)
        return std::nullopt;
    LoopLock lock(m_connection->loop);
    if (!lock.canWait() || !m_connection->ready())
        return std::nullopt;
    const auto volume = readSourceVolume(*m_connection, sourceId);
    return volume ? std::optional<float>(fromPulseVolume(*volume)) : std::nullopt;
}

bool PulseBackend::setSourceVolume(const std::string &sourceId, float volume)
{
    if (!m_connection)
        return false;
    Connection &c = *m_connection;
    LoopLock lock(c.loop);
    if (!lock.canWait() || !c.ready())
        return false;
    auto cv = readSourceVolume(c, sourceId);
    if (!cv)
        return false;
    // Scaling keeps the balance between the channels.
    pa_cvolume_scale(&*cv, toPulseVolume(volume));
    SuccessResult r{c.loop};
    return finish(c.loop, pa_context_set_source_volume_by_name(c.context, sourceId.c_str(), &*cv,
                                                               onSuccess, &r)) &&
           r.success;
}

std::optional<float> PulseBackend::outputVolume()
{
    Snapshot s;
    if (!m_connection || !readSnapshot(*m_connection, s) || s.defaultSink.empty())
        return std::nullopt;
    Connection &c = *m_connection;
    LoopLock lock(c.loop);
    if (!lock.canWait())
        return std::nullopt;
    VolumeResult r{c.loop, std::nullopt};
    if (!finish(c.loop, pa_context_get_sink_info_by_name(c.context, s.defaultSink.c_str(),
                                                         onSinkVolume, &r)) ||
        !r.volume)
        return std::nullopt;
    return fromPulseVolume(*r.volume);
}

std::unique_ptr<RawCaptureStream> PulseBackend::openCapture(const std::string &sourceId,
                                                            PcmFormat format, CaptureSink *sink,
                                                            std::string *error)
{
    std::string why;
    if (!m_connection || !sink) {
        why = "Not connected to the sound server.";
    } else {
        auto stream = std::make_unique<PulseCaptureStream>(m_connection, sink, format, sourceId);
        LoopLock lock(m_connection->loop);
        if (!lock.canWait() || !m_connection->ready())
            why = "Not connected to the sound server.";
        else if (stream->open(format, &why))
            return stream;
    }
    if (error)
        *error = why;
    return nullptr;
}

std::unique_ptr<RawPlaybackStream>
PulseBackend::openPlayback(PcmFormat format, PlaybackSource *source, std::string *error)
{
    std::string why;
    if (!m_connection || !source) {
        why = "Not connected to the sound server.";
    } else {
        auto stream = std::make_unique<PulsePlaybackStream>(m_connection, source, format);
        LoopLock lock(m_connection->loop);
        if (!lock.canWait() || !m_connection->ready())
            why = "Not connected to the sound server.";
        else if (stream->open(&why))
            return stream;
    }
    if (error)
        *error = why;
    return nullptr;
}

void PulseBackend::setDevicesChangedHandler(std::function<void()> handler)
{
    m_devicesChanged = handler;
    if (m_connection)
        m_connection->notifier.setHandler(std::move(handler));
}

} // namespace sonalto::audio
