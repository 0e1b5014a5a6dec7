#include "bell/calendar_keeper.h"

#include "base/file_util.h"
#include "base/log.h"

namespace lingchao {

CalendarKeeper::CalendarKeeper(std::filesystem::path appFolder, const Clock& clock, WarningBoard& warnings)
    : appFolder_(std::move(appFolder)), file_(appFolder_ / kCalendarFile), clock_(clock), warnings_(warnings) {}

void CalendarKeeper::Start() {
    fileStamp_ = FileStamp(file_);
    calendar_ = ReadCalendar(file_);
    if (calendar_.present) {
        LogLine("calendar: " + std::to_string(calendar_.entries.size()) + " entr" +
                (calendar_.entries.size() == 1 ? "y" : "ies") + " in " + file_.string());
    }
    Refresh();
}

void CalendarKeeper::Reload() {
    fileStamp_ = FileStamp(file_);
    calendar_ = ReadCalendar(file_);
    if (hooks_.replan) hooks_.replan();
    Refresh();
}

PlanOfDay CalendarKeeper::PlanFor(const CalendarDate& date) const {
    return ResolveDayPlan(appFolder_, calendar_, date);
}

void CalendarKeeper::Refresh() {
    const LocalDateTime now = clock_.Now();
    shownMinute_ = now.MinuteIndex();
    const PlanOfDay today = PlanFor(now.date);
    const PlanOfDay tomorrow = PlanFor(NextDate(now.date));
    const auto todayBells = PlanBells(today);
    const auto tomorrowBells = PlanBells(tomorrow);
    planText_ = PlanLine(today, todayBells, now) + "\n" + PlanLine(tomorrow, tomorrowBells, now);
    // A silenced day is a today-only change too: the clock marks it like a shift or a skip.
    const std::string changes = today.rule.silenced ? "今天不响铃" : TodayChangesLine(today, todayBells);

    std::string problems = CalendarProblemsText(calendar_.problems);
    if (!today.sourceProblem.empty() && today.rule.Rings()) {
        problems += (problems.empty() ? "" : "\n") + std::string("今天的任务组《") + today.GroupName() +
                    "》无法使用：" + today.sourceProblem + "，今天不响铃";
    }
    warnings_.Set("calendar", problems);
    warnings_.Set("tomorrow", TomorrowWarning(tomorrow, tomorrowBells));
    if (hooks_.showPlan) hooks_.showPlan(planText_, changes);
}

void CalendarKeeper::Watch() {
    if (FileStamp(file_) != fileStamp_) {
        LogLine("calendar: " + file_.string() + " changed on disk, read again");
        Reload();
        return;
    }
    // The next bell moves on, and a new day brings new lines.
    if (clock_.Now().MinuteIndex() != shownMinute_) Refresh();
}

}  // namespace lingchao
