#pragma once

// What the parts of the PulseAudio backend share: the connection to the
// server and the helpers to wait for its answers.

#include "audio/DeviceChangeNotifier.h"
#include "audio/PulseBackend.h"

#include <pulse/pulseaudio.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

namespace sonalto::audio {

using namespace std::chrono_literals;

struct PulseBackend::Connection
{
    pa_threaded_mainloop *loop = nullptr;
    pa_context *context = nullptr;
    // Hot-plug events come in bursts (a "change" may even precede its "new"):
    // the handler runs once, a while after the last of them.
    DeviceChangeNotifier notifier{100ms};
    // Volume and mute changes of sources, from us or others.
    DeviceChangeNotifier volumeNotifier{50ms};
    // What the backend shares with its connections: told when this one is lost.
    std::weak_ptr<PulseBackend::Shared> shared;

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
    std::string lastError() const;
};

// The backend's state that outlives it in its connections and threads.
struct PulseBackend::Shared
{
    std::mutex mutex;
    std::condition_variable wake;
    std::shared_ptr<Connection> connection; // the current one; null before connect()
    std::function<void()> devicesChanged;
    std::function<void()> volumesChanged;
    bool lost = false;     // the current connection failed: the reconnector works
    bool stopping = false; // the backend is being destroyed
};

namespace pulse {

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

void signalLoop(pa_threaded_mainloop *loop);

// How long any one answer of the server is waited for. A server that is stopped or
// hangs must not hold up whoever asked: the call fails instead, and is tried again
// later by whoever needs it.
inline constexpr std::chrono::milliseconds AnswerDeadline = 3s;

// Waits (main loop locked, not on its thread) until done() is true or the deadline
// has passed; false on the deadline. done() is checked with the lock held, after
// every signal of the loop.
bool waitUntil(pa_threaded_mainloop *loop, const std::function<bool()> &done,
               std::chrono::milliseconds deadline = AnswerDeadline);

// Waits (main loop locked, not on its thread) until the operation is done or
// cancelled, e.g. by a lost connection; one that is not answered within the
// deadline is cancelled and counts as failed.
bool finish(pa_threaded_mainloop *loop, pa_operation *op,
            std::chrono::milliseconds deadline = AnswerDeadline);

struct SuccessResult
{
    pa_threaded_mainloop *loop;
    bool success = false;
};

void onSuccess(pa_context *, int success, void *userdata);

std::string text(const char *s);
// What a sound server error code means, in the user's language.
std::string errorText(int error);
std::string lower(std::string s);

pa_volume_t toPulseVolume(float volume);
float fromPulseVolume(const pa_cvolume &volume);

// A new connection, subscribed to card, sink, source and server events; null
// with the reason when the server cannot be reached (waits up to 5 s).
std::shared_ptr<PulseBackend::Connection>
openConnection(const std::shared_ptr<PulseBackend::Shared> &shared, std::string *why);

} // namespace pulse

} // namespace sonalto::audio
