#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "scheduler/calendar.h"
#include "scheduler/clock.h"

namespace lingchao {

// One bell of a day's plan.
struct PlanBell {
    TimeOfDay setTime;   // the job's time
    TimeOfDay ringTime;  // the set time moved by the day's shift
    int record = 0;      // record number in the plan's source
    int jobNo = 0;
    std::string name;  // trimmed
    std::string path;  // music for the plan's song weekday
    bool skipped = false;
};

// What one date rings: the calendar's rule for it and the group file its jobs come from.
struct PlanOfDay {
    CalendarDate date;
    int weekday = 1;
    DayRule rule;
    std::filesystem::path source;  // "default.dll", or "job/<group>" on a group date
    std::string sourceProblem;     // why a calendar group cannot be read ("" when it can)
    bool calendarPresent = false;  // a calendar file exists

    bool Rings() const { return rule.Rings() && sourceProblem.empty(); }
    // The group's name as the user knows it: its file name less ".sav"; "" on a day of the timetable in use.
    std::string GroupName() const;
};

// The plan of `date` under `calendar`; the timetable in use when no calendar entry speaks for it.
PlanOfDay ResolveDayPlan(const std::filesystem::path& appFolder, const CalendarRead& calendar,
                         const CalendarDate& date);

// The bells the plan rings, by ring time: every START job for the date, the first of each minute only (the fire
// lock holds back the others). Skipped bells are listed, marked. Empty on a day without bells.
std::vector<PlanBell> PlanBells(const PlanOfDay& plan);
int CountRinging(const std::vector<PlanBell>& bells);
// The next bell not skipped whose ring minute is after `now`'s minute.
std::optional<PlanBell> NextBell(const std::vector<PlanBell>& bells, const TimeOfDay& now);

std::string WeekdayName(int weekday);  // "周一" ... "周日"
// "今天（周一）：12 个铃声，下一个 08:45 第一节下课", "明天（周六）：休息日，不响铃", ...
std::string PlanLine(const PlanOfDay& plan, const std::vector<PlanBell>& bells, const LocalDateTime& now);
// The today-only changes in force: "今天已推迟 10 分钟", "已跳过 08:45 第一节下课"; "" when none.
std::string TodayChangesLine(const PlanOfDay& plan, const std::vector<PlanBell>& bells);
// For the eve: tomorrow is a school day without a single bell, or its group cannot be read; "" when fine.
// Only with a calendar file: without one the program warns of nothing new.
std::string TomorrowWarning(const PlanOfDay& plan, const std::vector<PlanBell>& bells);

// Today's and tomorrow's bells for one date, reading "calendar.csv" and the group files afresh: for callers
// outside the running scheduler (a command-line check).
struct DayBells {
    PlanOfDay plan;
    std::vector<PlanBell> bells;
    std::vector<CalendarProblem> calendarProblems;
};
DayBells BellsOfDate(const std::filesystem::path& appFolder, const CalendarDate& date);

CalendarDate NextDate(const CalendarDate& date);

}  // namespace lingchao
