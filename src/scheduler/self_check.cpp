#include "scheduler/self_check.h"

#include "base/text.h"
#include "store/gbk.h"
#include "store/group_file.h"

namespace lingchao {

std::vector<MusicProblem> CheckTodaysMusic(const std::filesystem::path& groupFile, int weekday, MediaProbe& probe) {
    std::vector<MusicProblem> problems;
    // The timetable's own problems are the scheduler's to tell; here only its usable part is checked.
    const StoredFile file = ReadStoredFile(groupFile, kMaxGroupBytes);
    if (!file.usable()) return problems;
    const int n = JobCountFromLength(file.bytes.size());
    for (int k = 1; k <= n; ++k) {
        const JobRecord r = DecodeJobRecord(RecordFrom(file.bytes, k));
        if (TrimRight(r.JobState) != "START") continue;
        const std::string path = MusicForWeekday(r, weekday);
        std::vector<MusicProblem> found;
        if (Trim(path).empty()) {
            found.push_back({0, "", path, "没有设置音乐"});
        } else {
            found = probe.Check(path);
        }
        for (auto& p : found) {
            p.jobNo = r.JobNo;
            p.jobName = std::string(Trim(r.JobName));
            problems.push_back(std::move(p));
        }
    }
    return problems;
}

std::string ProblemsText(const std::vector<MusicProblem>& problems) {
    if (problems.empty()) return {};
    std::string text = "今日有铃声无法播放：";
    for (const auto& p : problems) {
        text += "\n任务" + std::to_string(p.jobNo) + " " + p.jobName + "：" + p.reason + " " + p.path;
    }
    return text;
}

}  // namespace lingchao
