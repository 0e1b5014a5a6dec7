#include "platform/ical_import.h"

#include <libical/ical.h>

#include <memory>

#include "base/file_util.h"
#include "base/text.h"

namespace lingchao {
namespace {

constexpr const char* kNotICalendar = "这不是 iCalendar 日历文件（.ics），无法导入。";
constexpr int kMaxOccurrences = 800;
constexpr int kRepeatYears = 2;

CalendarDate DateOf(const icaltimetype& t) { return {t.year, t.month, t.day}; }

struct ComponentFree {
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
struct IteratorFree {
    void operator()(icalrecur_iterator* it) const { icalrecur_iterator_free(it); }
};

// The entry of one all-day occurrence starting at `start`, `days` long.
CalendarEntry EntryFor(const icaltimetype& start, int days, const std::string& summary) {
    CalendarEntry e;
    icaltimetype last = start;
    icaltime_adjust(&last, days - 1, 0, 0, 0);
    e.first = DateOf(start);
    e.last = DateOf(last);
    e.kind = summary.find("班") != std::string::npos ? CalendarKind::SchoolDay : CalendarKind::Holiday;
    e.note = summary;
    return e;
}

void AddEvent(icalcomponent* event, IcsImport& out) {
    const icaltimetype start = icalcomponent_get_dtstart(event);
    if (icaltime_is_null_time(start) || !icaltime_is_valid_time(start)) return;
    if (!start.is_date) {
        ++out.timedEvents;
        return;
    }
    icaltimetype end = icalcomponent_get_dtend(event);
    // The end of an all-day event is the day after its last.
    int days = 1;
    if (!icaltime_is_null_time(end)) days = icaltime_compare_date_only(end, start) > 0 ? 0 : 1;
    if (days == 0) {
        icaltimetype d = start;
        while (icaltime_compare_date_only(d, end) < 0 && days < 366) {
            icaltime_adjust(&d, 1, 0, 0, 0);
            ++days;
        }
    }
    const char* summaryText = icalcomponent_get_summary(event);
    const std::string summary(Trim(summaryText != nullptr ? summaryText : ""));

    icalproperty* rrule = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY);
    if (rrule == nullptr) {
        out.entries.push_back(EntryFor(start, days, summary));
        return;
    }
    std::unique_ptr<icalrecur_iterator, IteratorFree> it(icalrecur_iterator_new(icalproperty_get_rrule(rrule), start));
    if (!it) {
        out.entries.push_back(EntryFor(start, days, summary));
        return;
    }
    for (int n = 0; n < kMaxOccurrences; ++n) {
        const icaltimetype next = icalrecur_iterator_next(it.get());
        if (icaltime_is_null_time(next) || next.year > start.year + kRepeatYears) break;
        out.entries.push_back(EntryFor(next, days, summary));
    }
}

}  // namespace

IcsImport ParseIcs(std::string_view text) {
    IcsImport out;
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
            AddEvent(e, out);
    }
    return out;
}

IcsImport ReadIcsFile(const std::filesystem::path& file) {
    const StoredFile read = ReadStoredFile(file, kIcsMaxBytes);
    IcsImport out;
    if (read.problem == ReadProblem::TooLarge) {
        out.error =
            "文件太大（超过 " + std::to_string(kIcsMaxBytes / 1024 / 1024) + " MB），不像是一个校历：" + file.string();
    } else if (!read.whole()) {
        out.error = "无法导入（" + ReadProblemText(read.problem) + "）：" + file.string();
    } else {
        out = ParseIcs(std::string(read.bytes.begin(), read.bytes.end()));
    }
    return out;
}

}  // namespace lingchao
