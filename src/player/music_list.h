#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_util.h"
#include "base/media_player.h"

namespace lingchao {

// Music lists: ".m3u" files of the music folder, GBK text, one entry per line ended by CR LF.

// No real list comes near these; a larger file is used up to them (and said so).
inline constexpr std::size_t kMaxMusicListEntries = 10000;
inline constexpr std::uint64_t kMaxMusicListBytes = 4 * 1024 * 1024;

// Every line of the GBK text, in order, decoded to UTF-8, at most `maxEntries` of them. A line ends at CR LF, a
// lone CR or a lone LF; the last line needs no end. Blank lines and directive lines ("#EXTM3U", "#EXTINF:…") are
// entries like any other.
std::vector<std::string> ParseMusicList(std::string_view gbk, std::size_t maxEntries = kMaxMusicListEntries);

// The entries a player plays: blank lines and directives ("#…") left out, blanks and tabs around each trimmed.
std::vector<std::string> PlayableEntries(const std::vector<std::string>& entries);

// The entries of a list file; nullopt when it cannot be read (missing, a folder, a FIFO or a device, no
// permission). `problem` (when given) says why, or TooLarge when only the first kMaxMusicListBytes or
// kMaxMusicListEntries were used; None otherwise.
std::optional<std::vector<std::string>> ReadMusicList(const std::filesystem::path& path,
                                                      ReadProblem* problem = nullptr);

// Each entry in GBK followed by CR LF, nothing else. A CR or LF inside an entry becomes a blank so that the file
// reads back with the same number of entries.
Bytes EncodeMusicList(const std::vector<std::string>& entries);

// Replaces the whole file atomically; false (and the old file untouched) when it cannot be written.
bool WriteMusicList(const std::filesystem::path& path, const std::vector<std::string>& entries);

// The names of the lists in the music folder (regular files "*.m3u", less ".m3u"), in byte order of their names.
// Names a list could not be reached by (see IsSafeMusicListName) are left out. Empty when the folder is missing.
std::vector<std::string> MusicListNames(const std::filesystem::path& musicFolder);

// The path of the list named `name`: music folder + "/" + name + ".m3u", as the player is given it.
std::string MusicListPath(const std::filesystem::path& musicFolder, const std::string& name);

// False for a name that would reach outside the music folder or name no file of its own:
// empty, "." or "..", containing "..", '/', '\\' or a NUL.
bool IsSafeMusicListName(std::string_view name);

// A list is in use while the player's medium is exactly its path, letter case included.
bool IsMusicListInUse(const MediaPlayer& player, const std::string& listPath);

}  // namespace lingchao
