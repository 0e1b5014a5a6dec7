#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "base/media_probe.h"
#include "scheduler/clock.h"

namespace lingchao {

// One bell of a day as the scheduler will ring it.
struct PlannedBell {
    TimeOfDay time;
    int jobNo = 0;
    std::string name;  // trimmed
    std::string path;  // the music for that day
    // Another job rings earlier in the same minute: this one is passed over ("locked").
    int lockedBy = 0;
};

// A "START" job that can never ring because its stored time or date does not read (a damaged file).
struct DamagedJob {
    int jobNo = 0;
    std::string name;
    std::string what;  // "time" or "date"
};

struct DayPlan {
    std::vector<PlannedBell> bells;  // in the order they ring
    std::vector<DamagedJob> damaged;
};

// The "START" jobs of the group file that ring on `date` (dated that day or "Everyday"), with that weekday's
// music. Reads the file only; a missing file has no bells.
DayPlan BellsOfDay(const std::filesystem::path& groupFile, const CalendarDate& date);

// The calendar day after `date`.
CalendarDate NextDay(const CalendarDate& date);

struct CheckInput {
    std::filesystem::path groupFile;
    LocalDateTime now;
    MediaProbe* probe = nullptr;
    // What else stands between today's bells and the ears (the sound output...), one line each.
    std::vector<std::string> otherProblems;
};

// The administrator's report of today's and tomorrow's bells and of every problem found; reads, never writes.
// True when every bell of today can play.
bool WriteCheckReport(std::ostream& out, const CheckInput& input);

}  // namespace lingchao
