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
// A request is one line: "activate" (come to the front) or an action's word; the
// reply is one line: "ok", or "error " and the reason.
const char ActivationRequest[] = "activate";
const char ActionDone[] = "ok";
const char ActionFailed[] = "error ";
const char *const ActionRequests[] = {"record", "pause", "stop", "toggle", "show", "quit"};
constexpr qsizetype MaxReplyBytes = 4096;
const char BaseName[] = "Kestrova Audio Recorder";
// How long a start waits for the copy that holds the lock to answer or to end
// (a closing copy may be finishing a recording).
constexpr qint64 HandOverWaitMs = 10000;
// How long a start waits for the answer to a request: an activation is answered
// at once; a recording takes up to 15 s to start and as long to be finished.
constexpr int ActivationReplyWaitMs = 800;
constexpr int ActionReplyWaitMs = 40000;

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

// How a request to the copy listening at a path went.
enum class Exchange {
    Answered,    // a whole reply line came
    Unanswered,  // the copy closed the connection without one (it is closing)
    TimedOut,    // no reply within the time
    NotReachable // nobody listens there
};

// Sends one request line and reads the one reply line.
Exchange exchange(const QString &path, const QByteArray &request, int replyWaitMs,
                  QByteArray *reply)
{
    sockaddr_un address;
    if (!socketAddress(QFile::encodeName(path), &address))
        return Exchange::NotReachable;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return Exchange::NotReachable;
    // A first copy that hangs holds this one up for a moment only.
    const timeval connectWait{0, 200000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &connectWait, sizeof connectWait);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return Exchange::NotReachable;
    }
    const timeval replyWait{replyWaitMs / 1000, (replyWaitMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &replyWait, sizeof replyWait);
    Exchange result = Exchange::Unanswered;
    const QByteArray line = request + '\n';
    if (::send(fd, line.constData(), size_t(line.size()), MSG_NOSIGNAL) == line.size()) {
        // The answer, or the end of the connection, or the time is up.
        char buffer[256];
        while (!reply->contains('\n') && reply->size() < MaxReplyBytes) {
            const auto n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                result = Exchange::TimedOut;
            if (n <= 0)
                break;
            reply->append(buffer, n);
        }
        if (reply->contains('\n')) {
            reply->truncate(reply->indexOf('\n'));
            result = Exchange::Answered;
        }
    }
    ::close(fd);
    return result;
}

SingleInstance::Reply parseReply(const QByteArray &line)
{
    using Kind = SingleInstance::Reply::Kind;
    if (line == ActionDone)
        return {Kind::Done, QString()};
    if (line.startsWith(ActionFailed))
        return {Kind::Failed, QString::fromUtf8(line.mid(qsizetype(sizeof ActionFailed - 1)))};
    return {Kind::NoAnswer, QString()};
}

// The reason as one line of text.
QByteArray oneLine(const QString &reason)
{
    QString line = reason.simplified();
    for (QChar &c : line) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = QLatin1Char(' ');
    }
    return line.toUtf8().left(MaxReplyBytes - 16);
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

bool SingleInstance::becomeFirst(const QByteArray &request)
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
            return !handOver(request);
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
    // Requests still waiting for their action end unanswered, as at a close.
    for (const auto &[id, fd] : m_pending)
        ::close(fd);
    m_pending.clear();
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

bool SingleInstance::isActionRequest(const QByteArray &request)
{
    for (const char *action : ActionRequests) {
        if (request == action)
            return true;
    }
    return false;
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
    const QByteArray request = received.left(end);
    // A copy about to end leaves the request unanswered: the start waits and
    // takes its place.
    if (m_ending && m_ending()) {
        closeClient(client);
        return;
    }
    if (request == ActivationRequest) {
        const QByteArray reply = QByteArray(ActionDone) + '\n';
        [[maybe_unused]] const auto sent =
            ::send(client, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL);
        closeClient(client);
        emit activationRequested();
        return;
    }
    if (!isActionRequest(request)) {
        const QByteArray reply = QByteArray(ActionFailed) + "unknown request\n";
        [[maybe_unused]] const auto sent =
            ::send(client, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL);
        closeClient(client);
        return;
    }
    // The connection stays open until the action has been carried out.
    const auto it = m_clients.find(client);
    it->second.notifier->setEnabled(false);
    it->second.notifier->deleteLater();
    m_clients.erase(it);
    const quint64 id = ++m_lastRequest;
    m_pending[id] = client;
    emit actionRequested(id, request);
}

void SingleInstance::answer(quint64 request, bool done, const QString &reason)
{
    const auto it = m_pending.find(request);
    if (it == m_pending.end())
        return;
    const QByteArray reply =
        (done ? QByteArray(ActionDone) : QByteArray(ActionFailed) + oneLine(reason)) + '\n';
    [[maybe_unused]] const auto sent =
        ::send(it->second, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL);
    ::close(it->second);
    m_pending.erase(it);
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

namespace {

// Sends the request to the copy that holds the lock. Answered: the reply is
// the copy's. Otherwise (none runs, or it was closing and has gone) the lock
// is this process's (false) or could not be taken for another reason (false,
// lock reset by the caller).
bool sendToFirst(QLockFile &lock, const QByteArray &request, SingleInstance::Reply *reply)
{
    using Kind = SingleInstance::Reply::Kind;
    const bool action = !request.isEmpty();
    // The copy holding the lock may be starting (it listens a moment after it
    // took the lock), running (it answers) or closing (it no longer answers,
    // and this process goes on once it has gone).
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        // Only a socket of our own hears the request.
        const QString socket = SingleInstance::serverName();
        if (ownEntry(socket, S_IFSOCK)) {
            QByteArray line;
            const Exchange sent =
                exchange(socket, action ? request : QByteArray(ActivationRequest),
                         action ? ActionReplyWaitMs : ActivationReplyWaitMs, &line);
            if (sent == Exchange::Answered) {
                *reply = parseReply(line);
                return true;
            }
            if (sent == Exchange::TimedOut && action) {
                *reply = {Kind::NoAnswer, QString()};
                return true;
            }
        }
        if (lock.tryLock(0))
            return false;
        if (lock.error() != QLockFile::LockFailedError)
            return false;
        if (timer.elapsed() > HandOverWaitMs) {
            *reply = {Kind::NoAnswer, QString()};
            return true;
        }
        QThread::msleep(50);
    }
}

} // namespace

bool SingleInstance::handOver(const QByteArray &request)
{
    if (sendToFirst(*m_lock, request, &m_reply))
        return true;
    if (m_lock->isLocked())
        startListening();
    else
        m_lock.reset(); // as above: without the rule rather than not at all
    return false;
}

SingleInstance::Reply SingleInstance::ask(const QByteArray &request)
{
    const QString path = lockPath();
    if (!ownEntry(path, S_IFREG))
        return {Reply::Kind::NotRunning, QString()};
    QLockFile lock(path);
    lock.setStaleLockTime(0);
    Reply reply;
    if (sendToFirst(lock, request, &reply))
        return reply;
    // Free, or taken by nobody: no copy runs. (The lock goes with this object.)
    return {Reply::Kind::NotRunning, QString()};
}

} // namespace sonalto
