// The desktop portal's global shortcuts: a stand-in portal on the test session's
// bus takes the shortcuts the window binds, and its presses run the recording.
#include "AppTestSupport.h"
#include "hotkeys/Keyoptionunit.h"
#include "hotkeys/PortalShortcuts.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace sonalto;
using namespace sonalto::test;

namespace {

const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

// org.freedesktop.portal.GlobalShortcuts as a desktop offers it, on a connection
// of its own. It answers the calls of one client only (the test's), creates the
// session, keeps the shortcuts bound and sends presses.
class StandInPortal : public QDBusVirtualObject
{
public:
    explicit StandInPortal(const QString &client)
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                              QStringLiteral("stand-in portal"))),
          m_client(client)
    {
        m_registered = m_bus.registerVirtualObject(PortalPath, this) &&
                       m_bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
    }
    ~StandInPortal() override
    {
        m_bus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
        m_bus.unregisterObject(PortalPath);
        QDBusConnection::disconnectFromBus(QStringLiteral("stand-in portal"));
    }
    bool registered() const { return m_registered; }

    struct Shortcut
    {
        QString id, description, trigger;
    };
    QList<Shortcut> bound;

    void press(const QString &id)
    {
        QDBusMessage signal = QDBusMessage::createSignal(
            PortalPath, QStringLiteral("org.freedesktop.portal.GlobalShortcuts"),
            QStringLiteral("Activated"));
        signal << QVariant::fromValue(QDBusObjectPath(m_session)) << id
               << QVariant::fromValue(qulonglong(0)) << QVariantMap();
        m_bus.send(signal);
    }

    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
        if (message.interface() != QLatin1String("org.freedesktop.portal.GlobalShortcuts") ||
            message.service().isEmpty() || message.service() != m_client)
            return false;
        const QList<QVariant> args = message.arguments();
        QVariantMap results;
        if (message.member() == QLatin1String("CreateSession")) {
            m_session = PortalPath + "/session/" + sender() + "/" +
                        options(args.value(0)).value("session_handle_token").toString();
            results.insert("session_handle", m_session);
        } else if (message.member() == QLatin1String("BindShortcuts")) {
            const QDBusArgument list = args.value(1).value<QDBusArgument>();
            list.beginArray();
            while (!list.atEnd()) {
                QString id;
                QVariantMap properties;
                list.beginStructure();
                list >> id >> properties;
                list.endStructure();
                bound.append({id, properties.value("description").toString(),
                              properties.value("preferred_trigger").toString()});
            }
            list.endArray();
        } else {
            return false;
        }
        const QString request = PortalPath + "/request/" + sender() + "/" +
                                options(args.constLast()).value("handle_token").toString();
        m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QDBusMessage response = QDBusMessage::createSignal(
            request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        response << uint(0) << results;
        m_bus.send(response);
        return true;
    }

private:
    static QVariantMap options(const QVariant &argument)
    {
        return qdbus_cast<QVariantMap>(argument.value<QDBusArgument>());
    }
    QString sender() const { return QString(m_client).remove(0, 1).replace('.', '_'); }

    QDBusConnection m_bus;
    QString m_client;
    QString m_session;
    bool m_registered = false;
};

// The key dialog's words about the desktop's shortcuts, as the toolbar opens it.
QString dialogNotice(TForm1 &form)
{
    QString text;
    QTimer::singleShot(0, form.KeyOptionForm, [&] {
        text = form.KeyOptionForm->Label1->text();
        form.KeyOptionForm->Button2->click();
    });
    form.ToolButton7->click();
    return text;
}

} // namespace

TEST(PortalShortcutsWindow, DesktopShortcutsRunTheRecordingOrTheDialogSaysHowToBindOne)
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || qEnvironmentVariableIsEmpty("SONALTO_SESSION_XVFB"))
        GTEST_SKIP() << "needs the test session's own bus";
    TempFolders folders;
    for (const bool portal : {false, true}) {
        std::unique_ptr<StandInPortal> standIn;
        if (portal) {
            standIn = std::make_unique<StandInPortal>(bus.baseService());
            ASSERT_TRUE(standIn->registered());
        }
        // The test has no keyboard hook beside it: the window binds through the portal.
        auto form = makeForm(makeTestBackend());
        form->KeyOptionForm = new TKeyOptionForm(form.get());
        form->show();
        ASSERT_NE(form->DesktopShortcuts, nullptr);
        using State = hotkeys::PortalShortcuts::State;
        const State expected = portal ? State::Bound : State::Unavailable;
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return form->DesktopShortcuts->state() == expected; }, 10000))
            << portal;
        EXPECT_TRUE(
            dialogNotice(*form).contains(portal ? "已登记为桌面快捷键" : "sonalto --toggle"))
            << portal;
        if (!portal)
            continue;

        ASSERT_EQ(standIn->bound.size(), 3);
        QStringList ids;
        for (const auto &shortcut : standIn->bound) {
            ids << shortcut.id;
            EXPECT_FALSE(shortcut.description.isEmpty()) << shortcut.id.toStdString();
        }
        EXPECT_EQ(ids, QStringList({"record", "pause", "stop"}));
        EXPECT_EQ(standIn->bound.front().trigger, "F9");

        // Each press, and the state it leads to.
        struct Press
        {
            QString id;
            recording::RecordingSession::State after;
        };
        using S = recording::RecordingSession::State;
        for (const Press &press : {Press{"record", S::Recording}, Press{"pause", S::Paused},
                                   Press{"pause", S::Recording}, Press{"stop", S::Idle}}) {
            standIn->press(press.id);
            EXPECT_TRUE(
                QTest::qWaitFor([&] { return form->Recording->state() == press.after; }, 15000))
                << press.id.toStdString();
        }
        EXPECT_EQ(QDir(folders.audioDir()).entryList(QDir::Files).size(), 1);
    }
}
