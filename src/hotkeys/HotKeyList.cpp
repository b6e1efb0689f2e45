#include "hotkeys/HotKeyList.h"

#include "hotkeys/KeyNames.h"

namespace sonalto::hotkeys {

int HotKeyList::match(uint8_t key, int modifierState) const
{
    const int valid = count < Capacity ? count : Capacity;
    for (int i = 0; i < valid; ++i)
        if (modifiers[size_t(i)] == modifierState && keys[size_t(i)] == key)
            return i;
    return -1;
}

bool HotKeyList::hasKey(int index) const
{
    if (index < 0 || index >= Capacity)
        return false;
    return modifiers[size_t(index)] <= (ModCtrl | ModAlt | ModShift) &&
           !keyName(keys[size_t(index)]).isEmpty();
}

void HotKeyList::clearEntry(int index)
{
    if (index < 0 || index >= Capacity)
        return;
    keys[size_t(index)] = ClearedKey;
    modifiers[size_t(index)] = ClearedKey;
}

uint8_t HotKeyList::defaultKey(int index)
{
    switch (index) {
    case RecordKey:
        return 0x78; // F9
    case StopKey:
        return 0x7A; // F11
    case PauseKey:
        return 0x79; // F10
    default:
        return 0;
    }
}

void HotKeyList::setDefault(int index)
{
    if (index < 0 || index > PauseKey)
        return;
    keys[size_t(index)] = defaultKey(index);
    modifiers[size_t(index)] = 0;
}

} // namespace sonalto::hotkeys
