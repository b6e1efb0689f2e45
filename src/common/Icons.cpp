#include "common/Icons.h"

#include <QHash>
#include <QIconEngine>
#include <QPointer>
#include <QProxyStyle>

#include <functional>
#include <optional>

// The pictures are compiled into the GUI library; its users need not know.
static void initIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace sonalto {

namespace {

// Finding a picture in the icon theme and reading our SVG both take a fraction of
// a millisecond per picture, and the window asks for dozens of them before it is
// shown, most for controls that are hidden at first. So the picture is looked up
// when it is first drawn or measured.
class DeferredIconEngine final : public QIconEngine
{
public:
    explicit DeferredIconEngine(std::function<QIcon()> make) : m_make(std::move(make)) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, 1.0, mode, state);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override
    {
        // `size` is in device pixels here.
        return icon().pixmap(size / scale, scale, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }
    QString iconName() override { return icon().name(); }
    // Every picture has at least our own as a fallback; asking would look it up.
    bool isNull() override { return false; }
    QString key() const override { return QStringLiteral("DeferredIconEngine"); }
    QIconEngine *clone() const override { return new DeferredIconEngine(*this); }

private:
    const QIcon &icon()
    {
        if (!m_icon)
            m_icon = m_make();
        return *m_icon;
    }

    std::function<QIcon()> m_make;
    std::optional<QIcon> m_icon;
};

// The platform's style, except that the pictures of the menu and tool bars'
// overflow buttons are found only if one is drawn. Finding them reads an image
// file, and the first image read loads every image-format plugin: several
// milliseconds before the window can be shown, for buttons that appear only
// when a bar is too narrow for its contents.
class DeferredPictureStyle final : public QProxyStyle
{
public:
    QIcon standardIcon(StandardPixmap which, const QStyleOption *option,
                       const QWidget *widget) const override
    {
        if (which != SP_ToolBarHorizontalExtensionButton &&
            which != SP_ToolBarVerticalExtensionButton)
            return QProxyStyle::standardIcon(which, option, widget);
        QPointer<QStyle> base(baseStyle());
        return deferredIcon([base, which] { return base ? base->standardIcon(which) : QIcon(); });
    }
};

} // namespace

QStyle *makeApplicationStyle()
{
    return new DeferredPictureStyle;
}

QIcon deferredIcon(std::function<QIcon()> make)
{
    return QIcon(new DeferredIconEngine(std::move(make)));
}

QIcon appIcon(const QString &name)
{
    static const bool loaded = (initIconResources(), true);
    Q_UNUSED(loaded);
    // Theme names for the pictures the desktop usually has.
    static const QHash<QString, QString> themeNames = {
        {QStringLiteral("record"), QStringLiteral("media-record")},
        {QStringLiteral("pause"), QStringLiteral("media-playback-pause")},
        {QStringLiteral("stop"), QStringLiteral("media-playback-stop")},
        {QStringLiteral("play"), QStringLiteral("media-playback-start")},
        {QStringLiteral("first"), QStringLiteral("media-skip-backward")},
        {QStringLiteral("last"), QStringLiteral("media-skip-forward")},
        {QStringLiteral("previous"), QStringLiteral("media-seek-backward")},
        {QStringLiteral("next"), QStringLiteral("media-seek-forward")},
        {QStringLiteral("settings"), QStringLiteral("preferences-system")},
        {QStringLiteral("delete"), QStringLiteral("user-trash")},
        {QStringLiteral("saveas"), QStringLiteral("document-save-as")},
        {QStringLiteral("open"), QStringLiteral("document-open")},
        {QStringLiteral("folder"), QStringLiteral("folder-open")},
        {QStringLiteral("mail"), QStringLiteral("mail-send")},
        {QStringLiteral("speaker"), QStringLiteral("audio-volume-high")},
        {QStringLiteral("mute"), QStringLiteral("audio-volume-muted")},
        {QStringLiteral("exit"), QStringLiteral("application-exit")},
    };
    return deferredIcon([themeName = themeNames.value(name), name] {
        const QIcon fallback(QStringLiteral(":/icons/%1.svg").arg(name));
        return themeName.isEmpty() ? fallback : QIcon::fromTheme(themeName, fallback);
    });
}

} // namespace sonalto
