#include "platform/ical_import.h"

#include <libical/ical.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

#include "base/file_util.h"
#include "base/text.h"
#include "scheduler/clock.h"

namespace lingchao {
namespace {

constexpr const char* kNotICalendar = "这不是 iCalendar 日历文件（.ics），无法导入。";
// Days looked at for all repeating events of a file together: a rule counted from a start long ago is walked
// from there, and a file of thousands of them must still end soon.
constexpr std::int64_t kScanBudget = 2'000'000;
constexpr std::size_t kNoteChars = 100;

CalendarDate DateOfDay(std::int64_t n) {
    // Howard Hinnant's civil_from_days, the inverse of DaysFromCivil.
    n += 719468;
    const std::int64_t era = (n >= 0 ? n : n - 146096) / 146097;
    const std::int64_t doe = n - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0)), month, day};
}

int WeekdayOfDay(std::int64_t n) { return static_cast<int>(((n % 7) + 7 + 3) % 7) + 1; }  // 1970-01-01: Thursday

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// One day in the terms a rule asks about.
struct Day {
    std::int64_t n = 0;
    CalendarDate date;
    int weekday = 1;  // 1 = Monday
    int yearDay = 1;
    int daysInYear = 365;
    int daysInMonth = 31;

    static Day Of(std::int64_t n) {
        Day d;
        d.n = n;
        d.date = DateOfDay(n);
        d.weekday = WeekdayOfDay(n);
        d.yearDay = static_cast<int>(n - DaysFromCivil({d.date.year, 1, 1})) + 1;
        d.daysInYear = IsLeap(d.date.year) ? 366 : 365;
        d.daysInMonth = DaysInMonth(d.date.year, d.date.month);
        return d;
    }
};

// An RRULE of an all-day event, followed by our own day-by-day matching: libical's iterator walks a rule that
// can never match (the 30th of February) for seconds per event, and a file may hold thousands.
struct Repeat {
    icalrecurrencetype_frequency freq = ICAL_NO_RECURRENCE;
    int interval = 1;
    int count = 0;  // 0: no COUNT
    std::optional<std::int64_t> until;
    int weekStart = 1;
    std::vector<int> months, monthDays, yearDays;
    std::vector<std::pair<int, int>> weekdays;  // weekday (1 = Monday) and position (0: every one)

    // Nullopt for a rule this calendar cannot follow (hourly, by week number or set position, another
    // calendar system).
    static std::optional<Repeat> Of(const icalrecurrencetype& r) {
        if (r.freq < ICAL_DAILY_RECURRENCE || r.freq > ICAL_YEARLY_RECURRENCE || r.rscale != nullptr) return {};
        const auto used = [](const short* list) { return list[0] != ICAL_RECURRENCE_ARRAY_MAX; };
        if (used(r.by_second) || used(r.by_minute) || used(r.by_hour) || used(r.by_week_no) || used(r.by_set_pos))
            return {};
        Repeat out;
        out.freq = r.freq;
        out.interval = std::max<int>(1, r.interval);
        out.count = std::max(0, r.count);
        if (!icaltime_is_null_time(r.until)) out.until = DaysFromCivil({r.until.year, r.until.month, r.until.day});
        // libical counts Sunday as 1.
        const auto weekday = [](int icalDay) { return icalDay == ICAL_SUNDAY_WEEKDAY ? 7 : icalDay - 1; };
        if (r.week_start >= ICAL_SUNDAY_WEEKDAY && r.week_start <= ICAL_SATURDAY_WEEKDAY)
            out.weekStart = weekday(r.week_start);
        const auto copy = [](const short* list, std::size_t size, std::vector<int>& to) {
            for (std::size_t i = 0; i < size && list[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i) to.push_back(list[i]);
        };
        copy(r.by_month, ICAL_BY_MONTH_SIZE, out.months);
        copy(r.by_month_day, ICAL_BY_MONTHDAY_SIZE, out.monthDays);
        copy(r.by_year_day, ICAL_BY_YEARDAY_SIZE, out.yearDays);
        for (std::size_t i = 0; i < ICAL_BY_DAY_SIZE && r.by_day[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i) {
            const int day = icalrecurrencetype_day_day_of_week(r.by_day[i]);
            if (day < ICAL_SUNDAY_WEEKDAY || day > ICAL_SATURDAY_WEEKDAY) return {};
            out.weekdays.emplace_back(weekday(day), icalrecurrencetype_day_position(r.by_day[i]));
        }
        for (int m : out.months) {
            if (icalrecurrencetype_month_is_leap(static_cast<short>(m))) return {};
        }
        return out;
    }

    std::int64_t WeekStart(std::int64_t n) const { return n - (WeekdayOfDay(n) - weekStart + 7) % 7; }

    // Whether `d` is a date of the rule started on `s` (the start itself always is).
    bool Matches(const Day& d, const Day& s) const {
        std::int64_t step = 0;
        switch (freq) {
            case ICAL_DAILY_RECURRENCE:
                step = d.n - s.n;
                break;
            case ICAL_WEEKLY_RECURRENCE:
                step = (WeekStart(d.n) - WeekStart(s.n)) / 7;
                break;
            case ICAL_MONTHLY_RECURRENCE:
                step = (d.date.year - s.date.year) * 12 + d.date.month - s.date.month;
                break;
            default:
                step = d.date.year - s.date.year;
                break;
        }
        if (step % interval != 0) return false;
        const auto in = [](const std::vector<int>& list, int value, int fromEnd) {
            return std::find(list.begin(), list.end(), value) != list.end() ||
                   std::find(list.begin(), list.end(), fromEnd) != list.end();
        };
        if (!months.empty() && !in(months, d.date.month, 0)) return false;
        if (!yearDays.empty() && !in(yearDays, d.yearDay, d.yearDay - d.daysInYear - 1)) return false;
        if (!monthDays.empty() && !in(monthDays, d.date.day, d.date.day - d.daysInMonth - 1)) return false;
        if (!weekdays.empty()) {
            // "2MO" counts within the month for a monthly rule (or a yearly one by month), else within the year.
            const bool inMonth = freq == ICAL_MONTHLY_RECURRENCE || (freq == ICAL_YEARLY_RECURRENCE && !months.empty());
            const int index = inMonth ? d.date.day : d.yearDay;
            const int length = inMonth ? d.daysInMonth : d.daysInYear;
            const bool any = std::any_of(weekdays.begin(), weekdays.end(), [&](const auto& w) {
                if (w.first != d.weekday) return false;
                if (w.second == 0 || freq < ICAL_MONTHLY_RECURRENCE) return true;
                return w.second > 0 ? (index - 1) / 7 + 1 == w.second : -((length - index) / 7 + 1) == w.second;
            });
            if (!any) return false;
        }
        // What the rule leaves open comes from the start date.
        const bool dayGiven = !weekdays.empty() || !monthDays.empty() || !yearDays.empty();
        if (freq == ICAL_WEEKLY_RECURRENCE && weekdays.empty()) return d.weekday == s.weekday;
        if (freq == ICAL_MONTHLY_RECURRENCE && !dayGiven) return d.date.day == s.date.day;
        if (freq == ICAL_YEARLY_RECURRENCE && !dayGiven)
            return d.date.day == s.date.day && (!months.empty() || d.date.month == s.date.month);
        return true;
    }
};

struct ComponentFree {
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};

struct Reader {
    IcsImport& out;
    std::int64_t from = 0;  // repeats: today and the days after
    std::int64_t to = 0;
    std::int64_t budget = kScanBudget;

    bool Full() const { return out.entries.size() >= kIcsMaxEntries; }

    void Add(std::int64_t first, int days, const std::string& summary) {
        CalendarEntry e;
        e.first = DateOfDay(first);
        e.last = DateOfDay(first + days - 1);
        e.kind = summary.find("班") != std::string::npos ? CalendarKind::SchoolDay : CalendarKind::Holiday;
        e.note = summary;
        out.entries.push_back(std::move(e));
    }

    void Event(icalcomponent* event) {
        const icaltimetype start = icalcomponent_get_dtstart(event);
        if (icaltime_is_null_time(start) || !icaltime_is_valid_time(start)) return;
        if (!start.is_date) {
            ++out.timedEvents;
            return;
        }
        if (Full()) {
            ++out.eventsLeftOut;
            return;
        }
        const std::int64_t first = DaysFromCivil({start.year, start.month, start.day});
        // The end of an all-day event is the day after its last.
        int days = 1;
        const icaltimetype end = icalcomponent_get_dtend(event);
        if (!icaltime_is_null_time(end) && icaltime_is_valid_time(end)) {
            const std::int64_t after = DaysFromCivil({end.year, end.month, end.day});
            if (after > first) days = static_cast<int>(std::min<std::int64_t>(after - first, 366));
        }
        const char* summaryText = icalcomponent_get_summary(event);
        const std::string summary = ClipUtf8(Trim(summaryText != nullptr ? summaryText : ""), kNoteChars);
        Add(first, days, summary);

        icalproperty* rrule = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY);
        if (rrule == nullptr) return;
        const std::optional<Repeat> repeat = Repeat::Of(icalproperty_get_rrule(rrule));
        if (!repeat) {
            ++out.repeatsCut;
            return;
        }
        if (!Follow(*repeat, first, days, summary)) ++out.repeatsCut;
    }

    // Adds the dates of the rule within [from, to] after the start's own; false when some were left out.
    bool Follow(const Repeat& r, std::int64_t start, int days, const std::string& summary) {
        const Day s = Day::Of(start);
        const std::int64_t last = std::min(to, r.until.value_or(to));
        // Without a COUNT nothing before today matters; with one, the dates before today are counted.
        std::int64_t n = r.count > 0 ? start + 1 : std::max(start + 1, from);
        bool whole = r.count > 0 || start + 1 >= from;
        int seen = 1;
        for (; n <= last; ++n) {
            if (r.count > 0 && seen >= r.count) return whole;
            if (budget-- <= 0 || Full()) return false;
            if (!r.Matches(Day::Of(n), s)) continue;
            ++seen;
            if (n < from) {
                whole = false;
                continue;
            }
            Add(n, days, summary);
        }
        if (r.count > 0 && seen >= r.count) return whole;
        // Dates past the span (or the rule's own end beyond it) are left out.
        return whole && r.until && *r.until <= to;
    }
};

}  // namespace

std::string IcsImport::LeftOutText() const {
    std::string out;
    if (eventsLeftOut > 0) {
        out = "条目太多，只导入了前 " + std::to_string(kIcsMaxEntries) + " 个，另有 " + std::to_string(eventsLeftOut) +
              " 个全天日程未导入";
    }
    if (repeatsCut > 0) {
        out += (out.empty() ? "" : "；") + std::to_string(repeatsCut) + " 个重复的日程只导入了首个日期和 " +
               DateText(repeatsFrom) + " 至 " + DateText(repeatsTo) + " 之间的日期";
    }
    return out.empty() ? out : out + "。";
}

IcsImport ParseIcs(std::string_view text, const CalendarDate& today) {
    IcsImport out;
    Reader reader{out};
    reader.from = DaysFromCivil(today);
    reader.to = reader.from + kIcsRepeatDays;
    out.repeatsFrom = today;
    out.repeatsTo = DateOfDay(reader.to);

    std::string_view head = text;
    if (head.starts_with("\xEF\xBB\xBF")) head.remove_prefix(3);
    while (!head.empty() && (head.front() == ' ' || head.front() == '\r' || head.front() == '\n'))
        head.remove_prefix(1);
    // libical reads almost anything as some component: only a file that says it is a calendar is taken.
    if (!head.starts_with("BEGIN:VCALENDAR")) {
        out.error = kNotICalendar;
        return out;
    }
    icalerror_set_errors_are_fatal(0);
    std::string owned(head);
    std::unique_ptr<icalcomponent, ComponentFree> root(icalparser_parse_string(owned.c_str()));
    if (!root) {
        // A file cut short (a download broken off) still gives the events it holds.
        owned += "\r\nEND:VCALENDAR\r\n";
        root.reset(icalparser_parse_string(owned.c_str()));
    }
    if (!root) {
        out.error = kNotICalendar;
        return out;
    }
    std::vector<icalcomponent*> calendars;
    if (icalcomponent_isa(root.get()) == ICAL_VCALENDAR_COMPONENT) {
        calendars.push_back(root.get());
    } else {
        for (icalcomponent* c = icalcomponent_get_first_component(root.get(), ICAL_VCALENDAR_COMPONENT); c != nullptr;
             c = icalcomponent_get_next_component(root.get(), ICAL_VCALENDAR_COMPONENT))
            calendars.push_back(c);
    }
    if (calendars.empty()) {
        out.error = kNotICalendar;
        return out;
    }
    for (icalcomponent* calendar : calendars) {
        for (icalcomponent* e = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); e != nullptr;
             e = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT))
            reader.Event(e);
    }
    return out;
}

IcsImport ReadIcsFile(const std::filesystem::path& file, const CalendarDate& today) {
    const StoredFile read = ReadStoredFile(file, kIcsMaxBytes);
    IcsImport out;
    if (read.problem == ReadProblem::TooLarge) {
        out.error =
            "文件太大（超过 " + std::to_string(kIcsMaxBytes / 1024 / 1024) + " MB），不像是一个校历：" + file.string();
    } else if (!read.whole()) {
        out.error = "无法导入（" + ReadProblemText(read.problem) + "）：" + file.string();
    } else {
        out = ParseIcs(std::string(read.bytes.begin(), read.bytes.end()), today);
    }
    return out;
}

}  // namespace lingchao
