#include "scheduler/bell_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "base/file_util.h"
#include "base/log.h"

namespace lingchao {

BellLog::BellLog(std::filesystem::path appFolder, std::uint64_t maxBytes)
    : path_(appFolder / "bell-log.csv"), rotated_(appFolder / "bell-log.1.csv"), maxBytes_(maxBytes) {}

std::string BellLog::Field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::int64_t BellLog::LateMs(const LocalDateTime& at, const TimeOfDay& setTime) {
    const std::int64_t actual =
        (static_cast<std::int64_t>(at.time.hour) * 3600 + at.time.minute * 60 + at.time.second) * 1000 + at.millisecond;
    const std::int64_t set = (static_cast<std::int64_t>(setTime.hour) * 3600 + setTime.minute * 60) * 1000;
    return actual - set;
}

BellLog::~BellLog() {
    for (Held& h : held_) {
        h.waiting = false;
    }
    Flush();
}

std::string BellLog::LeadFields(const JobExamination& e) {
    // A minute skipped before midnight is logged the next day, under its own date.
    const CalendarDate& date = e.date == CalendarDate{} ? e.at.date : e.date;
    return DateText(date) + "," + HourMinuteText(e.setTime) + "," + StampText(e.at) + "," + std::to_string(LateOf(e)) +
           "," + std::to_string(e.jobNo) + "," + Field(e.name) + "," + Field(e.path);
}

std::int64_t BellLog::LateOf(const JobExamination& e) {
    const CalendarDate& date = e.date == CalendarDate{} ? e.at.date : e.date;
    // A shifted bell is late from the minute it was moved to.
    return LateMs(e.at, e.setTime) + (DaysFromCivil(e.at.date) - DaysFromCivil(date)) * 86400000 -
           std::int64_t{e.shiftMinutes} * 60000;
}

void BellLog::Examined(const JobExamination& e) { Write(LeadFields(e) + "," + Field(OutcomeText(e))); }

void BellLog::PlaybackFailed(const LocalDateTime& at, const std::string& path, const std::string& reason,
                             const JobExamination* bell) {
    if (bell == nullptr) {
        Write(DateText(at.date) + ",," + StampText(at) + ",,,," + Field(path) + "," +
              Field("playback-failed: " + reason));
        return;
    }
    JobExamination e = *bell;
    e.at = at;
    e.path = path;
    Write(LeadFields(e) + "," + Field("playback-failed: " + reason));
}

void BellLog::Signal(const LocalDateTime& at, const std::string& signal, const std::string& sound,
                     const std::string& outcome) {
    Write(DateText(at.date) + "," + HourMinuteText(at.time) + "," + StampText(at) + ",,," + Field(signal) + "," +
          Field(sound) + "," + Field(outcome));
}

void BellLog::AwaitProof(const JobExamination& fired) {
    const std::string lead = LeadFields(fired);
    held_.push_back({lead + "," + Field(OutcomeText(fired)), true, lead});
}

void BellLog::Proved(const BellProof& proof) {
    auto it = held_.begin();
    while (it != held_.end() && !it->waiting) ++it;
    if (it == held_.end()) return;
    std::string peak;
    if (proof.peakDbfs) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f", *proof.peakDbfs);
        peak = std::isfinite(*proof.peakDbfs) ? text : (*proof.peakDbfs < 0 ? "-inf" : "");
    }
    const std::string lead = it->lead;
    it->line += "," + (proof.soundMs ? std::to_string(*proof.soundMs) : "") + "," + peak + "," + Field(proof.output);
    it->waiting = false;
    if (!proof.silentReason.empty())
        held_.insert(it + 1, Held{lead + "," + Field("silent: " + proof.silentReason), false, ""});
    Flush();
}

void BellLog::Write(const std::string& line) {
    if (!held_.empty()) {
        held_.push_back({line, false, ""});
        return;
    }
    if (!headerChecked_) SetAsideOlderLog();
    Append(line);
}

void BellLog::Flush() {
    while (!held_.empty() && !held_.front().waiting) {
        const std::string line = held_.front().line;
        held_.pop_front();
        if (!headerChecked_) SetAsideOlderLog();
        Append(line);
    }
}

void BellLog::SetAsideOlderLog() {
    headerChecked_ = true;
    std::error_code ec;
    // Only a plain file is read (a link or a FIFO is Append's to refuse), and only as far as a header goes.
    if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(path_, ec))) return;
    if (std::filesystem::file_size(path_, ec) == 0 || ec) return;
    std::ifstream in(path_, std::ios::binary);
    std::string first(std::string(kHeader).size() + 2, '\0');
    in.read(first.data(), static_cast<std::streamsize>(first.size()));
    first.resize(static_cast<std::size_t>(in.gcount()));
    in.close();
    if (first.substr(0, first.find_first_of("\r\n")) != kHeader) std::filesystem::rename(path_, rotated_, ec);
}

void BellLog::Append(const std::string& line) {
    std::uint64_t size = 0;
    int fd = OpenRegularForAppend(path_, &size);
    if (fd >= 0 && size >= maxBytes_) {
        ::close(fd);
        std::error_code ec;
        std::filesystem::rename(path_, rotated_, ec);
        fd = OpenRegularForAppend(path_, &size);
    }
    if (fd < 0) {
        // A log that cannot be written must never stop a bell; it is said once, not at every line.
        const int error = errno;
        ReportProblem("铃声记录 " + path_.string() + " 无法写入：" +
                      (error == ELOOP                      ? std::string("是一个链接")
                       : error == EINVAL || error == ENXIO ? std::string("不是普通文件")
                                                           : WriteErrorText(error)));
        return;
    }
    ReportProblem("");
    const std::string text = (size == 0 ? std::string(kHeader) + "\n" : std::string()) + line + "\n";
    // One write with O_APPEND: a line is never interleaved or half written by a crash between calls.
    [[maybe_unused]] const ssize_t n = ::write(fd, text.data(), text.size());
    ::close(fd);
}

void BellLog::ReportProblem(const std::string& problem) {
    if (problem == problem_) return;
    problem_ = problem;
    if (!problem.empty()) LogLine("bell log: " + problem);
    if (problemListener_) problemListener_(problem_);
}

}  // namespace lingchao
