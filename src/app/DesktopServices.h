#pragma once

#include <QDBusConnection>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

namespace sonalto::desktop {

// An application the desktop has registered for a file type.
struct DesktopApp
{
    QString name;
    QString exec; // the Exec line of its desktop entry
    QString desktopFile;
};

// The file's address for other programs (file://, its bytes percent-encoded): also
// right for a name that is not UTF-8 (see common/NativeNames).
QUrl fileUrl(const QString &path);
// A path to the file every program can be given: the path itself, or for a name that
// is not UTF-8 a link to it, under a readable name, in the program's cache folder.
QString usablePath(const QString &path);
// Moves the file to the desktop's trash. False with the reason when it cannot.
bool moveToTrash(const QString &path, QString *error);

// Opens the file with the program registered for its type.
bool openWithDefault(const QString &path);
// Shows the file selected in the file manager (FileManager1 over D-Bus), else
// opens its folder. Nothing waits for the file manager: a hung one cannot hold
// up the window, and its failure or silence opens the folder instead.
void showInFileManager(const QString &path,
                       const QDBusConnection &bus = QDBusConnection::sessionBus());
// The applications registered for the file's type, by name.
QList<DesktopApp> applicationsFor(const QString &path);
// The Exec line's arguments with the file put in for its field codes.
QStringList execArguments(const QString &exec, const QString &path);
bool launch(const DesktopApp &app, const QString &path);
// Asks the desktop portal to let the user choose a program. `done` learns later
// whether the portal took the request (false: no portal, or it refused).
void openWithPortalChooser(const QString &path, std::function<void(bool asked)> done,
                           const QDBusConnection &bus = QDBusConnection::sessionBus());
// Runs the desktop's mail client with the file attached. `done` receives the
// exit code of xdg-email (0 done, 3 no mail client set up, others failed), or -1
// when it could not be started.
void mailWithAttachment(const QString &subject, const QString &path,
                        std::function<void(int exitCode)> done);

} // namespace sonalto::desktop
