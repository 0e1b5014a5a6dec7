#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "base/media_probe.h"
#include "scheduler/clock.h"

namespace lingchao {

// A "START" job that can never ring because its stored time or date does not read (a damaged file).
struct DamagedJob {
    int jobNo = 0;
    std::string name;
    std::string what;  // "time" or "date"
};

// The damaged "START" jobs of a group file; reads the file only.
std::vector<DamagedJob> DamagedJobs(const std::filesystem::path& groupFile);

struct CheckInput {
    std::filesystem::path appFolder;
    LocalDateTime now;
    MediaProbe* probe = nullptr;
    // What else stands between every bell to come and the ears (the sound output...), one line each.
    std::vector<std::string> otherProblems;
};

// The administrator's report: today's and tomorrow's bells as the school calendar plans them (with the file each
// bell found by name plays), and every problem the clock would warn of; reads, never writes. False only when a
// problem touches a bell still to ring today or tomorrow: a monitor is not woken for the eve of a holiday.
bool WriteCheckReport(std::ostream& out, const CheckInput& input);

}  // namespace lingchao
