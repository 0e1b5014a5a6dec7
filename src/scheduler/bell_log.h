#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "scheduler/checktime.h"

namespace lingchao {

// "bell-log.csv" in the application folder: one line per examined job and per playback failure, the school's
// proof of which bell rang and how late. Bounded: past `maxBytes` the file becomes "bell-log.1.csv"
// (replacing an older one) and a new file starts.
class BellLog final {
public:
    static constexpr std::uint64_t kDefaultMaxBytes = 1024 * 1024;
    static constexpr const char* kHeader = "date,set_time,actual_start,late_ms,job_no,job_name,path,outcome";

    explicit BellLog(std::filesystem::path appFolder, std::uint64_t maxBytes = kDefaultMaxBytes);

    void Examined(const JobExamination& examination);
    // A medium that could not be played, with the player's reason.
    void PlaybackFailed(const LocalDateTime& at, const std::string& path, const std::string& reason);

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

private:
    void Append(const std::string& line);
    void ReportProblem(const std::string& problem);

    std::filesystem::path path_;
    std::filesystem::path rotated_;
    std::uint64_t maxBytes_;
    std::string problem_;
    std::function<void(const std::string&)> problemListener_;
};

}  // namespace lingchao
