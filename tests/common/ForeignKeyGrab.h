#pragma once

#include <cstdint>

struct xcb_connection_t;

namespace sonalto::test {

// Another program holding a key combination on the X display (the test session's
// Xvfb): its own connection grabs the key on the root window until it is
// destroyed, so a hot key on it is one another program owns.
class ForeignKeyGrab
{
public:
    // keysym: an X keysym (0xFFC7 is F10); modifiers: an X modifier mask.
    explicit ForeignKeyGrab(uint32_t keysym, uint16_t modifiers = 0);
    ~ForeignKeyGrab();
    ForeignKeyGrab(const ForeignKeyGrab &) = delete;
    ForeignKeyGrab &operator=(const ForeignKeyGrab &) = delete;

    // Whether the grab is in place.
    bool held() const { return m_held; }

private:
    xcb_connection_t *m_connection = nullptr;
    bool m_held = false;
};

} // namespace sonalto::test
