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
