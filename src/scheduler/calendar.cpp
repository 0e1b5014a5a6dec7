#include "scheduler/calendar.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <unordered_map>

#include "base/csv.h"
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

CalendarDate CivilFromDays(std::int64_t n) {
    // Howard Hinnant's civil_from_days.
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

std::vector<CalendarEntry> WeekendsForMakeUpDays(const std::vector<CalendarEntry>& existing,
                                                 const std::vector<CalendarEntry>& imported) {
    std::vector<std::pair<std::int64_t, std::int64_t>> rest;  // day ranges some rest-weekdays entry speaks for
    for (const auto* list : {&existing, &imported}) {
        for (const auto& e : *list) {
            if (e.kind == CalendarKind::RestWeekdays) rest.emplace_back(DaysFromCivil(e.first), DaysFromCivil(e.last));
        }
    }
    const auto covered = [&](std::int64_t day) {
        return std::any_of(rest.begin(), rest.end(), [&](const auto& r) { return r.first <= day && day <= r.second; });
    };
    bool uncovered = false;
    std::int64_t from = 0;
    std::int64_t to = 0;
    for (const auto& e : imported) {
        const std::int64_t first = DaysFromCivil(e.first);
        const std::int64_t last = DaysFromCivil(e.last);
        from = &e == &imported.front() ? first : std::min(from, first);
        to = &e == &imported.front() ? last : std::max(to, last);
        for (std::int64_t d = first; e.kind == CalendarKind::SchoolDay && !uncovered && d <= last; ++d)
            uncovered = !covered(d);
    }
    if (!uncovered) return {};
    // The parts of [from, to] outside every rest range.
    std::sort(rest.begin(), rest.end());
    std::vector<CalendarEntry> out;
    const auto add = [&](std::int64_t first, std::int64_t last) {
        if (first > last) return;
        CalendarEntry e;
        e.first = CivilFromDays(first);
        e.last = CivilFromDays(last);
        e.kind = CalendarKind::RestWeekdays;
        e.argument = "6 7";
        e.note = "周末";
        out.push_back(std::move(e));
    };
    std::int64_t next = from;
    for (const auto& [first, last] : rest) {
        if (last < next) continue;
        if (first > to) break;
        add(next, std::min(first - 1, to));
        next = last + 1;
    }
    add(next, to);
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

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";  // the mark spreadsheets put first

// One record of the file as the reader saw it: where its text is and what it was taken for.
enum class RecordKind { Header, Blank, Entry, Kept };
struct Record {
    std::size_t begin = 0;  // the record's bytes, its line end included
    std::size_t end = 0;
    RecordKind kind = RecordKind::Kept;  // Kept: a line skipped, or not read past a cap
    std::size_t entry = 0;               // Entry: its index in the entries read
};

struct Scan {
    CalendarRead read;
    std::vector<Record> records;
};

// `text` is UTF-8 without the mark.
Scan ScanCalendar(std::string_view text) {
    Scan scan;
    CalendarRead& out = scan.read;
    out.present = true;
    std::size_t pos = 0;
    int line = 1;
    bool first = true;
    std::size_t skipped = 0;
    std::size_t ordinary = 0;
    std::size_t todayOnly = 0;
    const auto skip = [&](int at, std::string why) {
        if (++skipped <= kCalendarMaxProblems) out.problems.push_back({at, std::move(why)});
    };
    while (pos < text.size()) {
        const int startLine = line;
        Record& record = scan.records.emplace_back();
        record.begin = pos;
        bool badQuote = false;
        std::vector<std::string> fields = NextCsvRecord(text, pos, line, badQuote);
        record.end = pos;
        const bool blank = std::all_of(fields.begin(), fields.end(),
                                       [](const std::string& f) { return Trim(f).empty() || Trim(f) == "\t"; });
        if (first) {
            first = false;
            if (Trim(fields[0]) == "first_date") {
                record.kind = RecordKind::Header;
                continue;
            }
            skip(startLine, "缺少表头 first_date,last_date,kind,argument,note");
        }
        if (blank) {
            record.kind = RecordKind::Blank;
            continue;
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
        // Each kind has its own cap, and the lines past one are still looked at for the other.
        const bool today = IsTodayOnly(e.kind);
        std::size_t& count = today ? todayOnly : ordinary;
        const std::size_t cap = today ? kCalendarMaxTodayEntries : kCalendarMaxEntries;
        if (count >= cap) {
            if (count++ == cap) {
                out.problems.push_back({startLine, (today ? "今日更改超过 " : "条目超过 ") + std::to_string(cap) +
                                                       " 个，从此行起的" + (today ? "今日更改" : "条目") + "未读"});
            }
            continue;
        }
        ++count;
        record.kind = RecordKind::Entry;
        record.entry = out.entries.size();
        out.entries.push_back(std::move(e));
    }
    if (skipped > kCalendarMaxProblems) {
        out.problems.push_back({0, "校历中有 " + std::to_string(skipped) + " 行已跳过，只列出前 " +
                                       std::to_string(kCalendarMaxProblems) + " 行"});
    }
    return scan;
}

// How much of a file's start the reader takes: all of it within the byte cap, else the whole lines of the cap.
std::size_t ReadLength(std::string_view file) {
    if (file.size() <= kCalendarMaxBytes) return file.size();
    const auto end = file.substr(0, kCalendarMaxBytes).find_last_of('\n');
    return end == std::string_view::npos ? 0 : end + 1;
}

std::string EncodeLine(const CalendarEntry& e) {
    return DateText(e.first) + "," + DateText(e.last) + "," + KindName(e.kind) + "," + CsvField(e.argument) + "," +
           CsvField(e.note) + "\n";
}

bool Same(const CalendarEntry& a, const CalendarEntry& b) { return a.SameAs(b) && a.note == b.note; }

}  // namespace

CalendarRead ParseCalendar(std::string_view raw) {
    if (raw.starts_with(kByteOrderMark)) raw.remove_prefix(kByteOrderMark.size());
    if (IsValidUtf8(raw)) return ScanCalendar(raw).read;
    return ScanCalendar(GbkToUtf8(raw)).read;
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
    for (const auto& e : entries) out += EncodeLine(e);
    return out;
}

std::string CalendarEntryProblem(const CalendarEntry& entry) {
    const CalendarRead read = ParseCalendar(EncodeCalendar({entry}));
    if (!read.problems.empty()) return read.problems.front().why;
    if (read.entries.size() != 1 || !Same(read.entries.front(), entry)) return "读回的内容与写入的不同";
    return {};
}

CalendarWrite ChangeCalendar(const std::filesystem::path& file, const CalendarDate& today,
                             const std::function<bool(std::vector<CalendarEntry>&)>& change, std::string* failure) {
    // The windows and the office page change the file from different threads: one read-change-write at a time,
    // or one would write over the other's change.
    static std::mutex changing;
    std::lock_guard lock(changing);
    const auto fail = [&](std::string why) {
        if (failure != nullptr) *failure = std::move(why);
        return CalendarWrite::Failed;
    };
    const StoredFile old = ReadStoredFile(file, kCalendarMaxRewriteBytes);
    if (old.problem == ReadProblem::TooLarge)
        return fail("校历文件超过 " + std::to_string(kCalendarMaxRewriteBytes / 1024 / 1024) +
                    " MB，为免丢失其中的内容，未作更改");
    if (old.problem != ReadProblem::None && old.problem != ReadProblem::Missing)
        return fail("校历文件" + ReadProblemText(old.problem) + "，为免丢失其中的内容，未作更改");
    const std::string whole(old.bytes.begin(), old.bytes.end());
    // The part the reader takes is scanned as it does; the rest is kept as it is. A GBK file is written back as
    // UTF-8 (the backup keeps its bytes): one file cannot be both.
    const bool mark = whole.starts_with(kByteOrderMark);
    const std::size_t headEnd = std::max(ReadLength(whole), mark ? kByteOrderMark.size() : 0);
    std::string head = whole.substr(mark ? kByteOrderMark.size() : 0, headEnd - (mark ? kByteOrderMark.size() : 0));
    std::string tail = whole.substr(headEnd);
    if (!IsValidUtf8(head)) {
        head = GbkToUtf8(head);
        tail = GbkToUtf8(tail);
    }
    const Scan scan = ScanCalendar(head);

    std::vector<CalendarEntry> entries = scan.read.entries;
    if (!change(entries)) return CalendarWrite::Abandoned;
    std::erase_if(entries, [&](const CalendarEntry& e) {
        return IsTodayOnly(e.kind) && DaysFromCivil(e.first) < DaysFromCivil(today);
    });
    for (auto& e : entries) {  // as the reader will see them
        e.argument = std::string(Trim(e.argument));
        e.note = std::string(Trim(e.note));
    }

    // Which entry takes the place of which entry read; the others are new.
    std::unordered_map<int, std::size_t> recordOfLine;
    std::size_t lastOrdinary = scan.records.size();
    for (std::size_t i = 0; i < scan.records.size(); ++i) {
        const Record& r = scan.records[i];
        if (r.kind != RecordKind::Entry) continue;
        const CalendarEntry& e = scan.read.entries[r.entry];
        if (IsTodayOnly(e.kind)) continue;
        recordOfLine.emplace(e.line, i);
        lastOrdinary = i;
    }
    std::vector<const CalendarEntry*> placed(scan.records.size(), nullptr);
    std::vector<const CalendarEntry*> todayOnly;
    std::vector<const CalendarEntry*> added;
    for (const auto& e : entries) {
        if (IsTodayOnly(e.kind)) {
            todayOnly.push_back(&e);
            continue;
        }
        const auto at = e.line > 0 ? recordOfLine.find(e.line) : recordOfLine.end();
        if (at != recordOfLine.end() && placed[at->second] == nullptr) {
            placed[at->second] = &e;
        } else {
            added.push_back(&e);
        }
    }

    std::string out = mark ? std::string(kByteOrderMark) : std::string();
    std::vector<CalendarEntry> written;  // what the reader must find, in its order
    // A file already past the byte cap loses a line or two of its read part to what goes before them: they stay
    // in the file, past the cap the reader names. What the change writes must always be read.
    const bool overCap = whole.size() > kCalendarMaxBytes;
    const auto raw = [&](const Record& r) { out.append(head, r.begin, r.end - r.begin); };
    const auto line = [&](const CalendarEntry& e) {
        if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += '\n';
        out += EncodeLine(e);
        written.push_back(e);
    };
    const auto addNew = [&] {
        for (const CalendarEntry* e : added) line(*e);
    };
    std::size_t i = 0;
    if (!scan.records.empty() && scan.records[0].kind == RecordKind::Header) {
        raw(scan.records[i++]);
    } else {
        out += std::string(kCalendarHeader) + "\n";
    }
    for (const CalendarEntry* e : todayOnly) line(*e);
    if (lastOrdinary == scan.records.size()) addNew();
    for (; i < scan.records.size(); ++i) {
        const Record& r = scan.records[i];
        if (r.kind != RecordKind::Entry) {
            raw(r);
        } else if (const CalendarEntry* e = placed[i]; e != nullptr) {
            const CalendarEntry& was = scan.read.entries[r.entry];
            if (Same(*e, was)) {
                raw(r);
                if (!overCap) written.push_back(was);
            } else {
                line(*e);
            }
        }
        if (i == lastOrdinary) addNew();
    }
    out += tail;

    // Read back as the reader will: every entry written must be found (lines no longer past a cap may join them).
    const std::string_view readPart = std::string_view(out).substr(0, ReadLength(out));
    const CalendarRead back = ParseCalendar(readPart);
    std::size_t found = 0;
    for (const auto& e : back.entries) {
        if (found < written.size() && Same(e, written[found])) ++found;
    }
    if (found < written.size()) {
        if (entries.size() - todayOnly.size() > kCalendarMaxEntries)
            return fail("校历最多 " + std::to_string(kCalendarMaxEntries) + " 个条目，再多程序就读不到了");
        if (todayOnly.size() > kCalendarMaxTodayEntries)
            return fail("今日更改最多 " + std::to_string(kCalendarMaxTodayEntries) + " 个");
        if (out.size() > kCalendarMaxBytes)
            return fail("校历文件将超过 " + std::to_string(kCalendarMaxBytes / 1024) + " KB，程序读不到全部条目");
        return fail("写入后读不回同样的条目");
    }
    if (out == whole) return CalendarWrite::Written;
    std::string why;
    if (old.problem != ReadProblem::Missing &&
        !ReplaceFileAtomically(file.parent_path() / kCalendarBackupFile, old.bytes, &why))
        return fail("无法备份原来的校历文件（" + why + "），未作更改");
    if (!ReplaceFileAtomically(file, Bytes(out.begin(), out.end()), &why)) return fail(why);
    return CalendarWrite::Written;
}

bool WriteCalendar(const std::filesystem::path& file, const std::vector<CalendarEntry>& entries,
                   const CalendarDate& today, std::string* failure) {
    const auto all = [&](std::vector<CalendarEntry>& current) {
        current = entries;
        return true;
    };
    return ChangeCalendar(file, today, all, failure) == CalendarWrite::Written;
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
