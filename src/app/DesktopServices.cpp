#include "app/DesktopServices.h"

#include "common/NativeNames.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusUnixFileDescriptor>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace sonalto::desktop {

QUrl fileUrl(const QString &path)
{
    if (!hasRawBytes(path))
        return QUrl::fromLocalFile(path);
    return QUrl::fromEncoded("file://" + encodeFileName(path).toPercentEncoding("/"));
}

QString usablePath(const QString &path)
{
    if (!hasRawBytes(path))
        return path;
    const QByteArray native = encodeFileName(path);
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
        QStringLiteral("/names/") +
        QString::fromLatin1(QCryptographicHash::hash(native, QCryptographicHash::Sha1).toHex());
    const QString link = folder + QLatin1Char('/') + readableFileName(QFileInfo(path).fileName());
    QDir().mkpath(folder);
    ::unlink(QFile::encodeName(link).constData());
    if (::symlink(native.constData(), QFile::encodeName(link).constData()) != 0)
        return path;
    return link;
}

bool moveToTrash(const QString &path, QString *error)
{
    // Qt moves the file into ./files/ of the current folder when the user's data
    // folder is missing: make sure it exists and treat a relative result as failure.
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    QDir().mkpath(dataHome);
    if (!hasRawBytes(path)) {
        QFile file(path);
        // Moved, the file is named by where it went.
        if (file.moveToTrash() && !QFileInfo(file.fileName()).isRelative())
            return true;
        if (error)
            *error = file.errorString();
        return false;
    }
    // A name Qt cannot spell goes to the home trash by hand, laid out as every
    // desktop's trash is: the file under files/, where it came from under info/.
    const QByteArray native = encodeFileName(path);
    const QByteArray trash = QFile::encodeName(dataHome) + "/Trash";
    QDir().mkpath(QFile::decodeName(trash + "/files"));
    QDir().mkpath(QFile::decodeName(trash + "/info"));
    const QByteArray base = native.mid(native.lastIndexOf('/') + 1);
    QByteArray name = base;
    int fd = -1;
    for (int n = 2; n < 10000 && fd < 0; ++n) {
        fd = ::open((trash + "/info/" + name + ".trashinfo").constData(),
                    O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
        if (fd < 0)
            name = base + '.' + QByteArray::number(n);
    }
    auto fail = [&](int err) {
        if (error)
            *error = QString::fromLocal8Bit(::strerror(err));
        return false;
    };
    if (fd < 0)
        return fail(errno);
    const QByteArray info =
        "[Trash Info]\nPath=" + native.toPercentEncoding("/") +
        "\nDeletionDate=" + QDateTime::currentDateTime().toString(Qt::ISODate).toLatin1() + "\n";
    const bool written = ::write(fd, info.constData(), size_t(info.size())) == info.size();
    ::close(fd);
    if (written && ::rename(native.constData(), (trash + "/files/" + name).constData()) == 0)
        return true;
    const int err = written ? errno : EIO;
    ::unlink((trash + "/info/" + name + ".trashinfo").constData());
    return fail(err);
}

bool openWithDefault(const QString &path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(usablePath(path)));
}

namespace {

// Sends a call and hands its outcome to `done` once it arrives (or times out),
// without waiting for it here.
void callLater(const QDBusConnection &bus, const QDBusMessage &call, int timeoutMs,
               std::function<void(bool replied)> done)
{
    if (!bus.isConnected()) {
        done(false);
        return;
    }
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, timeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [watcher, done = std::move(done)] {
                         done(!watcher->isError());
                         watcher->deleteLater();
                     });
}

} // namespace

void showInFileManager(const QString &path, const QDBusConnection &bus)
{
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/FileManager1"),
                                       service, QStringLiteral("ShowItems"));
    call << QStringList{fileUrl(path).toString()} << QString();
    const QString folder = QFileInfo(path).absolutePath();
    callLater(bus, call, 3000, [folder](bool replied) {
        if (!replied)
            QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    });
}

namespace {

QStringList applicationFolders()
{
    QStringList folders;
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty())
        home = QDir::homePath() + QStringLiteral("/.local/share");
    folders << home;
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/usr/local/share:/usr/share");
    folders << dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (QString &f : folders)
        f += QStringLiteral("/applications");
    return folders;
}

// The [Desktop Entry] group of a desktop file (QSettings would mangle its lists).
QHash<QString, QString> readDesktopEntry(const QString &file)
{
    QHash<QString, QString> entry;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return entry;
    bool inEntry = false;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (inEntry && eq > 0)
            entry.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    return entry;
}

} // namespace

QList<DesktopApp> applicationsFor(const QString &path)
{
    const QMimeDatabase db;
    const QMimeType type = db.mimeTypeForFile(path);
    QStringList wanted{type.name()};
    wanted << type.allAncestors();
    wanted << type.aliases();

    QList<DesktopApp> apps;
    QStringList seen;
    for (const QString &folder : applicationFolders()) {
        QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            const QString id = QDir(folder).relativeFilePath(file);
            if (seen.contains(id))
                continue; // the user's own entry hides the system's
            seen << id;
            const QHash<QString, QString> entry = readDesktopEntry(file);
            if (entry.value(QStringLiteral("NoDisplay")) == QStringLiteral("true") ||
                entry.value(QStringLiteral("Hidden")) == QStringLiteral("true") ||
                entry.value(QStringLiteral("Exec")).isEmpty())
                continue;
            const QStringList types =
                entry.value(QStringLiteral("MimeType")).split(QLatin1Char(';'), Qt::SkipEmptyParts);
            bool handles = false;
            for (const QString &t : wanted)
                handles = handles || types.contains(t);
            if (!handles)
                continue;
            apps.append({entry.value(QStringLiteral("Name"), id),
                         entry.value(QStringLiteral("Exec")), file});
        }
    }
    std::sort(apps.begin(), apps.end(), [](const DesktopApp &a, const DesktopApp &b) {
        return a.name.localeAwareCompare(b.name) < 0;
    });
    return apps;
}

QStringList execArguments(const QString &exec, const QString &path)
{
    // Split like the desktop entry rules: double quotes group, backslash escapes
    // inside them.
    QStringList args;
    QString current;
    bool quoted = false, any = false;
    for (int i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size())
                current += exec[++i];
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                current += c;
        } else if (c == QLatin1Char('"')) {
            quoted = any = true;
        } else if (c.isSpace()) {
            if (any || !current.isEmpty())
                args << current;
            current.clear();
            any = false;
        } else {
            current += c;
        }
    }
    if (any || !current.isEmpty())
        args << current;

    QStringList result;
    bool fileGiven = false;
    for (const QString &arg : args) {
        if (arg == QStringLiteral("%f") || arg == QStringLiteral("%F")) {
            result << path;
            fileGiven = true;
        } else if (arg == QStringLiteral("%u") || arg == QStringLiteral("%U")) {
            result << fileUrl(path).toString();
            fileGiven = true;
        } else if (arg == QStringLiteral("%i") || arg == QStringLiteral("%c") ||
                   arg == QStringLiteral("%k")) {
            continue;
        } else {
            QString a = arg;
            a.replace(QStringLiteral("%%"), QStringLiteral("%"));
            result << a;
        }
    }
    if (!fileGiven)
        result << path;
    return result;
}

bool launch(const DesktopApp &app, const QString &path)
{
    QStringList args = execArguments(app.exec, usablePath(path));
    if (args.isEmpty())
        return false;
    const QString program = args.takeFirst();
    return QProcess::startDetached(program, args);
}

void openWithPortalChooser(const QString &path, std::function<void(bool asked)> done,
                           const QDBusConnection &bus)
{
    const int fd = ::open(encodeFileName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        done(false);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"),
        QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.OpenURI"), QStringLiteral("OpenFile"));
    QVariantMap options;
    options.insert(QStringLiteral("ask"), true);
    // The message holds its own copy of the descriptor.
    call << QString() << QVariant::fromValue(QDBusUnixFileDescriptor(fd)) << options;
    ::close(fd);
    callLater(bus, call, 5000, std::move(done));
}

void mailWithAttachment(const QString &subject, const QString &path,
                        std::function<void(int exitCode)> done)
{
    auto *process = new QProcess;
    QObject::connect(process, &QProcess::finished, process,
                     [process, done](int code, QProcess::ExitStatus status) {
                         done(status == QProcess::NormalExit ? code : 1);
                         process->deleteLater();
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, done](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart) {
                             done(-1);
                             process->deleteLater();
                         }
                     });
    process->start(QStringLiteral("xdg-email"), {QStringLiteral("--subject"), subject,
                                                 QStringLiteral("--attach"), usablePath(path)});
}

} // namespace sonalto::desktop
