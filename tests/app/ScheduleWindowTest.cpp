// The scheduler and the tray icon on the main window: the toolbar button and panel,
// recordings started and stopped by the check, the exit question, and the tray menu.
#include "AppTestSupport.h"

#include "scheduler/Scheduleunit.h"
#include "tray/Trayicon.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace sonalto;
using namespace sonalto::test;

namespace {

std::unique_ptr<TForm1> makeScheduledForm()
{
    auto form = makeForm(makeTestBackend());
    form->ScheduleForm = new TScheduleForm(form.get());
    form->ScheduleForm->showMessages = false;
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
        setPart(d.CheckBox1, d.DateTimePicker1, d.DateTimePicker2, now.addSecs(1));
        setPart(d.CheckBox2, d.DateTimePicker3, d.DateTimePicker4, now.addSecs(4));
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->IsRecording; }, 5000));
    EXPECT_FALSE(form->ToolButton10->isEnabled()) << "no editing while recording";
    EXPECT_TRUE(panelShown(*form));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->IsRecording; }, 10000));
    ASSERT_TRUE(waitUntilIdle(*form));
    EXPECT_FALSE(form->Timer2->isActive());
    EXPECT_FALSE(panelShown(*form));
    EXPECT_FALSE(form->ToolButton10->isChecked());
    EXPECT_TRUE(form->ToolButton10->isEnabled());
}

TEST(ScheduleWindow, OnlyAnAcceptedScheduleIsKept)
{
    TempFolders folders;
    auto form = makeScheduledForm();
    const QDateTime later = QDateTime::currentDateTime().addSecs(3600);
    scheduleThroughDialog(*form, [&](TScheduleForm &d) {
        setPart(d.CheckBox1, d.DateTimePicker1, d.DateTimePicker2, later);
    });
    ASSERT_TRUE(form->Timer2->isActive());

    // A start a second away, entered and then cancelled, and the same entered
    // while the dialog stays open for two checks of the schedule.
    scheduleThroughDialog(
        *form,
        [&](TScheduleForm &d) {
            setPart(d.CheckBox1, d.DateTimePicker1, d.DateTimePicker2,
                    QDateTime::currentDateTime().addSecs(1));
            QTest::qWait(2200);
            EXPECT_FALSE(form->IsRecording) << "an edit in the open dialog started a recording";
        },
        false);
    QTest::qWait(1200);
    EXPECT_FALSE(form->IsRecording) << "a cancelled edit started a recording";
    EXPECT_TRUE(form->Timer2->isActive());
    EXPECT_EQ(form->Label17->text(), scheduler::scheduleTimeText(later));
}

TEST(ScheduleWindow, AnyStopEndsTheSchedule)
{
    TempFolders folders;
    auto form = makeScheduledForm();
    const QDateTime now = QDateTime::currentDateTime();
    scheduleThroughDialog(*form, [&](TScheduleForm &d) {
        setPart(d.CheckBox1, d.DateTimePicker1, d.DateTimePicker2, now.addSecs(1));
        setPart(d.CheckBox2, d.DateTimePicker3, d.DateTimePicker4, now.addSecs(3600));
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->IsRecording; }, 5000));
    ASSERT_TRUE(waitUntilStarted(*form));
    ASSERT_TRUE(form->TrayIcon1);
    form->TrayIcon1->Stop2->trigger();
    EXPECT_FALSE(form->IsRecording);
    EXPECT_FALSE(form->Timer2->isActive());
    EXPECT_FALSE(panelShown(*form));
    EXPECT_FALSE(form->ToolButton10->isChecked());
}

TEST(ScheduleWindow, FailedScheduledStartEndsTheScheduleWithOneMessage)
{
    TempFolders folders;
    auto form = makeScheduledForm();
    ASSERT_EQ(form->ComboBox3->currentIndex(), 0) << "records MP3";
    // No lame anywhere: neither in the application folder nor on the search path.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", folders.root().toUtf8());
    const QDateTime now = QDateTime::currentDateTime();
    scheduleThroughDialog(*form, [&](TScheduleForm &d) {
        setPart(d.CheckBox1, d.DateTimePicker1, d.DateTimePicker2, now.addSecs(1));
        setPart(d.CheckBox2, d.DateTimePicker3, d.DateTimePicker4, now.addSecs(3600));
    });
    ASSERT_TRUE(form->Timer2->isActive());
    const bool ended = QTest::qWaitFor([&] { return !form->Timer2->isActive(); }, 10000);
    qputenv("PATH", path);
    ASSERT_TRUE(ended) << form->ShownMessages.join('|').toStdString();
    EXPECT_FALSE(form->IsRecording);
    ASSERT_EQ(form->ShownMessages.size(), 1) << form->ShownMessages.join('|').toStdString();
    EXPECT_TRUE(form->ShownMessages.first().startsWith(QStringLiteral("Couldn't start Encoding")))
        << form->ShownMessages.first().toStdString();
    EXPECT_FALSE(panelShown(*form));
    EXPECT_FALSE(form->ToolButton10->isChecked());
    EXPECT_TRUE(form->ToolButton10->isEnabled()) << "the dialog can be opened again";
}

TEST(ScheduleWindow, ReopenedAfterItEndedPastTimesAreNotANewSchedule)
{
    TempFolders folders;
    auto form = makeScheduledForm();
    EXPECT_EQ(form->ToolButton10->toolTip(), QStringLiteral("日程表"));
    const QDateTime now = QDateTime::currentDateTime();
    scheduleThroughDialog(*form, [&](TScheduleForm &d) {
        setPart(d.CheckBox1, d.DateTimePicker1, d.DateTimePicker2, now.addSecs(1));
        setPart(d.CheckBox2, d.DateTimePicker3, d.DateTimePicker4, now.addSecs(2));
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->Timer2->isActive(); }, 10000));
    ASSERT_TRUE(waitUntilIdle(*form));
    const int rows = form->ListView1->topLevelItemCount();

    // Both boxes are still ticked with the old times: 确定 says why it cannot
    // take them, and the dialog stays open until the user cancels.
    bool refused = false;
    scheduleThroughDialog(
        *form,
        [&](TScheduleForm &d) {
            ASSERT_TRUE(d.CheckBox1->isChecked());
            d.Button1->click();
            refused = d.isVisible();
        },
        false);
    EXPECT_TRUE(refused);
    EXPECT_EQ(form->ScheduleForm->ShownMessages.size(), 1)
        << form->ScheduleForm->ShownMessages.join(QLatin1Char('|')).toStdString();
    EXPECT_FALSE(form->Timer2->isActive());
    EXPECT_FALSE(panelShown(*form));
    EXPECT_EQ(form->ListView1->topLevelItemCount(), rows) << "no recording of no length";
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
    // Without a StatusNotifierItem host the icon restores on a double click.
    EXPECT_FALSE(tray->restoresOnSingleClick());
    EXPECT_EQ(tray->toolTip(), "双击这里显示      \nSonalto 窗口  ");

    tray->Record1->trigger();
    ASSERT_TRUE(waitUntilStarted(*form));
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
    EXPECT_FALSE(tray->Record1->isEnabled()) << "not while the take is being finished";
    ASSERT_TRUE(waitUntilIdle(*form));
    EXPECT_EQ(tray->picture(), 1);
    EXPECT_TRUE(tray->Record1->isEnabled());
    EXPECT_FALSE(tray->Pause2->isEnabled());
    EXPECT_EQ(tray->Pause2->text(), "暂停");

    form->hide();
    emit tray->restoreRequested();
    EXPECT_TRUE(form->isVisible());
    form->showMinimized();
    tray->ShowWindow1->trigger();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());
}
