#pragma once

#include <string>

#include "base/media_player.h"
#include "base/playback_watch.h"

namespace lingchao {

class BellThread;

// The bell's player as the windows and the desktop's media controls see it: every command is posted to the bell's
// thread and returns at once; FileName is the last medium set here or published by the bell (Published).
class QueuedPlayer final : public MediaPlayer {
public:
    explicit QueuedPlayer(BellThread& bell) : bell_(bell) {}

    // What the bell's player loaded, as it tells it (on the windows' thread).
    void Published(const NowPlaying& now) { fileName_ = now.path; }
    // Names the job whose music `path` is, for the media controls (the run-job command, before it sets it).
    void NameJob(const std::string& name, const std::string& path);

    void SetFileName(const std::string& path) override;
    std::string FileName() const override { return fileName_; }
    void Play() override;
    void Pause() override;
    void Stop() override;
    // The bell's player releases its medium at the end by itself; nobody here is told.
    void SetEndOfStreamHandler(std::function<void()> /*handler*/) override {}

private:
    BellThread& bell_;
    std::string fileName_;
};

}  // namespace lingchao
