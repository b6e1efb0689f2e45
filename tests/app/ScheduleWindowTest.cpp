// The scheduler and the tray icon on the main window: the toolbar button and panel,
// recordings started and stopped by the check, the exit question, and the tray menu.
#include "AppTestSupport.h"

#include "scheduler/Scheduleunit.h"
#include "tray/Trayicon.h"

#include <QAction>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace sonalto;
using namespace sonalto::test;

namespace {

std::unique_ptr<TForm1> makeScheduledForm()
{
    auto form = makeForm(makeTestBackend());
    form->ScheduleForm = new TScheduleForm(form.get());
    form->show();
    return form;
}

// Opens the dialog from the toolbar, lets `fill` set it up while it is open, then
// presses 确定 (or 取消).
void scheduleThroughDialog(TForm1 &form, const std::function<void(TScheduleForm &)> &fill,
                           bool accept = true)
{
    QTimer::singleShot(0, &form, [&] {
        fill(*form.ScheduleForm);
        (accept ? form.ScheduleForm->Button1 : form.ScheduleForm->Button2)->click();
    });
    form.ToolButton10->click();
}

void setPart(QCheckBox *box, QDateTimeEdit *date, QDateTimeEdit *time, const QDateTime &when)
{
    if (!box->isChecked())
        box->click();
    date->setDateTime(when);
    time->setDateTime(when);
}

bool panelShown(const TForm1 &form)
{
    return form.Panel11->isVisibleTo(form.ToolBar1);
}

} // namespace

TEST(ScheduleWindow, OkShowsThePanelAndOkWithNothingCheckedHidesIt)
{
    TempFolders folders;
    auto form = makeScheduledForm();
    EXPECT_FALSE(panelShown(*form));
    const QDateTime start = QDateTime::currentDateTime().addSecs(3600);
    scheduleThroughDialog(*form, [&](TScheduleForm &d) {
        setPart(d.CheckBox1, d.DateTimePicker1, d.DateTimePicker2, start);
    });
    EXPECT_TRUE(form->Timer2->isActive());
    EXPECT_TRUE(panelShown(*form));
    EXPECT_TRUE(form->ToolButton10->isChecked());
    EXPECT_EQ(form->Label17->text(), scheduler::scheduleTimeText(start));
    EXPECT_TRUE(form->Label17->isEnabled());
    EXPECT_EQ(form->Label18->text(), "-");
    EXPECT_FALSE(form->Label21->isEnabled());

    // 取消 changes nothing on the window.
    scheduleThroughDialog(
        *form, [](TScheduleForm &d) { d.CheckBox2->click(); }, false);
    EXPECT_TRUE(panelShown(*form));
    EXPECT_EQ(form->Label18->text(), "-");

    scheduleThroughDialog(*form, [](TScheduleForm &d) {
        d.CheckBox1->click();
        if (d.CheckBox2->isChecked())
            d.CheckBox2->click();
    });
    EXPECT_FALSE(form->Timer2->isActive());
    EXPECT_FALSE(panelShown(*form));
    EXPECT_FALSE(form->ToolButton10->isChecked());
}

TEST(ScheduleWindow, RecordsFromStartToStopThenEnds)
{
    TempFolders folders;
    auto form = makeScheduledForm();
    const QDateTime now = QDateTime::currentDateTime();
    scheduleThroughDialog(*form, [&](TScheduleForm &d) {
        setPart(d.CheckBox1, d.DateTimePicker1, d.DateTimePicker2, now.addSecs(-1));
        setPart(d.CheckBox2, d.DateTimePicker3, d.DateTimePicker4, now.addSecs(3));
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->IsRecording; }, 5000));
    EXPECT_FALSE(form->ToolButton10->isEnabled()) << "no editing while recording";
    EXPECT_TRUE(panelShown(*form));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->IsRecording; }, 10000));
    EXPECT_FALSE(form->Timer2->isActive());
    EXPECT_FALSE(panelShown(*form));
    EXPECT_FALSE(form->ToolButton10->isChecked());
    EXPECT_TRUE(form->ToolButton10->isEnabled());
}

TEST(ScheduleWindow, AnyStopEndsTheSchedule)
{
    TempFolders folders;
    auto form = makeScheduledForm();
    const QDateTime now = QDateTime::currentDateTime();
    scheduleThroughDialog(*form, [&](TScheduleForm &d) {
        setPart(d.CheckBox1, d.DateTimePicker1, d.DateTimePicker2, now.addSecs(-1));
        setPart(d.CheckBox2, d.DateTimePicker3, d.DateTimePicker4, now.addSecs(3600));
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->IsRecording; }, 5000));
    ASSERT_TRUE(form->TrayIcon1);
    form->TrayIcon1->Stop2->trigger();
    EXPECT_FALSE(form->IsRecording);
    EXPECT_FALSE(form->Timer2->isActive());
    EXPECT_FALSE(panelShown(*form));
    EXPECT_FALSE(form->ToolButton10->isChecked());
}

TEST(ScheduleWindow, ExitAsksOnlyWhileTheScheduleIsActive)
{
    TempFolders folders;
    auto form = makeScheduledForm();
    form->MinitoTray = false;
    const QString question = "Schedule is running.\n\nDo you want to stop it and Exit now?";
    scheduleThroughDialog(*form, [&](TScheduleForm &d) {
        setPart(d.CheckBox1, d.DateTimePicker1, d.DateTimePicker2,
                QDateTime::currentDateTime().addSecs(3600));
    });
    form->AutoAnswerOk = false;
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->ShownMessages.contains(question));
    EXPECT_TRUE(form->Timer2->isActive()) << "Cancel keeps the schedule";

    scheduleThroughDialog(*form, [](TScheduleForm &d) { d.CheckBox1->click(); });
    form->ShownMessages.clear();
    form->AutoAnswerOk = true;
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(form->ShownMessages.contains(question));
}

TEST(TrayOnWindow, MenuFollowsTheRecordingAndShowsTheWindow)
{
    TempFolders folders;
    auto form = makeScheduledForm();
    TTrayIcon *tray = form->TrayIcon1;
    ASSERT_TRUE(tray);
    EXPECT_EQ(tray->picture(), 4);
    EXPECT_EQ(tray->toolTip(), "单击这里显示      \nSonalto 窗口  ");

    tray->Record1->trigger();
    ASSERT_TRUE(form->IsRecording);
    EXPECT_EQ(tray->picture(), 0);
    EXPECT_FALSE(tray->Record1->isEnabled());
    EXPECT_TRUE(tray->Pause2->isEnabled());
    EXPECT_TRUE(tray->Stop2->isEnabled());
    tray->Pause2->trigger();
    EXPECT_EQ(tray->Pause2->text(), "Resume");
    EXPECT_EQ(tray->picture(), 3);
    tray->Stop2->trigger();
    EXPECT_EQ(tray->picture(), 1);
    EXPECT_TRUE(tray->Record1->isEnabled());
    EXPECT_FALSE(tray->Pause2->isEnabled());
    EXPECT_EQ(tray->Pause2->text(), "暂停");

    form->hide();
    emit tray->doubleClicked();
    EXPECT_TRUE(form->isVisible());
    form->showMinimized();
    tray->ShowWindow1->trigger();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());
}
