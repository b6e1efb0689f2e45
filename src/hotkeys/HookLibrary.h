#pragma once

#include <QLibrary>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace sonalto::hotkeys {

// The binding to the keyboard-hook library (libkHook.so), loaded at run time so
// that the program runs without it: without the library or an X display the
// calls are skipped and there are simply no global hot keys.
class HookLibrary
{
public:
    // A report as the hook makes it: virtual-key code, keystroke flags in the
    // layout of a key message (bit 30 auto-repeat, bit 31 release), and the
    // modifiers (1 Ctrl, 2 Alt, 4 Shift) held with the key. Called on the
    // library's thread.
    using Receiver = std::function<void(int key, unsigned int flags, int modifiers)>;

    // candidates: library files tried in order; empty: the program's folder,
    // then the system's library search.
    explicit HookLibrary(QStringList candidates = {});
    ~HookLibrary();
    HookLibrary(const HookLibrary &) = delete;
    HookLibrary &operator=(const HookLibrary &) = delete;

    void setReceiver(Receiver receiver);

    // Loads the library (once) and sets the hook. False when the library is
    // missing or there is no display to watch.
    bool setHook();
    // Hands the list to the hook when the library is loaded: of its first count
    // entries only those of the three roles, and of those only the ones that
    // hold a key (HotKeyList::isKey); any other is handed over cleared, so that
    // it takes no key from other programs. Returns how many combinations another
    // program owns, -1 when the call was skipped.
    int setList(const uint8_t *keys, const uint8_t *modifiers, int count);
    // The entries of the last list that another program owns (empty when the
    // library cannot tell).
    std::vector<int> refusedEntries();
    // Removes the hook and unloads the library.
    void removeHook();

    bool isLoaded() const { return m_library.isLoaded(); }
    QString errorString() const { return m_error; }

private:
    static void report(void *context, int key, unsigned int flags, int modifiers);
    bool load();

    QStringList m_candidates;
    QLibrary m_library;
    // What the hook was handed: it may keep the pointers while it is set.
    std::array<uint8_t, 3> m_keys{}, m_modifiers{};
    QString m_error;
    std::mutex m_receiverMutex;
    Receiver m_receiver;
};

} // namespace sonalto::hotkeys
