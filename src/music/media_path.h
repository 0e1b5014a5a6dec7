#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "music/music_names.h"

namespace lingchao {

// Where a stored music path leads on this machine.
struct ResolvedMediaPath {
    std::string path;     // the local file to open; empty when there is none
    std::string problem;  // why there is none, for the log
    bool mended = false;  // found only after turning the Windows separators '\' into '/'
    // Found only by its name in the music folder (a path written on another computer); `path` is that file.
    bool foundByName = false;
    int sameNames = 0;  // with foundByName: how many files of the music folder have that name
};

// True for text that starts like a URI ("http:", "file:", "fd:"…): a stored path is never opened as a URI.
// A single drive letter ("C:") is not a scheme.
bool HasUriScheme(const std::string& text);

// Finds the local file a stored text names: the one place where the player, the bell ahead of its minute and the
// self-check turn a stored path into a file. A relative text is taken relative to `baseFolder` (the list's folder
// for a list entry; empty: the working folder). When the text as given names nothing and holds '\', the same text
// with '/' is tried; then a file of the same name in `names` (by default the installed snapshot of the music
// folder; never a walk of the disk). Folders, empty text and URIs name no file.
ResolvedMediaPath ResolveMediaPath(const std::string& text, const std::filesystem::path& baseFolder = {},
                                   const std::shared_ptr<const MusicNames>& names = InstalledMusicNames());

// The bell log's path column for music that was handed to the player: the stored path, or, when it was found by
// name, the file played followed by " (found by name)".
std::string PathForBellLog(const std::string& text);

// True when the path ends with ".m3u", in any letter case.
bool IsMusicListPath(const std::string& path);

}  // namespace lingchao
