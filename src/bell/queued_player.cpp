#include "bell/queued_player.h"

#include "bell/bell_thread.h"

namespace lingchao {

void QueuedPlayer::NameJob(const std::string& name, const std::string& path) {
    bell_.Post([name, path](Bell& bell) { bell.player().NameJob(name, path); });
}

void QueuedPlayer::SetFileName(const std::string& path) {
    fileName_ = path;
    bell_.Post([path](Bell& bell) { bell.player().SetFileName(path); });
}

void QueuedPlayer::Play() {
    bell_.Post([](Bell& bell) { bell.player().Play(); });
}

void QueuedPlayer::Pause() {
    bell_.Post([](Bell& bell) { bell.player().Pause(); });
}

void QueuedPlayer::Stop() {
    bell_.Post([](Bell& bell) { bell.player().Stop(); });
}

}  // namespace lingchao
