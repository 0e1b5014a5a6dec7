#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "base/media_player.h"
#include "scheduler/clock.h"
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
};
const char* OutcomeName(JobOutcome outcome);

struct JobExamination {
    LocalDateTime at;   // when the tick examined it
    TimeOfDay setTime;  // the schedule entry's time
    int jobNo = 0;
    std::string name;   // trimmed
    std::string state;  // trimmed
    std::string path;   // music for today
    JobOutcome outcome = JobOutcome::Fired;
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
    // Every examined job and its outcome, for the log.
    virtual void JobExamined(const JobExamination& examination) = 0;
    // The cursor was placed again because the clock passed a scheduled minute without a tick in it.
    virtual void ScheduleResumed(const LocalDateTime& now, int cursor) = 0;
};

const char* WeekdayCode(int weekday);          // "MON" "TUS" "WES" "TRU" "FRI" "SAT" "SUN"
std::string ClockText(const TimeOfDay& time);  // "8:05", "14:30", "0:00"

// The scheduler: the schedule index of "default.dll" with its cursor, the tick, the due test and the fire lock.
// Plain C++ driven by any timer that calls Tick() once a second and FireLockElapsed() when asked.
class Checktime final {
public:
    Checktime(std::filesystem::path appFolder, const Clock& clock, MediaPlayer& player, SchedulerHost& host);

    // Rebuilds the index from "default.dll" and places the cursor on the first job after the current minute.
    void BuildScheduleIndex();
    void UpdateClock();
    void CheckShutdownTime();
    void CheckDueJob();
    // The music a job plays today (its weekday song in daily-song mode, else its music), unpadded.
    std::string PickJobMusic(const JobRecord& record) const;

    // Timer1: UpdateClock, CheckShutdownTime, CheckDueJob, in this order.
    void Tick();
    // Timer2: the fire lock ends.
    void FireLockElapsed();

    // The program-wide shutdown settings read by the tick.
    void SetShutdownSettings(const ShutdownSettings& settings) { settings_ = settings; }
    const ShutdownSettings& shutdownSettings() const { return settings_; }

    int dueCount() const { return dueCount_; }
    // Index 0 is unused so that entries are 1-based as the cursor is; times in seconds of the day.
    const std::vector<std::int32_t>& dueTimes() const { return dueTimes_; }
    const std::vector<std::int16_t>& dueJobNos() const { return dueJobNos_; }
    int dueCursor() const { return dueCursor_; }
    bool fireLock() const { return fireLock_; }
    const TimeOfDay& clockNow() const { return clockNow_; }

private:
    void PlaceCursor(int nowSecondsOfDay, bool includeCurrentMinute);
    void ReplaceCursorIfMinutePassed(const LocalDateTime& now);

    std::filesystem::path groupPath_;
    const Clock& clock_;
    MediaPlayer& player_;
    SchedulerHost& host_;
    ShutdownSettings settings_;

    std::int16_t dueCount_ = 0;
    std::vector<std::int32_t> dueTimes_;
    std::vector<std::int16_t> dueJobNos_;
    std::vector<int> dueRecords_;  // the record each entry was read from
    std::int16_t dueCursor_ = 0;
    TimeOfDay clockNow_;
    LocalDateTime tickNow_;
    bool fireLock_ = false;
    // The lock holds back the other jobs of the firing's minute only. Timer2's 60 s end a few milliseconds
    // into the next minute would otherwise pass over a bell set for that minute.
    std::int64_t fireLockMinute_ = 0;
    bool ticked_ = false;
    std::int64_t lastTickMinute_ = 0;
};

}  // namespace lingchao
