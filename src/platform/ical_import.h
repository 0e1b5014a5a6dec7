#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "scheduler/calendar.h"

namespace lingchao {

// Caps no school's calendar reaches; they keep a file of thousands of daily events from taking minutes and
// gigabytes. A repeating event gives its own date and its dates of the next kIcsRepeatDays days.
inline constexpr std::uint64_t kIcsMaxBytes = 4 * 1024 * 1024;
inline constexpr std::size_t kIcsMaxEntries = 3000;
inline constexpr int kIcsRepeatDays = 400;
// An event longer than this is taken for its first days only.
inline constexpr int kIcsMaxDays = 366;

// Events the result names: how many, and the first few ("《春节》（2026-13-01）").
struct NamedEvents {
    std::size_t count = 0;
    std::vector<std::string> names;

    void Add(std::string name);
    // "《春节》（2026-13-01）、《元旦》（0000-01-01）", then "等 9 个" past the names kept.
    std::string Text() const;
};

// What an iCalendar file (.ics) brings to the school calendar, read by libical: every all-day event becomes a
// holiday, one whose summary contains "班" (补班, 上班) a make-up school day; the summary is the note. Its RDATE
// dates count as its own. Timed events are left out. Every entry is one the calendar's reader takes.
struct IcsImport {
    std::vector<CalendarEntry> entries;
    std::string error;  // why the file was refused, for the user; "" when it was read
    int timedEvents = 0;
    // What the caps left out: all-day events past kIcsMaxEntries entries, and repeating events of which some
    // dates fell outside [repeatsFrom, repeatsTo] (or whose rule could not be followed: only their own date).
    std::size_t eventsLeftOut = 0;
    std::size_t datesLeftOut = 0;  // RDATE dates past kIcsMaxEntries
    NamedEvents refused;           // a date the calendar cannot hold (2026-13-01), or a title that is not UTF-8
    NamedEvents shortened;         // longer than kIcsMaxDays: only their first kIcsMaxDays days
    std::size_t repeatsCut = 0;
    CalendarDate repeatsFrom;
    CalendarDate repeatsTo;

    // The above for the user, "" when nothing was left out or changed.
    std::string LeftOutText() const;
};

// `today` starts the span of days a repeating event is followed through.
IcsImport ParseIcs(std::string_view text, const CalendarDate& today);
// Only a regular file, up to the cap.
IcsImport ReadIcsFile(const std::filesystem::path& file, const CalendarDate& today);

}  // namespace lingchao
