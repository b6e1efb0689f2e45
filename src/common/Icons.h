#pragma once

#include <QIcon>
#include <QString>

#include <functional>

class QStyle;

namespace sonalto {

// Our pictures: the desktop theme's icon where one fits, else our own bundled one.
// Looked up when first drawn or measured, so that the window can be shown
// before dozens of pictures, most for controls hidden at first, are found.
QIcon appIcon(const QString &name);

// A picture made by `make` when it is first needed (on the GUI thread). It counts
// as a picture (isNull() is false) before then, so `make` must give one.
QIcon deferredIcon(std::function<QIcon()> make);

// The style the program sets on the application: the platform's own, with
// pictures it would read at once deferred like the program's.
QStyle *makeApplicationStyle();

} // namespace sonalto
