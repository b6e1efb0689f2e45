#include "tray/Trayicon.h"

#include "app/Icons.h"

#include <QMenu>
#include <QSystemTrayIcon>

namespace sonalto {

TTrayIcon::TTrayIcon(QObject *parent) : QObject(parent)
{
    m_pictures = {appIcon(QStringLiteral("tray-record")), appIcon(QStringLiteral("tray-stopped")),
                  appIcon(QStringLiteral("tray-paused-dim")),
                  appIcon(QStringLiteral("tray-paused")), appIcon(QStringLiteral("tray-idle"))};
    PopupMenu1 = new QMenu;
    ShowWindow1 = PopupMenu1->addAction(QStringLiteral("显示窗口"));
    PopupMenu1->addSeparator();
    Record1 = PopupMenu1->addAction(appIcon(QStringLiteral("record")), QStringLiteral("录制"));
    Pause2 = PopupMenu1->addAction(appIcon(QStringLiteral("pause")), QStringLiteral("暂停"));
    Stop2 = PopupMenu1->addAction(appIcon(QStringLiteral("stop")), QStringLiteral("停止"));
    Pause2->setEnabled(false);
    Stop2->setEnabled(false);
    PopupMenu1->addSeparator();
    Exit2 = PopupMenu1->addAction(QStringLiteral("退出"));

    m_icon = new QSystemTrayIcon(m_pictures[4], this);
    m_icon->setContextMenu(PopupMenu1);
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::DoubleClick)
            emit doubleClicked();
    });
}

TTrayIcon::~TTrayIcon()
{
    delete PopupMenu1;
}

bool TTrayIcon::hostAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TTrayIcon::setPicture(int index)
{
    if (index < 0 || index >= int(m_pictures.size()))
        return;
    m_picture = index;
    m_icon->setIcon(m_pictures[size_t(index)]);
}

void TTrayIcon::setToolTip(const QString &text)
{
    m_icon->setToolTip(text);
}

void TTrayIcon::setVisible(bool visible)
{
    m_icon->setVisible(visible);
}

bool TTrayIcon::isVisible() const
{
    return m_icon->isVisible();
}

} // namespace sonalto
