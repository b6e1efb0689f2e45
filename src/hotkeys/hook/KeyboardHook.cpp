// Global hot keys on X11: the library keeps its own connection to the X server
// and its own thread, and grabs each listed combination on the root window, so
// the combinations reach us whichever window has the focus.
#include "KeyboardHook.h"

#include "VirtualKeySyms.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
// The XKB protocol header uses a member named "explicit".
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

constexpr uint16_t CtrlMask = XCB_MOD_MASK_CONTROL;
constexpr uint16_t AltMask = XCB_MOD_MASK_1;
constexpr uint16_t ShiftMask = XCB_MOD_MASK_SHIFT;
// Num Lock sits on Mod2 on practically every X server; Caps Lock and Num Lock
// must not stop a hot key from working, so each combination is grabbed with
// every state of the two.
constexpr uint16_t NumLockMask = XCB_MOD_MASK_2;
constexpr uint16_t LockVariants[] = {0, XCB_MOD_MASK_LOCK, NumLockMask,
                                     XCB_MOD_MASK_LOCK | NumLockMask};
constexpr uint8_t BadAccess = 10;

struct Grab
{
    xcb_keycode_t keycode;
    uint16_t mask; // Ctrl/Alt/Shift part of the X modifier state
    uint8_t virtualKey;
};

uint16_t maskForModifiers(uint8_t modifiers)
{
    uint16_t mask = 0;
    if (modifiers & 1)
        mask |= CtrlMask;
    if (modifiers & 2)
        mask |= AltMask;
    if (modifiers & 4)
        mask |= ShiftMask;
    return mask;
}

int modifiersForState(uint16_t state)
{
    return ((state & CtrlMask) ? 1 : 0) | ((state & AltMask) ? 2 : 0) |
           ((state & ShiftMask) ? 4 : 0);
}

class Hook
{
public:
    static Hook &instance()
    {
        static Hook hook;
        return hook;
    }

    // A caller that unloads the library or exits without RemoveHook must not
    // leave the thread running.
    ~Hook() { remove(); }

    int set()
    {
        std::lock_guard lock(m_mutex);
        if (m_connection)
            return 1;
        const char *display = std::getenv("DISPLAY");
        if (!display || !*display)
            return 0;
        int screenNumber = 0;
        xcb_connection_t *connection = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(connection)) {
            xcb_disconnect(connection);
            return 0;
        }
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
        for (int i = 0; i < screenNumber && it.rem; ++i)
            xcb_screen_next(&it);
        if (!it.rem || pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
            xcb_disconnect(connection);
            return 0;
        }
        m_connection = connection;
        m_root = it.data->root;
        m_symbols = xcb_key_symbols_alloc(m_connection);
        enableDetectableAutoRepeat();
        grabAll();
        m_stop = false;
        m_thread = std::thread([this] { run(); });
        return 1;
    }

    int setList(const unsigned char *keys, const unsigned char *modifiers, int count)
    {
        std::lock_guard lock(m_mutex);
        m_keys.assign(keys, keys + (count > 0 ? count : 0));
        m_modifiers.assign(modifiers, modifiers + (count > 0 ? count : 0));
        if (!m_connection)
            return -1;
        const int refused = grabAll();
        wakeThread();
        return refused;
    }

    void remove()
    {
        {
            std::lock_guard lock(m_mutex);
            if (!m_connection)
                return;
            m_stop = true;
            wakeThread();
        }
        m_thread.join();
        std::lock_guard lock(m_mutex);
        ungrabAll();
        xcb_flush(m_connection);
        xcb_key_symbols_free(m_symbols);
        m_symbols = nullptr;
        xcb_disconnect(m_connection);
        m_connection = nullptr;
        close(m_wake[0]);
        close(m_wake[1]);
        m_down.clear();
        m_refused.clear();
    }

    int refusedEntries(int *indices, int capacity)
    {
        std::lock_guard lock(m_mutex);
        if (!m_connection)
            return -1;
        for (size_t i = 0; i < m_refused.size() && int(i) < capacity; ++i)
            indices[i] = m_refused[i];
        return int(m_refused.size());
    }

    void setCallback(KHookReportFn callback, void *context)
    {
        std::lock_guard lock(m_callbackMutex);
        m_callback = callback;
        m_context = context;
    }

private:
    struct Report
    {
        int key;
        unsigned int flags;
        int modifiers;
    };

    void enableDetectableAutoRepeat()
    {
        // Without it a held key gives press/release pairs and we could not tell
        // a repeat from a new keystroke.
        free(xcb_xkb_use_extension_reply(m_connection, xcb_xkb_use_extension(m_connection, 1, 0),
                                         nullptr));
        free(xcb_xkb_per_client_flags_reply(
            m_connection,
            xcb_xkb_per_client_flags(m_connection, XCB_XKB_ID_USE_CORE_KBD,
                                     XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT,
                                     XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT, 0, 0, 0),
            nullptr));
    }

    void ungrabAll()
    {
        for (const Grab &grab : m_grabs)
            for (uint16_t lock : LockVariants)
                xcb_ungrab_key(m_connection, grab.keycode, m_root, uint16_t(grab.mask | lock));
        m_grabs.clear();
    }

    // Grabs the current list; returns how many combinations another program owns.
    int grabAll()
    {
        ungrabAll();
        m_refused.clear();
        for (size_t i = 0; i < m_keys.size(); ++i) {
            if (m_modifiers[i] > 7) // a cleared entry
                continue;
            const uint32_t keysym = khook::keysymForVirtualKey(m_keys[i]);
            if (!keysym)
                continue;
            const uint16_t mask = maskForModifiers(m_modifiers[i]);
            xcb_keycode_t *keycodes = xcb_key_symbols_get_keycode(m_symbols, keysym);
            if (!keycodes)
                continue;
            bool owned = false;
            for (xcb_keycode_t *k = keycodes; *k != XCB_NO_SYMBOL; ++k) {
                if (findGrab(*k, mask))
                    continue;
                bool taken = true;
                for (uint16_t lock : LockVariants) {
                    xcb_generic_error_t *error = xcb_request_check(
                        m_connection,
                        xcb_grab_key_checked(m_connection, 0, m_root, uint16_t(mask | lock), *k,
                                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
                    if (error) {
                        if (error->error_code == BadAccess && lock == 0)
                            owned = true;
                        taken = taken && lock != 0;
                        free(error);
                    }
                }
                if (taken)
                    m_grabs.push_back({*k, mask, m_keys[i]});
            }
            free(keycodes);
            if (owned)
                m_refused.push_back(int(i));
        }
        xcb_flush(m_connection);
        return int(m_refused.size());
    }

    const Grab *findGrab(xcb_keycode_t keycode, uint16_t mask) const
    {
        for (const Grab &grab : m_grabs)
            if (grab.keycode == keycode && grab.mask == mask)
                return &grab;
        return nullptr;
    }

    void wakeThread()
    {
        const char byte = 1;
        [[maybe_unused]] ssize_t n = write(m_wake[1], &byte, 1);
    }

    void run()
    {
        const int fd = xcb_get_file_descriptor(m_connection);
        std::vector<Report> reports;
        for (;;) {
            pollfd fds[2] = {{fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
            poll(fds, 2, -1);
            {
                std::lock_guard lock(m_mutex);
                char buffer[64];
                while (read(m_wake[0], buffer, sizeof buffer) > 0) {
                }
                if (m_stop || xcb_connection_has_error(m_connection))
                    return;
                while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
                    handle(event, reports);
                    free(event);
                }
            }
            std::lock_guard lock(m_callbackMutex);
            for (const Report &report : reports)
                if (m_callback)
                    m_callback(m_context, report.key, report.flags, report.modifiers);
            reports.clear();
        }
    }

    void handle(xcb_generic_event_t *event, std::vector<Report> &reports)
    {
        switch (event->response_type & 0x7f) {
        case XCB_KEY_PRESS: {
            auto *press = reinterpret_cast<xcb_key_press_event_t *>(event);
            const uint16_t mask = press->state & (CtrlMask | AltMask | ShiftMask);
            const Grab *grab = findGrab(press->detail, mask);
            if (!grab)
                return;
            const bool repeat = !m_down.insert(press->detail).second;
            unsigned int flags = 1; // repeat count
            flags |= unsigned((press->detail - 8) & 0xff) << 16;
            if (mask & AltMask)
                flags |= 1u << 29;
            if (repeat)
                flags |= 1u << 30;
            reports.push_back({grab->virtualKey, flags, modifiersForState(press->state)});
            break;
        }
        case XCB_KEY_RELEASE:
            m_down.erase(reinterpret_cast<xcb_key_release_event_t *>(event)->detail);
            break;
        case XCB_MAPPING_NOTIFY: {
            auto *notify = reinterpret_cast<xcb_mapping_notify_event_t *>(event);
            if (xcb_refresh_keyboard_mapping(m_symbols, notify) &&
                notify->request == XCB_MAPPING_KEYBOARD)
                grabAll();
            break;
        }
        default:
            break;
        }
    }

    std::mutex m_mutex; // everything below except the callback
    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = 0;
    xcb_key_symbols_t *m_symbols = nullptr;
    std::vector<unsigned char> m_keys, m_modifiers;
    std::vector<Grab> m_grabs;
    std::vector<int> m_refused; // entries another program owns
    std::set<xcb_keycode_t> m_down;
    std::thread m_thread;
    int m_wake[2] = {-1, -1};
    bool m_stop = false;

    std::mutex m_callbackMutex;
    KHookReportFn m_callback = nullptr;
    void *m_context = nullptr;
};

} // namespace

extern "C" {

int SetHook(void)
{
    return Hook::instance().set();
}

int SetList(const unsigned char *keys, const unsigned char *modifiers, int count)
{
    if (count > 0 && (!keys || !modifiers))
        return -1;
    return Hook::instance().setList(keys, modifiers, count);
}

void RemoveHook(void)
{
    Hook::instance().remove();
}

int GetRefusedEntries(int *indices, int capacity)
{
    if (capacity > 0 && !indices)
        return -1;
    return Hook::instance().refusedEntries(indices, capacity);
}

void SetReportCallback(KHookReportFn callback, void *context)
{
    Hook::instance().setCallback(callback, context);
}

} // extern "C"
