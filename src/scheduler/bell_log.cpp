#include "scheduler/bell_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

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

void BellLog::Examined(const JobExamination& e) {
    // A minute skipped before midnight is logged the next day, under its own date.
    const CalendarDate& date = e.date == CalendarDate{} ? e.at.date : e.date;
    // A shifted bell is late from the minute it was moved to.
    const std::int64_t late = LateMs(e.at, e.setTime) + (DaysFromCivil(e.at.date) - DaysFromCivil(date)) * 86400000 -
                              std::int64_t{e.shiftMinutes} * 60000;
    const std::string outcome = OutcomeText(e);
    Append(DateText(date) + "," + HourMinuteText(e.setTime) + "," + StampText(e.at) + "," + std::to_string(late) + "," +
           std::to_string(e.jobNo) + "," + Field(e.name) + "," + Field(e.path) + "," + Field(outcome));
}

void BellLog::PlaybackFailed(const LocalDateTime& at, const std::string& path, const std::string& reason) {
    Append(DateText(at.date) + ",," + StampText(at) + ",,,," + Field(path) + "," + Field("playback-failed: " + reason));
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
