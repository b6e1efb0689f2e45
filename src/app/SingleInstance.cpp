#include "app/SingleInstance.h"

#include "common/Projectdir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace sonalto {

namespace {
const char ActivationRequest[] = "activate\n";
const char ActivationReply[] = "ok\n";
const char BaseName[] = "Kestrova Audio Recorder";
// How long a start waits for the copy that holds the lock to answer or to end
// (a closing copy may be finishing a recording).
constexpr qint64 HandOverWaitMs = 10000;

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

// The socket's address; false when the path is too long for one.
bool socketAddress(const QByteArray &path, sockaddr_un *address)
{
    *address = {};
    address->sun_family = AF_UNIX;
    if (path.isEmpty() || size_t(path.size()) >= sizeof address->sun_path)
        return false;
    std::memcpy(address->sun_path, path.constData(), size_t(path.size()));
    return true;
}

// Asks the copy listening at the path to come to the front. True when it
// answered that it will; a copy that is closing (or hangs) does not.
bool sendActivation(const QString &path)
{
    sockaddr_un address;
    if (!socketAddress(QFile::encodeName(path), &address))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // A first copy that hangs holds this one up for a moment only.
    const timeval connectWait{0, 200000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &connectWait, sizeof connectWait);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return false;
    }
    const timeval replyWait{0, 800000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &replyWait, sizeof replyWait);
    bool answered = false;
    if (::send(fd, ActivationRequest, sizeof ActivationRequest - 1, MSG_NOSIGNAL) > 0) {
        // The answer, or the end of the connection, or the time is up.
        QByteArray reply;
        char buffer[8];
        while (reply.size() < qsizetype(sizeof ActivationReply - 1)) {
            const auto n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            reply.append(buffer, n);
        }
        answered = reply.startsWith(ActivationReply);
    }
    ::close(fd);
    return answered;
}
} // namespace

SingleInstance::SingleInstance(QObject *parent) : QObject(parent) {}

SingleInstance::~SingleInstance()
{
    // The socket goes before the lock: a copy that finds the lock free never
    // meets a socket of ours.
    stopListening();
}

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
        if (m_lock->error() == QLockFile::LockFailedError && ownEntry(lock, S_IFREG))
            return !handOver();
        m_lock.reset();
        return true;
    }
    startListening();
    return true;
}

void SingleInstance::startListening()
{
    const QString socket = serverName();
    if (!removeForeign(socket, S_IFSOCK))
        return;
    // An own socket left by a run that crashed.
    ::unlink(QFile::encodeName(socket).constData());
    // Without it this copy is still the first; only the activation channel is missing.
    listen(socket);
}

void SingleInstance::stopListening()
{
    for (auto &[fd, client] : m_clients) {
        delete client.notifier;
        ::close(fd);
    }
    m_clients.clear();
    delete m_listenerNotifier;
    m_listenerNotifier = nullptr;
    if (m_listener >= 0) {
        ::close(m_listener);
        ::unlink(m_socketPath.constData());
        m_listener = -1;
    }
}

bool SingleInstance::listen(const QString &path)
{
    sockaddr_un address;
    const QByteArray name = QFile::encodeName(path);
    if (!socketAddress(name, &address))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return false;
    }
    // Only the user may connect (the folder is the user's alone as well).
    if (::chmod(name.constData(), S_IRUSR | S_IWUSR) != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        ::unlink(name.constData());
        return false;
    }
    m_listener = fd;
    m_socketPath = name;
    m_listenerNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_listenerNotifier, &QSocketNotifier::activated, this, &SingleInstance::acceptRequests);
    return true;
}

void SingleInstance::acceptRequests()
{
    for (;;) {
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0) {
            if (errno == EINTR)
                continue;
            return; // none left waiting
        }
        auto *notifier = new QSocketNotifier(client, QSocketNotifier::Read, this);
        m_clients[client].notifier = notifier;
        connect(notifier, &QSocketNotifier::activated, this,
                [this, client] { readRequest(client); });
    }
}

void SingleInstance::readRequest(int client)
{
    char buffer[64];
    const auto n = ::recv(client, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        closeClient(client);
        return;
    }
    QByteArray &received = m_clients[client].received;
    received.append(buffer, n);
    const qsizetype end = received.indexOf('\n');
    if (end < 0) {
        if (received.size() > 64)
            closeClient(client); // no request of ours is that long
        return;
    }
    // A copy about to end leaves the request unanswered: the start waits and
    // takes its place.
    const bool activation =
        received.left(end + 1) == ActivationRequest && !(m_ending && m_ending());
    if (activation) {
        [[maybe_unused]] const auto sent =
            ::send(client, ActivationReply, sizeof ActivationReply - 1, MSG_NOSIGNAL);
    }
    closeClient(client);
    if (activation)
        emit activationRequested();
}

void SingleInstance::closeClient(int client)
{
    const auto it = m_clients.find(client);
    if (it == m_clients.end())
        return;
    // Called from the notifier's own signal: it goes once that has returned.
    it->second.notifier->setEnabled(false);
    it->second.notifier->deleteLater();
    ::close(client);
    m_clients.erase(it);
}

bool SingleInstance::handOver()
{
    // The copy holding the lock may be starting (it listens a moment after it
    // took the lock), running (it answers and comes to the front) or closing (it
    // no longer answers, and this copy takes its place once it has gone).
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        // Only a socket of our own hears the request.
        if (ownEntry(serverName(), S_IFSOCK) && sendActivation(serverName()))
            return true;
        if (m_lock->tryLock(0)) {
            startListening();
            return false;
        }
        if (m_lock->error() != QLockFile::LockFailedError) {
            m_lock.reset(); // as above: without the rule rather than not at all
            return false;
        }
        if (timer.elapsed() > HandOverWaitMs)
            return true;
        QThread::msleep(50);
    }
}

} // namespace sonalto
