#include "audio/PulseBackend.h"

#include "audio/PulseCaptureStream.h"
#include "audio/PulseConnection.h"
#include "audio/PulseDeviceList.h"
#include "audio/PulsePlaybackStream.h"

namespace sonalto::audio {

using namespace pulse;

namespace {

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

bool PulseBackend::setOutputVolume(float volume)
{
    Snapshot s;
    if (!m_connection || !readSnapshot(*m_connection, s) || s.defaultSink.empty())
        return false;
    Connection &c = *m_connection;
    LoopLock lock(c.loop);
    if (!lock.canWait())
        return false;
    VolumeResult current{c.loop, std::nullopt};
    if (!finish(c.loop, pa_context_get_sink_info_by_name(c.context, s.defaultSink.c_str(),
                                                         onSinkVolume, &current)) ||
        !current.volume)
        return false;
    pa_cvolume cv = *current.volume;
    pa_cvolume_scale(&cv, toPulseVolume(volume));
    SuccessResult r{c.loop};
    return finish(c.loop, pa_context_set_sink_volume_by_name(c.context, s.defaultSink.c_str(), &cv,
                                                             onSuccess, &r)) &&
           r.success;
}

std::unique_ptr<RawCaptureStream> PulseBackend::openCapture(const std::string &sourceId,
                                                            PcmFormat format, CaptureSink *sink,
                                                            std::string *error)
{
    std::string why;
    if (!m_connection || !sink) {
        why = "Not connected to the sound server.";
    } else {
        LoopLock lock(m_connection->loop);
        if (!lock.canWait() || !m_connection->ready())
            why = "Not connected to the sound server.";
        else if (auto stream = openCaptureStream(m_connection, sourceId, format, sink, &why))
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
        LoopLock lock(m_connection->loop);
        if (!lock.canWait() || !m_connection->ready())
            why = "Not connected to the sound server.";
        else if (auto stream = openPlaybackStream(m_connection, format, source, &why))
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
