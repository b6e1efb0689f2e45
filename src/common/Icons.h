#pragma once

#include <QIcon>
#include <QString>

namespace sonalto {

// Our pictures: the desktop theme's icon where one fits, else our own bundled one.
QIcon appIcon(const QString &name);

} // namespace sonalto
