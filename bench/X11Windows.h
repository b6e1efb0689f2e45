#pragma once
// Finding a program's top-level window on the X display, for the benchmarks that
// wait for a window to be mapped.
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <sys/types.h>

namespace bench {

inline xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(r);
    return a;
}

// Whether a viewable top-level window belongs to `pid`.
inline bool mappedWindowOf(xcb_connection_t *c, xcb_window_t root, xcb_atom_t pidAtom, pid_t pid)
{
    xcb_query_tree_reply_t *tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr);
    if (!tree)
        return false;
    bool found = false;
    const xcb_window_t *children = xcb_query_tree_children(tree);
    for (int i = 0, n = xcb_query_tree_children_length(tree); i < n && !found; ++i) {
        xcb_get_window_attributes_reply_t *attrs =
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr);
        const bool viewable = attrs && attrs->map_state == XCB_MAP_STATE_VIEWABLE;
        free(attrs);
        if (!viewable)
            continue;
        xcb_get_property_reply_t *prop = xcb_get_property_reply(
            c, xcb_get_property(c, 0, children[i], pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        if (prop && xcb_get_property_value_length(prop) == 4)
            found = *static_cast<uint32_t *>(xcb_get_property_value(prop)) == uint32_t(pid);
        free(prop);
    }
    free(tree);
    return found;
}

} // namespace bench
