#include "hotkeys/PortalShortcuts.h"

#include "hotkeys/HotKeyList.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace sonalto::hotkeys {

namespace {

const QString Service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString Path = QStringLiteral("/org/freedesktop/portal/desktop");
const QString Interface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString RequestInterface = QStringLiteral("org.freedesktop.portal.Request");

// One shortcut as the portal takes it: (sa{sv}), its id and its properties.
struct PortalShortcut
{
    QString id;
    QVariantMap properties;
};

QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

} // namespace

} // namespace sonalto::hotkeys

Q_DECLARE_METATYPE(sonalto::hotkeys::PortalShortcut)

namespace sonalto::hotkeys {

namespace {

struct Role
{
    int role;
    const char *id;
    const char *description;
    const char *trigger; // the program's own default keys
};

const Role Roles[] = {
    {RecordKey, "record", QT_TRANSLATE_NOOP("PortalShortcuts", "开始录制"), "F9"},
    {PauseKey, "pause", QT_TRANSLATE_NOOP("PortalShortcuts", "暂停/恢复录制"), "F10"},
    {StopKey, "stop", QT_TRANSLATE_NOOP("PortalShortcuts", "停止录制"), "F11"},
};

} // namespace

PortalShortcuts::PortalShortcuts(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_bus(bus)
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
}

QString PortalShortcuts::shortcutId(int role)
{
    for (const Role &r : Roles) {
        if (r.role == role)
            return QString::fromLatin1(r.id);
    }
    return {};
}

int PortalShortcuts::roleOf(const QString &id)
{
    for (const Role &r : Roles) {
        if (id == QLatin1String(r.id))
            return r.role;
    }
    return -1;
}

void PortalShortcuts::start()
{
    if (m_state != State::Off && m_state != State::Unavailable)
        return;
    if (!m_bus.isConnected()) {
        fail(QStringLiteral("no session bus"));
        return;
    }
    setState(State::Connecting);
    QVariantMap options;
    options.insert(QStringLiteral("session_handle_token"),
                   QStringLiteral("sonalto%1").arg(++m_tokens));
    callWithRequest(QStringLiteral("CreateSession"), {options},
                    SLOT(sessionCreated(uint, QVariantMap)));
}

void PortalShortcuts::callWithRequest(const QString &method, QList<QVariant> arguments,
                                      const char *slot)
{
    // The request's path: the caller's unique name without ':' and with '.' as
    // '_', then the token.
    const QString token = QStringLiteral("sonalto%1").arg(++m_tokens);
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    listenForResponse(Path + QStringLiteral("/request/") + sender + QLatin1Char('/') + token, slot);
    QVariantMap options = arguments.takeLast().toMap();
    options.insert(QStringLiteral("handle_token"), token);
    arguments.append(options);

    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, method);
    call.setArguments(arguments);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, slot] {
        watcher->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
        if (reply.isError()) {
            fail(reply.error().message());
            return;
        }
        // A portal older than the token rule names another path.
        if (reply.value().path() != m_requestPath)
            listenForResponse(reply.value().path(), slot);
    });
}

void PortalShortcuts::listenForResponse(const QString &path, const char *slot)
{
    if (!m_requestPath.isEmpty() && m_responseSlot) {
        m_bus.disconnect(Service, m_requestPath, RequestInterface, QStringLiteral("Response"), this,
                         m_responseSlot);
    }
    m_requestPath = path;
    m_responseSlot = slot;
    m_bus.connect(Service, path, RequestInterface, QStringLiteral("Response"), this, slot);
}

void PortalShortcuts::sessionCreated(uint response, const QVariantMap &results)
{
    if (m_state != State::Connecting)
        return;
    m_session = results.value(QStringLiteral("session_handle")).toString();
    if (m_session.isEmpty())
        m_session = results.value(QStringLiteral("session_handle")).value<QDBusObjectPath>().path();
    if (response != 0 || m_session.isEmpty()) {
        fail(QStringLiteral("the portal did not create a shortcuts session"));
        return;
    }
    // The presses of this session's shortcuts.
    m_bus.connect(Service, Path, Interface, QStringLiteral("Activated"), this,
                  SLOT(shortcutActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    QList<PortalShortcut> shortcuts;
    for (const Role &r : Roles) {
        shortcuts.append({QString::fromLatin1(r.id),
                          {{QStringLiteral("description"),
                            QCoreApplication::translate("PortalShortcuts", r.description)},
                           {QStringLiteral("preferred_trigger"), QString::fromLatin1(r.trigger)}}});
    }
    callWithRequest(QStringLiteral("BindShortcuts"),
                    {QVariant::fromValue(QDBusObjectPath(m_session)),
                     QVariant::fromValue(shortcuts), QString(), QVariantMap()},
                    SLOT(shortcutsBound(uint, QVariantMap)));
}

void PortalShortcuts::shortcutsBound(uint response, const QVariantMap &)
{
    if (m_state != State::Connecting)
        return;
    if (response != 0) {
        fail(QStringLiteral("the shortcuts were not bound"));
        return;
    }
    setState(State::Bound);
}

void PortalShortcuts::shortcutActivated(const QDBusObjectPath &session, const QString &id,
                                        qulonglong, const QVariantMap &)
{
    if (m_state != State::Bound || session.path() != m_session)
        return;
    const int role = roleOf(id);
    if (role >= 0)
        emit activated(role);
}

void PortalShortcuts::fail(const QString &reason)
{
    m_failure = reason;
    setState(State::Unavailable);
}

void PortalShortcuts::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

} // namespace sonalto::hotkeys
