#include "scheduler/checktime.h"

#include <algorithm>
#include <cstdio>

#include "base/file_util.h"
#include "base/text.h"
#include "store/gbk.h"
#include "store/group_file.h"
#include "store/jilu.h"

namespace lingchao {
namespace {

constexpr std::size_t kDaysKept = 8;

int MinuteOfDay(std::int32_t secondsOfDay) { return secondsOfDay / 60; }
int MinuteOfDay(const TimeOfDay& t) { return t.hour * 60 + t.minute; }

std::string SecondText(const TimeOfDay& t) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return buf;
}

std::string_view Field(const RecordBytes& record, std::size_t offset, std::size_t width) {
    return {reinterpret_cast<const char*>(record.data()) + offset, width};
}

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
        case JobOutcome::Missed:
            return "missed";
        case JobOutcome::Holiday:
            return "holiday";
        case JobOutcome::RestDay:
            return "rest-day";
        case JobOutcome::SilencedToday:
            return "silenced-today";
        case JobOutcome::Skipped:
            return "skipped";
        case JobOutcome::AlreadyRang:
            return "already-rang";
        case JobOutcome::Held:
            return "held";
        case JobOutcome::Standby:
            return "standby";
    }
    return "?";
}

std::string OutcomeText(const JobExamination& e) {
    std::string text = OutcomeName(e.outcome);
    if (e.shiftMinutes != 0) text += " (shifted +" + std::to_string(e.shiftMinutes) + " min)";
    if (!e.standbyFor.empty()) text += " (standby for " + e.standbyFor + ")";
    if (!e.reason.empty()) text += ": " + e.reason;
    return text;
}

std::string BellsLeftText(const BellsLeft& left) {
    return std::to_string(left.count) + (left.count == 1 ? " bell" : " bells") + " left today, next " +
           HourMinuteText(left.next);
}

const char* WeekdayCode(int weekday) {
    static constexpr const char* kCodes[] = {"MON", "TUS", "WES", "TRU", "FRI", "SAT", "SUN"};
    return weekday >= 1 && weekday <= 7 ? kCodes[weekday - 1] : "MON";
}

std::string ClockText(const TimeOfDay& time) {
    return std::to_string(time.hour) + (time.minute < 10 ? ":0" : ":") + std::to_string(time.minute);
}

Checktime::Checktime(std::filesystem::path appFolder, const Clock& clock, MediaPlayer& player, SchedulerHost& host)
    : appFolder_(std::move(appFolder)),
      groupPath_(appFolder_ / kDefaultGroup),
      clock_(clock),
      player_(player),
      host_(host) {}

PlanOfDay Checktime::PlanFor(const CalendarDate& date) const {
    return planner_ ? planner_(date) : ResolveDayPlan(appFolder_, CalendarRead{}, date);
}

void Checktime::BuildScheduleIndex() {
    const LocalDateTime now = clock_.Now();
    // Job number, set minute and ring minute of today's entries as they were: a today-only change may move them.
    std::vector<std::tuple<int, int, int>> before;
    if (plan_.date == now.date) {
        for (int k = 1; k <= dueCount_; ++k) {
            const auto i = static_cast<std::size_t>(k);
            before.emplace_back(dueJobNos_[i], MinuteOfDay(dueSetTimes_[i]), MinuteOfDay(dueTimes_[i]));
        }
    }
    ReadIndex(now.date);
    if (!before.empty() && dueCount_ > 0) PassOverMovedBack(before, MinuteOfDay(now.time));
    // A job whose minute has already begun is never rung late: its minute counts as dealt with.
    Day(now.date).done.set(static_cast<std::size_t>(MinuteOfDay(now.time)));
    if (!lastSeen_) lastSeen_ = now;
    PlaceCursor(MinuteOfDay(now.time));
    ReportBellsLeft();
}

void Checktime::ReadIndex(const CalendarDate& day) {
    plan_ = PlanFor(day);
    groupPath_ = plan_.source;
    leftCountedAt_ = -1;
    // Taken before the read: a change made while reading is seen at the next tick.
    indexStamp_ = FileStamp(groupPath_);
    if (!plan_.sourceProblem.empty()) {
        // A calendar group that is not there rings nothing (and is not made empty by reading it).
        timetableProblem_.clear();
        dueCount_ = 0;
        dueCursor_ = 0;
        return;
    }
    // One bounded, non-blocking read: a FIFO, a device or a huge file in the group's place costs nothing, and
    // a group that cannot be read is an empty index with its reason, never blank records ringing at 00:00.
    // Reading never creates the file: a timetable deleted while running stays missing, and says so.
    const StoredFile file = ReadStoredFile(groupPath_, kMaxGroupBytes);
    timetableProblem_ = file.problem == ReadProblem::Missing
                            ? "任务表 " + groupPath_.string() + " 不存在：在它回来之前不会打铃"
                            : TimetableProblemText(groupPath_, file);
    const Bytes& content = file.bytes;
    dueCount_ = file.usable() ? JobCountFromLength(content.size()) : 0;
    if (dueCount_ < 1) {
        dueCursor_ = 0;
        return;
    }
    const auto n = static_cast<std::size_t>(dueCount_);
    dueTimes_.assign(n + 1, 0);
    dueSetTimes_.assign(n + 1, 0);
    dueJobNos_.assign(n + 1, 0);
    dueRecords_.assign(n + 1, 0);
    dueFacts_.assign(n + 1, {});

    struct Entry {
        std::int32_t time;
        std::int32_t setTime;
        std::int16_t jobNo;
        int record;
        EntryFacts facts;
    };
    std::vector<Entry> entries;
    entries.reserve(n);
    for (std::size_t i = 1; i <= n; ++i) {
        const RecordBytes record = RecordFrom(content, static_cast<int>(i));
        // Only the time, the number, the state and the date are needed here, all ASCII in a sound record;
        // decoding the rest would cost a 4 KB conversion per job.
        const std::string timeText = GbkToUtf8(Field(record, job_layout::kTimeOffset, job_layout::kTimeWidth));
        const auto time = ParseTimeOfDay(timeText);
        const std::string_view state = TrimRight(Field(record, job_layout::kStateOffset, job_layout::kStateWidth));
        const std::string_view date = Trim(Field(record, job_layout::kDateOffset, job_layout::kDateWidth));
        EntryFacts facts;
        facts.start = time && state == "START";
        facts.everyday = date == "Everyday";
        if (!facts.everyday) facts.date = ParseDate(date);
        const TimeOfDay set = time.value_or(TimeOfDay{});
        entries.push_back({plan_.rule.RingTime(set).Seconds(), set.Seconds(), ReadInt16(record, job_layout::kNoOffset),
                           static_cast<int>(i), facts});
    }
    // Ascending times, equal times in file order: the order the original insertion produced.
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.time < b.time; });
    for (std::size_t i = 1; i <= n; ++i) {
        dueTimes_[i] = entries[i - 1].time;
        dueSetTimes_[i] = entries[i - 1].setTime;
        dueJobNos_[i] = entries[i - 1].jobNo;
        dueRecords_[i] = entries[i - 1].record;
        dueFacts_[i] = entries[i - 1].facts;
    }
}

Checktime::DayRecord& Checktime::Day(const CalendarDate& date) {
    const std::int64_t day = DaysFromCivil(date);
    auto it = std::find_if(days_.begin(), days_.end(), [day](const DayRecord& d) { return d.day == day; });
    if (it == days_.end()) {
        if (days_.size() >= kDaysKept) days_.pop_back();
        days_.insert(days_.begin(), DayRecord{day, {}, {}, {}});
    } else if (it != days_.begin()) {
        std::rotate(days_.begin(), it, it + 1);
    }
    return days_.front();
}

const Checktime::DayRecord* Checktime::Find(const CalendarDate& date) const {
    const std::int64_t day = DaysFromCivil(date);
    for (const DayRecord& d : days_) {
        if (d.day == day) return &d;
    }
    return nullptr;
}

bool Checktime::Done(const CalendarDate& date, int minute) const {
    const DayRecord* d = Find(date);
    return d && d->done.test(static_cast<std::size_t>(minute));
}

std::pair<int, int> Checktime::EntriesIn(int fromMinute, int toMinute) const {
    const auto begin = dueTimes_.begin() + 1;
    const auto end = dueTimes_.begin() + 1 + dueCount_;
    const auto first = std::lower_bound(begin, end, fromMinute * 60);
    const auto last = std::lower_bound(first, end, (toMinute + 1) * 60);
    return {static_cast<int>(first - dueTimes_.begin()), static_cast<int>(last - dueTimes_.begin())};
}

void Checktime::PlaceCursor(int minuteOfDay) {
    if (dueCount_ < 1) {
        dueCursor_ = 0;
        return;
    }
    const int next = EntriesIn(minuteOfDay + 1, 1439).first;
    dueCursor_ = static_cast<std::int16_t>(next > dueCount_ ? 1 : next);
}

void Checktime::UpdateClock() {
    tickNow_ = clock_.Now();
    clockNow_ = tickNow_.time;
    host_.ShowClock(ClockText(clockNow_), WeekdayCode(tickNow_.weekday));
}

void Checktime::CheckShutdownTime() {
    const auto due = TodaysShutdownTime(settings_, tickNow_.weekday);
    if (!due || due->hour != clockNow_.hour || due->minute != clockNow_.minute) return;
    if (holding()) {
        shutdownWaiting_ = true;
        return;
    }
    host_.ConfirmShutdown();
}

void Checktime::Hold(std::string reason) {
    holdReason_ = std::move(reason);
    if (holding() || !shutdownWaiting_) return;
    shutdownWaiting_ = false;
    host_.ConfirmShutdown();
}

std::string Checktime::PickJobMusic(const JobRecord& record) const {
    return MusicForWeekday(record, clock_.Now().weekday);
}

// The outcome before the fire lock is asked: Fired means "may ring".
std::optional<JobExamination> Checktime::Examine(int entry, const CalendarDate& date) const {
    const auto k = static_cast<std::size_t>(entry);
    const std::int32_t entryTime = dueSetTimes_[k];
    const auto bytes =
        ReadFileRange(groupPath_, static_cast<std::uint64_t>(dueRecords_[k] - 1) * JobRecordLength, JobRecordLength);
    if (!bytes || bytes->empty()) return std::nullopt;
    RecordBytes raw = BlankRecordBytes();
    std::copy(bytes->begin(), bytes->end(), raw.begin());
    const JobRecord record = DecodeJobRecord(raw);
    // The index holds times and numbers only; a record that no longer says what it read belongs to a file
    // replaced since, and rings at its own minute once the index is read again.
    const auto recordTime = ParseTimeOfDay(record.JobTime);
    if (record.JobNo != dueJobNos_[k] || recordTime.value_or(TimeOfDay{}).Seconds() != entryTime) return std::nullopt;
    // Minutes skipped before midnight are judged by their own date's rule.
    const DayRule rule = date == plan_.date ? plan_.rule : PlanFor(date).rule;
    JobExamination exam;
    exam.at = tickNow_;
    exam.date = date;
    exam.setTime = {entryTime / 3600, (entryTime / 60) % 60, entryTime % 60};
    exam.jobNo = dueJobNos_[k];
    exam.name = std::string(Trim(record.JobName));
    exam.state = std::string(Trim(record.JobState));
    exam.path = MusicForWeekday(record, rule.songWeekday);
    exam.shiftMinutes = (dueTimes_[k] - entryTime) / 60;

    const std::string_view jobDate = Trim(record.JobDate);
    const auto parsedDate = ParseDate(jobDate);
    if (TrimRight(record.JobState) != "START") {
        exam.outcome = JobOutcome::Paused;
    } else if (!ParseTimeOfDay(record.JobTime)) {
        // A time that does not read sorts as 00:00; such a job must not ring at midnight.
        exam.outcome = JobOutcome::UnreadableTime;
    } else if (jobDate != "Everyday" && !parsedDate) {
        exam.outcome = JobOutcome::UnreadableDate;
    } else if (jobDate != "Everyday" && !(*parsedDate == date)) {
        exam.outcome = JobOutcome::OtherDate;
    } else if (rule.silenced) {
        exam.outcome = JobOutcome::SilencedToday;
    } else if (rule.kind == DayKind::Holiday) {
        exam.outcome = JobOutcome::Holiday;
    } else if (rule.kind == DayKind::RestDay) {
        exam.outcome = JobOutcome::RestDay;
    } else if (rule.Skips(exam.setTime, exam.jobNo)) {
        exam.outcome = JobOutcome::Skipped;
    } else {
        exam.outcome = JobOutcome::Fired;
    }
    return exam;
}

std::vector<JobExamination> Checktime::ExamineEntries(const CalendarDate& date, int fromMinute, int toMinute) {
    for (int attempt = 0;; ++attempt) {
        const auto [first, last] = EntriesIn(fromMinute, toMinute);
        std::vector<JobExamination> exams;
        bool stale = false;
        for (int k = first; k < last; ++k) {
            std::optional<JobExamination> exam = Examine(k, date);
            if (exam) {
                exams.push_back(std::move(*exam));
            } else {
                stale = true;
            }
        }
        // Changed between the tick's look at the file and the read: once more from the file as it is now.
        if (!stale || attempt > 0) return exams;
        Reread();
    }
}

void Checktime::PassOverSkipped(const CalendarDate& date, int fromMinute, int toMinute, const std::string& reason) {
    std::vector<JobExamination> exams;
    for (JobExamination& exam : ExamineEntries(date, fromMinute, toMinute)) {
        const auto minute = static_cast<std::size_t>(std::min(MinuteOfDay(exam.setTime) + exam.shiftMinutes, 1439));
        const DayRecord* record = Find(date);
        // Each skip of a minute is logged once, though the clock may skip it again after being set back.
        if (record && (record->done.test(minute) || record->skipped.test(minute))) continue;
        if (exam.outcome == JobOutcome::Fired) {
            exam.outcome = JobOutcome::Missed;
            exam.reason = reason;
        }
        exams.push_back(std::move(exam));
    }
    DayRecord& day = Day(date);
    for (int m = fromMinute; m <= toMinute; ++m) day.skipped.set(static_cast<std::size_t>(m));
    for (const JobExamination& exam : exams) host_.JobExamined(exam);
}

void Checktime::PassOverMovedBack(const std::vector<std::tuple<int, int, int>>& before, int nowMinute) {
    const LocalDateTime now = clock_.Now();
    const DayRecord* day = Find(now.date);
    std::vector<JobExamination> exams;
    for (int k = 1; k <= dueCount_; ++k) {
        const auto i = static_cast<std::size_t>(k);
        const int setMinute = MinuteOfDay(dueSetTimes_[i]);
        const int ringMinute = MinuteOfDay(dueTimes_[i]);
        if (ringMinute > nowMinute) continue;
        const bool wasToCome = std::any_of(before.begin(), before.end(), [&](const auto& b) {
            return std::get<0>(b) == dueJobNos_[i] && std::get<1>(b) == setMinute && std::get<2>(b) > nowMinute;
        });
        if (!wasToCome) continue;
        if (day && std::find(day->rang.begin(), day->rang.end(), std::make_pair(int{dueJobNos_[i]}, setMinute)) !=
                       day->rang.end()) {
            continue;
        }
        std::optional<JobExamination> exam = Examine(k, now.date);
        if (!exam || exam->outcome != JobOutcome::Fired) continue;
        exam->at = now;
        exam->outcome = JobOutcome::Missed;
        exam->reason = "today's change moved it to " + HourMinuteText(TimeOfDay{ringMinute / 60, ringMinute % 60, 0}) +
                       ", which had passed";
        exams.push_back(std::move(*exam));
    }
    for (const JobExamination& exam : exams) host_.JobExamined(exam);
}

void Checktime::ExamineMinute(const CalendarDate& date, int minute) {
    if (Done(date, minute)) return;
    Day(date).done.set(static_cast<std::size_t>(minute));
    std::vector<JobExamination> exams = ExamineEntries(date, minute, minute);
    for (JobExamination& exam : exams) {
        if (exam.outcome != JobOutcome::Fired) continue;
        auto& rang = Day(date).rang;
        const std::pair<int, int> bell{exam.jobNo, MinuteOfDay(exam.setTime)};
        // However today's shifts move it, a bell rings once a day.
        if (std::find(rang.begin(), rang.end(), bell) != rang.end()) {
            exam.outcome = JobOutcome::AlreadyRang;
            continue;
        }
        const bool peerRang = peerRangMinute_ == MakeLocalDateTime(date, exam.setTime).MinuteIndex();
        if (!standbyFor_.empty() && (!standbyActive_ || peerRang)) {
            exam.outcome = JobOutcome::Standby;
            exam.reason = standbyFor_ + (standbyActive_ ? " rang it" : " rings it");
            rang.push_back(bell);
        } else if (holding()) {
            exam.outcome = JobOutcome::Held;
            exam.reason = holdReason_;
            rang.push_back(bell);
        } else if (fireLock_ && fireLockMinute_ == tickNow_.MinuteIndex()) {
            exam.outcome = JobOutcome::Locked;
        } else {
            fireLock_ = true;
            fireLockMinute_ = tickNow_.MinuteIndex();
            host_.StartFireLockTimer();
            exam.standbyFor = standbyFor_;
            host_.Firing(exam);
            player_.SetFileName(exam.path);
            rang.push_back(bell);
        }
    }
    // The bell first, then the lines: a crowded minute must not hold up its bell.
    for (const JobExamination& exam : exams) host_.JobExamined(exam);
}

std::optional<UpcomingBell> Checktime::BellAt(const LocalDateTime& at) const {
    const int minute = MinuteOfDay(at.time);
    if (dueCount_ < 1 || holding() || Done(at.date, minute) || (fireLock_ && fireLockMinute_ == at.MinuteIndex()) ||
        (!standbyFor_.empty() && !standbyActive_)) {
        return std::nullopt;
    }
    const auto [first, last] = EntriesIn(minute, minute);
    for (int k = first; k < last; ++k) {
        const std::optional<JobExamination> exam = Examine(k, at.date);
        if (exam && exam->outcome == JobOutcome::Fired) return UpcomingBell{exam->jobNo, exam->path};
    }
    return std::nullopt;
}

bool Checktime::RereadIfChanged() {
    if (FileStamp(groupPath_) == indexStamp_) return false;
    Reread();
    return true;
}

void Checktime::Reread() {
    const LocalDateTime now = lastSeen_ ? *lastSeen_ : clock_.Now();
    // The day the index is for: a tick that crosses midnight closes that day before it reads the new one.
    ReadIndex(plan_.date == CalendarDate{} ? now.date : plan_.date);
    PlaceCursor(MinuteOfDay(now.time));
    ReportBellsLeft();
    host_.IndexReread();
}

void Checktime::CheckDueJob() {
    const LocalDateTime now = tickNow_;
    const int nowMinute = MinuteOfDay(now.time);
    if (lastSeen_) {
        const LocalDateTime last = *lastSeen_;
        const std::int64_t lastIndex = last.MinuteIndex();
        const std::int64_t nowIndex = now.MinuteIndex();
        const bool back = now.MillisecondIndex() < last.MillisecondIndex();
        if (back || nowIndex > lastIndex + 1) host_.ClockJumped(last, now);
        if (!back && nowIndex > lastIndex + 1) {
            const std::string reason = "clock jumped from " + SecondText(last.time) + " to " + SecondText(now.time);
            const int lastMinute = MinuteOfDay(last.time);
            if (!(last.date == now.date) && lastMinute < 1439) {
                // The day that ended is closed from its own plan before the new day's is read. Only the ends of a
                // jump over several days: the days between had no program watching them.
                if (!(plan_.date == last.date)) ReadIndex(last.date);
                if (dueCount_ > 0) PassOverSkipped(last.date, lastMinute + 1, 1439, reason);
            }
            if (!(plan_.date == now.date)) ReadIndex(now.date);
            const int from = last.date == now.date ? lastMinute + 1 : 0;
            if (dueCount_ > 0 && from < nowMinute) PassOverSkipped(now.date, from, nowMinute - 1, reason);
        }
    }
    // A new day brings its own plan (a holiday, a group, no more of yesterday's today-only changes); its first
    // minute still rings.
    if (!(plan_.date == now.date)) ReadIndex(now.date);
    lastSeen_ = now;
    if (dueCount_ > 0) {
        ExamineMinute(now.date, nowMinute);
    } else {
        // Passed without a usable timetable: a file mended within it rings from the next minute, never late.
        Day(now.date).done.set(static_cast<std::size_t>(nowMinute));
    }
    PlaceCursor(nowMinute);
    ReportBellsLeft();
}

BellsLeft Checktime::BellsLeftToday() const {
    BellsLeft left;
    if (dueCount_ < 1 || !plan_.Rings()) return left;
    const LocalDateTime now = lastSeen_ ? *lastSeen_ : clock_.Now();
    const int nowMinute = MinuteOfDay(now.time);
    int lastCounted = -1;
    for (int k = EntriesIn(nowMinute + 1, 1439).first; k <= dueCount_; ++k) {
        const auto i = static_cast<std::size_t>(k);
        const EntryFacts& f = dueFacts_[i];
        const int minute = MinuteOfDay(dueTimes_[i]);
        // One bell a minute: the others of its minute are held back by the fire lock.
        if (minute == lastCounted) continue;
        if (!f.start || !(f.everyday || (f.date && *f.date == now.date)) || Done(now.date, minute)) continue;
        const std::int32_t set = dueSetTimes_[i];
        if (plan_.rule.Skips({set / 3600, (set / 60) % 60, 0}, dueJobNos_[i])) continue;
        lastCounted = minute;
        if (left.count++ == 0) left.next = {minute / 60, minute % 60, 0};
    }
    return left;
}

void Checktime::ReportBellsLeft() {
    const std::int64_t minute = lastSeen_ ? lastSeen_->MinuteIndex() : clock_.Now().MinuteIndex();
    if (minute == leftCountedAt_) return;
    leftCountedAt_ = minute;
    const BellsLeft left = BellsLeftToday();
    if (reportedLeft_ && *reportedLeft_ == left) return;
    reportedLeft_ = left;
    host_.BellsLeftChanged(left);
}

void Checktime::Tick() {
    UpdateClock();
    RereadIfChanged();
    CheckDueJob();
    CheckShutdownTime();
}

void Checktime::FireLockElapsed() { fireLock_ = false; }

void Checktime::SetStandby(std::string forPc, bool active) {
    standbyFor_ = std::move(forPc);
    standbyActive_ = active && !standbyFor_.empty();
}

}  // namespace lingchao
