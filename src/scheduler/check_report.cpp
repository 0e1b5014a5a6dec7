#include "scheduler/check_report.h"

#include <ostream>
#include <sstream>

#include "base/file_util.h"
#include "base/text.h"
#include "scheduler/day_plan.h"
#include "scheduler/self_check.h"
#include "store/group_file.h"

namespace lingchao {
namespace {

const char* WeekdayWord(int weekday) {
    static constexpr const char* kNames[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                             "Friday", "Saturday", "Sunday"};
    return weekday >= 1 && weekday <= 7 ? kNames[weekday - 1] : "?";
}

std::string JobText(int jobNo, const std::string& name) { return "job " + std::to_string(jobNo) + " \"" + name + "\""; }

void WriteBells(std::ostream& out, const char* label, const DayBells& day, const LocalDateTime& now) {
    const int ringing = CountRinging(day.bells);
    out << label << ", " << WeekdayWord(day.plan.weekday) << " " << DateText(day.plan.date) << ": ";
    if (ringing == 0) {
        out << "no bells\n";
    } else {
        out << ringing << (ringing == 1 ? " bell\n" : " bells\n");
    }
    // The calendar's word on the day, as the clock's tooltip gives it.
    if (day.plan.calendarPresent) out << "  " << PlanLine(day.plan, day.bells, now) << "\n";
    if (day.plan.date == now.date) {
        // Today-only changes, each on its own line as in the clock's tooltip.
        std::istringstream changes(TodayChangesLine(day.plan, day.bells));
        for (std::string line; std::getline(changes, line);) out << "  " << line << "\n";
    }
    for (const auto& b : day.bells) {
        out << "  " << HourMinuteText(b.ringTime) << "  " << JobText(b.jobNo, b.name) << "  " << b.path;
        if (b.skipped) {
            out << "  (skipped today)";
        } else if (!(b.ringTime == b.setTime)) {
            out << "  (set " << HourMinuteText(b.setTime) << ", moved today)";
        }
        out << "\n";
    }
}

// What the self-check would show for a day's timetable, one line each.
std::vector<std::string> MusicProblems(const PlanOfDay& plan, MediaProbe& probe) {
    std::vector<std::string> lines;
    for (const auto& p : CheckTodaysMusic(plan.source, plan.rule.songWeekday, probe)) {
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

std::vector<DamagedJob> DamagedJobs(const std::filesystem::path& groupFile) {
    std::vector<DamagedJob> damaged;
    const auto content = ReadFileBytes(groupFile);
    if (!content) return damaged;
    const int n = JobCountFromLength(content->size());
    for (int k = 1; k <= n; ++k) {
        const JobRecord r = DecodeJobRecord(RecordFrom(*content, k));
        if (TrimRight(r.JobState) != "START") continue;
        const std::string_view dateText = Trim(r.JobDate);
        if (!ParseTimeOfDay(r.JobTime)) {
            damaged.push_back({r.JobNo, std::string(Trim(r.JobName)), "time"});
        } else if (dateText != "Everyday" && !ParseDate(dateText)) {
            damaged.push_back({r.JobNo, std::string(Trim(r.JobName)), "date"});
        }
    }
    return damaged;
}

bool WriteCheckReport(std::ostream& out, const CheckInput& input) {
    const DayBells today = BellsOfDate(input.appFolder, input.now.date);
    const DayBells tomorrow = BellsOfDate(input.appFolder, NextDate(input.now.date));
    WriteBells(out, "today", today, input.now);
    WriteBells(out, "tomorrow", tomorrow, input.now);

    // Today's problems are what the clock's mark would show: the calendar's, the day's music, damaged jobs.
    std::vector<std::string> problems;
    if (const std::string calendar = CalendarProblemsText(today.calendarProblems); !calendar.empty()) {
        problems.push_back(calendar);
    }
    if (!today.plan.sourceProblem.empty() && today.plan.rule.Rings()) {
        problems.push_back("今天的任务组《" + today.plan.GroupName() + "》无法使用：" + today.plan.sourceProblem +
                           "，今天不响铃");
    }
    if (today.plan.Rings()) {
        const auto music = MusicProblems(today.plan, *input.probe);
        problems.insert(problems.end(), music.begin(), music.end());
        for (const auto& d : DamagedJobs(today.plan.source)) {
            problems.push_back(JobText(d.jobNo, d.name) + " never rings: its " + d.what + " is unreadable");
        }
    }
    problems.insert(problems.end(), input.otherProblems.begin(), input.otherProblems.end());
    WriteProblems(out, "problems today", problems);

    std::vector<std::string> later;
    if (const std::string warning = TomorrowWarning(tomorrow.plan, tomorrow.bells); !warning.empty()) {
        later.push_back(warning);
    }
    if (tomorrow.plan.Rings()) {
        const auto music = MusicProblems(tomorrow.plan, *input.probe);
        later.insert(later.end(), music.begin(), music.end());
    }
    WriteProblems(out, "problems tomorrow", later);

    if (problems.empty()) {
        out << "ok: every bell of today can play\n";
        return true;
    }
    out << "NOT OK: " << problems.size() << (problems.size() == 1 ? " problem" : " problems")
        << " with today's bells\n";
    return false;
}

}  // namespace lingchao
