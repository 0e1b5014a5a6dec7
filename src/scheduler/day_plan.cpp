#include "scheduler/day_plan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "base/text.h"
#include "store/group_file.h"
#include "store/jilu.h"

namespace lingchao {
namespace {

int MinuteOf(const TimeOfDay& t) { return t.hour * 60 + t.minute; }

std::string DayWord(const CalendarDate& date, const LocalDateTime& now) {
    if (date == now.date) return "今天";
    if (date == NextDate(now.date)) return "明天";
    return DateText(date);
}

// Why a group file cannot ring, or "" when it can be read.
std::string GroupFileProblem(const std::filesystem::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return "文件不存在";
    if (!S_ISREG(st.st_mode)) return "不是普通文件";
    if (::access(file.c_str(), R_OK) != 0) return "无法读取";
    return {};
}

}  // namespace

CalendarDate NextDate(const CalendarDate& date) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (date.year % 4 == 0 && date.year % 100 != 0) || date.year % 400 == 0;
    const int inMonth = date.month == 2 && leap ? 29 : kDays[(date.month + 11) % 12];
    if (date.day < inMonth) return {date.year, date.month, date.day + 1};
    if (date.month < 12) return {date.year, date.month + 1, 1};
    return {date.year + 1, 1, 1};
}

std::string PlanOfDay::GroupName() const {
    if (rule.kind != DayKind::Group) return {};
    std::string name = rule.groupFile;
    if (name.size() > 4 && name.ends_with(".sav")) name.resize(name.size() - 4);
    return name;
}

PlanOfDay ResolveDayPlan(const std::filesystem::path& appFolder, const CalendarRead& calendar,
                         const CalendarDate& date) {
    PlanOfDay plan;
    plan.date = date;
    plan.weekday = WeekdayOf(date);
    plan.calendarPresent = calendar.present;
    plan.rule = ResolveDay(calendar.entries, date);
    plan.source = appFolder / kDefaultGroup;
    if (plan.rule.kind == DayKind::Group) {
        plan.source = appFolder / "job" / plan.rule.groupFile;
        plan.sourceProblem = GroupFileProblem(plan.source);
    }
    return plan;
}

std::vector<PlanBell> PlanBells(const PlanOfDay& plan) {
    std::vector<PlanBell> bells;
    if (!plan.Rings()) return bells;
    const auto content = ReadFileBytes(plan.source);
    if (!content) return bells;
    const int n = JobCountFromLength(content->size());
    for (int k = 1; k <= n; ++k) {
        const JobRecord r = DecodeJobRecord(RecordFrom(*content, k));
        if (TrimRight(r.JobState) != "START") continue;
        const auto time = ParseTimeOfDay(r.JobTime);
        if (!time) continue;
        const std::string_view date = Trim(r.JobDate);
        if (date != "Everyday") {
            const auto d = ParseDate(date);
            if (!d || !(*d == plan.date)) continue;
        }
        const TimeOfDay set{time->hour, time->minute, 0};
        PlanBell bell;
        bell.setTime = set;
        bell.ringTime = plan.rule.RingTime(set);
        bell.record = k;
        bell.jobNo = r.JobNo;
        bell.name = std::string(Trim(r.JobName));
        bell.path = MusicForWeekday(r, plan.rule.songWeekday);
        bell.skipped = plan.rule.Skips(set, r.JobNo);
        bells.push_back(std::move(bell));
    }
    std::stable_sort(bells.begin(), bells.end(),
                     [](const PlanBell& a, const PlanBell& b) { return MinuteOf(a.setTime) < MinuteOf(b.setTime); });
    // One bell per minute: the first of a minute takes the fire lock (a skipped one rings nothing and leaves it).
    std::vector<PlanBell> out;
    for (auto& b : bells) {
        const bool taken = std::any_of(out.begin(), out.end(), [&](const PlanBell& o) {
            return !o.skipped && MinuteOf(o.setTime) == MinuteOf(b.setTime);
        });
        if (!taken) out.push_back(std::move(b));
    }
    return out;
}

int CountRinging(const std::vector<PlanBell>& bells) {
    return static_cast<int>(std::count_if(bells.begin(), bells.end(), [](const PlanBell& b) { return !b.skipped; }));
}

std::optional<PlanBell> NextBell(const std::vector<PlanBell>& bells, const TimeOfDay& now) {
    for (const auto& b : bells) {
        if (!b.skipped && MinuteOf(b.ringTime) > MinuteOf(now)) return b;
    }
    return std::nullopt;
}

std::string WeekdayName(int weekday) {
    static constexpr const char* kNames[] = {"周一", "周二", "周三", "周四", "周五", "周六", "周日"};
    return weekday >= 1 && weekday <= 7 ? kNames[weekday - 1] : "周一";
}

std::string PlanLine(const PlanOfDay& plan, const std::vector<PlanBell>& bells, const LocalDateTime& now) {
    const bool today = plan.date == now.date;
    std::string line = DayWord(plan.date, now) + "（" + WeekdayName(plan.weekday) + "）：";
    if (plan.rule.silenced) return line + "今天不响铃";
    switch (plan.rule.kind) {
        case DayKind::Holiday:
            return line + "放假" + (plan.rule.note.empty() ? "" : "（" + plan.rule.note + "）") + "，不响铃";
        case DayKind::RestDay:
            return line + "休息日，不响铃";
        case DayKind::Group:
            line += "任务组《" + plan.GroupName() + "》";
            if (!plan.sourceProblem.empty()) return line + plan.sourceProblem + "，不响铃";
            line += "，";
            break;
        case DayKind::MakeUp:
            line += "调休上课";
            if (plan.rule.songWeekday != plan.weekday) line += "（用" + WeekdayName(plan.rule.songWeekday) + "的铃声）";
            line += "，";
            break;
        case DayKind::School:
            break;
    }
    const int n = CountRinging(bells);
    if (n == 0) return line + "没有铃声";
    line += std::to_string(n) + " 个铃声";
    if (today) {
        const auto next = NextBell(bells, now.time);
        line += next ? "，下一个 " + HourMinuteText(next->ringTime) + " " + next->name : "，今天的铃声已响完";
    }
    return line;
}

std::string TodayChangesLine(const PlanOfDay& plan, const std::vector<PlanBell>& bells) {
    std::string out;
    if (plan.rule.shiftMinutes != 0) out = "今天已推迟 " + std::to_string(plan.rule.shiftMinutes) + " 分钟";
    for (const auto& b : bells) {
        if (!b.skipped) continue;
        out += (out.empty() ? "" : "\n") + std::string("已跳过 ") + HourMinuteText(b.setTime) + " " + b.name;
    }
    return out;
}

std::string TomorrowWarning(const PlanOfDay& plan, const std::vector<PlanBell>& bells) {
    if (!plan.calendarPresent || !plan.rule.Rings()) return {};
    const std::string day = "明天（" + WeekdayName(plan.weekday) + "）";
    if (!plan.sourceProblem.empty())
        return day + "的任务组《" + plan.GroupName() + "》无法使用：" + plan.sourceProblem + "（job/" +
               plan.rule.groupFile + "）";
    if (CountRinging(bells) == 0) return day + "是上课日，但没有一个铃声";
    return {};
}

DayBells BellsOfDate(const std::filesystem::path& appFolder, const CalendarDate& date) {
    const CalendarRead calendar = ReadCalendar(appFolder / kCalendarFile);
    DayBells out;
    out.plan = ResolveDayPlan(appFolder, calendar, date);
    out.bells = PlanBells(out.plan);
    out.calendarProblems = calendar.problems;
    return out;
}

}  // namespace lingchao
