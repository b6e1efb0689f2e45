// The key-option dialog: capturing combinations, clearing and defaults, the
// refusal of equal boxes, and what reaches HotKey.ini.
#include "common/TestSupport.h"

#include "common/ForeignKeyGrab.h"
#include "common/Projectdir.h"
#include "hotkeys/DesktopSession.h"
#include "hotkeys/HookLibrary.h"
#include "hotkeys/HotKeyFile.h"
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
#include <functional>
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

// A key QTest has no text for (XF86Calculator), or one the X server gives only
// as a keysym: pressed and released.
void sendKey(QWidget *target, int key, Qt::KeyboardModifiers modifiers, quint32 keysym = 0)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, 0, keysym, 0);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, 0, keysym, 0);
    QApplication::sendEvent(target, &release);
}

template <typename T> T *byName(QWidget *parent, const QString &name)
{
    for (T *child : parent->findChildren<T *>()) {
        if (child->accessibleName() == name ||
            (child->accessibleName().isEmpty() && child->property("text").toString() == name))
            return child;
    }
    ADD_FAILURE() << "no control named " << name.toStdString();
    return nullptr;
}

const QStringList Boxes = {QStringLiteral("录制键"), QStringLiteral("停止键"),
                           QStringLiteral("暂停/恢复键")};

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

// A key the dialog cannot take leaves the box with the key it had, and the
// note under the boxes says why; 确定 then saves the keys the boxes show.
TEST_F(KeyOptionFormTest, RefusedKeysKeepTheBoxAndSayWhy)
{
    struct Case
    {
        const char *name;
        std::function<void(QWidget *box)> press;
        QString why;
    };
    const QList<Case> cases = {
        {"Ctrl + Enter",
         [](QWidget *box) { QTest::keyClick(box, Qt::Key_Return, Qt::ControlModifier); },
         QStringLiteral("Ctrl + Enter 无法存入 HotKey.ini")},
        {"Ctrl + Alt + F3 as the X server gives it (XF86Switch_VT_3)",
         [](QWidget *box) {
             sendKey(box, Qt::Key_unknown, Qt::ControlModifier | Qt::AltModifier, 0x1008FE03);
         },
         QStringLiteral("Ctrl + Alt + F3 由系统用来切换到文本控制台")},
        {"Shift alone",
         [](QWidget *box) {
             QTest::keyPress(box, Qt::Key_Shift, Qt::ShiftModifier);
             EXPECT_EQ(qobject_cast<QLineEdit *>(box)->text(), QStringLiteral("Shift + "));
             QTest::keyRelease(box, Qt::Key_Shift, Qt::NoModifier);
         },
         QStringLiteral("只按了 Shift")},
        {"Ctrl and Alt alone",
         [](QWidget *box) {
             QTest::keyPress(box, Qt::Key_Control, Qt::ControlModifier);
             QTest::keyPress(box, Qt::Key_Alt, Qt::ControlModifier | Qt::AltModifier);
             QTest::keyRelease(box, Qt::Key_Alt, Qt::ControlModifier);
         },
         QStringLiteral("只按了 Ctrl + Alt")},
        {"a key without a name", [](QWidget *box) { sendKey(box, Qt::Key_Calculator, {}); },
         QStringLiteral("这个键不能用作热键")},
    };
    writeFile(ThreeDefaults);
    auto form = makeForm();
    auto *note = byName<QLabel>(form.get(), QStringLiteral("按键说明"));
    EXPECT_TRUE(note->isHidden());
    for (qsizetype i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        const QString role = Boxes[i % 3];
        auto *box = byName<QLineEdit>(form.get(), role);
        const QString before = box->text();
        cases[i].press(box);
        EXPECT_EQ(box->text(), before);
        EXPECT_FALSE(note->isHidden());
        EXPECT_TRUE(note->text().startsWith(cases[i].why)) << note->text().toStdString();
        EXPECT_TRUE(note->text().endsWith(role + QStringLiteral("保持原来的键。")));
    }
    byName<QPushButton>(form.get(), QStringLiteral("确定"))->click();
    EXPECT_EQ(fileBytes(), ThreeDefaults) << "no key lost";

    // A key taken clears the note; Escape is never taken: it closes the dialog
    // and drops the edits.
    auto *box = byName<QLineEdit>(form.get(), Boxes[2]);
    sendKey(box, Qt::Key_Calculator, {});
    QTest::keyClick(box, Qt::Key_F7);
    EXPECT_TRUE(note->isHidden());
    form->show();
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(box->text(), QStringLiteral("F10"));
}

TEST_F(KeyOptionFormTest, BlankKeysRoundTrip)
{
    writeFile(ThreeDefaults);
    auto form = makeForm();
    QTest::keyClick(form->Edit1, Qt::Key_Space, Qt::ControlModifier);
    QTest::keyClick(form->Edit2, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(form->Edit1->text(), QStringLiteral("Ctrl + Space"));
    EXPECT_EQ(form->Edit2->text(), QStringLiteral("Ctrl + Tab"));

    form->Button1->click();
    EXPECT_TRUE(form->ShownMessages.isEmpty());
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
    EXPECT_TRUE(
        elsewhere->ShownMessages.last().startsWith(QStringLiteral("热键无法保存: 无法写入 ")))
        << elsewhere->ShownMessages.last().toStdString();
    EXPECT_TRUE(elsewhere->isVisible());
}

// What a HotKey.ini gives the keyboard hook (as the main window loads it) and
// what 确定 writes back after 默认 on the record box. Only the three roles, and
// of them only values that are keys, take a key from other programs; a value
// that is no key costs only its own entry, and other lines stay in the file.
TEST_F(KeyOptionFormTest, HotKeyFileTable)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") ||
        qEnvironmentVariableIsEmpty("SONALTO_SESSION_XVFB"))
        SONALTO_MISSING("its private X server (session.sh --xvfb)");
    struct Probe
    {
        const char *name;
        uint32_t keysym;
        uint16_t mask;
    };
    const Probe probes[] = {{"F9", 0xFFC6, 0},      {"F10", 0xFFC7, 0}, {"F11", 0xFFC8, 0},
                            {"Ctrl+F9", 0xFFC6, 4}, {"0", 0x30, 0},     {"f", 0x66, 0}};
    struct Case
    {
        const char *name;
        QByteArray file;
        QStringList grabbed, boxes; // record, stop, pause
        bool noted;
        QByteArray saved;
    };
    const QByteArray recordOnly = "[HotKey]\nCount=3\nHotKey0=x\nCASKey0=0\nHotKey1=z\nCASKey1=0\n"
                                  "HotKey2=\nCASKey2=255\n";
    const QList<Case> cases = {
        {"three roles",
         ThreeDefaults,
         {"F9", "F10", "F11"},
         {"F9", "F11", "F10"},
         false,
         ThreeDefaults},
        {"a count far past the roles",
         "[HotKey]\nCount=99999\nHotKey0=x\nCASKey0=0\nHotKey3=0\nCASKey3=0\n",
         {"F9"},
         {"F9", "", ""},
         false,
         "[HotKey]\nCount=3\nHotKey0=x\nCASKey0=0\nHotKey3=0\nCASKey3=0\nHotKey1=\nCASKey1=255\n"
         "HotKey2=\nCASKey2=255\n"},
        {"missing lines",
         "[HotKey]\nCount=3\nHotKey2=y\n",
         {"F10"},
         {"", "", "F10"},
         false,
         "[HotKey]\nCount=3\nHotKey2=y\nHotKey0=x\nCASKey0=0\nHotKey1=\nCASKey1=255\nCASKey2=0\n"},
        {"text values",
         "[HotKey]\nCount=3\nHotKey0=F9\nCASKey0=0\nHotKey1=z\nCASKey1=0\nHotKey2=F10\nCASKey2=0\n",
         {"F11"},
         {"", "F11", ""},
         true,
         recordOnly},
        {"bad numbers",
         "[HotKey]\nCount=3\nHotKey0=x\nCASKey0=abc\nHotKey1=z\nCASKey1=0\nHotKey2=y\nCASKey2=9\n",
         {"F11"},
         {"", "F11", ""},
         true,
         recordOnly},
        {"a count that is no number",
         "[HotKey]\nCount=abc\nHotKey0=x\nCASKey0=1\nHotKey1=z\nCASKey1=0\nHotKey2=y\nCASKey2=0\n",
         {"Ctrl+F9", "F10", "F11"},
         {"Ctrl + F9", "F11", "F10"},
         true,
         ThreeDefaults},
        {"a count of two",
         "[HotKey]\nCount=2\nHotKey0=x\nCASKey0=0\nHotKey1=z\nCASKey1=0\nHotKey2=y\nCASKey2=0\n",
         {"F9", "F11"},
         {"F9", "F11", ""},
         false,
         recordOnly},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(c.file);
        hotkeys::HotKeyList list;
        ASSERT_TRUE(hotkeys::loadHotKeys(iniPath(), list, nullptr));
        {
            hotkeys::HookLibrary hook({QStringLiteral(KHOOK_LIBRARY)});
            ASSERT_TRUE(hook.setHook()) << hook.errorString().toStdString();
            EXPECT_EQ(hook.setList(list.keys.data(), list.modifiers.data(), list.count), 0);
            for (const Probe &probe : probes) {
                test::ForeignKeyGrab other(probe.keysym, probe.mask);
                EXPECT_EQ(!other.held(), c.grabbed.contains(probe.name)) << probe.name;
            }
        }

        auto form = makeForm();
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(byName<QLineEdit>(form.get(), Boxes[i])->text(), c.boxes[i]) << i;
        EXPECT_EQ(!byName<QLabel>(form.get(), QStringLiteral("按键说明"))->isHidden(), c.noted);
        byName<QToolButton>(form.get(), QStringLiteral("录制键 默认"))->click();
        byName<QPushButton>(form.get(), QStringLiteral("确定"))->click();
        EXPECT_EQ(fileBytes(), c.saved);
    }
}
