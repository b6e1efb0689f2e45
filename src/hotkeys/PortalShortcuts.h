#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>

namespace sonalto::hotkeys {

// Global shortcuts through the desktop portal (org.freedesktop.portal.GlobalShortcuts),
// for sessions where the program cannot grab keys itself (Wayland). The desktop owns the
// keys: it lets the user choose them (the program's defaults are only a suggestion) and
// reports their presses. Every call is asynchronous; nothing here waits for the portal.
//
//   Off --start--> Connecting --session created, shortcuts bound--> Bound
//   Connecting --no portal, no such interface, refused--> Unavailable
class PortalShortcuts : public QObject
{
    Q_OBJECT
public:
    enum class State { Off, Connecting, Bound, Unavailable };
    Q_ENUM(State)

    explicit PortalShortcuts(const QDBusConnection &bus, QObject *parent = nullptr);

    // Creates a shortcuts session and binds record, pause/resume and stop.
    void start();
    State state() const { return m_state; }
    // Why the portal cannot be used, once Unavailable.
    QString failure() const { return m_failure; }
    // The id of a role's shortcut on the portal ("record", "pause", "stop"), and back
    // (-1 for an id that is none of them).
    static QString shortcutId(int role);
    static int roleOf(const QString &id);

signals:
    // A shortcut was pressed: RecordKey, StopKey or PauseKey.
    void activated(int role);
    void stateChanged(sonalto::hotkeys::PortalShortcuts::State state);

private slots:
    void sessionCreated(uint response, const QVariantMap &results);
    void shortcutsBound(uint response, const QVariantMap &results);
    void shortcutActivated(const QDBusObjectPath &session, const QString &id, qulonglong timestamp,
                           const QVariantMap &options);

private:
    // Calls a portal method that answers through a request object: the answer
    // (Response) goes to the slot. The request's path is known before the call
    // (from the token), so no answer can come before it is listened for.
    void callWithRequest(const QString &method, QList<QVariant> arguments, const char *slot);
    void listenForResponse(const QString &path, const char *slot);
    void fail(const QString &reason);
    void setState(State state);

    QDBusConnection m_bus;
    State m_state = State::Off;
    QString m_failure;
    QString m_session;
    QString m_requestPath;
    const char *m_responseSlot = nullptr;
    int m_tokens = 0;
};

} // namespace sonalto::hotkeys
