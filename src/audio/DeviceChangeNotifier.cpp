#include "audio/DeviceChangeNotifier.h"

namespace sonalto::audio {

DeviceChangeNotifier::DeviceChangeNotifier(std::chrono::milliseconds delay)
    : m_delay(delay), m_state(std::make_shared<State>()),
      m_thread(&DeviceChangeNotifier::run, m_state)
{
}

DeviceChangeNotifier::~DeviceChangeNotifier()
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->quit = true;
    }
    m_state->wake.notify_all();
    if (m_thread.get_id() == std::this_thread::get_id())
        m_thread.detach(); // destroyed from its own handler: the thread ends after it returns
    else
        m_thread.join();
}

void DeviceChangeNotifier::setHandler(std::function<void()> handler)
{
    std::unique_lock lock(m_state->mutex);
    if (std::this_thread::get_id() != m_thread.get_id())
        m_state->idle.wait(lock, [this] { return !m_state->calling; });
    m_state->handler = std::move(handler);
}

void DeviceChangeNotifier::notify()
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->due = std::chrono::steady_clock::now() + m_delay;
    }
    m_state->wake.notify_all();
}

void DeviceChangeNotifier::run(std::shared_ptr<State> state)
{
    std::unique_lock lock(state->mutex);
    while (!state->quit) {
        if (!state->due) {
            state->wake.wait(lock);
            continue;
        }
        if (std::chrono::steady_clock::now() < *state->due) {
            state->wake.wait_until(lock, *state->due);
            continue;
        }
        state->due.reset();
        auto handler = state->handler;
        if (!handler)
            continue;
        state->calling = true;
        lock.unlock();
        handler();
        lock.lock();
        state->calling = false;
        state->idle.notify_all();
    }
}

} // namespace sonalto::audio
