#pragma once

#include <string>

#include "player/media_player.h"
#include "store/file_util.h"

namespace lingchao {

// Until the real player is wired, a firing is only logged.
class LogOnlyPlayer final : public MediaPlayer {
public:
    void SetFileName(const std::string& path) override {
        fileName_ = path;
        LogLine("play \"" + path + "\"");
    }
    std::string FileName() const override { return fileName_; }
    void Play() override {}
    void Pause() override {}
    void Stop() override {}
    void SetEndOfStreamHandler(std::function<void()>) override {}

private:
    std::string fileName_;
};

}  // namespace lingchao
