#include "app/SingleInstance.h"

#include "common/Projectdir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

namespace sonalto {

namespace {
const char ActivationRequest[] = "activate\n";
const char ActivationReply[] = "ok\n";
const char BaseName[] = "Kestrova Audio Recorder";

// A folder the user owns and nobody else may write to.
bool privateFolder(const QString &path)
{
    struct stat st;
    return !path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &st) == 0 &&
           S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// An entry of the given type (S_IFREG, S_IFSOCK) that belongs to the user.
bool ownEntry(const QString &path, mode_t type)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 &&
           (st.st_mode & S_IFMT) == type && st.st_uid == ::getuid();
}

bool exists(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// Removes an entry that is there but not what we would have made. False when
// it stays.
bool removeForeign(const QString &path, mode_t type)
{
    if (!exists(path) || ownEntry(path, type))
        return true;
    const QByteArray name = QFile::encodeName(path);
    return ::unlink(name.constData()) == 0 || ::rmdir(name.constData()) == 0;
}
} // namespace

SingleInstance::SingleInstance(QObject *parent) : QObject(parent) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::runtimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (privateFolder(runtime))
        return withTrailingSlash(runtime);
    return withTrailingSlash(ProjectDirs::defaultAppDir());
}

QString SingleInstance::serverName()
{
    return runtimeFolder() + QString::fromLatin1(BaseName) + QStringLiteral(".socket");
}

QString SingleInstance::lockPath()
{
    return runtimeFolder() + QString::fromLatin1(BaseName) + QStringLiteral(".lock");
}

bool SingleInstance::becomeFirst()
{
    // An entry someone else planted (a file, a folder, a link) is removed; if it
    // cannot be, this copy runs without the single-instance rule rather than
    // not at all.
    const QString lock = lockPath();
    if (!removeForeign(lock, S_IFREG))
        return true;
    m_lock = std::make_unique<QLockFile>(lock);
    m_lock->setStaleLockTime(0); // a lock left by a crashed run is detected by its dead pid
    if (!m_lock->tryLock(0)) {
        if (m_lock->error() == QLockFile::LockFailedError && ownEntry(lock, S_IFREG)) {
            notifyFirst();
            return false;
        }
        m_lock.reset();
        return true;
    }
    const QString socket = serverName();
    if (!removeForeign(socket, S_IFSOCK))
        return true;
    QLocalServer::removeServer(socket);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(socket))
        return true; // still the first; only the activation channel is missing
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                if (!socket->canReadLine())
                    return;
                if (socket->readLine() == ActivationRequest) {
                    socket->write(ActivationReply);
                    socket->flush();
                    emit activationRequested();
                }
                socket->disconnectFromServer();
            });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    return true;
}

bool SingleInstance::notifyFirst()
{
    // The first copy may hold the lock a moment before it listens: retry briefly.
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 3000) {
        // Only a socket of our own hears the request.
        if (!ownEntry(serverName(), S_IFSOCK)) {
            QThread::msleep(50);
            continue;
        }
        QLocalSocket socket;
        socket.connectToServer(serverName());
        if (socket.waitForConnected(200)) {
            socket.write(ActivationRequest);
            socket.flush();
            socket.waitForBytesWritten(500);
            socket.waitForReadyRead(800);
            return true;
        }
        QThread::msleep(50);
    }
    return false;
}

} // namespace sonalto
