#include "store/drill_plans.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>

#include "base/csv.h"
#include "base/file_util.h"
#include "base/text.h"

namespace lingchao {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kMaxNameChars = 20;
constexpr std::size_t kMaxLabelChars = 12;
constexpr std::size_t kMaxSoundChars = 200;
constexpr const char* kTones[] = {"长鸣", "短鸣", "警报", "解除", "集合"};

// A field quoted back in a problem: a line of a megabyte is not repeated whole.
std::string Quote(std::string_view field) { return ClipUtf8(Trim(field), 40); }

bool HasControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto start = text.find_first_not_of(' ', pos);
        if (start == std::string_view::npos) break;
        const auto end = std::min(text.find(' ', start), text.size());
        words.push_back(text.substr(start, end - start));
        pos = end;
    }
    return words;
}

std::optional<std::int64_t> Number(std::string_view digits) {
    std::int64_t value = 0;
    if (digits.empty() || digits.size() > 7) return std::nullopt;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

// "36s" or "2min" in milliseconds; a length of nothing or over an hour is refused.
std::optional<std::int64_t> Duration(std::string_view word) {
    std::optional<std::int64_t> value;
    std::int64_t unit = 0;
    if (word.ends_with("min")) {
        value = Number(word.substr(0, word.size() - 3));
        unit = 60000;
    } else if (word.ends_with("s")) {
        value = Number(word.substr(0, word.size() - 1));
        unit = 1000;
    }
    if (!value || *value <= 0 || *value * unit > kDrillMaxStepMs) return std::nullopt;
    return *value * unit;
}

std::optional<int> Times(std::string_view word) {
    if (!word.ends_with("x")) return std::nullopt;
    const auto value = Number(word.substr(0, word.size() - 1));
    if (!value || *value < 1 || *value > kDrillMaxTimes) return std::nullopt;
    return static_cast<int>(*value);
}

std::string Seconds(std::int64_t ms) { return std::to_string(ms / 1000) + "s"; }

bool KnownTone(std::string_view name) {
    return std::any_of(std::begin(kTones), std::end(kTones), [&](const char* t) { return name == t; });
}

// Why a sound cannot be used; "" when it can. A music name stays inside the music folder.
std::string SoundProblem(std::string_view sound) {
    if (sound.empty()) return "没有声音";
    if (Utf8Length(sound) > kMaxSoundChars || HasControl(sound)) return "声音的名字不可用：" + Quote(sound);
    if (sound.starts_with(kTonePrefix)) {
        if (!KnownTone(sound.substr(kTonePrefix.size())))
            return "没有这个内置声音：" + Quote(sound) + "（可用：tone:长鸣、短鸣、警报、解除、集合）";
        return {};
    }
    if (sound.starts_with('/') || sound.find('\\') != std::string_view::npos)
        return "声音须是音乐文件夹里的文件：" + Quote(sound);
    std::size_t pos = 0;
    while (pos <= sound.size()) {
        const auto end = std::min(sound.find('/', pos), sound.size());
        const std::string_view part = sound.substr(pos, end - pos);
        if (part.empty() || part == "." || part == "..") return "声音须是音乐文件夹里的文件：" + Quote(sound);
        pos = end + 1;
    }
    return {};
}

std::optional<DrillKind> ParseKind(std::string_view text) {
    if (text == "drill" || text == "演练") return DrillKind::Drill;
    if (text == "emergency" || text == "紧急") return DrillKind::Emergency;
    return std::nullopt;
}

std::optional<bool> ParseVolume(std::string_view text) {
    if (text == "raise" || text == "提高") return true;
    if (text == "keep" || text == "不变") return false;
    return std::nullopt;
}

struct Pending {
    DrillSignal signal;
    bool kindSet = false;
    bool volumeSet = false;
    int firstLine = 0;
};

}  // namespace

const char* DrillKindText(DrillKind kind) { return kind == DrillKind::Drill ? "演练" : "紧急"; }

std::string RepeatText(const DrillRepeat& r) {
    std::string text;
    if (r.onMs > 0) text = Seconds(r.onMs) + (r.offMs > 0 ? " on " + Seconds(r.offMs) + " off" : "");
    if (r.loop) return text.empty() ? "loop" : text + " loop";
    if (text.empty()) return r.times == 1 ? "once" : std::to_string(r.times) + "x";
    return r.times == 1 && r.offMs == 0 ? text : text + " " + std::to_string(r.times) + "x";
}

std::optional<DrillRepeat> ParseRepeat(std::string_view text) {
    const auto words = Words(text);
    DrillRepeat r;
    if (words.size() == 1 && words[0] == "once") return r;
    std::size_t i = 0;
    if (i < words.size() && Duration(words[i])) {
        r.onMs = *Duration(words[i++]);
        if (i < words.size() && words[i] == "on") {
            ++i;
            if (i + 1 >= words.size() || !Duration(words[i]) || words[i + 1] != "off") return std::nullopt;
            r.offMs = *Duration(words[i]);
            i += 2;
        }
    }
    if (i == words.size()) return r.onMs > 0 && r.offMs == 0 ? std::optional(r) : std::nullopt;
    if (i + 1 != words.size()) return std::nullopt;
    if (words[i] == "loop") {
        r.loop = true;
        return r;
    }
    const auto times = Times(words[i]);
    if (!times) return std::nullopt;
    r.times = *times;
    if ((r.onMs + r.offMs) * r.times > kDrillMaxStepMs) return std::nullopt;
    return r;
}

std::string AdvanceText(const DrillAdvance& a) {
    if (a.afterEnd) return "after-end";
    if (a.whenSoundEnds) return "sound";
    if (a.afterMs && a.onNext) return Seconds(*a.afterMs) + " or next";
    if (a.afterMs) return Seconds(*a.afterMs);
    return a.onNext ? "next" : "end";
}

std::optional<DrillAdvance> ParseAdvance(std::string_view text) {
    const auto words = Words(text);
    DrillAdvance a;
    if (words.size() == 1) {
        const std::string_view w = words[0];
        if (w == "next")
            a.onNext = true;
        else if (w == "sound")
            a.whenSoundEnds = true;
        else if (w == "after-end")
            a.afterEnd = true;
        else if (w == "end") {
        } else if (const auto ms = Duration(w))
            a.afterMs = *ms;
        else
            return std::nullopt;
        return a;
    }
    if (words.size() == 3 && words[1] == "or") {
        const std::string_view time = words[0] == "next" ? words[2] : words[0];
        const std::string_view next = words[0] == "next" ? words[0] : words[2];
        if (next != "next" || !Duration(time)) return std::nullopt;
        a.afterMs = *Duration(time);
        a.onNext = true;
        return a;
    }
    return std::nullopt;
}

DrillsRead ParseDrills(std::string_view text) {
    DrillsRead out;
    out.present = true;
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    if (!IsValidUtf8(text)) {
        out.problems.push_back({0, "预案文件不是 UTF-8 文本"});
        return out;
    }
    std::vector<Pending> pending;
    std::map<std::string, std::size_t, std::less<>> byName;
    std::set<std::string, std::less<>> spoiled;
    std::size_t pos = 0;
    int line = 1;
    bool header = true;
    while (pos < text.size()) {
        const int at = line;
        bool badQuote = false;
        const std::vector<std::string> record = NextCsvRecord(text, pos, line, badQuote);
        // A bad line spoils its whole signal (when its name can be read): a signal missing a step is not sounded.
        const auto problem = [&](std::string why) {
            out.problems.push_back({at, std::move(why)});
            if (!record.empty()) spoiled.insert(std::string(Trim(record[0])));
        };
        if (header) {
            header = false;
            if (!record.empty() && Trim(record[0]) == "signal") continue;  // the header; a file without one is read
        }
        if (record.size() == 1 && Trim(record[0]).empty()) continue;
        if (Trim(record[0]).starts_with('#')) continue;
        if (badQuote) {
            problem("引号不成对");
            continue;
        }
        if (record.size() != 7) {
            problem("应有 7 栏，实有 " + std::to_string(record.size()) + " 栏");
            continue;
        }
        const std::string name(Trim(record[0]));
        if (name.empty() || Utf8Length(name) > kMaxNameChars || HasControl(name)) {
            problem("预案名称须是 1 到 20 个字：" + Quote(name));
            continue;
        }
        std::optional<DrillKind> kind;
        if (!Trim(record[1]).empty() && !(kind = ParseKind(Trim(record[1])))) {
            problem("类型须是 drill（演练）或 emergency（紧急）：" + Quote(record[1]));
            continue;
        }
        std::optional<bool> volume;
        if (!Trim(record[2]).empty() && !(volume = ParseVolume(Trim(record[2])))) {
            problem("音量须是 raise（提高）或 keep（不变）：" + Quote(record[2]));
            continue;
        }
        DrillStep step;
        step.line = at;
        step.sound = std::string(Trim(record[3]));
        if (const std::string why = SoundProblem(step.sound); !why.empty()) {
            problem(why);
            continue;
        }
        const auto repeat = ParseRepeat(Trim(record[4]));
        if (!repeat) {
            problem("重复方式看不懂：" + Quote(record[4]) + "（如 once、3x、36s on 24s off 3x、180s、loop）");
            continue;
        }
        step.repeat = *repeat;
        const auto advance = ParseAdvance(Trim(record[5]));
        if (!advance) {
            problem("下一步的条件看不懂：" + Quote(record[5]) +
                    "（如 120s、next、120s or next、sound、end、after-end）");
            continue;
        }
        step.advance = *advance;
        if (step.repeat.loop && (step.advance.whenSoundEnds || step.advance.afterEnd)) {
            problem("循环的声音不会结束，这一步须等时间、下一步或结束");
            continue;
        }
        step.label = std::string(Trim(record[6]));
        if (Utf8Length(step.label) > kMaxLabelChars || HasControl(step.label)) {
            problem("提示文字最多 12 个字：" + Quote(step.label));
            continue;
        }

        auto found = byName.find(name);
        if (found == byName.end()) {
            if (pending.size() >= kDrillsMaxSignals) {
                problem("预案超过 " + std::to_string(kDrillsMaxSignals) + " 个，其余的没有读取");
                break;
            }
            found = byName.emplace(name, pending.size()).first;
            pending.push_back({});
            pending.back().signal.name = name;
            pending.back().firstLine = at;
        }
        Pending& p = pending[found->second];
        if (kind && p.kindSet && *kind != p.signal.kind) {
            problem("预案" + name + "的类型前后不一");
            continue;
        }
        if (volume && p.volumeSet && *volume != p.signal.raiseVolume) {
            problem("预案" + name + "的音量前后不一");
            continue;
        }
        if (p.signal.steps.size() >= kDrillStepsMax) {
            problem("预案" + name + "的步骤超过 " + std::to_string(kDrillStepsMax) + " 个");
            continue;
        }
        if (!step.advance.afterEnd && !p.signal.steps.empty() && p.signal.steps.back().advance.afterEnd) {
            problem("结束后的步骤（after-end）须在最后");
            continue;
        }
        if (kind && !p.kindSet) {
            p.signal.kind = *kind;
            p.kindSet = true;
            if (!p.volumeSet) p.signal.raiseVolume = *kind == DrillKind::Emergency;
        }
        if (volume && !p.volumeSet) {
            p.signal.raiseVolume = *volume;
            p.volumeSet = true;
        }
        p.signal.steps.push_back(std::move(step));
    }
    for (Pending& p : pending) {
        if (spoiled.count(p.signal.name) != 0) {
            out.problems.push_back({p.firstLine, "预案" + p.signal.name + "有无法使用的行，整个预案没有读取"});
            continue;
        }
        const bool sounds = std::any_of(p.signal.steps.begin(), p.signal.steps.end(),
                                        [](const DrillStep& s) { return !s.advance.afterEnd; });
        if (!sounds) {
            out.problems.push_back({p.firstLine, "预案" + p.signal.name + "没有可用的步骤，没有读取"});
            continue;
        }
        out.plans.push_back(std::move(p.signal));
    }
    return out;
}

DrillsRead ReadDrills(const std::filesystem::path& file) {
    const StoredFile read = ReadStoredFile(file, kDrillsMaxBytes);
    if (read.problem == ReadProblem::Missing) return {};
    if (read.problem == ReadProblem::TooLarge) {
        // A cut file could lose the end of a signal: none of it is used.
        DrillsRead out;
        out.present = true;
        out.problems.push_back({0, "预案文件超过 " + std::to_string(kDrillsMaxBytes / 1024) + " KB，没有读取"});
        return out;
    }
    if (!read.usable()) {
        DrillsRead out;
        out.present = true;
        out.problems.push_back({0, "预案文件" + ReadProblemText(read.problem) + "：" + file.string()});
        return out;
    }
    return ParseDrills(std::string_view(reinterpret_cast<const char*>(read.bytes.data()), read.bytes.size()));
}

std::string EncodeDrills(const std::vector<DrillSignal>& plans) {
    std::string out = std::string(kDrillsHeader) + "\n";
    for (const DrillSignal& s : plans) {
        bool first = true;
        for (const DrillStep& step : s.steps) {
            out += CsvField(s.name) + ",";
            out += first ? std::string(s.kind == DrillKind::Drill ? "drill" : "emergency") + "," +
                               (s.raiseVolume ? "raise" : "keep") + ","
                         : std::string(",,");
            out += CsvField(step.sound) + "," + RepeatText(step.repeat) + "," + AdvanceText(step.advance) + "," +
                   CsvField(step.label) + "\n";
            first = false;
        }
    }
    return out;
}

bool WriteDrills(const std::filesystem::path& file, const std::vector<DrillSignal>& plans, std::string* failure) {
    const std::string text = EncodeDrills(plans);
    const StoredFile old = ReadStoredFile(file, kDrillsMaxBytes * 4);
    if (old.usable() && !old.bytes.empty()) {
        std::filesystem::path backup = file;
        backup += ".bak";
        if (!ReplaceFileAtomically(backup, old.bytes, failure)) return false;
    }
    return ReplaceFileAtomically(file, Bytes(text.begin(), text.end()), failure);
}

std::vector<DrillSignal> DefaultDrillSignals() {
    const auto step = [](std::string sound, std::string_view repeat, std::string_view advance, std::string label) {
        return DrillStep{std::move(sound), *ParseRepeat(repeat), *ParseAdvance(advance), std::move(label), 0};
    };
    return {
        {"地震演练",
         DrillKind::Drill,
         false,
         {step("tone:长鸣", "loop", "120s or next", "就地避险"), step("tone:短鸣", "1s on 1s off 2x", "end", "疏散"),
          step("tone:解除", "once", "after-end", "解除")}},
        {"火灾疏散演练",
         DrillKind::Drill,
         false,
         {step("tone:警报", "loop", "end", "疏散"), step("tone:解除", "once", "after-end", "解除")}},
        {"防空警报",
         DrillKind::Emergency,
         true,
         {step("tone:警报", "36s on 24s off 3x", "next", "预先警报"),
          step("tone:警报", "6s on 6s off 15x", "next", "空袭警报"), step("tone:长鸣", "180s", "sound", "解除警报")}},
        {"紧急集合", DrillKind::Emergency, true, {step("tone:集合", "loop", "end", "紧急集合")}},
    };
}

}  // namespace lingchao
