#include "hotkeys/HotKeyList.h"

#include "hotkeys/KeyNames.h"

namespace sonalto::hotkeys {

int HotKeyList::match(uint8_t key, int modifierState) const
{
    const int valid = count < Roles ? count : Roles;
    for (int i = 0; i < valid; ++i)
        if (hasKey(i) && modifiers[size_t(i)] == modifierState && keys[size_t(i)] == key)
            return i;
    return -1;
}

bool HotKeyList::hasKey(int index) const
{
    if (index < 0 || index >= Capacity)
        return false;
    return isKey(keys[size_t(index)], modifiers[size_t(index)]);
}

bool HotKeyList::isKey(uint8_t key, uint8_t modifiers)
{
    return modifiers <= (ModCtrl | ModAlt | ModShift) && !keyName(key).isEmpty();
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
