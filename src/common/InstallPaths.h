#pragma once

#include <QString>
#include <QStringList>

namespace sonalto {

// Where the program finds the files that come with it. In the build tree they lie
// beside the executable; an installed program (bin/sonalto) finds its help page
// under share/sonalto/help/ and the keyboard-hook library under lib/sonalto/,
// both relative to its own folder, so any installation prefix works.

// The help page's index for a program in `programDir`: programDir/Help/index.htm
// when it exists, else the installed one (also when that is missing, for the
// message that names it).
QString helpIndexPath(const QString &programDir);

// The places the keyboard-hook library is looked for, in this order.
QStringList hookLibraryPaths(const QString &programDir);

// The program's version, as the build gives it ("3.0").
QString programVersion();

// The desktop file's id (without ".desktop"), shared by the menu entry, the
// autostart entry and the window.
QString desktopFileId();

// The user's autostart entry: $XDG_CONFIG_HOME/autostart/<desktop file id>.desktop.
QString autostartEntryPath();

// The Exec value that starts `program` from a desktop entry: "sonalto", as in the
// menu entry, when `program` is the sonalto found on PATH; else its full path
// quoted as one argument.
QString autostartExec(const QString &program);

} // namespace sonalto
