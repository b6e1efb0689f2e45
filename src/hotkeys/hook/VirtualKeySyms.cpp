#include "VirtualKeySyms.h"

namespace khook {

uint32_t keysymForVirtualKey(uint8_t vk)
{
    if (vk >= '0' && vk <= '9')
        return vk;
    if (vk >= 'A' && vk <= 'Z')
        return vk + ('a' - 'A');
    if (vk >= 0x60 && vk <= 0x69) // numeric keypad digits
        return 0xffb0 + (vk - 0x60);
    if (vk >= 0x70 && vk <= 0x87) // F1 .. F24
        return 0xffbe + (vk - 0x70);
    switch (vk) {
    case 0x08:
        return 0xff08; // Backspace
    case 0x09:
        return 0xff09; // Tab
    case 0x0C:
        return 0xff0b; // Clear
    case 0x0D:
        return 0xff0d; // Return
    case 0x10:
        return 0xffe1; // Shift
    case 0x11:
        return 0xffe3; // Control
    case 0x12:
        return 0xffe9; // Alt
    case 0x13:
        return 0xff13; // Pause
    case 0x14:
        return 0xffe5; // Caps Lock
    case 0x1B:
        return 0xff1b; // Escape
    case 0x20:
        return 0x0020; // Space
    case 0x21:
        return 0xff55; // Page Up
    case 0x22:
        return 0xff56; // Page Down
    case 0x23:
        return 0xff57; // End
    case 0x24:
        return 0xff50; // Home
    case 0x25:
        return 0xff51; // Left
    case 0x26:
        return 0xff52; // Up
    case 0x27:
        return 0xff53; // Right
    case 0x28:
        return 0xff54; // Down
    case 0x2C:
        return 0xff61; // Print Screen
    case 0x2D:
        return 0xff63; // Insert
    case 0x2E:
        return 0xffff; // Delete
    case 0x5B:
        return 0xffeb; // left Windows key
    case 0x5C:
        return 0xffec; // right Windows key
    case 0x5D:
        return 0xff67; // Menu
    case 0x6A:
        return 0xffaa; // keypad *
    case 0x6B:
        return 0xffab; // keypad +
    case 0x6C:
        return 0xffac; // keypad separator
    case 0x6D:
        return 0xffad; // keypad -
    case 0x6E:
        return 0xffae; // keypad .
    case 0x6F:
        return 0xffaf; // keypad /
    case 0x90:
        return 0xff7f; // Num Lock
    case 0x91:
        return 0xff14; // Scroll Lock
    case 0xA0:
        return 0xffe1; // left Shift
    case 0xA1:
        return 0xffe2; // right Shift
    case 0xA2:
        return 0xffe3; // left Control
    case 0xA3:
        return 0xffe4; // right Control
    case 0xA4:
        return 0xffe9; // left Alt
    case 0xA5:
        return 0xffea; // right Alt
    case 0xAD:
        return 0x1008ff12; // volume mute
    case 0xAE:
        return 0x1008ff11; // volume down
    case 0xAF:
        return 0x1008ff13; // volume up
    case 0xB0:
        return 0x1008ff17; // next track
    case 0xB1:
        return 0x1008ff16; // previous track
    case 0xB2:
        return 0x1008ff15; // stop media
    case 0xB3:
        return 0x1008ff14; // play/pause media
    case 0xBA:
        return 0x003b; // ;
    case 0xBB:
        return 0x003d; // =
    case 0xBC:
        return 0x002c; // ,
    case 0xBD:
        return 0x002d; // -
    case 0xBE:
        return 0x002e; // .
    case 0xBF:
        return 0x002f; // /
    case 0xC0:
        return 0x0060; // `
    case 0xDB:
        return 0x005b; // [
    case 0xDC:
        return 0x005c; // backslash
    case 0xDD:
        return 0x005d; // ]
    case 0xDE:
        return 0x0027; // '
    case 0xE2:
        return 0x003c; // the extra key left of Z on 102-key keyboards
    default:
        return 0;
    }
}

} // namespace khook
