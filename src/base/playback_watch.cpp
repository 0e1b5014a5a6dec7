#include "base/playback_watch.h"

#include <filesystem>

namespace lingchao {
namespace {

bool IsListPath(const std::string& path) {
    const std::string ext = std::filesystem::path(path).extension().string();
    return ext.size() == 4 && (ext[1] | 0x20) == 'm' && ext[2] == '3' && (ext[3] | 0x20) == 'u';
}

}  // namespace

PlaybackWatch::PlaybackWatch(std::unique_ptr<MediaPlayer> player, std::string nullMediaPath)
    : player_(std::move(player)), nullMediaPath_(std::move(nullMediaPath)) {}

void PlaybackWatch::NameJob(const std::string& jobName, const std::string& path) {
    namedJob_ = jobName;
    namedPath_ = path;
    if (!now_.path.empty() && now_.path == path && now_.title != jobName) {
        NowPlaying next = now_;
        next.title = jobName;
        Change(next);
    }
}

void PlaybackWatch::PlaybackFailed(const std::string& path) {
    if (now_.path.empty() || now_.path != path || now_.status == NowPlaying::Status::Stopped) return;
    NowPlaying next = now_;
    next.status = NowPlaying::Status::Stopped;
    Change(next);
}

void PlaybackWatch::SetFileName(const std::string& path) {
    player_->SetFileName(path);
    NowPlaying next;
    next.serial = now_.serial + 1;
    if (!path.empty() && path != nullMediaPath_) {
        const std::filesystem::path p(path);
        next.status = NowPlaying::Status::Playing;
        next.path = path;
        next.title = path == namedPath_ ? namedJob_ : p.filename().string();
        if (IsListPath(path)) next.list = p.stem().string();
    } else {
        next.serial = now_.serial;
    }
    namedPath_.clear();
    namedJob_.clear();
    Change(next);
}

void PlaybackWatch::Play() {
    player_->Play();
    if (now_.path.empty()) return;
    NowPlaying next = now_;
    next.status = NowPlaying::Status::Playing;
    Change(next);
}

void PlaybackWatch::Pause() {
    player_->Pause();
    if (now_.status != NowPlaying::Status::Playing) return;
    NowPlaying next = now_;
    next.status = NowPlaying::Status::Paused;
    Change(next);
}

void PlaybackWatch::Stop() {
    player_->Stop();
    NowPlaying next = now_;
    next.status = NowPlaying::Status::Stopped;
    Change(next);
}

void PlaybackWatch::SetEndOfStreamHandler(std::function<void()> handler) {
    player_->SetEndOfStreamHandler([this, handler = std::move(handler)] {
        NowPlaying next = now_;
        next.status = NowPlaying::Status::Stopped;
        Change(next);
        if (handler) handler();
    });
}

void PlaybackWatch::Change(NowPlaying next) {
    if (next == now_) return;
    now_ = std::move(next);
    if (listener_) listener_(now_);
}

}  // namespace lingchao
