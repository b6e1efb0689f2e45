#include "app/SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QThread>

#include <unistd.h>

namespace sonalto {

namespace {
const char ActivationRequest[] = "activate\n";
const char ActivationReply[] = "ok\n";
} // namespace

SingleInstance::SingleInstance(QObject *parent) : QObject(parent) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName()
{
    return QStringLiteral("Kestrova Audio Recorder-%1").arg(getuid());
}

bool SingleInstance::becomeFirst()
{
    m_lock =
        std::make_unique<QLockFile>(QDir::temp().filePath(serverName() + QStringLiteral(".lock")));
    m_lock->setStaleLockTime(0); // a lock left by a crashed run is detected by its dead pid
    if (!m_lock->tryLock(0)) {
        notifyFirst();
        return false;
    }
    QLocalServer::removeServer(serverName());
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(serverName()))
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
