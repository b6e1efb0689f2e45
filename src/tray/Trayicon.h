#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QRect>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace sonalto {

// The notification-area icon with its menu. The program's pictures: 0 recording,
// 1 stopped, 2 paused (dim phase), 3 paused, 4 at start-up. Every operation works
// without a notification area: the icon then simply is not seen, and it appears as
// soon as a tray host shows up (also after the host restarts).
class TTrayIcon : public QObject
{
    Q_OBJECT
public:
    // The shell truncates longer tool-tips.
    static constexpr int MaxHintLength = 127;

    explicit TTrayIcon(QObject *owner = nullptr);
    ~TTrayIcon() override;

    // Whether the desktop has a notification area to show the icon in.
    static bool hostAvailable();
    // Whether the notification area speaks the StatusNotifierItem protocol (KDE,
    // GNOME with the AppIndicator extension, every Wayland tray). It reports a
    // click on the icon as one activation and never a double click.
    static bool statusNotifierHost();

    // How the user brings the window back: a single click where the host only
    // reports those, a double click elsewhere. Decided when the icon is made,
    // as the icon's connection to the host is.
    bool restoresOnSingleClick() const { return m_singleClick; }
    void setRestoresOnSingleClick(bool singleClick) { m_singleClick = singleClick; }

    // The pictures the icon can show; the program's five by default.
    void setPictures(const QList<QIcon> &pictures);
    int pictureCount() const { return int(m_pictures.size()); }
    // Shows the picture at index; an index past the end shows the last picture and
    // is stored as such.
    void setPicture(int index);
    int picture() const { return m_picture; }

    void setToolTip(const QString &hint);
    QString toolTip() const { return m_hint; }
    void setShowHint(bool show);
    bool showHint() const { return m_showHint; }
    // The tool-tip as the notification area receives it.
    QString shownToolTip() const;

    void setVisible(bool visible);
    bool isVisible() const;
    // Where the tray host placed the icon; empty while no host shows it.
    QRect geometry() const;

    // While disabled, clicks on the icon do nothing and the menu does not open.
    void setEnabled(bool enabled);
    bool isEnabled() const { return m_enabled; }

    QSystemTrayIcon *systemIcon() const { return m_icon; }

    QMenu *PopupMenu1 = nullptr;
    QAction *Record1 = nullptr, *Pause2 = nullptr, *Stop2 = nullptr, *ShowWindow1 = nullptr,
            *Exit2 = nullptr;

signals:
    // The click that brings the window back (see restoresOnSingleClick).
    void restoreRequested();

private:
    void updateToolTip();

    QSystemTrayIcon *m_icon = nullptr;
    QList<QIcon> m_pictures;
    int m_picture = 0;
    QString m_hint;
    bool m_showHint = true;
    bool m_enabled = true;
    bool m_singleClick = false;
};

} // namespace sonalto
