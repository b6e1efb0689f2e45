#pragma once

#include <QProcessEnvironment>

namespace sonalto::hotkeys {

// Whether the desktop session is a Wayland one. There a program cannot watch the
// keyboard while another program has the focus: keys grabbed through XWayland
// arrive only while an X11 window has it.
bool isWaylandSession(const QProcessEnvironment &environment);
bool isWaylandSession();

} // namespace sonalto::hotkeys
