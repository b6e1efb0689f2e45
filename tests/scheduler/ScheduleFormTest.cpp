#include "scheduler/Scheduleunit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace sonalto;

namespace {

QDateTime at(int h, int m, int day = 18)
{
    return QDateTime(QDate(2014, 1, day), QTime(h, m));
}

// A moment of next year, for schedules that must lie ahead.
QDateTime ahead(int h, int m, int day = 18)
{
    return QDateTime(QDate(QDate::currentDate().year() + 1, 1, day), QTime(h, m));
}

qint64 secondsFromNow(const QDateTimeEdit *picker)
{
    return QDateTime::currentDateTime().secsTo(picker->dateTime());
}

} // namespace

TEST(ScheduleForm, CheckBoxesEnableTheirGroups)
{
    TScheduleForm form;
    EXPECT_EQ(form.windowTitle(), "日程表");
    EXPECT_EQ(form.ComboBox1->currentText(), "2 分钟");
    const QList<QWidget *> upper{form.Label1, form.DateTimePicker1, form.Label2,
                                 form.DateTimePicker2};
    const QList<QWidget *> lower{form.Label3,          form.DateTimePicker3, form.Label4,
                                 form.DateTimePicker4, form.ComboBox1,       form.Button3};
    for (QWidget *w : upper + lower)
        EXPECT_FALSE(w->isEnabled()) << w->metaObject()->className();
    EXPECT_TRUE(form.CheckBox1->isEnabled());
    EXPECT_TRUE(form.CheckBox2->isEnabled());

    form.CheckBox2->click();
    for (QWidget *w : lower)
        EXPECT_TRUE(w->isEnabled());
    for (QWidget *w : upper)
        EXPECT_FALSE(w->isEnabled());
    form.CheckBox1->click();
    form.CheckBox2->click();
    for (QWidget *w : upper)
        EXPECT_TRUE(w->isEnabled());
    for (QWidget *w : lower)
        EXPECT_FALSE(w->isEnabled());
}

TEST(ScheduleForm, OpeningProposesTimesOnlyForDisabledParts)
{
    TScheduleForm form;
    form.show();
    EXPECT_NEAR(secondsFromNow(form.DateTimePicker1), 180, 5);
    EXPECT_NEAR(secondsFromNow(form.DateTimePicker2), 180, 5);
    EXPECT_NEAR(secondsFromNow(form.DateTimePicker3), 300, 5);
    EXPECT_NEAR(secondsFromNow(form.DateTimePicker4), 300, 5);
    form.hide();

    form.CheckBox1->click();
    form.DateTimePicker1->setDateTime(at(10, 0));
    form.DateTimePicker2->setDateTime(at(10, 0));
    form.show();
    EXPECT_EQ(form.DateTimePicker1->dateTime(), at(10, 0)) << "an enabled part keeps its values";
    EXPECT_EQ(form.DateTimePicker2->dateTime(), at(10, 0));
    EXPECT_NEAR(secondsFromNow(form.DateTimePicker3), 300, 5);
}

TEST(ScheduleForm, PickersEditOnlyTheirOwnPart)
{
    TScheduleForm form;
    form.CheckBox1->click();
    form.show();
    form.DateTimePicker1->setDateTime(at(10, 30));
    form.DateTimePicker2->setDateTime(at(10, 30));
    form.DateTimePicker1->setFocus();
    form.DateTimePicker1->setSelectedSection(QDateTimeEdit::DaySection);
    QTest::keyClick(form.DateTimePicker1, Qt::Key_Up);
    EXPECT_EQ(form.DateTimePicker1->dateTime(), at(10, 30, 19));
    form.DateTimePicker2->setFocus();
    form.DateTimePicker2->setSelectedSection(QDateTimeEdit::HourSection);
    QTest::keyClick(form.DateTimePicker2, Qt::Key_Up);
    EXPECT_EQ(form.DateTimePicker2->dateTime(), at(11, 30));
}

TEST(ScheduleForm, SetStopTimeCountsFromTheStartTimePicker)
{
    TScheduleForm form;
    form.CheckBox1->click();
    form.CheckBox2->click();
    form.DateTimePicker2->setDateTime(at(23, 50));
    // A start date changed since the last 确定 is not taken into account.
    form.DateTimePicker1->setDateTime(at(23, 50, 25));
    form.ComboBox1->setCurrentIndex(6); // 30 分钟
    form.Button3->click();
    EXPECT_EQ(form.DateTimePicker3->dateTime(), at(0, 20, 19));
    EXPECT_EQ(form.DateTimePicker4->dateTime(), at(0, 20, 19));
    EXPECT_TRUE(form.CheckBox2->isChecked());
}

TEST(ScheduleForm, OkJoinsDateAndTimeOfEachPart)
{
    TScheduleForm form;
    form.open();
    form.CheckBox1->click();
    form.DateTimePicker1->setDateTime(ahead(7, 0, 25));
    form.DateTimePicker2->setDateTime(ahead(10, 0, 3));
    form.DateTimePicker3->setDateTime(ahead(1, 0, 26));
    form.DateTimePicker4->setDateTime(ahead(12, 15, 4));
    form.Button1->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_FALSE(form.isVisible());
    for (auto *picker : {form.DateTimePicker1, form.DateTimePicker2})
        EXPECT_EQ(picker->dateTime(), ahead(10, 0, 25));
    // The disabled stop is joined as well: its value is what a later check compares.
    for (auto *picker : {form.DateTimePicker3, form.DateTimePicker4})
        EXPECT_EQ(picker->dateTime(), ahead(12, 15, 26));
    const scheduler::Schedule s = form.schedule();
    EXPECT_TRUE(s.startEnabled);
    EXPECT_FALSE(s.stopEnabled);
    EXPECT_EQ(s.start, ahead(10, 0, 25));
    EXPECT_TRUE(form.hasEnabledPart());
}

TEST(ScheduleForm, PastOrReversedTimesAreRefusedWithTheReason)
{
    TScheduleForm form;
    form.showMessages = false;
    form.open();
    // Both parts ticked with times of a schedule that has run its course.
    form.CheckBox1->click();
    form.CheckBox2->click();
    form.DateTimePicker1->setDateTime(at(10, 0));
    form.DateTimePicker2->setDateTime(at(10, 0));
    form.DateTimePicker3->setDateTime(at(10, 30));
    form.DateTimePicker4->setDateTime(at(10, 30));
    form.Button1->click();
    EXPECT_TRUE(form.isVisible()) << "the dialog stays open to correct the time";
    ASSERT_EQ(form.ShownMessages.size(), 1);
    EXPECT_EQ(form.ShownMessages.last(),
              scheduler::scheduleFaultText(scheduler::ScheduleFault::StartPassed));
    EXPECT_EQ(form.DateTimePicker1->dateTime(), at(10, 0)) << "nothing was joined";

    // A start ahead with a stop before it.
    form.DateTimePicker1->setDateTime(ahead(10, 0));
    form.DateTimePicker2->setDateTime(ahead(10, 0));
    form.DateTimePicker3->setDateTime(ahead(9, 0));
    form.DateTimePicker4->setDateTime(ahead(9, 0));
    form.Button1->click();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.ShownMessages.last(),
              scheduler::scheduleFaultText(scheduler::ScheduleFault::StopBeforeStart));

    // With the stop off, its old value no longer matters.
    form.CheckBox2->click();
    form.Button1->click();
    EXPECT_EQ(form.ShownMessages.size(), 2);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_FALSE(form.isVisible());
}

TEST(ScheduleForm, EscapeCancels)
{
    TScheduleForm form;
    form.open();
    form.CheckBox2->click();
    form.DateTimePicker4->setDateTime(at(12, 0));
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_FALSE(form.isVisible());
    // Cancel keeps what the user changed; the main window decides what it acts on.
    EXPECT_TRUE(form.CheckBox2->isChecked());
    EXPECT_EQ(form.DateTimePicker4->dateTime(), at(12, 0));
}
