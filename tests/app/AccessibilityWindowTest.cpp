// The main window as assistive technology and the keyboard drive it: every control
// found by its accessible name and worked by its accessible action or value, never
// by the pointer, and the effect read from the sessions.
#include "AppTestSupport.h"
#include "RecordingFiles.h"

#include "scheduler/Scheduleunit.h"
#include "settings/IniFile.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <functional>

using namespace sonalto;
using namespace sonalto::test;
using State = recording::PlaybackSession::State;

namespace {

// What a screen reader calls a control. A list box's own name on this desktop is the
// item it shows; the name it is given comes with it, as its label.
QString nameOf(QAccessibleInterface *a11y)
{
    if (a11y->role() == QAccessible::ComboBox)
        return static_cast<QWidget *>(a11y->object())->accessibleName();
    return a11y->text(QAccessible::Name);
}

// The first interface below `root` with that name and role (any role: NoRole).
QAccessibleInterface *findAccessible(QAccessibleInterface *root, const QString &name,
                                     QAccessible::Role role = QAccessible::NoRole)
{
    if (!root)
        return nullptr;
    if (nameOf(root) == name && (role == QAccessible::NoRole || root->role() == role))
        return root;
    for (int i = 0; i < root->childCount(); ++i)
        if (QAccessibleInterface *found = findAccessible(root->child(i), name, role))
            return found;
    return nullptr;
}

QAccessibleInterface *windowInterface(QWidget *w)
{
    return QAccessible::queryAccessibleInterface(w);
}

// A menu bar's entry, then an entry of its menu.
QAccessibleInterface *menuItem(QWidget *window, const QString &menu, const QString &item)
{
    QAccessibleInterface *bar =
        findAccessible(windowInterface(window), QString(), QAccessible::MenuBar);
    QAccessibleInterface *entry = findAccessible(bar, menu, QAccessible::MenuItem);
    return entry ? findAccessible(entry->child(0), item, QAccessible::MenuItem) : nullptr;
}

struct Step
{
    const char *name;       // accessible name of the control
    QAccessible::Role role; // to tell a button from a label of that name
    QString action;         // an action, or empty to set `value`
    int value;
    std::function<bool(TForm1 &)> effect; // holds once the control has done its work
};

class AccessibilityWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        settings::IniFile(m_folders.appDir() + "Config.ini").writeInt("Audio", "OutputFormat", 3);
        for (const char *name : {"a.wav", "b.wav", "c.wav"}) {
            std::string error;
            ASSERT_TRUE(writeRecording(m_folders.audioDir() + name, toneSamples(1000, 4.0),
                                       {44100, 2}, &error))
                << error;
        }
        m_form = makeForm(makeTestBackend());
        m_form->ScheduleForm = new TScheduleForm(m_form.get());
        m_form->ScheduleForm->showMessages = false;
        m_form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form.get()));
    }

    QAccessibleInterface *control(const char *name, QAccessible::Role role)
    {
        return findAccessible(windowInterface(m_form.get()), QString::fromUtf8(name), role);
    }

    void run(const std::vector<Step> &steps)
    {
        for (const Step &step : steps) {
            SCOPED_TRACE(step.name);
            QAccessibleInterface *a11y = control(step.name, step.role);
            ASSERT_NE(a11y, nullptr);
            if (step.action.isEmpty()) {
                ASSERT_NE(a11y->valueInterface(), nullptr);
                a11y->valueInterface()->setCurrentValue(step.value);
            } else {
                ASSERT_NE(a11y->actionInterface(), nullptr);
                ASSERT_TRUE(a11y->actionInterface()->actionNames().contains(step.action))
                    << a11y->actionInterface()->actionNames().join(',').toStdString();
                a11y->actionInterface()->doAction(step.action);
            }
            ASSERT_TRUE(QTest::qWaitFor([&] { return step.effect(*m_form); }, 8000))
                << m_form->ShownMessages.join('|').toStdString();
        }
    }

    bool checked(const char *name) { return control(name, QAccessible::Button)->state().checked; }
    QString playing() const { return QFileInfo(m_form->Playback->path()).fileName(); }

    TempFolders m_folders;
    std::unique_ptr<TForm1> m_form;
};

const QString Press = QAccessibleActionInterface::pressAction();
const QString Toggle = QAccessibleActionInterface::toggleAction();
constexpr auto Button = QAccessible::Button;

TEST_F(AccessibilityWindow, EveryControlDoesByItsActionWhatAClickDoes)
{
    TForm1 &f = *m_form;
    auto volume = [&](int v) {
        return [v](TForm1 &w) { return waitForInput(w) && w.Input->volume() == v; };
    };
    auto plays = [&](State state, const QString &file) {
        return [=, this](TForm1 &w) { return w.Playback->state() == state && playing() == file; };
    };
    run({
        {"设备设置", Button, Toggle, 0,
         [&](TForm1 &w) { return w.DevicesOpen && checked("设备设置"); }},
        {"设备设置", Button, Press, 0,
         [&](TForm1 &w) { return !w.DevicesOpen && !checked("设备设置"); }},
        {"输出设置", Button, Toggle, 0, [](TForm1 &w) { return w.OutputOpen; }},
        {"文件管理器", Button, Toggle, 0, [](TForm1 &w) { return w.FilesOpen; }},
        {"录音静音", Button, Toggle, 0, volume(0)},
        {"录音静音", Button, Toggle, 0, volume(29)},
        {"录音音量", QAccessible::Slider, {}, 50, volume(50)},
        {"检测器", Button, Press, 0,
         [](TForm1 &w) { return !w.detectorOn() && !w.Input->monitor(); }},
        {"检测器", Button, Press, 0,
         [](TForm1 &w) { return w.detectorOn() && w.Input->monitorWanted(); }},
    });

    // A row chosen as a screen reader chooses it enables the playback bar.
    QAccessibleInterface *list = control("录音文件列表", QAccessible::NoRole);
    ASSERT_NE(list, nullptr);
    ASSERT_NE(list->tableInterface(), nullptr);
    ASSERT_TRUE(list->tableInterface()->selectRow(1));
    const QString second = QFileInfo(f.rowPath(f.selectedRow())).fileName();
    const QString first = f.ListView1->topLevelItem(0)->text(0);
    const QString last = f.ListView1->topLevelItem(2)->text(0);
    auto status = [&](const QString &file, const char *word) {
        return [=, this](TForm1 &w) {
            QTreeWidgetItem *row = w.rowOf(m_folders.audioDir() + file);
            return row && row->text(4) == word;
        };
    };
    run({
        {"播放", Button, Toggle, 0,
         [&](TForm1 &w) {
             return plays(State::Playing, second)(w) && status(second, "Play")(w) &&
                    checked("播放");
         }},
        {"暂停播放", Button, Toggle, 0,
         [&](TForm1 &w) {
             return plays(State::Paused, second)(w) && checked("暂停播放") && !checked("播放");
         }},
        {"播放", Button, Press, 0, plays(State::Playing, second)},
        {"播放位置",
         QAccessible::Slider,
         {},
         2,
         [](TForm1 &w) { return w.Playback->positionSeconds() >= 2; }},
        {"停止播放", Button, Press, 0,
         [&](TForm1 &w) {
             return w.Playback->state() == State::Stopped && status(second, "Stop")(w) &&
                    w.Label15->text() == "已停止播放 " + second;
         }},
        {"最后一个", Button, Press, 0, plays(State::Playing, last)},
        {"上一个", Button, Press, 0, plays(State::Playing, second)},
        {"第一个", Button, Press, 0, plays(State::Playing, first)},
        {"下一个", Button, Press, 0, plays(State::Playing, second)},
        {"播放静音", Button, Toggle, 0,
         [&](TForm1 &w) {
             return waitForInput(w) && w.Input->engine()->outputVolume() == 0.f &&
                    checked("播放静音");
         }},
        {"播放静音", Button, Toggle, 0,
         [&](TForm1 &w) {
             return waitForInput(w) && w.Input->engine()->outputVolume() > 0.f &&
                    !checked("播放静音");
         }},
        {"播放音量",
         QAccessible::Slider,
         {},
         40,
         [](TForm1 &w) {
             return waitForInput(w) && std::abs(w.Input->engine()->outputVolume() - 0.4f) < 0.001f;
         }},
    });

    // Another input picked from the keyboard while a file plays: the monitor takes over,
    // and the window says so.
    QAccessibleInterface *inputs = control("输入声道", QAccessible::ComboBox);
    ASSERT_NE(inputs, nullptr);
    auto *combo = static_cast<QComboBox *>(inputs->object());
    inputs->actionInterface()->doAction(QAccessibleActionInterface::showMenuAction());
    ASSERT_TRUE(QTest::qWaitFor([&] { return combo->view()->isVisible(); }, 3000));
    QTest::keyClick(combo->view(), Qt::Key_Down);
    QTest::keyClick(combo->view(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return waitForInput(f) && f.Input->monitor(); }, 8000));
    EXPECT_EQ(f.Playback->state(), State::Stopped);
    EXPECT_EQ(f.Label15->text(), "检测声音从 " + f.inputName());
    EXPECT_TRUE(f.detectorOn());
    EXPECT_EQ(f.Label8->text(), "00:00:00");

    // Recording from the toolbar and from the menu; the pause button is named for what
    // it does next.
    auto recording = [](TForm1 &w) {
        return w.Recording->state() == recording::RecordingSession::State::Recording;
    };
    auto idle = [](TForm1 &w) {
        return w.Recording->state() == recording::RecordingSession::State::Idle;
    };
    run({
        {"录制", Button, Press, 0, recording},
        {"暂停", Button, Press, 0, [](TForm1 &w) { return bool(w.IsPaused); }},
        {"Resume", Button, Press, 0, [](TForm1 &w) { return !w.IsPaused && w.IsRecording; }},
        {"停止", Button, Press, 0, idle},
    });
    EXPECT_EQ(f.Label15->text(), "01.wav is saved");
    QAccessibleInterface *record = menuItem(&f, "文件", "录制");
    ASSERT_NE(record, nullptr);
    record->actionInterface()->doAction(Press);
    ASSERT_TRUE(QTest::qWaitFor([&] { return recording(f); }, 8000));
    menuItem(&f, "文件", "停止")->actionInterface()->doAction(Press);
    ASSERT_TRUE(QTest::qWaitFor([&] { return idle(f); }, 20000));

    // The schedule button opens its dialog, whose 确定 sets the schedule.
    QTimer::singleShot(300, &f, [&] {
        QAccessibleInterface *dialog = windowInterface(f.ScheduleForm);
        findAccessible(dialog, "设置录制开始")->actionInterface()->doAction(Toggle);
        findAccessible(dialog, "确定", Button)->actionInterface()->doAction(Press);
    });
    run({{"日程表", Button, Toggle, 0, [&](TForm1 &w) {
              return w.Timer2->isActive() && w.ActiveSchedule.startEnabled && checked("日程表");
          }}});
}

TEST_F(AccessibilityWindow, EveryControlIsReachedByTheKeyboardInTheOrderItIsSeen)
{
    for (const char *section : {"设备设置", "输出设置", "文件管理器"})
        control(section, Button)->actionInterface()->doAction(Press);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return m_form->DevicesOpen && m_form->OutputOpen && m_form->FilesOpen; }, 3000));
    QAccessibleInterface *list = control("录音文件列表", QAccessible::NoRole);
    ASSERT_TRUE(list->tableInterface()->selectRow(0));

    QWidget *start = static_cast<QWidget *>(control("录制", Button)->object());
    start->setFocus(Qt::TabFocusReason);
    QStringList order;
    for (int i = 0; i < 60 && (order.isEmpty() || QApplication::focusWidget() != start); ++i) {
        QAccessibleInterface *focus = windowInterface(QApplication::focusWidget());
        order << nameOf(focus);
        // Whatever has the focus can be worked without the pointer.
        EXPECT_TRUE(
            (focus->actionInterface() && !focus->actionInterface()->actionNames().isEmpty()) ||
            focus->valueInterface() || focus->tableInterface() || focus->editableTextInterface() ||
            focus->role() == QAccessible::EditableText)
            << order.last().toStdString();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    // (The MP3 settings button is there for MP3 only, not for the WAV chosen here.)
    const QStringList expected{
        "录制",         "设置",           "热键",           "日程表",       "检测器",
        "设备设置",     "录制设备",       "输入声道",       "录音静音",     "录音音量",
        "输出设置",     "输出格式",       "采样率",         "声道",         "文件管理器",
        "输出文件夹",   "选择输出文件夹", "打开输出文件夹", "录音文件列表", "打开",
        "更多文件操作", "删除",           "另存为...",      "邮件到...",    "播放",
        "暂停播放",     "停止播放",       "第一个",         "上一个",       "下一个",
        "最后一个",     "播放位置",       "播放静音",       "播放音量"};
    EXPECT_EQ(order, expected) << order.join(' ').toStdString();
}

} // namespace
