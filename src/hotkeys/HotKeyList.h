#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace sonalto::hotkeys {

// Modifier bits of an entry.
enum Modifier : uint8_t {
    ModCtrl = 1,
    ModAlt = 2,
    ModShift = 4,
};

// Key code and modifier bits of a cleared entry: no keyboard state has modifier
// value 255, so such an entry never fires.
constexpr uint8_t ClearedKey = 255;

// Roles of the first three entries.
enum HotKeyRole : int {
    RecordKey = 0,
    StopKey = 1,
    PauseKey = 2,
};

// The hot-key list: two parallel arrays of Windows virtual-key codes and
// modifier bits, and the number of valid entries. The arrays are handed to the
// keyboard hook as they are, so they keep their fixed size. Only the entries of
// the three roles ever act or take a key from other programs.
struct HotKeyList
{
    static constexpr int Capacity = 99;
    static constexpr int Roles = PauseKey + 1;

    std::array<uint8_t, Capacity> keys{};
    std::array<uint8_t, Capacity> modifiers{};
    int count = 0;

    // The first role entry below count that holds a key, with exactly these
    // modifiers and this key, or -1.
    int match(uint8_t key, int modifierState) const;

    // Whether the entry holds a key that can fire (see isKey).
    bool hasKey(int index) const;

    // A named key (not a modifier alone) with modifier bits of a real keyboard
    // state.
    static bool isKey(uint8_t key, uint8_t modifiers);

    void clearEntry(int index);
    // Gives a role entry its default combination: record F9, stop F11,
    // pause/resume F10, no modifiers.
    void setDefault(int index);

    static uint8_t defaultKey(int index);
};

} // namespace sonalto::hotkeys
