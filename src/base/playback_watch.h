#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/media_player.h"

namespace lingchao {

// What plays now, as desktop media controls show it.
struct NowPlaying {
    enum class Status { Stopped, Playing, Paused };
    Status status = Status::Stopped;
    std::string title;  // the job's name; without a job, the file's name
    std::string path;   // the file handed to the player (for a music list, the list's file); "" when none
    std::string list;   // the music list's name when a list plays, else ""
    int serial = 0;     // grows with every new medium
    bool operator==(const NowPlaying&) const = default;
};

// The program's player, seen from outside: passes every call on to the real player and keeps what plays and
// whether it plays, paused or stopped. All calls on the thread the player lives on (the bell's).
class PlaybackWatch final : public MediaPlayer {
public:
    using Listener = std::function<void(const NowPlaying&)>;

    // Loading `nullMediaPath` counts as stopping.
    PlaybackWatch(std::unique_ptr<MediaPlayer> player, std::string nullMediaPath);

    // Names the job whose music `path` is: for the next medium set with that path, or the one playing now.
    void NameJob(const std::string& jobName, const std::string& path);
    // The player could not play `path`: when that is the medium, it counts as stopped.
    void PlaybackFailed(const std::string& path);

    const NowPlaying& now() const { return now_; }
    // Called after every change of now().
    void SetListener(Listener listener) { listener_ = std::move(listener); }

    void SetFileName(const std::string& path) override;
    std::string FileName() const override { return player_->FileName(); }
    void Play() override;
    void Pause() override;
    void Stop() override;
    void SetEndOfStreamHandler(std::function<void()> handler) override;
    void Prepare(const std::string& path) override { player_->Prepare(path); }
    void StartPreparedAt(const std::string& path, std::chrono::steady_clock::time_point at) override {
        player_->StartPreparedAt(path, at);
    }
    void SetSoundProofHandler(std::function<void(const SoundProof&)> handler) override {
        player_->SetSoundProofHandler(std::move(handler));
    }

private:
    void Change(NowPlaying next);

    std::unique_ptr<MediaPlayer> player_;
    std::string nullMediaPath_;
    NowPlaying now_;
    std::string namedPath_, namedJob_;
    Listener listener_;
};

}  // namespace lingchao
