#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/file_util.h"
#include "base/text.h"
#include "store/timeparse.h"

namespace lingchao {

// The school calendar, "calendar.csv" in the application folder: UTF-8 CSV with the header
// first_date,last_date,kind,argument,note and one entry per line. Without the file every day rings as the
// timetable says.
inline constexpr const char* kCalendarFile = "calendar.csv";
inline constexpr const char* kCalendarHeader = "first_date,last_date,kind,argument,note";
// The file as it was before the program's last change to it.
inline constexpr const char* kCalendarBackupFile = "calendar.csv.bak";

enum class CalendarKind {
    Holiday,       // no bells
    RestWeekdays,  // argument "6 7": no bells on those weekdays unless another entry makes the date a school day
    SchoolDay,     // a make-up day; argument: the weekday whose songs ring ("" = its own)
    Group,         // argument: a file of "job/" whose jobs ring instead of the timetable in use
    // Today only: kept for one date, ignored on any other.
    TodaySilent,  // no more bells that date
    TodaySkip,    // argument "08:45 3": the bell set for 08:45 of job 3 does not ring
    TodayShift,   // argument "10 07:58": bells set after 07:58 ring 10 minutes later
};

// The date `days` after 1970-01-01: the inverse of DaysFromCivil.
CalendarDate CivilFromDays(std::int64_t days);

const char* KindName(CalendarKind kind);  // the name in the file: "holiday", "today-shift", ...
std::optional<CalendarKind> KindFromName(std::string_view name);
bool IsTodayOnly(CalendarKind kind);

struct CalendarEntry {
    CalendarDate first;
    CalendarDate last;
    CalendarKind kind = CalendarKind::Holiday;
    std::string argument;
    std::string note;
    int line = 0;  // where it was read (1-based, the header is line 1); 0 for an entry not read from a file

    // Same dates, kind and argument: the note and the line do not count (an import skips such duplicates).
    bool SameAs(const CalendarEntry& other) const;
    bool Covers(const CalendarDate& date) const;
    std::int64_t Days() const;  // length of the range in days, 1 for a one-day entry
};

// A line that was skipped, and why (Chinese, for the clock's tooltip).
struct CalendarProblem {
    int line = 0;
    std::string why;
};

struct CalendarRead {
    bool present = false;  // the file exists (a missing file is no problem: no calendar)
    std::vector<CalendarEntry> entries;
    std::vector<CalendarProblem> problems;
};

// Caps no real calendar reaches; past them the good part is used and the rest named as a problem. Today-only
// entries have a cap of their own: a full calendar never hides today's 今天不响铃.
inline constexpr std::uint64_t kCalendarMaxBytes = 1024 * 1024;
inline constexpr std::size_t kCalendarMaxEntries = 10000;
inline constexpr std::size_t kCalendarMaxTodayEntries = 1000;
// A larger file is never rewritten: the program could not keep what it holds.
inline constexpr std::uint64_t kCalendarMaxRewriteBytes = 16 * 1024 * 1024;
// Skipped lines named one by one; past them only counted, so a file of bad lines costs no more than a few.
inline constexpr std::size_t kCalendarMaxProblems = 100;

// Reads any bytes: a bad line is skipped and named, the good ones count. Text that is not UTF-8 is read as GBK
// (a spreadsheet saved on a Chinese Windows).
CalendarRead ParseCalendar(std::string_view text);
// Only a regular file is read, never more than the cap; a FIFO or device is refused at once without blocking.
CalendarRead ReadCalendar(const std::filesystem::path& file);
// The header and one line per entry, CSV quoting where a field needs it.
std::string EncodeCalendar(const std::vector<CalendarEntry>& entries);
// Why the reader would not take the entry as it is ("" when it would): what an import may write.
std::string CalendarEntryProblem(const CalendarEntry& entry);

enum class CalendarWrite { Written, Abandoned, Failed };
// Changes the file without losing a byte the change does not touch. `change` edits the entries the file holds
// now (each with its line) and returns false to leave the file alone. An entry that keeps its line keeps its
// place (and its text when unchanged); a new one goes after the last entry read; today-only entries go first,
// those of earlier dates are dropped. Lines the reader skipped or did not reach stay byte for byte where they
// were. The old file is first kept whole as calendar.csv.bak, then the new one replaces it atomically. A change
// the reader would not take whole (past its caps) is refused. `failure` says why, in Chinese, when Failed.
CalendarWrite ChangeCalendar(const std::filesystem::path& file, const CalendarDate& today,
                             const std::function<bool(std::vector<CalendarEntry>&)>& change,
                             std::string* failure = nullptr);
// ChangeCalendar to exactly `entries` (their lines say which entries of the file they are). False on failure.
bool WriteCalendar(const std::filesystem::path& file, const std::vector<CalendarEntry>& entries,
                   const CalendarDate& today, std::string* failure = nullptr);
// The problems for a label, a tooltip or the log: the file's own first, then "校历第 3 行已跳过：…", the lines
// skipped for the same reason together ("校历第 3、5 行已跳过：…"); at most `maxLines` lines and a count of the rest.
std::string CalendarProblemsText(const std::vector<CalendarProblem>& problems,
                                 std::size_t maxLines = kShownProblemLines);

// What the calendar makes of one date.
enum class DayKind { School, Holiday, RestDay, MakeUp, Group };

struct DayRule {
    DayKind kind = DayKind::School;
    int songWeekday = 1;    // whose songs ring: the date's own weekday, or a make-up day's argument
    std::string groupFile;  // Group: the file name in "job/"
    std::string note;       // the deciding entry's note ("国庆节")
    int line = 0;           // the deciding entry's line, 0 when none decided
    // Today-only changes of the date.
    bool silenced = false;
    int shiftMinutes = 0;
    TimeOfDay shiftAfter;                          // bells set strictly after this minute are shifted
    std::vector<std::pair<TimeOfDay, int>> skips;  // set time and job number of each skipped bell

    bool Rings() const { return !silenced && kind != DayKind::Holiday && kind != DayKind::RestDay; }
    bool TodayChanged() const { return silenced || shiftMinutes != 0 || !skips.empty(); }
    // When a bell set for `set` rings: later by the shift when it is set after the shift's minute.
    TimeOfDay RingTime(const TimeOfDay& set) const;
    bool Skips(const TimeOfDay& set, int jobNo) const;
};

// Precedence: holiday, school-day and group entries covering the date, the shortest range first, on a tie the
// later line; without one, rest weekdays (again the shortest, later entry). Today-only entries of the date go
// over everything.
DayRule ResolveDay(const std::vector<CalendarEntry>& entries, const CalendarDate& date);

// The candidates the calendar does not hold yet (see CalendarEntry::SameAs), each once, in their order.
std::vector<CalendarEntry> NotYetIn(const std::vector<CalendarEntry>& existing,
                                    const std::vector<CalendarEntry>& candidates);

// Rest-weekdays entries "6 7" for the days from the first to the last date of `imported` that no rest-weekdays
// entry covers, when `imported` brings a make-up day that none covers: without them a make-up day changes
// nothing and every weekend rings. Empty when every make-up day is covered.
std::vector<CalendarEntry> WeekendsForMakeUpDays(const std::vector<CalendarEntry>& existing,
                                                 const std::vector<CalendarEntry>& imported);

// The weekdays of a rest-weekdays argument ("6 7", "6,7"); nullopt when it names anything else.
std::optional<std::vector<int>> ParseWeekdays(std::string_view argument);
// A job-group name that stays inside "job/" (no folder parts).
bool IsSafeGroupName(std::string_view name);

// Today-only changes: each returns the entries to write. `now` is the moment the user asked.
std::vector<CalendarEntry> SilenceToday(std::vector<CalendarEntry> entries, const CalendarDate& today);
std::vector<CalendarEntry> SkipBell(std::vector<CalendarEntry> entries, const CalendarDate& today, const TimeOfDay& set,
                                    int jobNo);
// The bells still to come today ring `minutes` later than set; a second shift replaces the first without moving
// a bell that has already rung.
std::vector<CalendarEntry> ShiftToday(std::vector<CalendarEntry> entries, const CalendarDate& today,
                                      const TimeOfDay& now, int minutes);
std::vector<CalendarEntry> RestoreToday(std::vector<CalendarEntry> entries, const CalendarDate& today);

}  // namespace lingchao
