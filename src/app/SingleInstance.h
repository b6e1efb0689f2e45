#pragma once

#include <QByteArray>
#include <QLockFile>
#include <QObject>

#include <functional>
#include <map>
#include <memory>

class QSocketNotifier;

namespace sonalto {

// One running copy per user. The first start holds a lock file and listens on a
// local socket named after the window class; a later start connects, asks the
// first to come to the front (or to carry out an action of its command line:
// record, stop...) and ends. (Plain sockets: Qt's network module and
// what it loads would add a seventh to the program's start-up time.)
//
// Both live in a folder only the user can write ($XDG_RUNTIME_DIR, else the
// application folder), and an entry there that the user does not own is never
// trusted: another local user must not be able to stop the program from
// starting or receive its activation.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    // What the copy that runs answered a request.
    struct Reply
    {
        enum class Kind {
            Done,       // carried out
            Failed,     // refused or failed, with the reason
            NotRunning, // no copy runs (or only one that was closing, and has gone)
            NoAnswer    // a copy runs but did not answer in time
        };
        Kind kind = Kind::NoAnswer;
        QString reason;
    };
    // The requests of actions another start may send (one word each).
    static bool isActionRequest(const QByteArray &request);

    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the first; otherwise the first one has been sent
    // the request (empty: to show itself) or could not be reached, reply() says
    // what it answered, and this process should end. A first copy that is
    // closing is waited for: this one then takes its place.
    bool becomeFirst(const QByteArray &request = {});
    Reply reply() const { return m_reply; }
    // Sends an action request to the copy that runs and waits for its answer,
    // without becoming the first: NotRunning when none runs.
    static Reply ask(const QByteArray &request);
    // The answer to an action request (see actionRequested); one line of the
    // reason reaches the other start.
    void answer(quint64 request, bool done, const QString &reason = {});
    // Activation requests are no longer answered (the program is closing); the
    // lock is kept until this object goes, so that no later start runs while
    // this copy is still finishing.
    void stopListening();
    // Asked when a request comes: true means this copy is about to end (a
    // signal is waiting to be handled), so it answers no request either.
    void setEndingCheck(std::function<bool()> ending) { m_ending = std::move(ending); }
    // Full path of the socket.
    static QString serverName();
    static QString lockPath();
    // The folder of both, ending with "/".
    static QString runtimeFolder();

signals:
    void activationRequested();
    // Another start asks for an action; answer() tells it the outcome.
    void actionRequested(quint64 request, const QByteArray &action);

private:
    // Sends the request to the copy that holds the lock (true) or, when it is
    // closing, takes the lock once it has gone (false).
    bool handOver(const QByteArray &request);
    void startListening();
    bool listen(const QString &path);
    void acceptRequests();
    void readRequest(int client);
    void closeClient(int client);

    std::unique_ptr<QLockFile> m_lock;
    int m_listener = -1;
    QByteArray m_socketPath;
    QSocketNotifier *m_listenerNotifier = nullptr;
    struct Client
    {
        QSocketNotifier *notifier = nullptr;
        QByteArray received;
    };
    std::map<int, Client> m_clients;
    // Action requests waiting for their answer: the connection of each.
    std::map<quint64, int> m_pending;
    quint64 m_lastRequest = 0;
    Reply m_reply;
    std::function<bool()> m_ending;
};

} // namespace sonalto
