#include "audio/PulseConnection.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace sonalto::audio::pulse {

void signalLoop(pa_threaded_mainloop *loop)
{
    pa_threaded_mainloop_signal(loop, 0);
}

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

} // namespace sonalto::audio::pulse
