#include "scheduler/check_report.h"

#include <algorithm>
#include <ostream>

#include "base/file_util.h"
#include "base/text.h"
#include "scheduler/self_check.h"
#include "store/group_file.h"

namespace lingchao {
namespace {

const char* WeekdayName(int weekday) {
    static constexpr const char* kNames[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                             "Friday", "Saturday", "Sunday"};
    return weekday >= 1 && weekday <= 7 ? kNames[weekday - 1] : "?";
}

std::string JobText(int jobNo, const std::string& name) { return "job " + std::to_string(jobNo) + " \"" + name + "\""; }

void WriteBells(std::ostream& out, const char* day, const CalendarDate& date, const DayPlan& plan) {
    out << day << ", " << WeekdayName(WeekdayOf(date)) << " " << DateText(date) << ": ";
    if (plan.bells.empty()) {
        out << "no bells\n";
        return;
    }
    out << plan.bells.size() << (plan.bells.size() == 1 ? " bell\n" : " bells\n");
    for (const auto& b : plan.bells) {
        out << "  " << HourMinuteText(b.time) << "  " << JobText(b.jobNo, b.name) << "  " << b.path;
        if (b.lockedBy != 0) out << "  (passed over: job " << b.lockedBy << " rings in this minute)";
        out << "\n";
    }
}

// What the self-check would show on a day of that weekday, one line each.
std::vector<std::string> MusicProblems(const std::filesystem::path& groupFile, int weekday, MediaProbe& probe) {
    std::vector<std::string> lines;
    for (const auto& p : CheckTodaysMusic(groupFile, weekday, probe)) {
        if (p.IsNote()) continue;  // found by name: it plays
        lines.push_back(JobText(p.jobNo, p.jobName) + " cannot play \"" + p.path + "\": " + p.reason);
    }
    return lines;
}

void WriteProblems(std::ostream& out, const char* heading, const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    out << heading << ":\n";
    for (const auto& line : lines) out << "  " << line << "\n";
}

}  // namespace

DayPlan BellsOfDay(const std::filesystem::path& groupFile, const CalendarDate& date) {
    DayPlan plan;
    const auto content = ReadFileBytes(groupFile);
    if (!content) return plan;
    const int n = JobCountFromLength(content->size());
    const int weekday = WeekdayOf(date);
    for (int k = 1; k <= n; ++k) {
        const JobRecord r = DecodeJobRecord(RecordFrom(*content, k));
        if (TrimRight(r.JobState) != "START") continue;
        const std::string name(Trim(r.JobName));
        const std::string_view dateText = Trim(r.JobDate);
        const auto time = ParseTimeOfDay(r.JobTime);
        const auto jobDate = ParseDate(dateText);
        if (!time) {
            plan.damaged.push_back({r.JobNo, name, "time"});
        } else if (dateText != "Everyday" && !jobDate) {
            plan.damaged.push_back({r.JobNo, name, "date"});
        } else if (dateText == "Everyday" || *jobDate == date) {
            plan.bells.push_back({{time->hour, time->minute, 0}, r.JobNo, name, MusicForWeekday(r, weekday), 0});
        }
    }
    // The scheduler's order: by time, equal times in file order; the first of a minute takes the fire lock.
    std::stable_sort(plan.bells.begin(), plan.bells.end(),
                     [](const PlannedBell& a, const PlannedBell& b) { return a.time.Seconds() < b.time.Seconds(); });
    for (std::size_t i = 1; i < plan.bells.size(); ++i) {
        const PlannedBell& before = plan.bells[i - 1];
        if (before.time == plan.bells[i].time) {
            plan.bells[i].lockedBy = before.lockedBy != 0 ? before.lockedBy : before.jobNo;
        }
    }
    return plan;
}

CalendarDate NextDay(const CalendarDate& date) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (date.year % 4 == 0 && date.year % 100 != 0) || date.year % 400 == 0;
    const int inMonth = date.month == 2 && leap ? 29 : kDays[(date.month + 11) % 12];
    if (date.day < inMonth) return {date.year, date.month, date.day + 1};
    if (date.month < 12) return {date.year, date.month + 1, 1};
    return {date.year + 1, 1, 1};
}

bool WriteCheckReport(std::ostream& out, const CheckInput& input) {
    const CalendarDate today = input.now.date;
    const CalendarDate tomorrow = NextDay(today);
    const DayPlan todays = BellsOfDay(input.groupFile, today);
    const DayPlan tomorrows = BellsOfDay(input.groupFile, tomorrow);
    WriteBells(out, "today", today, todays);
    WriteBells(out, "tomorrow", tomorrow, tomorrows);

    std::vector<std::string> problems = MusicProblems(input.groupFile, input.now.weekday, *input.probe);
    for (const auto& d : todays.damaged) {
        problems.push_back(JobText(d.jobNo, d.name) + " never rings: its " + d.what + " is unreadable");
    }
    problems.insert(problems.end(), input.otherProblems.begin(), input.otherProblems.end());
    WriteProblems(out, "problems today", problems);
    WriteProblems(out, "problems tomorrow", MusicProblems(input.groupFile, WeekdayOf(tomorrow), *input.probe));

    if (problems.empty()) {
        out << "ok: every bell of today can play\n";
        return true;
    }
    out << "NOT OK: " << problems.size() << (problems.size() == 1 ? " problem" : " problems")
        << " with today's bells\n";
    return false;
}

}  // namespace lingchao
