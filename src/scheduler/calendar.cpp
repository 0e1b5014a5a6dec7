#include "scheduler/calendar.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "base/text.h"
#include "scheduler/clock.h"
#include "store/gbk.h"

namespace lingchao {
namespace {

struct KindEntry {
    CalendarKind kind;
    const char* name;
};
constexpr KindEntry kKinds[] = {
    {CalendarKind::Holiday, "holiday"},          {CalendarKind::RestWeekdays, "rest-weekdays"},
    {CalendarKind::SchoolDay, "school-day"},     {CalendarKind::Group, "group"},
    {CalendarKind::TodaySilent, "today-silent"}, {CalendarKind::TodaySkip, "today-skip"},
    {CalendarKind::TodayShift, "today-shift"},
};

// One CSV record starting at `pos`: fields split at commas, quotes around a field with "" for a quote inside;
// a quoted field may run over line ends. `lines` counts the line ends consumed.
std::vector<std::string> NextRecord(std::string_view text, std::size_t& pos, int& lines, bool& badQuote) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    bool wasQuoted = false;
    badQuote = false;
    while (pos < text.size()) {
        const char c = text[pos];
        if (quoted) {
            if (c == '"') {
                if (pos + 1 < text.size() && text[pos + 1] == '"') {
                    fields.back() += '"';
                    pos += 2;
                    continue;
                }
                quoted = false;
                ++pos;
                continue;
            }
            if (c == '\n') ++lines;
            fields.back() += c;
            ++pos;
            continue;
        }
        if (c == '\r' || c == '\n') {
            pos += (c == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ? 2 : 1;
            ++lines;
            return fields;
        }
        if (c == ',') {
            fields.emplace_back();
            wasQuoted = false;
        } else if (c == '"' && Trim(fields.back()).empty() && !wasQuoted) {
            fields.back().clear();
            quoted = true;
            wasQuoted = true;
        } else {
            if (wasQuoted && c != ' ') badQuote = true;
            fields.back() += c;
        }
        ++pos;
    }
    if (quoted) badQuote = true;
    ++lines;
    return fields;
}

std::string Field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos && Trim(text).size() == text.size()) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

// A field quoted back in a problem: a line of a megabyte is not repeated whole.
std::string Quote(std::string_view field) { return ClipUtf8(Trim(field), 40); }

std::optional<std::pair<TimeOfDay, int>> ParseSkip(std::string_view argument) {
    argument = Trim(argument);
    const auto blank = argument.find(' ');
    if (blank == std::string_view::npos) return std::nullopt;
    const auto time = ParseTimeOfDay(argument.substr(0, blank));
    const std::string_view number = Trim(argument.substr(blank + 1));
    if (!time || number.empty() || number.size() > 5 ||
        !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::make_pair(TimeOfDay{time->hour, time->minute, 0}, std::stoi(std::string(number)));
}

std::optional<std::pair<int, TimeOfDay>> ParseShift(std::string_view argument) {
    argument = Trim(argument);
    const auto blank = argument.find(' ');
    const std::string_view minutes = argument.substr(0, blank);
    if (minutes.empty() || minutes.size() > 4 ||
        !std::all_of(minutes.begin(), minutes.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int m = std::stoi(std::string(minutes));
    if (m < 1 || m > 1440) return std::nullopt;
    if (blank == std::string_view::npos) return std::nullopt;
    const auto after = ParseTimeOfDay(argument.substr(blank + 1));
    if (!after) return std::nullopt;
    return std::make_pair(m, TimeOfDay{after->hour, after->minute, 0});
}

// Why an entry cannot count, or "" when it can.
std::string CheckArgument(const CalendarEntry& e) {
    switch (e.kind) {
        case CalendarKind::Holiday:
            return {};
        case CalendarKind::RestWeekdays:
            return ParseWeekdays(e.argument) ? std::string()
                                             : "休息日应为 1–7 的星期数（如 6 7）：" + Quote(e.argument);
        case CalendarKind::SchoolDay: {
            const std::string_view a = Trim(e.argument);
            if (a.empty() || (a.size() == 1 && a[0] >= '1' && a[0] <= '7')) return {};
            return "调休上课的参数应为 1–7 的星期数或留空：" + Quote(e.argument);
        }
        case CalendarKind::Group:
            return IsSafeGroupName(Trim(e.argument)) ? std::string() : "任务组文件名无效：" + Quote(e.argument);
        case CalendarKind::TodaySilent:
        case CalendarKind::TodaySkip:
        case CalendarKind::TodayShift:
            if (!(e.first == e.last)) return "今日更改只能用于一天";
            if (e.kind == CalendarKind::TodaySkip && !ParseSkip(e.argument))
                return "跳过的铃声应写成“时间 任务号”：" + Quote(e.argument);
            if (e.kind == CalendarKind::TodayShift && !ParseShift(e.argument))
                return "推迟应写成“分钟 时间”：" + Quote(e.argument);
            return {};
    }
    return {};
}

int MinuteOf(const TimeOfDay& t) { return t.hour * 60 + t.minute; }
TimeOfDay FromMinute(int m) { return {m / 60, m % 60, 0}; }

}  // namespace

const char* KindName(CalendarKind kind) {
    for (const auto& k : kKinds) {
        if (k.kind == kind) return k.name;
    }
    return "?";
}

std::optional<CalendarKind> KindFromName(std::string_view name) {
    for (const auto& k : kKinds) {
        if (name == k.name) return k.kind;
    }
    return std::nullopt;
}

bool IsTodayOnly(CalendarKind kind) {
    return kind == CalendarKind::TodaySilent || kind == CalendarKind::TodaySkip || kind == CalendarKind::TodayShift;
}

bool CalendarEntry::SameAs(const CalendarEntry& o) const {
    return first == o.first && last == o.last && kind == o.kind && Trim(argument) == Trim(o.argument);
}

bool CalendarEntry::Covers(const CalendarDate& date) const {
    const auto d = DaysFromCivil(date);
    return DaysFromCivil(first) <= d && d <= DaysFromCivil(last);
}

std::int64_t CalendarEntry::Days() const { return DaysFromCivil(last) - DaysFromCivil(first) + 1; }

std::vector<CalendarEntry> NotYetIn(const std::vector<CalendarEntry>& existing,
                                    const std::vector<CalendarEntry>& candidates) {
    std::vector<CalendarEntry> out;
    const auto held = [](const std::vector<CalendarEntry>& in, const CalendarEntry& e) {
        return std::any_of(in.begin(), in.end(), [&](const CalendarEntry& x) { return x.SameAs(e); });
    };
    for (const auto& c : candidates) {
        if (!held(existing, c) && !held(out, c)) out.push_back(c);
    }
    return out;
}

std::optional<std::vector<int>> ParseWeekdays(std::string_view argument) {
    std::vector<int> days;
    for (char c : argument) {
        if (c >= '1' && c <= '7') {
            if (std::find(days.begin(), days.end(), c - '0') == days.end()) days.push_back(c - '0');
        } else if (c != ' ' && c != ',' && c != ';' && c != '\t') {
            return std::nullopt;
        }
    }
    std::sort(days.begin(), days.end());
    return days;
}

bool IsSafeGroupName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

CalendarRead ParseCalendar(std::string_view raw) {
    CalendarRead out;
    out.present = true;
    std::string converted;
    if (raw.starts_with("\xEF\xBB\xBF")) raw.remove_prefix(3);  // the mark spreadsheets put first
    if (!IsValidUtf8(raw)) {
        converted = GbkToUtf8(raw);
        raw = converted;
    }
    std::size_t pos = 0;
    int line = 1;
    bool first = true;
    std::size_t skipped = 0;
    const auto skip = [&](int at, std::string why) {
        if (++skipped <= kCalendarMaxProblems) out.problems.push_back({at, std::move(why)});
    };
    while (pos < raw.size()) {
        const int startLine = line;
        bool badQuote = false;
        std::vector<std::string> fields = NextRecord(raw, pos, line, badQuote);
        const bool blank = std::all_of(fields.begin(), fields.end(),
                                       [](const std::string& f) { return Trim(f).empty() || Trim(f) == "\t"; });
        if (first) {
            first = false;
            if (Trim(fields[0]) == "first_date") continue;
            skip(startLine, "缺少表头 first_date,last_date,kind,argument,note");
        }
        if (blank) continue;
        if (out.entries.size() >= kCalendarMaxEntries) {
            out.problems.push_back(
                {startLine, "条目超过 " + std::to_string(kCalendarMaxEntries) + " 个，以下各行未读"});
            break;
        }
        const auto bad = [&](std::string why) { skip(startLine, std::move(why)); };
        if (badQuote) {
            bad("引号不成对");
            continue;
        }
        if (fields.size() < 3 || fields.size() > 5) {
            bad("应有 5 列，此行有 " + std::to_string(fields.size()) + " 列");
            continue;
        }
        fields.resize(5);
        CalendarEntry e;
        e.line = startLine;
        const auto firstDate = ParseDate(fields[0]);
        const auto lastDate = Trim(fields[1]).empty() ? firstDate : ParseDate(fields[1]);
        if (!firstDate || !lastDate) {
            bad("日期无法识别：" + Quote(!firstDate ? fields[0] : fields[1]));
            continue;
        }
        e.first = *firstDate;
        e.last = *lastDate;
        if (DaysFromCivil(e.last) < DaysFromCivil(e.first)) {
            bad("结束日期早于开始日期");
            continue;
        }
        const auto kind = KindFromName(Trim(fields[2]));
        if (!kind) {
            bad("类型无法识别：" + Quote(fields[2]));
            continue;
        }
        e.kind = *kind;
        e.argument = std::string(Trim(fields[3]));
        e.note = std::string(Trim(fields[4]));
        if (const std::string why = CheckArgument(e); !why.empty()) {
            bad(why);
            continue;
        }
        out.entries.push_back(std::move(e));
    }
    if (skipped > kCalendarMaxProblems) {
        out.problems.push_back({0, "校历中有 " + std::to_string(skipped) + " 行已跳过，只列出前 " +
                                       std::to_string(kCalendarMaxProblems) + " 行"});
    }
    return out;
}

CalendarRead ReadCalendar(const std::filesystem::path& file) {
    const StoredFile read = ReadStoredFile(file, kCalendarMaxBytes);
    if (read.problem == ReadProblem::Missing) return {};
    if (!read.usable()) {
        CalendarRead out;
        out.present = true;
        out.problems.push_back({0, "校历文件" + ReadProblemText(read.problem) + "：" + file.string()});
        return out;
    }
    std::string text(read.bytes.begin(), read.bytes.end());
    const bool cut = read.problem == ReadProblem::TooLarge;
    if (cut) {
        // Only whole lines of the part that was read count.
        const auto end = text.find_last_of('\n');
        text.resize(end == std::string::npos ? 0 : end + 1);
    }
    CalendarRead out = ParseCalendar(text);
    if (cut)
        out.problems.push_back(
            {0, "校历文件超过 " + std::to_string(kCalendarMaxBytes / 1024) + " KB，只读取了前面部分"});
    return out;
}

std::string EncodeCalendar(const std::vector<CalendarEntry>& entries) {
    std::string out = std::string(kCalendarHeader) + "\n";
    for (const auto& e : entries) {
        out += DateText(e.first) + "," + DateText(e.last) + "," + KindName(e.kind) + "," + Field(e.argument) + "," +
               Field(e.note) + "\n";
    }
    return out;
}

bool WriteCalendar(const std::filesystem::path& file, const std::vector<CalendarEntry>& entries,
                   const CalendarDate& today, std::string* failure) {
    std::vector<CalendarEntry> kept;
    for (const auto& e : entries) {
        if (IsTodayOnly(e.kind) && DaysFromCivil(e.first) < DaysFromCivil(today)) continue;
        kept.push_back(e);
    }
    const std::string text = EncodeCalendar(kept);
    return ReplaceFileAtomically(file, Bytes(text.begin(), text.end()), failure);
}

std::string CalendarProblemsText(const std::vector<CalendarProblem>& problems, std::size_t maxLines) {
    constexpr std::size_t kLinesNamed = 5;  // of one reason; the others are counted
    struct Reason {
        std::string_view why;
        std::vector<int> lines;
        std::size_t count = 0;
    };
    std::vector<Reason> reasons;
    std::unordered_map<std::string_view, std::size_t> byWhy;
    std::string out;
    for (const auto& p : problems) {
        if (p.line <= 0) {
            out += (out.empty() ? "" : "\n") + p.why;
            continue;
        }
        const auto [at, added] = byWhy.try_emplace(p.why, reasons.size());
        if (added) reasons.push_back({p.why, {}, 0});
        Reason& r = reasons[at->second];
        if (r.lines.size() < kLinesNamed) r.lines.push_back(p.line);
        ++r.count;
    }
    for (const auto& r : reasons) {
        std::string lines;
        for (int n : r.lines) lines += (lines.empty() ? "" : "、") + std::to_string(n);
        if (r.count > r.lines.size()) lines += " 等 " + std::to_string(r.count);
        out += (out.empty() ? "" : "\n") + ("校历第 " + lines + " 行已跳过：") + std::string(r.why);
    }
    return CapLines(out, maxLines);
}

TimeOfDay DayRule::RingTime(const TimeOfDay& set) const {
    if (shiftMinutes == 0 || MinuteOf(set) <= MinuteOf(shiftAfter)) return set;
    // A bell cannot be moved into tomorrow, which has its own plan.
    TimeOfDay t = FromMinute(std::min(MinuteOf(set) + shiftMinutes, 23 * 60 + 59));
    t.second = set.second;
    return t;
}

bool DayRule::Skips(const TimeOfDay& set, int jobNo) const {
    return std::any_of(skips.begin(), skips.end(),
                       [&](const auto& s) { return s.second == jobNo && MinuteOf(s.first) == MinuteOf(set); });
}

DayRule ResolveDay(const std::vector<CalendarEntry>& entries, const CalendarDate& date) {
    DayRule rule;
    const int weekday = WeekdayOf(date);
    rule.songWeekday = weekday;
    // Shortest range first, on a tie the later line: a stable order by length then reversed position.
    const CalendarEntry* decisive = nullptr;
    const CalendarEntry* rest = nullptr;
    const auto better = [](const CalendarEntry* current, const CalendarEntry& candidate) {
        return current == nullptr || candidate.Days() <= current->Days();
    };
    for (const auto& e : entries) {
        if (IsTodayOnly(e.kind)) {
            if (!(e.first == date)) continue;
            if (e.kind == CalendarKind::TodaySilent) rule.silenced = true;
            if (e.kind == CalendarKind::TodaySkip) {
                if (const auto skip = ParseSkip(e.argument)) rule.skips.push_back(*skip);
            }
            if (e.kind == CalendarKind::TodayShift) {
                if (const auto shift = ParseShift(e.argument)) {
                    rule.shiftMinutes = shift->first;
                    rule.shiftAfter = shift->second;
                }
            }
            continue;
        }
        if (!e.Covers(date)) continue;
        if (e.kind == CalendarKind::RestWeekdays) {
            const auto days = ParseWeekdays(e.argument);
            if (days && std::find(days->begin(), days->end(), weekday) != days->end() && better(rest, e)) rest = &e;
            continue;
        }
        if (better(decisive, e)) decisive = &e;
    }
    if (decisive != nullptr) {
        rule.note = decisive->note;
        rule.line = decisive->line;
        switch (decisive->kind) {
            case CalendarKind::Holiday:
                rule.kind = DayKind::Holiday;
                break;
            case CalendarKind::SchoolDay: {
                rule.kind = DayKind::MakeUp;
                const std::string_view a = Trim(decisive->argument);
                if (!a.empty()) rule.songWeekday = a[0] - '0';
                break;
            }
            case CalendarKind::Group:
                rule.kind = DayKind::Group;
                rule.groupFile = std::string(Trim(decisive->argument));
                break;
            default:
                break;
        }
    } else if (rest != nullptr) {
        rule.kind = DayKind::RestDay;
        rule.note = rest->note;
        rule.line = rest->line;
    }
    return rule;
}

namespace {

std::vector<CalendarEntry> WithoutToday(std::vector<CalendarEntry> entries, const CalendarDate& today,
                                        std::optional<CalendarKind> kind) {
    std::erase_if(entries, [&](const CalendarEntry& e) {
        return IsTodayOnly(e.kind) && e.first == today && (!kind || e.kind == *kind);
    });
    return entries;
}

CalendarEntry TodayEntry(const CalendarDate& today, CalendarKind kind, std::string argument) {
    CalendarEntry e;
    e.first = e.last = today;
    e.kind = kind;
    e.argument = std::move(argument);
    return e;
}

}  // namespace

std::vector<CalendarEntry> SilenceToday(std::vector<CalendarEntry> entries, const CalendarDate& today) {
    entries = WithoutToday(std::move(entries), today, CalendarKind::TodaySilent);
    entries.push_back(TodayEntry(today, CalendarKind::TodaySilent, ""));
    return entries;
}

std::vector<CalendarEntry> SkipBell(std::vector<CalendarEntry> entries, const CalendarDate& today, const TimeOfDay& set,
                                    int jobNo) {
    if (ResolveDay(entries, today).Skips(set, jobNo)) return entries;
    entries.push_back(TodayEntry(today, CalendarKind::TodaySkip, HourMinuteText(set) + " " + std::to_string(jobNo)));
    return entries;
}

std::vector<CalendarEntry> ShiftToday(std::vector<CalendarEntry> entries, const CalendarDate& today,
                                      const TimeOfDay& now, int minutes) {
    const DayRule rule = ResolveDay(entries, today);
    int total = minutes;
    int after = MinuteOf(now);
    if (rule.shiftMinutes != 0) {
        // Bells set up to now - shift have rung (or ring this minute) under the old shift: they stay where they
        // were; the ones still to come move on by `minutes` more.
        total += rule.shiftMinutes;
        after = std::max(MinuteOf(rule.shiftAfter), MinuteOf(now) - rule.shiftMinutes);
    }
    entries = WithoutToday(std::move(entries), today, CalendarKind::TodayShift);
    entries.push_back(
        TodayEntry(today, CalendarKind::TodayShift, std::to_string(total) + " " + HourMinuteText(FromMinute(after))));
    return entries;
}

std::vector<CalendarEntry> RestoreToday(std::vector<CalendarEntry> entries, const CalendarDate& today) {
    return WithoutToday(std::move(entries), today, std::nullopt);
}

}  // namespace lingchao
