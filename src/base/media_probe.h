#pragma once

#include <atomic>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lingchao {

// One file that a job cannot play today, or a note on one it plays only thanks to its name (see foundAs).
struct MusicProblem {
    MusicProblem() = default;
    MusicProblem(int no, std::string name, std::string file, std::string why, std::string found = {}, int same = 0)
        : jobNo(no),
          jobName(std::move(name)),
          path(std::move(file)),
          reason(std::move(why)),
          foundAs(std::move(found)),
          sameNames(same) {}

    int jobNo = 0;
    std::string jobName;
    std::string path;    // the file (for a music list: the entry, or the list itself)
    std::string reason;  // for the teacher, in Chinese
    // Set when this is a note, not a fault: the path names no file here and plays as this file of the music
    // folder, found by its name; `sameNames` files had that name (the first of them is played).
    std::string foundAs;
    int sameNames = 0;
    bool IsNote() const { return !foundAs.empty(); }
};

// Set from any thread to make a check under way give up; the check looks at it between jobs and between files.
class CancelToken final {
public:
    void Cancel() { cancelled_.store(true, std::memory_order_relaxed); }
    bool Cancelled() const { return cancelled_.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> cancelled_{false};
};

// Says whether a job's music plays: a file must exist and decode; a music list must hold entries that do.
class MediaProbe {
public:
    // The problems (and notes) of each path checked, by path.
    using Findings = std::map<std::string, std::vector<MusicProblem>>;

    virtual ~MediaProbe() = default;
    // The problems of one job's music path (empty when it all plays), and a note for each file it plays only
    // because it was found by name. Safe to call from a worker thread.
    virtual std::vector<MusicProblem> Check(const std::string& path) = 0;

    // One pass over a day's music: the findings of every path of `paths`, each distinct path checked once (a
    // probe that walks music lists also checks each file they name once). nullopt when `cancel` was set before
    // the pass ended: the findings are incomplete and must not be taken as "all fine". Safe from a worker thread.
    virtual std::optional<Findings> CheckAll(const std::vector<std::string>& paths, const CancelToken& cancel) {
        Findings findings;
        for (const std::string& path : paths) {
            if (cancel.Cancelled()) return std::nullopt;
            if (findings.count(path) == 0) findings.emplace(path, Check(path));
        }
        if (cancel.Cancelled()) return std::nullopt;
        return findings;
    }
};

}  // namespace lingchao
