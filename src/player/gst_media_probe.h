#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/media_probe.h"
#include "player/media_file.h"

namespace lingchao {

// MediaProbe over GStreamer's discoverer: a file plays when it holds an audio stream that decodes.
// Results are kept per file until the file changes (size or time), so a re-check after an edit is cheap. A pass
// decodes on the calling thread only, through one discoverer, and gives up within a fraction of a second of a
// cancel, also in the middle of a file.
class GstMediaProbe final : public MediaProbe {
public:
    // `timeout`: the longest one file may take to decode before it counts as undecodable.
    explicit GstMediaProbe(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    std::vector<MusicProblem> Check(const std::string& path) override;
    std::optional<Findings> CheckAll(const std::vector<std::string>& paths, const CancelToken& cancel) override;

private:
    class Pass;
    // The findings of one job's music path; nullopt when cancelled.
    std::optional<std::vector<MusicProblem>> CheckPath(const std::string& path, Pass& pass);
    // "" when the checked file decodes, else the reason; nullopt when cancelled.
    std::optional<std::string> ProbeFile(const MediaFile& file, Pass& pass);

    std::chrono::milliseconds timeout_;
    std::mutex mutex_;
    struct Known {
        std::uint64_t size = 0;
        std::int64_t time = 0;
        std::string problem;
    };
    std::map<std::string, Known> known_;
};

}  // namespace lingchao
