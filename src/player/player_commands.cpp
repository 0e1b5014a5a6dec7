#include "player/player_commands.h"

#include <exception>

#include "base/log.h"

namespace lingchao {

namespace {

// The commands of the menus never let a player failure reach the user: each step is tried on its own.
template <typename Step>
void TryStep(const char* what, Step&& step) {
    try {
        step();
    } catch (const std::exception& e) {
        LogLine(std::string("player ") + what + " failed: " + e.what());
    } catch (...) {
        LogLine(std::string("player ") + what + " failed");
    }
}

}  // namespace

std::filesystem::path MusicFolder(const std::filesystem::path& appFolder) { return appFolder / "music"; }

std::string NullMediaPath(const std::filesystem::path& appFolder) {
    return (MusicFolder(appFolder) / "null.dll").string();
}

void PlayCommand(MediaPlayer& player) {
    TryStep("play", [&] { player.Play(); });
}

void PauseCommand(MediaPlayer& player) {
    TryStep("pause", [&] { player.Pause(); });
}

void StopSequence(MediaPlayer& player, const std::string& nullMediaPath) {
    TryStep("stop", [&] { player.Stop(); });
    TryStep("release", [&] { player.SetFileName(nullMediaPath); });
}

void EndOfStream(MediaPlayer& player, const std::string& nullMediaPath) {
    TryStep("release", [&] { player.SetFileName(nullMediaPath); });
}

void ConnectEndOfStream(MediaPlayer& player, const std::string& nullMediaPath) {
    MediaPlayer* target = &player;
    player.SetEndOfStreamHandler([target, nullMediaPath] { EndOfStream(*target, nullMediaPath); });
}

}  // namespace lingchao
