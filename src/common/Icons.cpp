#include "common/Icons.h"

#include <QHash>

// The pictures are compiled into the GUI library; its users need not know.
static void initIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace sonalto {

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
    const QIcon fallback(QStringLiteral(":/icons/%1.svg").arg(name));
    const auto it = themeNames.constFind(name);
    if (it == themeNames.constEnd())
        return fallback;
    return QIcon::fromTheme(*it, fallback);
}

} // namespace sonalto
