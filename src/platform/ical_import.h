#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "scheduler/calendar.h"

namespace lingchao {

// What an iCalendar file (.ics) brings to the school calendar, read by libical: every all-day event becomes a
// holiday, one whose summary contains "班" (补班, 上班) a make-up school day; the summary is the note. Timed
// events are left out; a repeating event gives each of its dates within two years.
struct IcsImport {
    std::vector<CalendarEntry> entries;
    std::string error;  // why the file was refused, for the user; "" when it was read
    int timedEvents = 0;
};

inline constexpr std::uint64_t kIcsMaxBytes = 4 * 1024 * 1024;

IcsImport ParseIcs(std::string_view text);
// Only a regular file, up to the cap.
IcsImport ReadIcsFile(const std::filesystem::path& file);

}  // namespace lingchao
