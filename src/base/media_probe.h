#pragma once

#include <string>
#include <vector>

namespace lingchao {

// One file that a job cannot play today.
struct MusicProblem {
    int jobNo = 0;
    std::string jobName;
    std::string path;    // the file (for a music list: the entry, or the list itself)
    std::string reason;  // for the teacher, in Chinese
};

// Says whether a job's music plays: a file must exist and decode; a music list must hold entries that do.
class MediaProbe {
public:
    virtual ~MediaProbe() = default;
    // The problems of one job's music path (empty when it all plays). Safe to call from a worker thread.
    virtual std::vector<MusicProblem> Check(const std::string& path) = 0;
};

}  // namespace lingchao
