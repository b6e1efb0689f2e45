#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace sonalto::scheduler {

// A timed start and stop of a recording, as entered in the scheduler dialog. Either
// part can be off; the times are local date-times.
struct Schedule
{
    bool startEnabled = false;
    QDateTime start;
    bool stopEnabled = false;
    QDateTime stop;
};

// What one check of the schedule acts on: the record and stop commands of the main
// window, which are only available in the matching recording state.
class ScheduleTarget
{
public:
    virtual ~ScheduleTarget() = default;
    virtual bool canRecord() const = 0;
    // Whether the recording started.
    virtual bool record() = 0;
    virtual bool canStop() const = 0;
    virtual void stop() = 0;
};

// "Later" is strict: a time equal to now has not passed yet.
bool startDue(const Schedule &schedule, const QDateTime &now);
bool stopDue(const Schedule &schedule, const QDateTime &now);
// Both times lie behind us, whether their parts are enabled or not.
bool scheduleOver(const Schedule &schedule, const QDateTime &now);

// One tick of the check: starts a due recording, then stops a due one (which may be
// the recording just started, when the stop lies before the start). Returns false
// when the schedule has run its course and should no longer be checked: both times
// have passed, or the start failed (trying again at every tick would only repeat
// the failure).
bool checkSchedule(const Schedule &schedule, const QDateTime &now, ScheduleTarget &target);

// What makes a schedule entered in the dialog one that cannot be kept.
enum class ScheduleFault {
    None,
    StartPassed,     // the start lies before the current second
    StopPassed,      // the stop lies before the current second
    StopBeforeStart, // both enabled and the stop is not later than the start
};
ScheduleFault scheduleFault(const Schedule &schedule, const QDateTime &now);
// The message the dialog shows for a fault (empty for None).
QString scheduleFaultText(ScheduleFault fault);

// The durations offered for "stop after": "1 分钟" ... "4 小时".
QStringList durationItems();
// Seconds of the item at that position; 0 outside the list.
int durationSeconds(int index);
// The stop for a recording of the item's duration from start (may fall on a later day).
QDateTime stopAfter(const QDateTime &start, int durationIndex);

// The date of one value with the time of day of another, as the date and time pickers
// are combined into one moment.
QDateTime combine(const QDateTime &datePart, const QDateTime &timePart);

// The text the toolbar panel shows for a moment: "2014-1-18 10:30:00", or the date
// alone at exactly midnight.
QString scheduleTimeText(const QDateTime &t);

} // namespace sonalto::scheduler
