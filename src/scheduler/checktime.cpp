#include "scheduler/checktime.h"

#include <algorithm>

#include "base/file_util.h"
#include "base/text.h"
#include "store/gbk.h"
#include "store/group_file.h"
#include "store/jilu.h"

namespace lingchao {
namespace {

int MinuteOfDay(std::int32_t secondsOfDay) { return secondsOfDay / 60; }

}  // namespace

const char* OutcomeName(JobOutcome outcome) {
    switch (outcome) {
        case JobOutcome::Fired:
            return "fired";
        case JobOutcome::Paused:
            return "paused";
        case JobOutcome::OtherDate:
            return "other-date";
        case JobOutcome::Locked:
            return "locked";
        case JobOutcome::UnreadableTime:
            return "unreadable-time";
        case JobOutcome::UnreadableDate:
            return "unreadable-date";
    }
    return "?";
}

const char* WeekdayCode(int weekday) {
    static constexpr const char* kCodes[] = {"MON", "TUS", "WES", "TRU", "FRI", "SAT", "SUN"};
    return weekday >= 1 && weekday <= 7 ? kCodes[weekday - 1] : "MON";
}

std::string ClockText(const TimeOfDay& time) {
    return std::to_string(time.hour) + (time.minute < 10 ? ":0" : ":") + std::to_string(time.minute);
}

Checktime::Checktime(std::filesystem::path appFolder, const Clock& clock, MediaPlayer& player, SchedulerHost& host)
    : groupPath_(std::move(appFolder) / kDefaultGroup), clock_(clock), player_(player), host_(host) {}

void Checktime::BuildScheduleIndex() {
    if (const auto length = FileLength(groupPath_)) dueCount_ = JobCountFromLength(*length);
    if (dueCount_ < 1) {
        dueCursor_ = 0;
        return;
    }
    dueCursor_ = 1;
    const auto n = static_cast<std::size_t>(dueCount_);
    dueTimes_.assign(n + 1, 0);
    dueJobNos_.assign(n + 1, 0);
    dueRecords_.assign(n + 1, 0);

    const GroupFile group(groupPath_);
    const Bytes content = group.Load().value_or(Bytes{});
    struct Entry {
        std::int32_t time;
        std::int16_t jobNo;
        int record;
    };
    std::vector<Entry> entries;
    entries.reserve(n);
    for (std::size_t i = 1; i <= n; ++i) {
        const RecordBytes record = RecordFrom(content, static_cast<int>(i));
        // Only the time and the number are needed here; decoding the rest would cost a 4 KB conversion per job.
        const std::string timeText = GbkToUtf8(std::string_view(
            reinterpret_cast<const char*>(record.data()) + job_layout::kTimeOffset, job_layout::kTimeWidth));
        const auto time = ParseTimeOfDay(timeText);
        entries.push_back({time ? time->Seconds() : 0, ReadInt16(record, job_layout::kNoOffset), static_cast<int>(i)});
    }
    // Ascending times, equal times in file order: the order the original insertion produced.
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.time < b.time; });
    for (std::size_t i = 1; i <= n; ++i) {
        dueTimes_[i] = entries[i - 1].time;
        dueJobNos_[i] = entries[i - 1].jobNo;
        dueRecords_[i] = entries[i - 1].record;
    }
    const LocalDateTime now = clock_.Now();
    PlaceCursor(now.time.hour * 3600 + now.time.minute * 60, false);
    // Later jumps of the clock are judged from here: the cursor now fits this minute.
    ticked_ = true;
    lastTickMinute_ = now.MinuteIndex();
}

void Checktime::PlaceCursor(int nowSecondsOfDay, bool includeCurrentMinute) {
    dueCursor_ = 1;
    for (int k = 1; k <= dueCount_; ++k) {
        const int minute = MinuteOfDay(dueTimes_[static_cast<std::size_t>(k)]);
        const int nowMinute = nowSecondsOfDay / 60;
        if (minute > nowMinute || (includeCurrentMinute && minute == nowMinute)) {
            dueCursor_ = static_cast<std::int16_t>(k);
            return;
        }
    }
}

void Checktime::UpdateClock() {
    tickNow_ = clock_.Now();
    clockNow_ = tickNow_.time;
    host_.ShowClock(ClockText(clockNow_), WeekdayCode(tickNow_.weekday));
}

void Checktime::CheckShutdownTime() {
    const auto due = TodaysShutdownTime(settings_, tickNow_.weekday);
    if (due && due->hour == clockNow_.hour && due->minute == clockNow_.minute) host_.ConfirmShutdown();
}

std::string Checktime::PickJobMusic(const JobRecord& record) const {
    return MusicForWeekday(record, clock_.Now().weekday);
}

void Checktime::CheckDueJob() {
    if (dueCursor_ < 1 || dueCursor_ > dueCount_) return;
    const auto cursor = static_cast<std::size_t>(dueCursor_);
    const std::int32_t entryTime = dueTimes_[cursor];
    if (entryTime / 3600 != clockNow_.hour || (entryTime / 60) % 60 != clockNow_.minute) return;

    const JobRecord record = GroupFile(groupPath_).Read(dueRecords_[cursor]);
    JobExamination exam;
    exam.at = tickNow_;
    exam.setTime = {entryTime / 3600, (entryTime / 60) % 60, entryTime % 60};
    exam.jobNo = dueJobNos_[cursor];
    exam.name = std::string(Trim(record.JobName));
    exam.state = std::string(Trim(record.JobState));
    exam.path = MusicForWeekday(record, tickNow_.weekday);

    const std::string_view date = Trim(record.JobDate);
    const auto parsedDate = ParseDate(date);
    if (TrimRight(record.JobState) != "START") {
        exam.outcome = JobOutcome::Paused;
    } else if (!ParseTimeOfDay(record.JobTime)) {
        // A time that does not read sorts as 00:00; such a job must not ring at midnight.
        exam.outcome = JobOutcome::UnreadableTime;
    } else if (date != "Everyday" && !parsedDate) {
        exam.outcome = JobOutcome::UnreadableDate;
    } else if (date != "Everyday" && !(*parsedDate == tickNow_.date)) {
        exam.outcome = JobOutcome::OtherDate;
    } else if (fireLock_ && fireLockMinute_ == tickNow_.MinuteIndex()) {
        exam.outcome = JobOutcome::Locked;
    } else {
        exam.outcome = JobOutcome::Fired;
        fireLock_ = true;
        fireLockMinute_ = tickNow_.MinuteIndex();
        host_.StartFireLockTimer();
        player_.SetFileName(exam.path);
    }
    host_.JobExamined(exam);

    ++dueCursor_;
    if (dueCursor_ > dueCount_) dueCursor_ = 1;
}

void Checktime::ReplaceCursorIfMinutePassed(const LocalDateTime& now) {
    const std::int64_t nowMinute = now.MinuteIndex();
    const std::int64_t lastMinute = lastTickMinute_;
    const bool hadTick = ticked_;
    ticked_ = true;
    lastTickMinute_ = nowMinute;
    if (!hadTick || nowMinute == lastMinute || dueCursor_ < 1 || dueCursor_ > dueCount_) return;

    const int entryMinute = MinuteOfDay(dueTimes_[static_cast<std::size_t>(dueCursor_)]);
    const int lastMinuteOfDay = static_cast<int>(((lastMinute % 1440) + 1440) % 1440);
    bool passed = false;
    if (nowMinute < lastMinute) {
        passed = true;  // the clock was set back: what lies ahead is no longer where the cursor is
    } else {
        const std::int64_t gap = nowMinute - lastMinute;  // minutes strictly between the ticks: gap - 1
        const int sinceLastPlusOne = ((entryMinute - (lastMinuteOfDay + 1)) % 1440 + 1440) % 1440;
        passed = entryMinute == lastMinuteOfDay || (gap >= 2 && sinceLastPlusOne < gap - 1);
    }
    if (!passed) return;
    const int before = dueCursor_;
    // The current minute keeps its jobs only when the ticks were in consecutive minutes (jobs of the last
    // minute left over); after a jump the cursor goes where a rebuild would put it.
    PlaceCursor(now.time.hour * 3600 + now.time.minute * 60, nowMinute == lastMinute + 1);
    if (dueCursor_ != before) host_.ScheduleResumed(now, dueCursor_);
}

void Checktime::Tick() {
    UpdateClock();
    ReplaceCursorIfMinutePassed(tickNow_);
    CheckShutdownTime();
    CheckDueJob();
}

void Checktime::FireLockElapsed() { fireLock_ = false; }

}  // namespace lingchao
