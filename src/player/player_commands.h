#pragma once

#include <filesystem>
#include <string>

#include "base/media_player.h"

namespace lingchao {

// The music folder: application folder + "/music".
std::filesystem::path MusicFolder(const std::filesystem::path& appFolder);

// The null media file: application folder + "/music/null.dll". Loading it plays nothing and lets go of the
// previous medium.
std::string NullMediaPath(const std::filesystem::path& appFolder);

// The player menu's "播放": Play, nothing else.
void PlayCommand(MediaPlayer& player);

// The player menu's "暂停": Pause, nothing else.
void PauseCommand(MediaPlayer& player);

// The player menu's "停止": Stop, then the null media file, which is loaded even when Stop fails.
void StopSequence(MediaPlayer& player, const std::string& nullMediaPath);

// The end of a medium: the null media file is loaded, so no list stays in use.
void EndOfStream(MediaPlayer& player, const std::string& nullMediaPath);

// Makes the player load the null media file whenever its medium ends.
void ConnectEndOfStream(MediaPlayer& player, const std::string& nullMediaPath);

}  // namespace lingchao
