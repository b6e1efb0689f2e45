#include "tray/Trayicon.h"

#include "common/Icons.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QMenu>
#include <QSystemTrayIcon>

#include <algorithm>

namespace sonalto {

TTrayIcon::TTrayIcon(QObject *owner) : QObject(owner)
{
    m_pictures = {appIcon(QStringLiteral("tray-record")), appIcon(QStringLiteral("tray-stopped")),
                  appIcon(QStringLiteral("tray-paused-dim")),
                  appIcon(QStringLiteral("tray-paused")), appIcon(QStringLiteral("tray-idle"))};

    PopupMenu1 = new QMenu;
    Record1 = PopupMenu1->addAction(appIcon(QStringLiteral("record")), tr("录制"));
    Pause2 = PopupMenu1->addAction(appIcon(QStringLiteral("pause")), tr("暂停"));
    Stop2 = PopupMenu1->addAction(appIcon(QStringLiteral("stop")), tr("停止"));
    Pause2->setEnabled(false);
    Stop2->setEnabled(false);
    PopupMenu1->addSeparator();
    ShowWindow1 = PopupMenu1->addAction(appIcon(QStringLiteral("sonalto")), tr("显示窗口"));
    PopupMenu1->addSeparator();
    Exit2 = PopupMenu1->addAction(appIcon(QStringLiteral("exit")), tr("退出"));

    m_singleClick = statusNotifierHost();
    m_icon = new QSystemTrayIcon(this);
    m_icon->setContextMenu(PopupMenu1);
    // An XEmbed tray host sends a Trigger before every DoubleClick, so there only
    // the double click restores; a StatusNotifierItem host sends the Trigger alone.
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (!m_enabled)
            return;
        const auto restore =
            m_singleClick ? QSystemTrayIcon::Trigger : QSystemTrayIcon::DoubleClick;
        if (r == restore)
            emit restoreRequested();
    });
    setPicture(m_picture);
}

TTrayIcon::~TTrayIcon()
{
    // Removes the icon from the notification area before the menu it refers to goes.
    delete m_icon;
    delete PopupMenu1;
}

bool TTrayIcon::hostAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool TTrayIcon::statusNotifierHost()
{
    // The question Qt asks when it chooses how to talk to the tray.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    if (!bus.interface()->isServiceRegistered(watcher))
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall(
        watcher, QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << watcher << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(get, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

void TTrayIcon::setPictures(const QList<QIcon> &pictures)
{
    m_pictures = pictures;
    setPicture(m_picture);
}

void TTrayIcon::setPicture(int index)
{
    if (m_pictures.isEmpty()) {
        m_picture = 0;
        return;
    }
    m_picture = std::clamp(index, 0, int(m_pictures.size()) - 1);
    m_icon->setIcon(m_pictures[m_picture]);
}

void TTrayIcon::setToolTip(const QString &hint)
{
    m_hint = hint;
    updateToolTip();
}

void TTrayIcon::setShowHint(bool show)
{
    m_showHint = show;
    updateToolTip();
}

QString TTrayIcon::shownToolTip() const
{
    if (!m_showHint)
        return QString();
    QString text = m_hint.left(MaxHintLength);
    // Never leave half of a character that needs two UTF-16 units.
    if (!text.isEmpty() && text.back().isHighSurrogate())
        text.chop(1);
    return text;
}

void TTrayIcon::updateToolTip()
{
    m_icon->setToolTip(shownToolTip());
}

void TTrayIcon::setVisible(bool visible)
{
    m_icon->setVisible(visible);
}

bool TTrayIcon::isVisible() const
{
    return m_icon->isVisible();
}

QRect TTrayIcon::geometry() const
{
    return m_icon->geometry();
}

void TTrayIcon::setEnabled(bool enabled)
{
    m_enabled = enabled;
    m_icon->setContextMenu(enabled ? PopupMenu1 : nullptr);
}

} // namespace sonalto
