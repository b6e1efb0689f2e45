#include "common/ForeignKeyGrab.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <initializer_list>

namespace sonalto::test {

ForeignKeyGrab::ForeignKeyGrab(uint32_t keysym, uint16_t modifiers)
{
    int screenNumber = 0;
    m_connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(m_connection))
        return;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem)
        return;
    xcb_key_symbols_t *symbols = xcb_key_symbols_alloc(m_connection);
    xcb_keycode_t *keycodes = xcb_key_symbols_get_keycode(symbols, keysym);
    xcb_key_symbols_free(symbols);
    if (!keycodes)
        return;
    m_held = keycodes[0] != XCB_NO_SYMBOL;
    for (xcb_keycode_t *k = keycodes; *k != XCB_NO_SYMBOL; ++k) {
        // With and without Caps Lock and Num Lock, as a desktop's shortcut daemon does.
        for (uint16_t lock : {0, int(XCB_MOD_MASK_LOCK), int(XCB_MOD_MASK_2),
                              int(XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2)}) {
            xcb_generic_error_t *error = xcb_request_check(
                m_connection,
                xcb_grab_key_checked(m_connection, 0, it.data->root, uint16_t(modifiers | lock), *k,
                                     XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
            if (error) {
                m_held = false;
                free(error);
            }
        }
    }
    free(keycodes);
}

ForeignKeyGrab::~ForeignKeyGrab()
{
    // Closing the connection releases its grabs.
    if (m_connection)
        xcb_disconnect(m_connection);
}

} // namespace sonalto::test
