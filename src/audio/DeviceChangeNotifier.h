#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace sonalto::audio {

// Calls a handler on its own thread some time after the last of a burst of
// notifications. Backends report device changes through it so that the handler
// may call back into the backend (synchronous queries included) without running
// on the backend's own event thread.
class DeviceChangeNotifier
{
public:
    explicit DeviceChangeNotifier(std::chrono::milliseconds delay);
    ~DeviceChangeNotifier(); // no handler call is running or made after this returns
    DeviceChangeNotifier(const DeviceChangeNotifier &) = delete;
    DeviceChangeNotifier &operator=(const DeviceChangeNotifier &) = delete;

    // Waits for a handler call in progress (unless called from that handler).
    void setHandler(std::function<void()> handler);
    // Any thread; never blocks for long. Restarts the delay.
    void notify();

private:
    // Shared with the thread, which may outlive the object when the handler
    // itself destroys the notifier.
    struct State
    {
        std::mutex mutex;
        std::condition_variable wake;
        std::condition_variable idle;
        std::function<void()> handler;
        std::optional<std::chrono::steady_clock::time_point> due;
        bool calling = false;
        bool quit = false;
    };
    static void run(std::shared_ptr<State> state);

    const std::chrono::milliseconds m_delay;
    std::shared_ptr<State> m_state;
    std::thread m_thread;
};

} // namespace sonalto::audio
