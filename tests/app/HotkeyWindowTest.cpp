// The main window and the hot keys: the list is loaded into the toolbar hints
// when the window is shown, and the hook's reports run record, pause and stop.
#include "AppTestSupport.h"
#include "common/TestSupport.h"

#include "app/Application.h"
#include "common/ForeignKeyGrab.h"
#include "common/Projectdir.h"
#include "hotkeys/HookLibrary.h"
#include "hotkeys/HotKeyFile.h"
#include "hotkeys/Keyoptionunit.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
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

TEST(HotkeyWindow, BadNumberInTheFileCostsOnlyItsOwnEntry)
{
    TempFolders folders;
    writeHotKeys(folders, "[HotKey]\nCount=2\nHotKey0=x\nCASKey0=0\nHotKey1=z\nCASKey1=x\n");
    auto form = makeForm(makeTestBackend());
    form->show();
    EXPECT_TRUE(form->ShownMessages.isEmpty()) << form->ShownMessages.join('|').toStdString();
    EXPECT_EQ(form->ToolButton1->toolTip(), QStringLiteral(" F9"));
    EXPECT_FALSE(form->HotKeys.hasKey(1));
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
    ASSERT_TRUE(waitUntilStarted(*form));
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
    ASSERT_TRUE(waitUntilIdle(*form));
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
    ASSERT_TRUE(waitUntilStarted(*form));
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
    ASSERT_TRUE(waitUntilStarted(*form));
    EXPECT_TRUE(form->IsRecording);
    form->HotKeyReport(F11, KeyDown, 0);
    EXPECT_FALSE(form->IsRecording);
}

// A first start: no key is set, and both the status line and the dialog say how
// to set them, until the user has chosen some.
TEST(HotkeyWindow, FirstStartSaysNoKeysAreSetUntilSomeAre)
{
    TempFolders folders;
    ASSERT_TRUE(hotkeys::createHotKeyFileIfMissing(folders.appDir() + "HotKey.ini"));
    auto form = makeForm(makeTestBackend());
    auto *dialog = new TKeyOptionForm(form.get());
    dialog->showMessages = false;
    form->KeyOptionForm = dialog;
    form->showHotKeysUnset();
    form->show();
    EXPECT_TRUE(form->Label15->text().contains(QStringLiteral("未设置热键"))) << "status line";
    for (int entry = 0; entry < 3; ++entry)
        EXPECT_FALSE(form->HotKeys.hasKey(entry)) << "nothing is grabbed";

    // The dialog says it while every box is empty; a default, then 确定.
    std::vector<bool> noteShown;
    QTimer::singleShot(0, dialog, [&] {
        noteShown.push_back(dialog->Label3->isVisibleTo(dialog));
        dialog->SpeedButton19->click();
        noteShown.push_back(dialog->Label3->isVisibleTo(dialog));
        dialog->deleteClick(hotkeys::RecordKey);
        noteShown.push_back(dialog->Label3->isVisibleTo(dialog));
        dialog->SpeedButton2->click();
        dialog->Button1->click();
    });
    form->ToolButton7->click();
    EXPECT_EQ(noteShown, (std::vector<bool>{true, false, true}));
    EXPECT_TRUE(form->HotKeys.hasKey(hotkeys::StopKey));
    EXPECT_FALSE(form->Label15->text().contains(QStringLiteral("未设置热键")))
        << form->Label15->text().toStdString();
}

// The hot keys from end to end on the test session's X display: the keyboard
// hook the build makes, keys typed with xdotool while another program's window
// has the focus.
class HotkeyOnDisplay : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Keys are typed and grabbed: never on a user's own desktop.
        if (qEnvironmentVariableIsEmpty("DISPLAY") ||
            qEnvironmentVariableIsEmpty("SONALTO_SESSION_XVFB"))
            SONALTO_MISSING("its private X server (session.sh --xvfb)");
        SONALTO_REQUIRE_PROGRAM("xdotool");
    }

    void TearDown() override
    {
        if (m_other.state() != QProcess::NotRunning) {
            m_other.kill();
            m_other.waitForFinished();
        }
    }

    // The main window with the hook the build makes; KeyOptionForm reads the
    // application folder as it is now.
    std::unique_ptr<TForm1> makeHookedForm()
    {
        auto form = makeForm(makeTestBackend());
        form->KeyHook =
            std::make_unique<hotkeys::HookLibrary>(QStringList{QStringLiteral(KHOOK_LIBRARY)});
        auto *dialog = new TKeyOptionForm(form.get());
        dialog->showMessages = false;
        form->KeyOptionForm = dialog;
        return form;
    }

    // Another program's window takes the keyboard focus.
    void focusOtherProgram()
    {
        SONALTO_REQUIRE_PROGRAM("xmessage");
        m_other.start(QStringLiteral("xmessage"),
                      {QStringLiteral("-title"), QStringLiteral("SonaltoOtherProgram"),
                       QStringLiteral("another program")});
        ASSERT_TRUE(m_other.waitForStarted());
        int exitCode = -1;
        test::runProgram(QStringLiteral("xdotool"),
                         {QStringLiteral("search"), QStringLiteral("--sync"),
                          QStringLiteral("--name"), QStringLiteral("^SonaltoOtherProgram$"),
                          QStringLiteral("windowfocus"), QStringLiteral("--sync")},
                         &exitCode, 10000);
        ASSERT_EQ(exitCode, 0);
    }

    static void press(const QString &keys)
    {
        int exitCode = -1;
        test::runProgram(QStringLiteral("xdotool"), {QStringLiteral("key"), keys}, &exitCode);
        ASSERT_EQ(exitCode, 0) << keys.toStdString();
    }

    // Opens the key-option dialog from the toolbar and lets `edit` work in it
    // before 确定.
    static void editHotKeys(TForm1 &form, const std::function<void(TKeyOptionForm &)> &edit)
    {
        QTimer::singleShot(0, form.KeyOptionForm, [&] {
            edit(*form.KeyOptionForm);
            form.KeyOptionForm->Button1->click();
        });
        form.ToolButton7->click();
    }

    QProcess m_other;
};

TEST_F(HotkeyOnDisplay, FirstStartDefaultsWorkFromAnotherProgram)
{
    PrivateHome home;
    resolveFolders(); // a first start: no settings yet
    ASSERT_TRUE(QFile::exists(ProjectDirs::instance().AppDir() + "HotKey.ini"));
    auto form = makeHookedForm();
    form->show();
    EXPECT_TRUE(form->KeyOptionForm->Edit1->text().isEmpty()) << "no key until the user picks one";

    editHotKeys(*form, [](TKeyOptionForm &d) {
        d.SpeedButton19->click();
        d.SpeedButton4->click();
        d.SpeedButton2->click();
    });
    EXPECT_TRUE(form->ShownMessages.isEmpty()) << form->ShownMessages.join('|').toStdString();
    EXPECT_EQ(form->ToolButton1->toolTip(), QStringLiteral(" F9"));

    focusOtherProgram();
    press("F9");
    ASSERT_TRUE(QTest::qWaitFor([&] { return bool(form->IsRecording); }, 10000))
        << form->ShownMessages.join('|').toStdString();
    ASSERT_TRUE(waitUntilStarted(*form)); // pausing waits for a take that records
    press("F10");
    ASSERT_TRUE(QTest::qWaitFor([&] { return bool(form->IsPaused); }, 10000));
    press("F10");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->IsPaused; }, 10000));
    press("F11");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form->IsRecording; }, 10000));
}

TEST_F(HotkeyOnDisplay, CtrlSpaceAndCtrlTabGoThroughTheFileAndFire)
{
    TempFolders folders;
    ASSERT_TRUE(hotkeys::createHotKeyFileIfMissing(folders.appDir() + "HotKey.ini"));
    auto form = makeHookedForm();
    form->show();
    editHotKeys(*form, [](TKeyOptionForm &d) {
        QTest::keyClick(d.Edit1, Qt::Key_Space, Qt::ControlModifier);
        QTest::keyClick(d.Edit2, Qt::Key_Tab, Qt::ControlModifier);
    });
    // What the window installed was read back from the file.
    EXPECT_EQ(form->ToolButton1->toolTip(), QStringLiteral("Ctrl +  Space"));
    EXPECT_EQ(form->ToolButton3->toolTip(), QStringLiteral("Ctrl +  Tab"));

    focusOtherProgram();
    press("ctrl+space");
    ASSERT_TRUE(QTest::qWaitFor([&] { return bool(form->IsRecording); }, 10000))
        << form->ShownMessages.join('|').toStdString();
    press("ctrl+Tab");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form->IsRecording; }, 10000));
}

TEST_F(HotkeyOnDisplay, KeyAnotherProgramOwnsIsNamedOnTheStatusLine)
{
    TempFolders folders;
    writeHotKeys(folders, "[HotKey]\nCount=3\nHotKey0=x\nCASKey0=0\nHotKey1=z\nCASKey1=0\n"
                          "HotKey2=y\nCASKey2=0\n");
    test::ForeignKeyGrab other(0xFFC7); // F10
    ASSERT_TRUE(other.held());
    auto form = makeHookedForm();
    form->show();
    EXPECT_EQ(form->Label15->text(), QStringLiteral("F10 已被其它程序占用"));
    EXPECT_TRUE(form->ShownMessages.isEmpty()) << "no box at start-up";

    // After the dialog the user is told in a box as well.
    editHotKeys(*form, [](TKeyOptionForm &) {});
    EXPECT_EQ(form->ShownMessages, QStringList{QStringLiteral("F10 已被其它程序占用，无法使用。")});
}
