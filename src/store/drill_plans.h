#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lingchao {

// The school's drill and emergency plans, "drills.csv" in the application folder: UTF-8 CSV with the header
// signal,kind,volume,sound,repeat,advance,label and one line per step, the steps of a signal in order.
inline constexpr const char* kDrillsFile = "drills.csv";
inline constexpr const char* kDrillsHeader = "signal,kind,volume,sound,repeat,advance,label";
inline constexpr std::uint64_t kDrillsMaxBytes = 256 * 1024;
inline constexpr std::size_t kDrillsMaxSignals = 40;
inline constexpr std::size_t kDrillStepsMax = 40;
// A longer wait or sound is a typing error: no drill step lasts over an hour.
inline constexpr std::int64_t kDrillMaxStepMs = 3600 * 1000;
inline constexpr int kDrillMaxTimes = 500;
// Built-in tones are named "tone:<name>"; anything else is a file of the music folder.
inline constexpr std::string_view kTonePrefix = "tone:";

enum class DrillKind { Drill, Emergency };  // 演练 / 紧急

// How a step's sound repeats: `times` soundings of `onMs` (0: the sound's own length) with `offMs` of quiet
// between them; `loop` repeats it until the step ends.
struct DrillRepeat {
    int times = 1;
    std::int64_t onMs = 0;
    std::int64_t offMs = 0;
    bool loop = false;
    bool operator==(const DrillRepeat&) const = default;
};

// What ends a step: a wait counted from the step's start, the operator's 下一步, either, the end of its sound, or
// only 结束. Steps marked `afterEnd` sound once the signal is ended (the all-clear), each until its sound is over.
struct DrillAdvance {
    std::optional<std::int64_t> afterMs;
    bool onNext = false;
    bool whenSoundEnds = false;
    bool afterEnd = false;
    bool operator==(const DrillAdvance&) const = default;
};

struct DrillStep {
    std::string sound;  // "tone:长鸣" or a name in the music folder
    DrillRepeat repeat;
    DrillAdvance advance;
    std::string label;  // what the clock shows meanwhile: 就地避险, 疏散, 解除…
    int line = 0;       // where it was read; 0 when not read from a file
    bool operator==(const DrillStep& o) const {
        return sound == o.sound && repeat == o.repeat && advance == o.advance && label == o.label;
    }
};

struct DrillSignal {
    std::string name;
    DrillKind kind = DrillKind::Drill;
    bool raiseVolume = false;  // unmute the output and set it to 100 % while it sounds
    std::vector<DrillStep> steps;
    bool operator==(const DrillSignal& o) const {
        return name == o.name && kind == o.kind && raiseVolume == o.raiseVolume && steps == o.steps;
    }
};

struct DrillProblem {
    int line = 0;     // 0: the file as a whole
    std::string why;  // Chinese, for the window and the clock's tooltip
};

struct DrillsRead {
    std::vector<DrillSignal> plans;
    std::vector<DrillProblem> problems;
    bool present = false;  // the file exists (even if nothing in it could be used)
};

// What the clock shows of a drill or emergency signal.
struct SignalState {
    bool running = false;
    std::string signal;
    DrillKind kind = DrillKind::Drill;
    std::string label;  // the step's, or the signal's name when the step has none
    int step = 0;       // 1-based, among the steps before the end
    int steps = 0;
    bool waitsForNext = false;  // 下一步 moves it on
    bool ending = false;        // 结束 was pressed (or the steps ran out): the all-clear sounds
    std::chrono::steady_clock::time_point started;
    std::string problem;  // a sound that failed, a volume that could not be raised; "" when none
};

const char* DrillKindText(DrillKind kind);  // 演练 / 紧急

// The plans shipped with the program: 地震演练, 火灾疏散演练, 防空警报, 紧急集合.
std::vector<DrillSignal> DefaultDrillSignals();

// Reads the text of a drills file: bad lines are named and skipped; a signal left without a usable step is
// dropped with a problem of its own, so a half-read signal never sounds.
DrillsRead ParseDrills(std::string_view text);
// The file itself, read non-blocking and up to its cap; a missing file gives nothing and no problem.
DrillsRead ReadDrills(const std::filesystem::path& file);
std::string EncodeDrills(const std::vector<DrillSignal>& plans);
// Writes the file whole through a scratch file, the old one kept as drills.csv.bak first. False with `failure`
// (Chinese) when it could not; the file is then as it was.
bool WriteDrills(const std::filesystem::path& file, const std::vector<DrillSignal>& plans, std::string* failure);

// The repeat and advance columns as written and read: "3x", "36s on 24s off 3x", "180s", "loop"; "120s or next",
// "next", "sound", "end", "after-end".
std::string RepeatText(const DrillRepeat& repeat);
std::optional<DrillRepeat> ParseRepeat(std::string_view text);
std::string AdvanceText(const DrillAdvance& advance);
std::optional<DrillAdvance> ParseAdvance(std::string_view text);

}  // namespace lingchao
