#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include "base/media_probe.h"
#include "player/media_file.h"

namespace lingchao {

// MediaProbe over GStreamer's discoverer: a file plays when it holds an audio stream that decodes.
// Results are kept per file until the file changes (size or time), so a re-check after an edit is cheap.
class GstMediaProbe final : public MediaProbe {
public:
    explicit GstMediaProbe(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    std::vector<MusicProblem> Check(const std::string& path) override;

private:
    // "" when the checked file decodes, else the reason.
    std::string ProbeFile(const MediaFile& file);

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
