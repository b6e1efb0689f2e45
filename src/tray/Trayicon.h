#pragma once

#include <QIcon>
#include <QObject>

#include <array>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace sonalto {

// The notification-area icon with its menu. Pictures: 0 recording, 1 stopped,
// 2 paused (dim phase), 3 paused, 4 at start-up.
class TTrayIcon : public QObject
{
    Q_OBJECT
public:
    explicit TTrayIcon(QObject *parent = nullptr);
    ~TTrayIcon() override;

    // Whether the desktop has a notification area to show the icon in.
    static bool hostAvailable();

    void setPicture(int index);
    int picture() const { return m_picture; }
    void setToolTip(const QString &text);
    void setVisible(bool visible);
    bool isVisible() const;

    QMenu *PopupMenu1 = nullptr;
    QAction *ShowWindow1 = nullptr, *Record1 = nullptr, *Pause2 = nullptr, *Stop2 = nullptr,
            *Exit2 = nullptr;

signals:
    void doubleClicked();

private:
    QSystemTrayIcon *m_icon = nullptr;
    std::array<QIcon, 5> m_pictures;
    int m_picture = 4;
};

} // namespace sonalto
