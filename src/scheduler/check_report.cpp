#include "scheduler/check_report.h"

#include <algorithm>
#include <map>
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

// A day as the running program would see it: its plan, its bells and what the music check finds (notes of music
// found by name included); no music is checked on a day that does not ring.
struct CheckedDay {
    DayBells day;
    std::vector<MusicProblem> findings;
};

CheckedDay CheckDay(const std::filesystem::path& appFolder, const CalendarDate& date, MediaProbe& probe) {
    CheckedDay checked{BellsOfDate(appFolder, date), {}};
    if (checked.day.plan.Rings()) {
        checked.findings = CheckTodaysMusic(checked.day.plan.source, checked.day.plan.rule.songWeekday, probe);
    }
    return checked;
}

int MinuteOfDay(const TimeOfDay& t) { return t.hour * 60 + t.minute; }

// A bell of the day that will still ring: not skipped, and on `now`'s date in a later minute than now's.
bool StillToRing(const PlanBell& b, const PlanOfDay& plan, const LocalDateTime& now) {
    return !b.skipped && (!(plan.date == now.date) || MinuteOfDay(b.ringTime) > MinuteOfDay(now.time));
}

// Music found by name plays a file other than the one the job names: the administrator is told which. Entries of
// a list are named up to a few, then counted.
void WriteFoundByName(std::ostream& out, const PlanBell& b, const std::vector<MusicProblem>& findings) {
    constexpr int kEntriesNamed = 5;
    int entries = 0;
    for (const auto& p : findings) {
        if (!p.IsNote() || p.jobNo != b.jobNo) continue;
        const bool entry = p.path != b.path;
        if (entry && ++entries > kEntriesNamed) continue;
        out << "      " << (entry ? "entry \"" + p.path + "\" plays" : std::string("plays")) << " \"" << p.foundAs
            << "\" (found by name"
            << (p.sameNames > 1 ? ", the first of " + std::to_string(p.sameNames) + " files of that name" : "")
            << ")\n";
    }
    if (entries > kEntriesNamed) {
        out << "      and " << entries - kEntriesNamed << " more entries found by name\n";
    }
}

// One line of the bell log split into its fields (a field in quotes may hold commas and doubled quotes).
std::vector<std::string> CsvFields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c != '\r') {
            fields.back() += c;
        }
    }
    return fields;
}

// What the bell log says became of each of `date`'s bells, by set time and job number: the outcome of its
// examination (the later lines of a bell, its proof and failed files, are left out).
using LoggedOutcomes = std::map<std::pair<std::string, int>, std::string>;
LoggedOutcomes ReadLoggedOutcomes(const std::filesystem::path& appFolder, const CalendarDate& date) {
    LoggedOutcomes outcomes;
    const auto bytes = ReadFileBytes(appFolder / "bell-log.csv", 4 * 1024 * 1024);
    if (!bytes) return outcomes;
    std::istringstream in(std::string(bytes->begin(), bytes->end()));
    const std::string day = DateText(date);
    for (std::string line; std::getline(in, line);) {
        const std::vector<std::string> f = CsvFields(line);
        if (f.size() < 8 || f[0] != day || f[1].empty() || f[4].empty()) continue;
        if (f[7].starts_with("silent: ") || f[7].starts_with("playback-failed: ")) continue;
        int jobNo = 0;
        try {
            jobNo = std::stoi(f[4]);
        } catch (...) {
            continue;
        }
        outcomes.insert({{f[1], jobNo}, f[7]});
    }
    return outcomes;
}

void WriteBells(std::ostream& out, const char* label, const CheckedDay& checked, const LocalDateTime& now,
                const LoggedOutcomes& logged) {
    const DayBells& day = checked.day;
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
        const bool moved = !(b.ringTime == b.setTime);
        // A skipped bell by its set time, as the line "已跳过 08:45 ..." above names it.
        out << "  " << HourMinuteText(b.skipped ? b.setTime : b.ringTime) << "  " << JobText(b.jobNo, b.name) << "  "
            << b.path;
        if (b.skipped) {
            out << "  (skipped today" << (moved ? ", would have rung " + HourMinuteText(b.ringTime) : "") << ")";
        } else if (moved) {
            out << "  (set " << HourMinuteText(b.setTime) << ", moved today)";
        }
        // A bell whose minute has passed: what the running program logged of it, so the two never disagree.
        if (day.plan.date == now.date && MinuteOfDay(b.ringTime) <= MinuteOfDay(now.time)) {
            const auto it = logged.find({HourMinuteText(b.setTime), b.jobNo});
            if (it != logged.end()) out << "  [" << it->second << "]";
        }
        out << "\n";
        WriteFoundByName(out, b, checked.findings);
    }
}

struct Problem {
    std::string text;
    bool touches = true;  // a bell still to ring today or tomorrow may fail through it
};

// The day's music that cannot play, for the jobs that have a bell that day; the others are another day's.
void AddMusicProblems(std::vector<Problem>& problems, const CheckedDay& checked, const LocalDateTime& now) {
    for (const auto& p : checked.findings) {
        if (p.IsNote()) continue;  // found by name: it plays
        bool listed = false;
        bool touches = false;
        for (const auto& b : checked.day.bells) {
            if (b.jobNo != p.jobNo) continue;
            listed = true;
            touches = touches || StillToRing(b, checked.day.plan, now);
        }
        if (!listed) continue;
        problems.push_back({JobText(p.jobNo, p.jobName) + " cannot play \"" + p.path + "\": " + p.reason +
                                (touches ? "" : "  (no bell of it left today)"),
                            touches});
    }
}

void WriteProblems(std::ostream& out, const char* heading, const std::vector<Problem>& problems) {
    if (problems.empty()) return;
    out << heading << ":\n";
    for (const auto& p : problems) out << "  " << p.text << "\n";
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
    const LocalDateTime& now = input.now;
    const CheckedDay today = CheckDay(input.appFolder, now.date, *input.probe);
    const CheckedDay tomorrow = CheckDay(input.appFolder, NextDate(now.date), *input.probe);
    WriteBells(out, "today", today, now, ReadLoggedOutcomes(input.appFolder, now.date));
    WriteBells(out, "tomorrow", tomorrow, now, {});
    int ahead = 0;  // bells still to ring today and tomorrow
    for (const CheckedDay* d : {&today, &tomorrow}) {
        for (const auto& b : d->day.bells) ahead += StillToRing(b, d->day.plan, now) ? 1 : 0;
    }

    // Today's problems are what the clock's mark would show: the calendar's, the day's music, damaged jobs. What
    // cannot be tied to a bell (a calendar line that does not read, a job whose time does not) counts as touching.
    std::vector<Problem> problems;
    if (const std::string calendar = CalendarProblemsText(today.day.calendarProblems); !calendar.empty()) {
        problems.push_back({calendar});
    }
    const PlanOfDay& plan = today.day.plan;
    if (!plan.sourceProblem.empty() && plan.rule.Rings()) {
        problems.push_back(
            {"今天的任务组《" + plan.GroupName() + "》无法使用：" + plan.sourceProblem + "，今天不响铃"});
    }
    if (plan.Rings()) {
        AddMusicProblems(problems, today, now);
        for (const auto& d : DamagedJobs(plan.source)) {
            problems.push_back({JobText(d.jobNo, d.name) + " never rings: its " + d.what + " is unreadable"});
        }
    }
    // The output serves every bell to come: a muted one on the eve of a holiday harms none.
    for (const auto& other : input.otherProblems) {
        problems.push_back({other + (ahead > 0 ? "" : "  (no bell left today or tomorrow)"), ahead > 0});
    }
    WriteProblems(out, "problems today", problems);

    std::vector<Problem> later;
    if (const std::string warning = TomorrowWarning(tomorrow.day.plan, tomorrow.day.bells); !warning.empty()) {
        later.push_back({warning});
    }
    if (tomorrow.day.plan.Rings()) AddMusicProblems(later, tomorrow, now);
    WriteProblems(out, "problems tomorrow", later);

    problems.insert(problems.end(), later.begin(), later.end());
    const auto touching = std::count_if(problems.begin(), problems.end(), [](const Problem& p) { return p.touches; });
    if (touching > 0) {
        out << "NOT OK: " << touching << (touching == 1 ? " problem" : " problems")
            << " with bells still to ring today or tomorrow\n";
        return false;
    }
    out << (problems.empty() ? "ok: every bell of today and tomorrow can play\n"
                             : "ok: no bell still to ring today or tomorrow is at risk\n");
    return true;
}

}  // namespace lingchao
