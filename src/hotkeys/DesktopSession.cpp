#include "hotkeys/DesktopSession.h"

namespace sonalto::hotkeys {

bool isWaylandSession(const QProcessEnvironment &environment)
{
    if (!environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty())
        return true;
    return environment.value(QStringLiteral("XDG_SESSION_TYPE"))
               .compare(QLatin1String("wayland"), Qt::CaseInsensitive) == 0;
}

bool isWaylandSession()
{
    return isWaylandSession(QProcessEnvironment::systemEnvironment());
}

} // namespace sonalto::hotkeys
