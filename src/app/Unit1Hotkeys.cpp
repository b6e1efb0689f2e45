// Global hot keys on the main window: the hook library is installed with the
// list from HotKey.ini, and its reports run the recording commands.
#include "app/Unit1.h"
#include "common/Projectdir.h"
#include "hotkeys/DesktopSession.h"
#include "hotkeys/HookLibrary.h"
#include "hotkeys/HotKeyFile.h"
#include "hotkeys/KeyNames.h"
#include "hotkeys/Keyoptionunit.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QToolButton>

namespace sonalto {

bool TForm1::LoadHotKeys()
{
    QString notice;
    const bool ok = hotkeys::loadHotKeys(hotkeys::hotKeyFilePath(ProjectDirs::instance().AppDir()),
                                         HotKeys, &notice);
    // The buttons of the three roles show their combination; one without a key
    // keeps its own hint.
    QToolButton *buttons[3] = {ToolButton1, ToolButton3, ToolButton2};
    const QString hints[3] = {tr("录制中"), tr("停止"), tr("暂停")};
    for (int i = 0; i < 3; ++i)
        buttons[i]->setToolTip(HotKeys.hasKey(i) ? hotkeys::hintText(HotKeys.keys[size_t(i)],
                                                                     HotKeys.modifiers[size_t(i)])
                                                 : hints[i]);
    // Values that are no keys cost only their own entry; the status line says which.
    if (notice.isEmpty())
        clearNotice(Notice::HotKeyFile);
    else
        showNotice(Notice::HotKeyFile, notice);
    for (int i = 0; i < 3; ++i) {
        if (HotKeys.hasKey(i))
            clearNotice(Notice::HotKeysUnset);
    }
    return ok;
}

void TForm1::showHotKeysUnset()
{
    showNotice(Notice::HotKeysUnset, tr("未设置热键：点工具栏的“热键”设置，“默认”即默认键"));
}

QStringList TForm1::InstallHook()
{
    if (!KeyHook)
        KeyHook = std::make_unique<hotkeys::HookLibrary>();
    // Reports come from the library's thread: hand them to the window's own
    // thread, where they are handled in turn with everything else (also inside
    // modal dialogs).
    KeyHook->setReceiver([this](int key, unsigned int flags, int modifiers) {
        QMetaObject::invokeMethod(
            this, [this, key, flags, modifiers] { HotKeyReport(key, flags, modifiers); },
            Qt::QueuedConnection);
    });
    // Without the library or an X display (Wayland, a headless session) the
    // program works on without global hot keys of its own; the desktop's
    // shortcuts take their place where its portal offers them. On Wayland keys
    // grabbed through XWayland only arrive while an X11 window has the focus.
    const bool grabbing = KeyHook->setHook();
    if (!grabbing || QGuiApplication::platformName() == QLatin1String("wayland") ||
        hotkeys::isWaylandSession())
        startDesktopShortcuts();
    if (!LoadHotKeys())
        return {};
    QStringList taken;
    if (KeyHook->setList(HotKeys.keys.data(), HotKeys.modifiers.data(), HotKeys.count) > 0) {
        for (int entry : KeyHook->refusedEntries()) {
            if (entry >= 0 && entry < HotKeys.count)
                taken << hotkeys::displayText(HotKeys.keys[size_t(entry)],
                                              HotKeys.modifiers[size_t(entry)]);
        }
    }
    showTakenHotKeys(taken);
    return taken;
}

void TForm1::showTakenHotKeys(const QStringList &taken)
{
    // On the status line, not in a box: this also runs at start-up, when nobody
    // has asked for anything yet. It stays over what the window says until the
    // keys are free or the user starts something.
    if (taken.isEmpty())
        clearNotice(Notice::HotKeysTaken);
    else
        showNotice(Notice::HotKeysTaken, takenHotKeysText(taken));
}

QString TForm1::takenHotKeysText(const QStringList &taken)
{
    return taken.join(tr("、")) + tr(" 已被其它程序占用");
}

void TForm1::RemoveHook()
{
    if (KeyHook)
        KeyHook->removeHook();
}

void TForm1::ToolButton7Click()
{
    // The hook is off while the user presses combinations in the dialog, so
    // none of them starts or stops anything.
    RemoveHook();
    if (KeyOptionForm) {
        KeyOptionForm->setDesktopShortcuts(DesktopShortcuts &&
                                           DesktopShortcuts->state() ==
                                               hotkeys::PortalShortcuts::State::Bound);
        KeyOptionForm->exec();
    }
    // Right after choosing them the user learns which keys cannot work.
    if (const QStringList taken = InstallHook(); !taken.isEmpty())
        showMessage(takenHotKeysText(taken) + tr("，无法使用。"));
}

void TForm1::HotKeyReport(int key, unsigned int flags, int modifiers)
{
    if (flags & 0x80000000u) // the key is being released
        return;
    if (key < 0 || key > 255)
        return;
    // The modifiers are those held with the key when it was pressed: by the
    // time the report is handled the user may have let go of them.
    hotKeyAction(HotKeys.match(uint8_t(key), modifiers));
}

void TForm1::startDesktopShortcuts()
{
    if (DesktopShortcuts)
        return;
    DesktopShortcuts = new hotkeys::PortalShortcuts(QDBusConnection::sessionBus(), this);
    connect(DesktopShortcuts, &hotkeys::PortalShortcuts::activated, this, &TForm1::hotKeyAction);
    DesktopShortcuts->start();
}

void TForm1::hotKeyAction(int role)
{
    switch (role) {
    case hotkeys::RecordKey:
        if (!IsRecording)
            ToolButton1Click();
        break;
    case hotkeys::StopKey:
        if (IsRecording)
            ToolButton3Click();
        break;
    case hotkeys::PauseKey:
        if (IsRecording)
            ToolButton2Click();
        break;
    default:
        break;
    }
}

} // namespace sonalto
