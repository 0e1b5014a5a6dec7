#include "scheduler/self_check.h"

#include <set>

#include "base/text.h"
#include "store/gbk.h"
#include "store/group_file.h"

namespace lingchao {

std::optional<std::vector<MusicProblem>> CheckTodaysMusic(const std::filesystem::path& groupFile, int weekday,
                                                          MediaProbe& probe, const CancelToken& cancel) {
    std::vector<MusicProblem> problems;
    // The timetable's own problems are the scheduler's to tell; here only its usable part is checked.
    const StoredFile file = ReadStoredFile(groupFile, kMaxGroupBytes);
    if (!file.usable()) return problems;
    struct Job {
        int no = 0;
        std::string name;
        std::string path;
    };
    std::vector<Job> jobs;
    std::vector<std::string> paths;  // each once, in the order the jobs first name them
    std::set<std::string> named;
    const int n = JobCountFromLength(file.bytes.size());
    for (int k = 1; k <= n; ++k) {
        if (cancel.Cancelled()) return std::nullopt;
        const JobRecord r = DecodeJobRecord(RecordFrom(file.bytes, k));
        if (TrimRight(r.JobState) != "START") continue;
        Job job{r.JobNo, std::string(Trim(r.JobName)), MusicForWeekday(r, weekday)};
        if (!Trim(job.path).empty() && named.insert(job.path).second) paths.push_back(job.path);
        jobs.push_back(std::move(job));
    }
    const auto findings = probe.CheckAll(paths, cancel);
    if (!findings || cancel.Cancelled()) return std::nullopt;
    for (const Job& job : jobs) {
        std::vector<MusicProblem> found;
        if (Trim(job.path).empty()) {
            found.push_back({0, "", job.path, "没有设置音乐"});
        } else if (const auto it = findings->find(job.path); it != findings->end()) {
            found = it->second;
        }
        for (auto& p : found) {
            p.jobNo = job.no;
            p.jobName = job.name;
            problems.push_back(std::move(p));
        }
    }
    return problems;
}

std::vector<MusicProblem> CheckTodaysMusic(const std::filesystem::path& groupFile, int weekday, MediaProbe& probe) {
    const CancelToken never;
    return *CheckTodaysMusic(groupFile, weekday, probe, never);
}

std::string ProblemsText(const std::vector<MusicProblem>& problems) {
    std::string text;
    for (const auto& p : problems) {
        if (p.IsNote()) continue;
        if (text.empty()) text = "今日有铃声无法播放：";
        text += "\n任务" + std::to_string(p.jobNo) + " " + p.jobName + "：" + p.reason + " " + p.path;
    }
    return text;
}

std::string FoundByNameText(const std::vector<MusicProblem>& problems) {
    std::string text;
    for (const auto& p : problems) {
        if (!p.IsNote()) continue;
        if (text.empty()) text = "今日有铃声的路径在本机不存在，已按文件名找到（可用“整理音乐路径…”改正）：";
        text += "\n任务" + std::to_string(p.jobNo) + " " + p.jobName + "：" + p.path + " → " + p.foundAs;
        if (p.sameNames > 1) {
            text += "（同名文件有" + std::to_string(p.sameNames) + "个，用的是最浅的一层中按名称排在最前的这个）";
        }
    }
    return text;
}

}  // namespace lingchao
