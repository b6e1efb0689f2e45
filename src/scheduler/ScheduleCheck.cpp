#include "scheduler/ScheduleCheck.h"

#include "library/ListFormat.h"

#include <QCoreApplication>

#include <array>

namespace sonalto::scheduler {

namespace {

struct Duration
{
    const char *text;
    int seconds;
};

constexpr std::array<Duration, 12> Durations{{
    {QT_TRANSLATE_NOOP("sonalto::scheduler", "1 分钟"), 60},
    {QT_TRANSLATE_NOOP("sonalto::scheduler", "2 分钟"), 2 * 60},
    {QT_TRANSLATE_NOOP("sonalto::scheduler", "5 分钟"), 5 * 60},
    {QT_TRANSLATE_NOOP("sonalto::scheduler", "10 分钟"), 10 * 60},
    {QT_TRANSLATE_NOOP("sonalto::scheduler", "15 分钟"), 15 * 60},
    {QT_TRANSLATE_NOOP("sonalto::scheduler", "20 分钟"), 20 * 60},
    {QT_TRANSLATE_NOOP("sonalto::scheduler", "30 分钟"), 30 * 60},
    {QT_TRANSLATE_NOOP("sonalto::scheduler", "45 分钟"), 45 * 60},
    {QT_TRANSLATE_NOOP("sonalto::scheduler", "1 小时"), 3600},
    {QT_TRANSLATE_NOOP("sonalto::scheduler", "2 小时"), 2 * 3600},
    {QT_TRANSLATE_NOOP("sonalto::scheduler", "3 小时"), 3 * 3600},
    {QT_TRANSLATE_NOOP("sonalto::scheduler", "4 小时"), 4 * 3600},
}};

} // namespace

bool startDue(const Schedule &schedule, const QDateTime &now)
{
    return schedule.startEnabled && now > schedule.start;
}

bool stopDue(const Schedule &schedule, const QDateTime &now)
{
    return schedule.stopEnabled && now > schedule.stop;
}

bool scheduleOver(const Schedule &schedule, const QDateTime &now)
{
    return now > schedule.stop && now > schedule.start;
}

bool checkSchedule(const Schedule &schedule, const QDateTime &now, ScheduleTarget &target)
{
    if (startDue(schedule, now) && target.canRecord() && !target.record())
        return false;
    // Asked again after a start: a stop that has already passed ends the recording
    // that was started a moment ago.
    if (stopDue(schedule, now) && target.canStop())
        target.stop();
    return !scheduleOver(schedule, now);
}

ScheduleFault scheduleFault(const Schedule &schedule, const QDateTime &now)
{
    // The pickers hold whole seconds: a time in the current second has not passed.
    const QDateTime second = now.addMSecs(-now.time().msec());
    if (schedule.startEnabled && schedule.start < second)
        return ScheduleFault::StartPassed;
    if (schedule.stopEnabled && schedule.stop < second)
        return ScheduleFault::StopPassed;
    if (schedule.startEnabled && schedule.stopEnabled && schedule.stop <= schedule.start)
        return ScheduleFault::StopBeforeStart;
    return ScheduleFault::None;
}

QString scheduleFaultText(ScheduleFault fault)
{
    switch (fault) {
    case ScheduleFault::StartPassed:
        return QCoreApplication::translate("sonalto::scheduler",
                                           "开始时间已经过去，请设置以后的时间。");
    case ScheduleFault::StopPassed:
        return QCoreApplication::translate("sonalto::scheduler",
                                           "停止时间已经过去，请设置以后的时间。");
    case ScheduleFault::StopBeforeStart:
        return QCoreApplication::translate("sonalto::scheduler", "停止时间必须晚于开始时间。");
    case ScheduleFault::None:
        break;
    }
    return QString();
}

QStringList durationItems()
{
    QStringList items;
    for (const Duration &d : Durations)
        items << QCoreApplication::translate("sonalto::scheduler", d.text);
    return items;
}

int durationSeconds(int index)
{
    if (index < 0 || index >= int(Durations.size()))
        return 0;
    return Durations[size_t(index)].seconds;
}

QDateTime stopAfter(const QDateTime &start, int durationIndex)
{
    return start.addSecs(durationSeconds(durationIndex));
}

QDateTime combine(const QDateTime &datePart, const QDateTime &timePart)
{
    return QDateTime(datePart.date(), timePart.time());
}

QString scheduleTimeText(const QDateTime &t)
{
    return library::dateText(t);
}

} // namespace sonalto::scheduler
