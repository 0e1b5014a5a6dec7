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
constexpr std::size_t kNamesShown = 5;

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
        d.date = CivilFromDays(n);
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

    // False when the calendar's reader would not take the entry: nothing is added then.
    bool Add(std::int64_t first, int days, const std::string& summary) {
        CalendarEntry e;
        e.first = CivilFromDays(first);
        e.last = CivilFromDays(first + days - 1);
        e.kind = summary.find("班") != std::string::npos ? CalendarKind::SchoolDay : CalendarKind::Holiday;
        e.note = summary;
        if (!CalendarEntryProblem(e).empty()) return false;
        out.entries.push_back(std::move(e));
        return true;
    }

    // The day of a date libical read, when it is a real date the calendar can hold (not 2026-13-01, 0000-01-01).
    static std::optional<std::int64_t> DayOf(const icaltimetype& t) {
        const CalendarDate date{t.year, t.month, t.day};
        const auto parsed = ParseDate(DateText(date));
        if (!parsed || !(*parsed == date)) return std::nullopt;
        return DaysFromCivil(date);
    }

    void Event(icalcomponent* event) {
        const icaltimetype start = icalcomponent_get_dtstart(event);
        if (icaltime_is_null_time(start)) return;
        if (!start.is_date) {
            ++out.timedEvents;
            return;
        }
        if (Full()) {
            ++out.eventsLeftOut;
            return;
        }
        const char* summaryText = icalcomponent_get_summary(event);
        const std::string summary = ClipUtf8(Trim(summaryText != nullptr ? summaryText : ""), kNoteChars);
        // A title in another encoding could hide the "班" of a make-up day: the event is not guessed at.
        const bool readable = IsValidUtf8(summary);
        const std::string name = "《" +
                                 (!readable         ? "标题不是 UTF-8 文字"
                                  : summary.empty() ? "无标题"
                                                    : ClipUtf8(summary, 20)) +
                                 "》";
        const auto refuse = [&](const icaltimetype& t) {
            out.refused.Add(name + "（" + DateText({t.year, t.month, t.day}) + "）");
        };
        const std::optional<std::int64_t> first = DayOf(start);
        if (!first || !readable) {
            refuse(start);
            return;
        }
        // The end of an all-day event is the day after its last (from DTEND, or DTSTART and DURATION).
        int days = 1;
        const icaltimetype end = icalcomponent_get_dtend(event);
        if (!icaltime_is_null_time(end)) {
            const std::optional<std::int64_t> after = DayOf(end);
            if (!after) {
                refuse(end);
                return;
            }
            if (*after - *first > kIcsMaxDays) out.shortened.Add(name);
            if (*after > *first) days = static_cast<int>(std::min<std::int64_t>(*after - *first, kIcsMaxDays));
        }
        if (!Add(*first, days, summary)) {
            refuse(start);
            return;
        }

        if (icalproperty* rrule = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY); rrule != nullptr) {
            const std::optional<Repeat> repeat = Repeat::Of(icalproperty_get_rrule(rrule));
            if (!repeat || !Follow(*repeat, *first, days, summary)) ++out.repeatsCut;
        }
        for (icalproperty* p = icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY); p != nullptr;
             p = icalcomponent_get_next_property(event, ICAL_RDATE_PROPERTY)) {
            const icaldatetimeperiodtype rdate = icalproperty_get_rdate(p);
            const icaltimetype t = icaltime_is_null_time(rdate.time) ? rdate.period.start : rdate.time;
            if (icaltime_is_null_time(t)) continue;
            const std::optional<std::int64_t> day = DayOf(t);
            if (!day) {
                refuse(t);
            } else if (*day == *first) {
                continue;
            } else if (Full()) {
                ++out.datesLeftOut;
            } else if (!Add(*day, days, summary)) {
                refuse(t);
            }
        }
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

void NamedEvents::Add(std::string name) {
    if (++count <= kNamesShown) names.push_back(std::move(name));
}

std::string NamedEvents::Text() const {
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : "、") + n;
    if (count > names.size()) out += " 等 " + std::to_string(count) + " 个";
    return out;
}

std::string IcsImport::LeftOutText() const {
    std::string out;
    if (refused.count > 0) {
        out = std::to_string(refused.count) + " 个日程的日期或标题无法用于校历，未导入：" + refused.Text();
    }
    if (shortened.count > 0) {
        out += (out.empty() ? "" : "；") + std::to_string(shortened.count) + " 个日程长于 " +
               std::to_string(kIcsMaxDays) + " 天，只导入了前 " + std::to_string(kIcsMaxDays) + " 天：" +
               shortened.Text();
    }
    if (eventsLeftOut > 0 || datesLeftOut > 0) {
        out += (out.empty() ? "" : "；") + ("条目太多，只导入了前 " + std::to_string(kIcsMaxEntries) + " 个，另有 ") +
               (eventsLeftOut > 0 ? std::to_string(eventsLeftOut) + " 个全天日程" : "") +
               (eventsLeftOut > 0 && datesLeftOut > 0 ? "和 " : "") +
               (datesLeftOut > 0 ? std::to_string(datesLeftOut) + " 个另列的日期（RDATE）" : "") + "未导入";
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
    out.repeatsTo = CivilFromDays(reader.to);

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
