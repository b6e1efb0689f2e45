#pragma once

#include <QString>

#include <cstdint>

namespace sonalto::hotkeys {

// "Ctrl + ", "Alt + ", "Shift + " joined in that order for modifier values 1..7;
// empty for 0 and anything else (a cleared entry's 255 included).
QString modifierPrefix(int modifiers);

// The layout's name of a Windows virtual-key code (US keyboard). Shift, Ctrl and
// Alt themselves have no name, nor does a key without a scan code. The name is
// taken from the key's scan code without the extended-key bit, so keys that
// share a scan code with a numeric-keypad key get the keypad key's name
// (Page Up reads "Num 9").
QString keyName(uint8_t virtualKey);

// Prefix + name, as the key-option dialog shows a combination.
QString displayText(uint8_t virtualKey, uint8_t modifiers);

// The tool tip of a toolbar button: prefix, one space, name.
QString hintText(uint8_t virtualKey, uint8_t modifiers);

// The scan code the keyboard layout gives a virtual-key code, 0 when none.
uint8_t scanCodeForVirtualKey(uint8_t virtualKey);

// The Windows virtual-key code of a Qt key (Qt::Key value), 0 when it has none.
// keypad: the key is on the numeric keypad. Shifted symbols give the code of the
// key that carries them on a US keyboard ('!' gives the code of 1).
uint8_t virtualKeyForQtKey(int qtKey, bool keypad);

} // namespace sonalto::hotkeys
