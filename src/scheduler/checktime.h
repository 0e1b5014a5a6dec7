#pragma once

#include <algorithm>
#include <bitset>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "base/media_player.h"
#include "scheduler/clock.h"
#include "scheduler/day_plan.h"
#include "shutdown/shutdown_settings.h"
#include "store/job_record.h"

namespace lingchao {

// Why an examined job did or did not ring.
enum class JobOutcome {
    Fired,
    Paused,          // state not "START"
    OtherDate,       // dated for another day
    Locked,          // another job of the minute already rang
    UnreadableTime,  // the record's time does not read as a time of day (a damaged file)
    UnreadableDate,  // neither "Everyday" nor a date (a damaged file)
    Missed,          // would have rung, but the clock skipped its minute (suspend, clock set forward, DST)
    // The school calendar passed it over: a holiday, a rest day, "今天不响铃", "跳过下一个铃声".
    Holiday,
    RestDay,
    SilencedToday,
    Skipped,
    AlreadyRang,  // rang earlier today; a today-only shift brought its minute round again
    Held,         // a drill or emergency signal was sounding: never rung afterwards
    Standby,      // a standby PC's bell, rung by the PC it stands by for
};
const char* OutcomeName(JobOutcome outcome);

struct JobExamination {
    LocalDateTime at;   // when the tick examined it
    CalendarDate date;  // the day it was due; unset means the day of `at`
    TimeOfDay setTime;  // the schedule entry's time
    int jobNo = 0;
    std::string name;   // trimmed
    std::string state;  // trimmed
    std::string path;   // music for that day
    JobOutcome outcome = JobOutcome::Fired;
    std::string reason;      // Missed only: "clock jumped from 07:59:58 to 08:01:30"
    int shiftMinutes = 0;    // today's shift ("今日推迟"): due this many minutes after its set time
    std::string standbyFor;  // rung by a standby in place of that PC: "fired (standby for 教学楼A)"
};
// The outcome as the logs write it: "fired", "fired (shifted +10 min)", "missed: clock jumped from ...".
std::string OutcomeText(const JobExamination& examination);

// The START bells of today whose minute is still to come.
struct BellsLeft {
    int count = 0;
    TimeOfDay next;  // the first of them; meaningless when count is 0
    bool operator==(const BellsLeft&) const = default;
};

// What the scheduler needs of the window that hosts it (the clock) and of the rest of the program.
class SchedulerHost {
public:
    virtual ~SchedulerHost() = default;
    // The clock's two labels: time ("8:05") and weekday code ("MON").
    virtual void ShowClock(const std::string& time, const std::string& weekdayCode) = 0;
    // Arms the one-shot 60 s timer whose end must call Checktime::FireLockElapsed.
    virtual void StartFireLockTimer() = 0;
    // Opens the shutdown confirmation; does nothing when one is already open.
    virtual void ConfirmShutdown() = 0;
    // Every examined job and its outcome, for the log: once per job and day.
    virtual void JobExamined(const JobExamination& examination) = 0;
    // The clock moved back, or forward past at least one whole minute, between two ticks.
    virtual void ClockJumped(const LocalDateTime& /*from*/, const LocalDateTime& /*to*/) {}
    // Today's remaining START bells changed (a bell passed, the timetable or the day changed).
    virtual void BellsLeftChanged(const BellsLeft& /*left*/) {}
    // The group file changed on disk (another copy, an import, a sync) and the index was read again from it.
    virtual void IndexReread() {}
    // A bell is about to hand its music to the player (its line follows with JobExamined).
    virtual void Firing(const JobExamination& /*examination*/) {}
};

// The job that a coming tick will ring, and its music for that day.
struct UpcomingBell {
    int jobNo = 0;
    std::string path;
};

// "3 bells left today, next 09:00": why the computer is kept awake.
std::string BellsLeftText(const BellsLeft& left);

const char* WeekdayCode(int weekday);          // "MON" "TUS" "WES" "TRU" "FRI" "SAT" "SUN"
std::string ClockText(const TimeOfDay& time);  // "8:05", "14:30", "0:00"

// The scheduler: the schedule index of "default.dll", the tick, the due test and the fire lock.
// Plain C++ driven by any timer that calls Tick() once a second and FireLockElapsed() when asked.
//
// Each minute of a day is dealt with once: at the first tick in it, all its jobs are examined together, the
// first that may ring rings and every one gets its line. A minute already dealt with is never dealt with again
// that day, whatever the clock does (set back, the autumn DST hour). A minute the clock skips (suspend, clock set
// forward, the spring DST gap) is logged at the next tick, never rung late; should the clock be set back into it,
// it is dealt with then like any other.
class Checktime final {
public:
    Checktime(std::filesystem::path appFolder, const Clock& clock, MediaPlayer& player, SchedulerHost& host);

    // Rebuilds the index from today's plan: the group it rings ("default.dll" unless the calendar names another),
    // its times moved by today's shift. The jobs of the minute that has begun do not ring today.
    void BuildScheduleIndex();
    // Why the last build could not use the whole group file (see TimetableProblemText); "" when it could.
    const std::string& timetableProblem() const { return timetableProblem_; }
    // What a date rings (the school calendar); without a planner every date rings "default.dll" as set.
    using DayPlanner = std::function<PlanOfDay(const CalendarDate&)>;
    void SetDayPlanner(DayPlanner planner) { planner_ = std::move(planner); }
    // The plan the index was built from.
    const PlanOfDay& dayPlan() const { return plan_; }
    void UpdateClock();
    void CheckShutdownTime();
    // Deals with the minutes the clock skipped since the last tick, then with the current minute.
    void CheckDueJob();
    // The music a job plays today (its weekday song in daily-song mode, else its music), unpadded.
    std::string PickJobMusic(const JobRecord& record) const;

    // The job the tick of the minute of `at` will ring, judged by the rules of CheckDueJob on what the file holds
    // now; nothing when none would. Reads the file only when that minute has jobs still to be dealt with;
    // changes nothing.
    std::optional<UpcomingBell> BellAt(const LocalDateTime& at) const;

    // Timer1: UpdateClock, CheckDueJob, CheckShutdownTime: a bell is never held up by the shutdown countdown.
    // A group file changed since the index was read is read again first, whoever changed it.
    void Tick();
    // Reads the index again when the group file changed since it was read; true when it did. The minute that
    // has begun is left as it is: when it has not been dealt with, its bells (from the new file) still ring.
    bool RereadIfChanged();
    // Timer2: the fire lock ends.
    void FireLockElapsed();

    // The program-wide shutdown settings read by the tick.
    void SetShutdownSettings(const ShutdownSettings& settings) { settings_ = settings; }
    const ShutdownSettings& shutdownSettings() const { return settings_; }

    // While a drill or emergency signal sounds, `reason` ("演练 地震演练"): the bells due are held (their line says
    // "held: <reason>"; they do not ring afterwards) and a shutdown due waits until the release (""), which then
    // asks for it.
    void Hold(std::string reason);
    bool holding() const { return !holdReason_.empty(); }

    // On a standby PC (`forPc` not empty): while that PC is up it rings the bells, and this one passes them over
    // ("standby: 教学楼A rings it"); once it is down (`active`) this one rings them, "fired (standby for 教学楼A)".
    void SetStandby(std::string forPc, bool active);
    // The set minute (date and set time as a MinuteIndex) of the newest bell the stood-by PC says it rang: never
    // rung here as well.
    void PeerRang(std::int64_t minuteIndex) { peerRangMinute_ = std::max(peerRangMinute_, minuteIndex); }

    // Today's START bells still to come (as the index read them at its build).
    BellsLeft BellsLeftToday() const;

    int dueCount() const { return dueCount_; }
    // Index 0 is unused so that entries are 1-based as the cursor is; times in seconds of the day.
    const std::vector<std::int32_t>& dueTimes() const { return dueTimes_; }
    const std::vector<std::int16_t>& dueJobNos() const { return dueJobNos_; }
    // The first entry after the current minute (1 when none is left today), 0 when nothing is scheduled.
    int dueCursor() const { return dueCursor_; }
    bool fireLock() const { return fireLock_; }
    const TimeOfDay& clockNow() const { return clockNow_; }

private:
    // What the build read of an entry beyond its time, to count today's bells without opening the file.
    struct EntryFacts {
        bool start = false;
        bool everyday = false;
        std::optional<CalendarDate> date;
    };
    // The minutes of one day that have been dealt with, and those the clock skipped (logged, not yet reached).
    struct DayRecord {
        std::int64_t day = 0;
        std::bitset<1440> done;
        std::bitset<1440> skipped;
        std::vector<std::pair<int, int>> rang;  // job number and set minute of each bell that rang
    };

    PlanOfDay PlanFor(const CalendarDate& date) const;
    void Reread();
    // Reads the index from `date`'s plan; the cursor and the minutes dealt with are left to the caller.
    void ReadIndex(const CalendarDate& date);
    DayRecord& Day(const CalendarDate& date);
    const DayRecord* Find(const CalendarDate& date) const;
    bool Done(const CalendarDate& date, int minute) const;
    // Entries [first, last) of the index whose minute is in [fromMinute, toMinute].
    std::pair<int, int> EntriesIn(int fromMinute, int toMinute) const;
    // Deals with [fromMinute, toMinute] of `date`, minutes the clock skipped: logged, never rung.
    void PassOverSkipped(const CalendarDate& date, int fromMinute, int toMinute, const std::string& reason);
    // Deals with the current minute: the first job that may ring rings.
    void ExamineMinute(const CalendarDate& date, int minute);
    // Nothing when the record no longer holds what the index read from it (the file changed under the index):
    // such a record is never rung, nor logged, under a minute that is not its own.
    std::optional<JobExamination> Examine(int entry, const CalendarDate& date) const;
    // The jobs due in [fromMinute, toMinute] of `date`, examined; the index is read again once when a record no
    // longer fits it.
    std::vector<JobExamination> ExamineEntries(const CalendarDate& date, int fromMinute, int toMinute);
    void PlaceCursor(int minuteOfDay);
    // After a rebuild of the same day: the bells a today-only change moved from a minute still to come into one
    // already dealt with get their `missed` line (they would pass without one).
    void PassOverMovedBack(const std::vector<std::tuple<int, int, int>>& before, int nowMinute);
    void ReportBellsLeft();

    std::filesystem::path appFolder_;
    std::filesystem::path groupPath_;
    std::string indexStamp_;  // the group file as the index read it (FileStamp)
    DayPlanner planner_;
    PlanOfDay plan_;
    const Clock& clock_;
    MediaPlayer& player_;
    SchedulerHost& host_;
    ShutdownSettings settings_;
    std::string timetableProblem_;

    std::int16_t dueCount_ = 0;
    std::vector<std::int32_t> dueTimes_;     // when each entry is due: its set time moved by today's shift
    std::vector<std::int32_t> dueSetTimes_;  // the job's own time
    std::vector<std::int16_t> dueJobNos_;
    std::vector<int> dueRecords_;  // the record each entry was read from
    std::vector<EntryFacts> dueFacts_;
    std::int16_t dueCursor_ = 0;
    TimeOfDay clockNow_;
    LocalDateTime tickNow_;
    bool fireLock_ = false;
    std::string holdReason_;
    std::string standbyFor_;
    bool standbyActive_ = false;
    std::int64_t peerRangMinute_ = -1;
    bool shutdownWaiting_ = false;  // the shutdown minute came while a signal sounded
    // The lock holds back the other jobs of the firing's minute only. Timer2's 60 s end a few milliseconds
    // into the next minute would otherwise pass over a bell set for that minute.
    std::int64_t fireLockMinute_ = 0;

    // Where the clock was at the last tick (or index build): a jump is measured from there.
    std::optional<LocalDateTime> lastSeen_;
    // The most recently touched days first; a few are kept so that a clock set back across midnight, or
    // wrong for a while and then corrected, finds what it already rang.
    std::vector<DayRecord> days_;
    std::optional<BellsLeft> reportedLeft_;
    std::int64_t leftCountedAt_ = -1;  // the minute BellsLeftToday was last asked at; -1 after a build
};

}  // namespace lingchao
