#include "audio/PulseConnection.h"

#include "audio/AudioText.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace sonalto::audio {

std::string PulseBackend::Connection::lastError() const
{
    return pulse::errorText(pa_context_errno(context));
}

} // namespace sonalto::audio

namespace sonalto::audio::pulse {

std::string errorText(int error)
{
    switch (error) {
    case PA_ERR_ACCESS:
    case PA_ERR_AUTHKEY:
        return AudioText::tr("声音服务器拒绝访问");
    case PA_ERR_CONNECTIONREFUSED:
    case PA_ERR_INVALIDSERVER:
        return AudioText::tr("声音服务器没有运行");
    case PA_ERR_CONNECTIONTERMINATED:
        return AudioText::tr("与声音服务器的连接已断开");
    case PA_ERR_TIMEOUT:
        return AudioText::tr("声音服务器没有应答");
    case PA_ERR_KILLED:
    case PA_ERR_NOENTITY:
        return AudioText::tr("设备已不存在");
    case PA_ERR_BUSY:
        return AudioText::tr("设备正被占用");
    case PA_ERR_NOTSUPPORTED:
    case PA_ERR_NOTIMPLEMENTED:
        return AudioText::tr("设备不支持这项操作");
    case PA_ERR_INVALID:
        return AudioText::tr("参数无效");
    case PA_ERR_IO:
        return AudioText::tr("设备读写出错");
    default:
        return AudioText::tr("声音服务器错误 %1（%2）",
                             {std::to_string(error), text(pa_strerror(error))});
    }
}

void signalLoop(pa_threaded_mainloop *loop)
{
    pa_threaded_mainloop_signal(loop, 0);
}

bool waitUntil(pa_threaded_mainloop *loop, const std::function<bool()> &done,
               std::chrono::milliseconds deadline)
{
    if (done())
        return true;
    // The loop's own thread keeps running while the server is silent: a timer
    // there wakes this wait when the deadline has passed.
    struct Timeout
    {
        pa_threaded_mainloop *loop;
        bool passed = false;
    } timeout{loop};
    pa_mainloop_api *api = pa_threaded_mainloop_get_api(loop);
    timeval when;
    pa_timeval_add(pa_gettimeofday(&when), pa_usec_t(deadline.count()) * PA_USEC_PER_MSEC);
    pa_time_event *timer = api->time_new(
        api, &when,
        [](pa_mainloop_api *, pa_time_event *, const timeval *, void *userdata) {
            auto *t = static_cast<Timeout *>(userdata);
            t->passed = true;
            signalLoop(t->loop);
        },
        &timeout);
    bool ok = true;
    while (!done()) {
        if (timeout.passed) {
            ok = false;
            break;
        }
        pa_threaded_mainloop_wait(loop);
    }
    api->time_free(timer);
    return ok;
}

bool finish(pa_threaded_mainloop *loop, pa_operation *op, std::chrono::milliseconds deadline)
{
    if (!op)
        return false;
    pa_operation_set_state_callback(
        op, [](pa_operation *, void *l) { signalLoop(static_cast<pa_threaded_mainloop *>(l)); },
        loop);
    const bool answered = waitUntil(
        loop, [op] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; }, deadline);
    if (!answered) {
        // Its answer, should it come, is not waited for; the callbacks it would
        // run must not touch the caller's results any more.
        pa_operation_set_state_callback(op, nullptr, nullptr);
        pa_operation_cancel(op);
    }
    const bool done = answered && pa_operation_get_state(op) == PA_OPERATION_DONE;
    pa_operation_unref(op);
    return done;
}

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

pa_volume_t toPulseVolume(float volume)
{
    return pa_volume_t(std::lround(double(std::clamp(volume, 0.f, 1.f)) * PA_VOLUME_NORM));
}

float fromPulseVolume(const pa_cvolume &volume)
{
    return std::min(1.f, float(pa_cvolume_max(&volume)) / float(PA_VOLUME_NORM));
}

namespace {

using Connection = PulseBackend::Connection;

void onContextState(pa_context *context, void *userdata)
{
    auto *conn = static_cast<Connection *>(userdata);
    signalLoop(conn->loop);
    if (pa_context_get_state(context) != PA_CONTEXT_FAILED)
        return;
    // A lost server takes all devices with it; the backend connects again.
    conn->notifier.notify();
    if (auto shared = conn->shared.lock()) {
        std::lock_guard lock(shared->mutex);
        if (shared->connection.get() == conn && !shared->lost) {
            shared->lost = true;
            shared->wake.notify_all();
        }
    }
}

void onEvent(pa_context *, pa_subscription_event_type_t event, uint32_t, void *userdata)
{
    auto *conn = static_cast<Connection *>(userdata);
    const unsigned facility = event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const unsigned type = event & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    // Sources "change" with every volume step and mute; their arrival and
    // departure are device changes. A card's change is a new profile, the
    // server's a new default.
    if (type == PA_SUBSCRIPTION_EVENT_CHANGE && facility == PA_SUBSCRIPTION_EVENT_SOURCE)
        conn->volumeNotifier.notify();
    if (type != PA_SUBSCRIPTION_EVENT_CHANGE || facility == PA_SUBSCRIPTION_EVENT_CARD ||
        facility == PA_SUBSCRIPTION_EVENT_SERVER)
        conn->notifier.notify();
}

} // namespace

std::shared_ptr<Connection> openConnection(const std::shared_ptr<PulseBackend::Shared> &shared,
                                           std::string *error)
{
    auto fail = [&](const std::string &why) {
        if (error)
            *error = why;
        return nullptr;
    };
    auto connection = std::make_shared<Connection>();
    Connection &c = *connection;
    c.shared = shared;
    c.loop = pa_threaded_mainloop_new();
    if (!c.loop)
        return fail(AudioText::tr("内存不足"));
    c.context = pa_context_new(pa_threaded_mainloop_get_api(c.loop), "Sonalto");
    if (!c.context)
        return fail(AudioText::tr("内存不足"));
    pa_context_set_state_callback(c.context, onContextState, &c);
    pa_context_set_subscribe_callback(c.context, onEvent, &c);
    if (pa_threaded_mainloop_start(c.loop) < 0)
        return fail(AudioText::tr("无法启动与声音服务器通信的线程"));

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
                    why = AudioText::tr("声音服务器没有应答");
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
    return connection;
}

} // namespace sonalto::audio::pulse
