#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "scheduler/checktime.h"

namespace lingchao {

// What a fired bell's sound proved: the last columns of its line.
struct BellProof {
    std::optional<std::int64_t> soundMs;  // from the start of the set minute to its first sound at the output
    std::optional<double> peakDbfs;       // loudest sample of its first 10 s; -inf for digital silence
    std::string output;                   // "cap 100%", "alsa_output.pci-0000_00_1f.3.analog-stereo 40% muted"
    std::string silentReason;             // why nobody heard it; "" when heard
};

// "bell-log.csv" in the application folder: one line per examined job and per playback failure, the school's
// proof of which bell rang and how late. Bounded: past `maxBytes` the file becomes "bell-log.1.csv"
// (replacing an older one) and a new file starts.
class BellLog final {
public:
    static constexpr std::uint64_t kDefaultMaxBytes = 1024 * 1024;
    // New columns go at the end: readers of the older ones keep working.
    static constexpr const char* kHeader =
        "date,set_time,actual_start,late_ms,job_no,job_name,path,outcome,sound_ms,peak_dbfs,output";

    explicit BellLog(std::filesystem::path appFolder, std::uint64_t maxBytes = kDefaultMaxBytes);
    // Writes the lines still waiting for their proof as they are.
    ~BellLog();
    BellLog(const BellLog&) = delete;
    BellLog& operator=(const BellLog&) = delete;

    void Examined(const JobExamination& examination);
    // A fired bell whose line waits for the proof of its sound (a few seconds); lines logged meanwhile wait behind
    // it, so that the file stays in the order things happened.
    void AwaitProof(const JobExamination& fired);
    // Completes the oldest waiting line with its sound columns; a silent bell gets a second line
    // "silent: <reason>". Then writes what waited behind it.
    void Proved(const BellProof& proof);
    // A medium that could not be played, with the player's reason; under the bell whose music it was (its job and
    // set minute), or with those columns empty when no bell was playing (the user's own playing).
    void PlaybackFailed(const LocalDateTime& at, const std::string& path, const std::string& reason,
                        const JobExamination* bell = nullptr);

    // A line of a drill or emergency signal (its start, steps, volume, end): the signal's name in job_name.
    void Signal(const LocalDateTime& at, const std::string& signal, const std::string& sound,
                const std::string& outcome);

    const std::filesystem::path& Path() const { return path_; }
    // Why the log cannot be written (a planted link, a folder, a full disk), in Chinese; "" while it can.
    const std::string& problem() const { return problem_; }
    // Called with problem() each time it changes.
    void SetProblemListener(std::function<void(const std::string&)> listener) {
        problemListener_ = std::move(listener);
    }

    // One CSV field, quoted when it holds a comma, a quote or a line break.
    static std::string Field(const std::string& text);
    // Milliseconds from the start of the set minute (same day) to `at`.
    static std::int64_t LateMs(const LocalDateTime& at, const TimeOfDay& setTime);
    // The line's late_ms: from the start of the minute the bell was due in (its day, its shift) to its examination.
    static std::int64_t LateOf(const JobExamination& examination);

private:
    struct Held {
        std::string line;  // complete, or for a bell waiting for its proof, up to its outcome
        bool waiting = false;
        std::string lead;  // a waiting bell's fields before the outcome, for its "silent" line
    };
    static std::string LeadFields(const JobExamination& e);
    void Write(const std::string& line);
    void Flush();
    // A log begun by an older version has another header: it is set aside whole, not mixed with new lines.
    void SetAsideOlderLog();
    void Append(const std::string& line);
    void ReportProblem(const std::string& problem);

    std::filesystem::path path_;
    std::filesystem::path rotated_;
    std::uint64_t maxBytes_;
    std::string problem_;
    std::function<void(const std::string&)> problemListener_;
    std::deque<Held> held_;
    bool headerChecked_ = false;
};

}  // namespace lingchao
