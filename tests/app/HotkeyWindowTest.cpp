// The main window and the hot keys: the list is loaded into the toolbar hints
// when the window is shown, and the hook's reports run record, pause and stop.
#include "AppTestSupport.h"
#include "common/TestSupport.h"

#include "hotkeys/Keyoptionunit.h"

#include <QFile>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace sonalto;
using namespace sonalto::test;

namespace {

constexpr unsigned int KeyDown = 1;
constexpr unsigned int Repeat = KeyDown | (1u << 30);
constexpr unsigned int Release = KeyDown | (1u << 30) | (1u << 31);
constexpr int F9 = 0x78, F10 = 0x79, F11 = 0x7A;

void writeHotKeys(const TempFolders &folders, const QByteArray &bytes)
{
    QFile file(folders.appDir() + "HotKey.ini");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

TEST(HotkeyWindow, ShowingLoadsTheListIntoTheHints)
{
    TempFolders folders;
    writeHotKeys(folders, "[HotKey]\nCount=3\nHotKey0=x\nCASKey0=1\nHotKey1=z\nCASKey1=0\n"
                          "HotKey2=y\nCASKey2=6\n");
    auto form = makeForm(makeTestBackend());
    form->show();
    EXPECT_EQ(form->HotKeys.count, 3);
    EXPECT_EQ(form->ToolButton1->toolTip(), QStringLiteral("Ctrl +  F9"));
    EXPECT_EQ(form->ToolButton3->toolTip(), QStringLiteral(" F11"));
    EXPECT_EQ(form->ToolButton2->toolTip(), QStringLiteral("Alt + Shift +  F10"));
    // No hook library next to the test: the window works on without hot keys
    // and says nothing about it.
    EXPECT_TRUE(form->ShownMessages.isEmpty()) << form->ShownMessages.join('|').toStdString();
}

TEST(HotkeyWindow, BadNumberInTheFileIsReportedAndKeepsEarlierEntries)
{
    TempFolders folders;
    writeHotKeys(folders, "[HotKey]\nCount=2\nHotKey0=x\nCASKey0=0\nHotKey1=z\nCASKey1=x\n");
    auto form = makeForm(makeTestBackend());
    form->show();
    EXPECT_TRUE(form->ShownMessages.contains(QStringLiteral("'x' is not a valid integer value")));
    EXPECT_EQ(form->ToolButton1->toolTip(), QStringLiteral(" F9"));
    EXPECT_EQ(form->ToolButton3->toolTip(), QStringLiteral("停止"));
    // What was read acts.
    form->HotKeyReport(F9, KeyDown, 0);
    EXPECT_TRUE(form->IsRecording);
    form->ToolButton3->click();
}

TEST(HotkeyWindow, ReportsRunRecordPauseAndStop)
{
    TempFolders folders;
    writeHotKeys(folders, "[HotKey]\nCount=3\nHotKey0=x\nCASKey0=1\nHotKey1=z\nCASKey1=0\n"
                          "HotKey2=y\nCASKey2=0\n");
    auto form = makeForm(makeTestBackend());
    form->show();

    // The modifiers must be exactly those of the entry; releases never act.
    form->HotKeyReport(F9, KeyDown, 0);
    form->HotKeyReport(F9, KeyDown, 1 | 4);
    form->HotKeyReport(F9, Release, 1);
    EXPECT_FALSE(form->IsRecording);
    // Stop and pause do nothing while idle.
    form->HotKeyReport(F11, KeyDown, 0);
    form->HotKeyReport(F10, KeyDown, 0);
    EXPECT_FALSE(form->IsRecording);
    EXPECT_FALSE(form->IsPaused);

    form->HotKeyReport(F9, KeyDown, 1);
    ASSERT_TRUE(form->IsRecording) << form->ShownMessages.join('|').toStdString();
    const int rows = form->ListView1->topLevelItemCount();
    form->HotKeyReport(F9, KeyDown, 1); // record while recording: nothing
    EXPECT_EQ(form->ListView1->topLevelItemCount(), rows);

    // Holding the pause key toggles at each repeat; its release does nothing.
    form->HotKeyReport(F10, KeyDown, 0);
    EXPECT_TRUE(form->IsPaused);
    form->HotKeyReport(F10, Repeat, 0);
    EXPECT_FALSE(form->IsPaused);
    form->HotKeyReport(F10, Release, 0);
    EXPECT_FALSE(form->IsPaused);
    form->HotKeyReport(F10, Repeat, 0);
    EXPECT_TRUE(form->IsPaused);

    form->HotKeyReport(F11, KeyDown, 0);
    EXPECT_FALSE(form->IsRecording);
    EXPECT_FALSE(form->IsPaused);
    EXPECT_TRUE(form->ToolButton1->isEnabled());
}

TEST(HotkeyWindow, SameCombinationTwiceActsAsTheLowerEntry)
{
    TempFolders folders;
    // Stop and pause/resume both on F10: it stops.
    writeHotKeys(folders, "[HotKey]\nCount=3\nHotKey0=x\nCASKey0=0\nHotKey1=y\nCASKey1=0\n"
                          "HotKey2=y\nCASKey2=0\n");
    auto form = makeForm(makeTestBackend());
    form->show();
    form->HotKeyReport(F9, KeyDown, 0);
    ASSERT_TRUE(form->IsRecording);
    form->HotKeyReport(F10, KeyDown, 0);
    EXPECT_FALSE(form->IsRecording);
}

TEST(HotkeyWindow, HotKeyButtonOpensTheDialogAndReloadsAfterIt)
{
    TempFolders folders;
    writeHotKeys(folders, "[HotKey]\nCount=3\nHotKey0=x\nCASKey0=1\nHotKey1=z\nCASKey1=0\n"
                          "HotKey2=y\nCASKey2=0\n");
    auto form = makeForm(makeTestBackend());
    auto *dialog = new TKeyOptionForm(form.get());
    dialog->showMessages = false;
    form->KeyOptionForm = dialog;
    form->show();

    // In the dialog the record key goes back to its default, plain F9.
    bool seen = false;
    QTimer::singleShot(0, dialog, [&] {
        seen = dialog->isVisible();
        dialog->SpeedButton19->click();
        dialog->Button1->click();
    });
    form->KeybordOptions1->trigger();
    EXPECT_TRUE(seen);
    EXPECT_EQ(form->ToolButton1->toolTip(), QStringLiteral(" F9"));
    form->HotKeyReport(F9, KeyDown, 0);
    EXPECT_TRUE(form->IsRecording);
    form->HotKeyReport(F11, KeyDown, 0);
    EXPECT_FALSE(form->IsRecording);
}
