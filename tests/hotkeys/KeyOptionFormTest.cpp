// The key-option dialog: capturing combinations, clearing and defaults, the
// refusal of equal boxes, and what reaches HotKey.ini.
#include "common/TestSupport.h"

#include "common/Projectdir.h"
#include "hotkeys/DesktopSession.h"
#include "hotkeys/Keyoptionunit.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace sonalto;

namespace {

class KeyOptionFormTest : public ::testing::Test
{
protected:
    void SetUp() override { ProjectDirs::instance().SetAppDir(m_dir.path()); }

    QString iniPath() const { return m_dir.path() + QStringLiteral("/HotKey.ini"); }

    void writeFile(const QByteArray &bytes)
    {
        QFile file(iniPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray fileBytes() const
    {
        QFile file(iniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    std::unique_ptr<TKeyOptionForm> makeForm()
    {
        auto form = std::make_unique<TKeyOptionForm>();
        form->showMessages = false;
        return form;
    }

    static const QByteArray ThreeDefaults;

private:
    QTemporaryDir m_dir;
};

// A key QTest has no text for (XF86Calculator): pressed and released.
void sendKey(QWidget *target, int key, Qt::KeyboardModifiers modifiers)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(target, &release);
}

const QByteArray KeyOptionFormTest::ThreeDefaults =
    "[HotKey]\nCount=3\nHotKey0=x\nCASKey0=0\nHotKey1=z\nCASKey1=0\nHotKey2=y\nCASKey2=0\n";

} // namespace

TEST_F(KeyOptionFormTest, LoadShowsEachRoleInItsBox)
{
    writeFile("[HotKey]\nCount=3\nHotKey0=x\nCASKey0=3\nHotKey1=z\nCASKey1=4\nHotKey2=y\n"
              "CASKey2=0\n");
    auto form = makeForm();
    EXPECT_EQ(form->Edit1->text(), QStringLiteral("Ctrl + Alt + F9"));
    EXPECT_EQ(form->Edit2->text(), QStringLiteral("Shift + F11"));
    EXPECT_EQ(form->Edit3->text(), QStringLiteral("F10"));
    EXPECT_TRUE(form->Edit1->isReadOnly());
}

TEST_F(KeyOptionFormTest, CapturedCombinationIsShownAndSaved)
{
    writeFile(ThreeDefaults);
    auto form = makeForm();
    // Ctrl, then Shift, then A, in the record box.
    QTest::keyPress(form->Edit1, Qt::Key_Control, Qt::ControlModifier);
    EXPECT_EQ(form->Edit1->text(), QStringLiteral("Ctrl + "));
    QTest::keyPress(form->Edit1, Qt::Key_Shift, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form->Edit1->text(), QStringLiteral("Ctrl + Shift + "));
    QTest::keyClick(form->Edit1, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form->Edit1->text(), QStringLiteral("Ctrl + Shift + A"));
    EXPECT_EQ(form->hotKeys().keys[0], 0x41);
    EXPECT_EQ(form->hotKeys().modifiers[0], 5);

    // A plain function key in the stop box.
    QTest::keyClick(form->Edit2, Qt::Key_F12);
    EXPECT_EQ(form->Edit2->text(), QStringLiteral("F12"));

    form->Button1->click();
    EXPECT_TRUE(form->ShownMessages.isEmpty()) << form->ShownMessages.join('|').toStdString();
    const QByteArray bytes = fileBytes();
    EXPECT_TRUE(bytes.contains("HotKey0=A")) << bytes.toStdString();
    EXPECT_TRUE(bytes.contains("CASKey0=5"));
    EXPECT_TRUE(bytes.contains("HotKey1={")); // F12 = 0x7B
    EXPECT_TRUE(bytes.contains("HotKey2=y"));
}

TEST_F(KeyOptionFormTest, WhatIsSavedIsWhatTheBoxShows)
{
    writeFile(ThreeDefaults);
    auto form = makeForm();
    // Ctrl pressed and released alone: the box is empty, and so is its entry;
    // the old key does not come back with the new modifier.
    QTest::keyPress(form->Edit3, Qt::Key_Control, Qt::ControlModifier);
    EXPECT_EQ(form->Edit3->text(), QStringLiteral("Ctrl + "));
    QTest::keyRelease(form->Edit3, Qt::Key_Control, Qt::NoModifier);
    EXPECT_EQ(form->Edit3->text(), QString());
    EXPECT_FALSE(form->hotKeys().hasKey(2));
    // A key the layout has no name for leaves nothing either, with or without
    // modifiers.
    sendKey(form->Edit2, Qt::Key_Calculator, Qt::NoModifier);
    EXPECT_EQ(form->Edit2->text(), QString());
    sendKey(form->Edit1, Qt::Key_Calculator, Qt::AltModifier);
    EXPECT_EQ(form->Edit1->text(), QString());
    EXPECT_FALSE(form->hotKeys().hasKey(0));
    EXPECT_FALSE(form->hotKeys().hasKey(1));

    // Three empty boxes are three entries without a key, not three equal keys.
    form->Button1->click();
    EXPECT_TRUE(form->ShownMessages.isEmpty()) << form->ShownMessages.join('|').toStdString();
    EXPECT_EQ(fileBytes(), QByteArray("[HotKey]\nCount=3\nHotKey0=\nCASKey0=255\nHotKey1=\n"
                                      "CASKey1=255\nHotKey2=\nCASKey2=255\n"));
    auto reloaded = makeForm();
    for (QLineEdit *edit : {reloaded->Edit1, reloaded->Edit2, reloaded->Edit3})
        EXPECT_EQ(edit->text(), QString());

    // Escape is never captured: it closes the dialog and drops the edits.
    QTest::keyClick(reloaded->Edit3, Qt::Key_F7);
    reloaded->show();
    QTest::keyClick(reloaded->Edit3, Qt::Key_Escape);
    EXPECT_FALSE(reloaded->isVisible());
    EXPECT_EQ(reloaded->Edit3->text(), QString());
    EXPECT_FALSE(reloaded->hotKeys().hasKey(2));
}

TEST_F(KeyOptionFormTest, BlankKeysRoundTripAndEnterIsRefusedAtCapture)
{
    writeFile(ThreeDefaults);
    auto form = makeForm();
    QTest::keyClick(form->Edit1, Qt::Key_Space, Qt::ControlModifier);
    QTest::keyClick(form->Edit2, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(form->Edit1->text(), QStringLiteral("Ctrl + Space"));
    EXPECT_EQ(form->Edit2->text(), QStringLiteral("Ctrl + Tab"));

    // Ctrl + Enter: said at once, the box left empty, and the file untouched.
    QTest::keyClick(form->Edit3, Qt::Key_Return, Qt::ControlModifier);
    ASSERT_EQ(form->ShownMessages.size(), 1);
    EXPECT_TRUE(form->ShownMessages.last().startsWith(QStringLiteral("Ctrl + Enter 不能用作热键")))
        << form->ShownMessages.last().toStdString();
    EXPECT_EQ(form->Edit3->text(), QString());
    EXPECT_FALSE(form->hotKeys().hasKey(2));
    EXPECT_EQ(fileBytes(), ThreeDefaults);

    form->Button1->click();
    EXPECT_EQ(form->ShownMessages.size(), 1);
    const QByteArray bytes = fileBytes();
    EXPECT_TRUE(bytes.contains("HotKey0=\" \"\nCASKey0=1\n")) << bytes.toStdString();
    EXPECT_TRUE(bytes.contains("HotKey1=\"\t\"\nCASKey1=1\n")) << bytes.toStdString();

    auto reloaded = makeForm();
    EXPECT_EQ(reloaded->Edit1->text(), QStringLiteral("Ctrl + Space"));
    EXPECT_EQ(reloaded->Edit2->text(), QStringLiteral("Ctrl + Tab"));
    EXPECT_EQ(reloaded->hotKeys().keys[0], 0x20);
    EXPECT_EQ(reloaded->hotKeys().keys[1], 0x09);
}

TEST_F(KeyOptionFormTest, WaylandSessionIsToldHotKeysCannotWork)
{
    const QByteArray saved = qgetenv("WAYLAND_DISPLAY");
    qputenv("WAYLAND_DISPLAY", "wayland-0");
    auto wayland = makeForm();
    if (saved.isNull())
        qunsetenv("WAYLAND_DISPLAY");
    else
        qputenv("WAYLAND_DISPLAY", saved);
    EXPECT_FALSE(wayland->Label1->isHidden());
    EXPECT_TRUE(wayland->Label1->text().contains(QStringLiteral("全局热键不可用")));
}

TEST(DesktopSessionTest, WaylandIsKnownByItsDisplayOrTheSessionType)
{
    QProcessEnvironment env;
    EXPECT_FALSE(hotkeys::isWaylandSession(env));
    env.insert("DISPLAY", ":0");
    env.insert("XDG_SESSION_TYPE", "x11");
    EXPECT_FALSE(hotkeys::isWaylandSession(env));
    env.insert("WAYLAND_DISPLAY", "wayland-0");
    EXPECT_TRUE(hotkeys::isWaylandSession(env)) << "X11 programs there run on XWayland";
    env.remove("WAYLAND_DISPLAY");
    env.insert("XDG_SESSION_TYPE", "wayland");
    EXPECT_TRUE(hotkeys::isWaylandSession(env));
}

TEST_F(KeyOptionFormTest, EqualBoxesAreRefusedInOrder)
{
    writeFile(ThreeDefaults);
    auto form = makeForm();
    // Two cleared boxes hold no key each: they are not the same key.
    form->SpeedButton18->click(); // delete record
    form->SpeedButton1->click();  // delete stop
    EXPECT_EQ(form->hotKeys().keys[0], 255);
    EXPECT_EQ(form->hotKeys().modifiers[1], 255);
    QTest::keyClick(form->Edit2, Qt::Key_F10);
    form->Button1->click();
    ASSERT_EQ(form->ShownMessages.size(), 1);
    EXPECT_EQ(form->ShownMessages.last(),
              QStringLiteral("Pause/Resume Key = Stop Key!\n\nPlease use different key"));
    EXPECT_EQ(fileBytes(), ThreeDefaults) << "nothing saved";

    QTest::keyClick(form->Edit1, Qt::Key_F9);
    QTest::keyClick(form->Edit2, Qt::Key_F9);
    form->Button1->click();
    EXPECT_EQ(form->ShownMessages.last(),
              QStringLiteral("Record Key = Stop Key!\n\nPlease use different key"));
    QTest::keyClick(form->Edit3, Qt::Key_F9);
    form->Button1->click();
    EXPECT_EQ(form->ShownMessages.last(),
              QStringLiteral("Record Key = Pause/Resume Key!\n\nPlease use different key"));
    EXPECT_EQ(fileBytes(), ThreeDefaults) << "nothing saved";
}

TEST_F(KeyOptionFormTest, DefaultsWriteF9F11F10)
{
    writeFile("[HotKey]\nCount=3\nHotKey0=A\nCASKey0=7\nHotKey1=B\nCASKey1=1\nHotKey2=C\n"
              "CASKey2=2\n");
    auto form = makeForm();
    form->SpeedButton19->click();
    form->SpeedButton2->click();
    form->SpeedButton4->click();
    EXPECT_EQ(form->Edit1->text(), QStringLiteral("F9"));
    EXPECT_EQ(form->Edit2->text(), QStringLiteral("F11"));
    EXPECT_EQ(form->Edit3->text(), QStringLiteral("F10"));
    form->Button1->click();
    const QByteArray bytes = fileBytes();
    for (const char *line :
         {"HotKey0=x", "HotKey1=z", "HotKey2=y", "CASKey0=0", "CASKey1=0", "CASKey2=0"})
        EXPECT_TRUE(bytes.contains(line)) << line;
}

TEST_F(KeyOptionFormTest, BoxesTheFileDoesNotListAreSavedToo)
{
    // A file listing two entries: the third box starts empty, and a combination
    // captured there is saved with the others.
    writeFile("[HotKey]\nCount=2\nHotKey0=x\nCASKey0=0\nHotKey1=z\nCASKey1=0\n");
    auto form = makeForm();
    EXPECT_EQ(form->Edit3->text(), QString());
    QTest::keyClick(form->Edit3, Qt::Key_F10, Qt::AltModifier);
    EXPECT_EQ(form->Edit3->text(), QStringLiteral("Alt + F10"));
    form->Button1->click();
    EXPECT_TRUE(form->ShownMessages.isEmpty());
    EXPECT_TRUE(fileBytes().contains("Count=3"));
    EXPECT_TRUE(fileBytes().contains("HotKey2=y\nCASKey2=2\n")) << fileBytes().toStdString();

    // Entries past the three roles are kept as they are.
    writeFile("[HotKey]\nCount=4\nHotKey0=x\nCASKey0=0\nHotKey1=z\nCASKey1=0\nHotKey2=y\n"
              "CASKey2=0\nHotKey3=A\nCASKey3=3\n");
    form->loadFromFile();
    form->SpeedButton18->click();
    form->Button1->click();
    EXPECT_TRUE(fileBytes().contains("HotKey0=\nCASKey0=255\n")) << fileBytes().toStdString();
    EXPECT_TRUE(fileBytes().contains("HotKey3=A\nCASKey3=3\n"));

    // With no file at all the boxes are empty; what is chosen is saved.
    QFile::remove(iniPath());
    form->loadFromFile();
    for (QLineEdit *edit : {form->Edit1, form->Edit2, form->Edit3})
        EXPECT_EQ(edit->text(), QString());
    form->SpeedButton19->click();
    form->Button1->click();
    EXPECT_TRUE(form->ShownMessages.isEmpty());
    EXPECT_TRUE(fileBytes().contains("Count=3\nHotKey0=x\nCASKey0=0\n"))
        << fileBytes().toStdString();
}

TEST_F(KeyOptionFormTest, UnwritableFileIsSaidAndTheDialogStaysOpen)
{
    ProjectDirs::instance().SetAppDir(iniPath() + QStringLiteral(".missing"));
    auto elsewhere = makeForm();
    elsewhere->SpeedButton19->click();
    elsewhere->show();
    elsewhere->Button1->click();
    ASSERT_EQ(elsewhere->ShownMessages.size(), 1);
    EXPECT_TRUE(elsewhere->ShownMessages.last().startsWith(QStringLiteral("Couldn't write ")))
        << elsewhere->ShownMessages.last().toStdString();
    EXPECT_TRUE(elsewhere->isVisible());
}
