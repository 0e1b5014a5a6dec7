#pragma once

#include <QObject>
#include <filesystem>
#include <functional>
#include <string>

#include "base/warning_board.h"
#include "scheduler/clock.h"
#include "scheduler/day_plan.h"

namespace lingchao {

// The school calendar in the running program: reads "calendar.csv", tells the scheduler and the self-check what
// a date rings, shows today's and tomorrow's plan, and puts the calendar's problems and the eve's warnings on the
// warning board (keys "calendar" and "tomorrow").
class CalendarKeeper final : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void()> replan;  // today's plan changed: rebuild the schedule index, check today's music
        // Today's and tomorrow's plan lines; the today-only changes in force ("" when none).
        std::function<void(const std::string& plan, const std::string& todayChanges)> showPlan;
    };

    CalendarKeeper(std::filesystem::path appFolder, const Clock& clock, WarningBoard& warnings);

    void SetHooks(Hooks hooks) { hooks_ = std::move(hooks); }
    // Reads the calendar.
    void Start();
    // Called by the bell's tick: a calendar changed on disk (a spreadsheet) is read again, and the plan's text
    // moves on with the minute. A stat a second, no timer of its own: an idle program wakes as seldom as it can.
    void Watch();
    // The calendar was changed (by the program or on disk): read it again, plan anew, show it.
    void Reload();
    // The timetable or the time changed: the plan's text and warnings again.
    void Refresh();

    // A date's plan under the calendar as last read.
    PlanOfDay PlanFor(const CalendarDate& date) const;
    const std::string& planText() const { return planText_; }

private:
    std::filesystem::path appFolder_;
    std::filesystem::path file_;
    const Clock& clock_;
    WarningBoard& warnings_;
    Hooks hooks_;
    CalendarRead calendar_;
    std::string fileStamp_;  // the file as last read (FileStamp): a change on disk is read again
    std::int64_t shownMinute_ = -1;
    std::string planText_;
};

}  // namespace lingchao
