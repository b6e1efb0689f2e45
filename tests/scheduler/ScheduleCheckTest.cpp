#include "scheduler/ScheduleCheck.h"

#include <gtest/gtest.h>

using namespace sonalto::scheduler;

namespace {

// Behaves like the main window: record is only available while idle, stop only
// while recording.
struct FakeRecorder : ScheduleTarget
{
    bool recording = false;
    bool startFails = false; // as when the encoder program is missing
    int starts = 0, stops = 0;
    bool canRecord() const override { return !recording; }
    bool record() override
    {
        ++starts;
        recording = !startFails;
        return recording;
    }
    bool canStop() const override { return recording; }
    void stop() override
    {
        recording = false;
        ++stops;
    }
};

QDateTime at(int h, int m, int s = 0, int ms = 0, int day = 18)
{
    return QDateTime(QDate(2014, 1, day), QTime(h, m, s, ms));
}

} // namespace

TEST(ScheduleCheck, StartAndStopOnTheSameDay)
{
    const Schedule s{true, at(10, 0), true, at(10, 30)};
    FakeRecorder r;
    // Strictly later: the exact start time does not start yet.
    EXPECT_TRUE(checkSchedule(s, at(10, 0), r));
    EXPECT_FALSE(r.recording);
    EXPECT_TRUE(checkSchedule(s, at(10, 0, 0, 400), r));
    EXPECT_TRUE(r.recording);
    EXPECT_TRUE(checkSchedule(s, at(10, 15), r));
    EXPECT_TRUE(checkSchedule(s, at(10, 30), r));
    EXPECT_TRUE(r.recording);
    EXPECT_FALSE(checkSchedule(s, at(10, 30, 0, 300), r)) << "both times passed: schedule ends";
    EXPECT_FALSE(r.recording);
    EXPECT_EQ(r.starts, 1);
    EXPECT_EQ(r.stops, 1);
}

TEST(ScheduleCheck, StartOnlyEndsAtTheStartAndLeavesTheRecordingRunning)
{
    // The disabled stop keeps its opening default, before the start.
    const Schedule s{true, at(10, 10), false, at(10, 5)};
    FakeRecorder r;
    EXPECT_TRUE(checkSchedule(s, at(10, 6), r)) << "the stop alone has passed";
    EXPECT_FALSE(r.recording);
    EXPECT_FALSE(checkSchedule(s, at(10, 10, 0, 200), r));
    EXPECT_TRUE(r.recording);
    EXPECT_EQ(r.stops, 0);
}

TEST(ScheduleCheck, StopOnlyStopsARunningRecordingAndOtherwiseJustEnds)
{
    const Schedule s{false, at(9, 0), true, at(10, 0)};
    FakeRecorder r;
    r.recording = true;
    EXPECT_TRUE(checkSchedule(s, at(9, 59), r));
    EXPECT_FALSE(checkSchedule(s, at(10, 0, 1), r));
    EXPECT_FALSE(r.recording);
    EXPECT_EQ(r.starts, 0);

    FakeRecorder idle;
    EXPECT_FALSE(checkSchedule(s, at(10, 0, 1), idle));
    EXPECT_EQ(idle.stops, 0);
}

TEST(ScheduleCheck, StartAfterStopRecordsAndStopsInOneTick)
{
    const Schedule s{true, at(10, 10), true, at(10, 0)};
    FakeRecorder r;
    EXPECT_TRUE(checkSchedule(s, at(10, 5), r)) << "the stop passes without effect";
    EXPECT_EQ(r.stops, 0);
    EXPECT_FALSE(checkSchedule(s, at(10, 10, 1), r));
    EXPECT_EQ(r.starts, 1);
    EXPECT_EQ(r.stops, 1);
    EXPECT_FALSE(r.recording);
}

TEST(ScheduleCheck, StartWhileRecordingDoesNothing)
{
    const Schedule s{true, at(10, 0), true, at(11, 0)};
    FakeRecorder r;
    r.recording = true;
    EXPECT_TRUE(checkSchedule(s, at(10, 0, 1), r));
    EXPECT_EQ(r.starts, 0);
    EXPECT_TRUE(r.recording);
}

TEST(ScheduleCheck, EndsOnceBothTimesPassedEvenWithNothingEnabled)
{
    const Schedule s{false, at(10, 0), false, at(10, 5)};
    FakeRecorder r;
    EXPECT_TRUE(checkSchedule(s, at(10, 4), r));
    EXPECT_FALSE(checkSchedule(s, at(10, 5, 1), r));
    EXPECT_EQ(r.starts + r.stops, 0);
}

TEST(ScheduleDurations, ItemsAndStopTimes)
{
    const QStringList items = durationItems();
    ASSERT_EQ(items.size(), 12);
    EXPECT_EQ(items.front(), "1 分钟");
    EXPECT_EQ(items[1], "2 分钟");
    EXPECT_EQ(items[7], "45 分钟");
    EXPECT_EQ(items[8], "1 小时");
    EXPECT_EQ(items.back(), "4 小时");
    EXPECT_EQ(durationSeconds(7), 45 * 60);
    EXPECT_EQ(durationSeconds(11), 4 * 3600);
    EXPECT_EQ(durationSeconds(12), 0);
    EXPECT_EQ(durationSeconds(-1), 0);

    EXPECT_EQ(stopAfter(at(23, 50), 6), at(0, 20, 0, 0, 19)) << "crosses midnight";
    EXPECT_EQ(stopAfter(at(10, 0, 30), 0), at(10, 1, 30));
}

TEST(ScheduleTimes, CombineAndText)
{
    EXPECT_EQ(combine(at(23, 59, 59, 0, 20), at(8, 5, 0, 0, 3)), at(8, 5, 0, 0, 20));
    EXPECT_EQ(scheduleTimeText(at(0, 0)), "2014-1-18") << "midnight shows the date alone";
    const QString text = scheduleTimeText(at(9, 5, 7));
    EXPECT_TRUE(text.startsWith("2014-1-18 ")) << text.toStdString();
    EXPECT_TRUE(text.contains("05:07")) << text.toStdString();
}

TEST(ScheduleCheck, FailedStartEndsTheSchedule)
{
    // Trying again at every tick would only repeat the failure and its message.
    const Schedule s{true, at(10, 0), true, at(11, 0)};
    FakeRecorder r;
    r.startFails = true;
    EXPECT_FALSE(checkSchedule(s, at(10, 0, 1), r));
    EXPECT_EQ(r.starts, 1);
    EXPECT_EQ(r.stops, 0);
}

TEST(ScheduleCheck, OnlyTimesToComeInTheRightOrderMakeASchedule)
{
    const QDateTime now = at(10, 0, 0, 700);
    EXPECT_EQ(scheduleFault({true, at(10, 5), true, at(10, 30)}, now), ScheduleFault::None);
    // The current second has not passed yet (the pickers hold whole seconds).
    EXPECT_EQ(scheduleFault({true, at(10, 0), false, at(9, 0)}, now), ScheduleFault::None);
    EXPECT_EQ(scheduleFault({true, at(9, 59, 59), false, at(9, 0)}, now),
              ScheduleFault::StartPassed);
    // A part that is off is not looked at.
    EXPECT_EQ(scheduleFault({false, at(9, 0), true, at(10, 1)}, now), ScheduleFault::None);
    EXPECT_EQ(scheduleFault({false, at(9, 0), true, at(9, 30)}, now), ScheduleFault::StopPassed);
    EXPECT_EQ(scheduleFault({true, at(10, 30), true, at(10, 20)}, now),
              ScheduleFault::StopBeforeStart);
    EXPECT_EQ(scheduleFault({true, at(10, 30), true, at(10, 30)}, now),
              ScheduleFault::StopBeforeStart);
    EXPECT_EQ(scheduleFault({false, at(9, 0), false, at(9, 0)}, now), ScheduleFault::None);
    EXPECT_TRUE(scheduleFaultText(ScheduleFault::None).isEmpty());
    for (auto fault :
         {ScheduleFault::StartPassed, ScheduleFault::StopPassed, ScheduleFault::StopBeforeStart})
        EXPECT_FALSE(scheduleFaultText(fault).isEmpty());
}
