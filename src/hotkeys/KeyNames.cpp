#include "hotkeys/KeyNames.h"

#include <Qt>

namespace sonalto::hotkeys {

QString modifierPrefix(int modifiers)
{
    switch (modifiers) {
    case 1:
        return QStringLiteral("Ctrl + ");
    case 2:
        return QStringLiteral("Alt + ");
    case 3:
        return QStringLiteral("Ctrl + Alt + ");
    case 4:
        return QStringLiteral("Shift + ");
    case 5:
        return QStringLiteral("Ctrl + Shift + ");
    case 6:
        return QStringLiteral("Alt + Shift + ");
    case 7:
        return QStringLiteral("Ctrl + Alt + Shift + ");
    default:
        return QString();
    }
}

uint8_t scanCodeForVirtualKey(uint8_t vk)
{
    // Letters and digits by their position on the keyboard.
    static const uint8_t letters[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                        0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                        0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
    static const uint8_t keypadDigits[10] = {0x52, 0x4F, 0x50, 0x51, 0x4B,
                                             0x4C, 0x4D, 0x47, 0x48, 0x49};
    if (vk >= 'A' && vk <= 'Z')
        return letters[vk - 'A'];
    if (vk == '0')
        return 0x0B;
    if (vk >= '1' && vk <= '9')
        return uint8_t(0x02 + (vk - '1'));
    if (vk >= 0x60 && vk <= 0x69)
        return keypadDigits[vk - 0x60];
    if (vk >= 0x70 && vk <= 0x79) // F1 .. F10
        return uint8_t(0x3B + (vk - 0x70));
    if (vk >= 0x7C && vk <= 0x86) // F13 .. F23
        return uint8_t(0x64 + (vk - 0x7C));
    switch (vk) {
    case 0x08:
        return 0x0E; // Backspace
    case 0x09:
        return 0x0F; // Tab
    case 0x0C:
        return 0x4C; // Clear
    case 0x0D:
        return 0x1C; // Enter
    case 0x10:
    case 0xA0:
        return 0x2A;
    case 0xA1:
        return 0x36;
    case 0x11:
    case 0xA2:
    case 0xA3:
        return 0x1D;
    case 0x12:
    case 0xA4:
    case 0xA5:
        return 0x38;
    case 0x13:
        return 0x45; // Pause
    case 0x14:
        return 0x3A; // Caps Lock
    case 0x1B:
        return 0x01; // Esc
    case 0x20:
        return 0x39; // Space
    case 0x21:
        return 0x49; // Page Up
    case 0x22:
        return 0x51; // Page Down
    case 0x23:
        return 0x4F; // End
    case 0x24:
        return 0x47; // Home
    case 0x25:
        return 0x4B; // Left
    case 0x26:
        return 0x48; // Up
    case 0x27:
        return 0x4D; // Right
    case 0x28:
        return 0x50; // Down
    case 0x2C:
        return 0x54; // Print Screen
    case 0x2D:
        return 0x52; // Insert
    case 0x2E:
        return 0x53; // Delete
    case 0x5B:
        return 0x5B; // Windows keys and Menu: extended-only codes
    case 0x5C:
        return 0x5C;
    case 0x5D:
        return 0x5D;
    case 0x6A:
        return 0x37; // keypad *
    case 0x6B:
        return 0x4E; // keypad +
    case 0x6D:
        return 0x4A; // keypad -
    case 0x6E:
        return 0x53; // keypad .
    case 0x6F:
        return 0x35; // keypad /
    case 0x7A:
        return 0x57; // F11
    case 0x7B:
        return 0x58; // F12
    case 0x87:
        return 0x76; // F24
    case 0x90:
        return 0x45; // Num Lock
    case 0x91:
        return 0x46; // Scroll Lock
    // Media keys send extended codes; without the prefix they read as letters.
    case 0xAD:
        return 0x20;
    case 0xAE:
        return 0x2E;
    case 0xAF:
        return 0x30;
    case 0xB0:
        return 0x19;
    case 0xB1:
        return 0x10;
    case 0xB2:
        return 0x24;
    case 0xB3:
        return 0x22;
    case 0xBA:
        return 0x27; // ;
    case 0xBB:
        return 0x0D; // =
    case 0xBC:
        return 0x33; // ,
    case 0xBD:
        return 0x0C; // -
    case 0xBE:
        return 0x34; // .
    case 0xBF:
        return 0x35; // /
    case 0xC0:
        return 0x29; // `
    case 0xDB:
        return 0x1A; // [
    case 0xDC:
        return 0x2B; // backslash
    case 0xDD:
        return 0x1B; // ]
    case 0xDE:
        return 0x28; // '
    case 0xE2:
        return 0x56; // the extra key left of Z
    default:
        return 0;
    }
}

namespace {

// Names of scan codes without the extended-key bit on a US keyboard.
QString scanCodeName(uint8_t scan)
{
    static const char *const main[0x59] = {
        "",      "Esc",   "1",         "2",       "3",       "4",     "5",           "6",
        "7",     "8",     "9",         "0",       "-",       "=",     "Backspace",   "Tab",
        "Q",     "W",     "E",         "R",       "T",       "Y",     "U",           "I",
        "O",     "P",     "[",         "]",       "Enter",   "Ctrl",  "A",           "S",
        "D",     "F",     "G",         "H",       "J",       "K",     "L",           ";",
        "'",     "`",     "Shift",     "\\",      "Z",       "X",     "C",           "V",
        "B",     "N",     "M",         ",",       ".",       "/",     "Right Shift", "Num *",
        "Alt",   "Space", "Caps Lock", "F1",      "F2",      "F3",    "F4",          "F5",
        "F6",    "F7",    "F8",        "F9",      "F10",     "Pause", "Scroll Lock", "Num 7",
        "Num 8", "Num 9", "Num -",     "Num 4",   "Num 5",   "Num 6", "Num +",       "Num 1",
        "Num 2", "Num 3", "Num 0",     "Num Del", "Sys Req", "",      "\\",          "F11",
        "F12"};
    if (scan < 0x59)
        return QString::fromLatin1(main[scan]);
    if (scan >= 0x64 && scan <= 0x6E)
        return QStringLiteral("F%1").arg(13 + (scan - 0x64));
    if (scan == 0x76)
        return QStringLiteral("F24");
    return QString();
}

} // namespace

QString keyName(uint8_t vk)
{
    if (vk == 16 || vk == 17 || vk == 18)
        return QString();
    const uint8_t scan = scanCodeForVirtualKey(vk);
    return scan ? scanCodeName(scan) : QString();
}

QString displayText(uint8_t vk, uint8_t modifiers)
{
    return modifierPrefix(modifiers) + keyName(vk);
}

QString hintText(uint8_t vk, uint8_t modifiers)
{
    return modifierPrefix(modifiers) + QLatin1Char(' ') + keyName(vk);
}

uint8_t virtualKeyForQtKey(int key, bool keypad)
{
    if (keypad) {
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            return uint8_t(0x60 + (key - Qt::Key_0));
        switch (key) {
        case Qt::Key_Asterisk:
            return 0x6A;
        case Qt::Key_Plus:
            return 0x6B;
        case Qt::Key_Minus:
            return 0x6D;
        case Qt::Key_Period:
        case Qt::Key_Comma:
            return 0x6E;
        case Qt::Key_Slash:
            return 0x6F;
        case Qt::Key_Enter:
            return 0x0D;
        default:
            break; // navigation keys of the keypad: as the main ones
        }
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return uint8_t('A' + (key - Qt::Key_A));
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return uint8_t('0' + (key - Qt::Key_0));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return uint8_t(0x70 + (key - Qt::Key_F1));
    switch (key) {
    case Qt::Key_Backspace:
        return 0x08;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 0x09;
    case Qt::Key_Clear:
        return 0x0C;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 0x0D;
    case Qt::Key_Shift:
        return 0x10;
    case Qt::Key_Control:
        return 0x11;
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
        return 0x12;
    case Qt::Key_Pause:
        return 0x13;
    case Qt::Key_CapsLock:
        return 0x14;
    case Qt::Key_Escape:
        return 0x1B;
    case Qt::Key_Space:
        return 0x20;
    case Qt::Key_PageUp:
        return 0x21;
    case Qt::Key_PageDown:
        return 0x22;
    case Qt::Key_End:
        return 0x23;
    case Qt::Key_Home:
        return 0x24;
    case Qt::Key_Left:
        return 0x25;
    case Qt::Key_Up:
        return 0x26;
    case Qt::Key_Right:
        return 0x27;
    case Qt::Key_Down:
        return 0x28;
    case Qt::Key_Print:
    case Qt::Key_SysReq:
        return 0x2C;
    case Qt::Key_Insert:
        return 0x2D;
    case Qt::Key_Delete:
        return 0x2E;
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
        return 0x5B;
    case Qt::Key_Super_R:
        return 0x5C;
    case Qt::Key_Menu:
        return 0x5D;
    case Qt::Key_NumLock:
        return 0x90;
    case Qt::Key_ScrollLock:
        return 0x91;
    case Qt::Key_VolumeMute:
        return 0xAD;
    case Qt::Key_VolumeDown:
        return 0xAE;
    case Qt::Key_VolumeUp:
        return 0xAF;
    case Qt::Key_MediaNext:
        return 0xB0;
    case Qt::Key_MediaPrevious:
        return 0xB1;
    case Qt::Key_MediaStop:
        return 0xB2;
    case Qt::Key_MediaPlay:
    case Qt::Key_MediaTogglePlayPause:
        return 0xB3;
    // Symbols, unshifted and shifted, by the US key that carries them.
    case Qt::Key_Semicolon:
    case Qt::Key_Colon:
        return 0xBA;
    case Qt::Key_Equal:
    case Qt::Key_Plus:
        return 0xBB;
    case Qt::Key_Comma:
    case Qt::Key_Less:
        return 0xBC;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        return 0xBD;
    case Qt::Key_Period:
    case Qt::Key_Greater:
        return 0xBE;
    case Qt::Key_Slash:
    case Qt::Key_Question:
        return 0xBF;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde:
        return 0xC0;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft:
        return 0xDB;
    case Qt::Key_Backslash:
    case Qt::Key_Bar:
        return 0xDC;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight:
        return 0xDD;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl:
        return 0xDE;
    case Qt::Key_Exclam:
        return '1';
    case Qt::Key_At:
        return '2';
    case Qt::Key_NumberSign:
        return '3';
    case Qt::Key_Dollar:
        return '4';
    case Qt::Key_Percent:
        return '5';
    case Qt::Key_AsciiCircum:
        return '6';
    case Qt::Key_Ampersand:
        return '7';
    case Qt::Key_Asterisk:
        return '8';
    case Qt::Key_ParenLeft:
        return '9';
    case Qt::Key_ParenRight:
        return '0';
    default:
        return 0;
    }
}

} // namespace sonalto::hotkeys
