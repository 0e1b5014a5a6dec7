#pragma once

#include <filesystem>
#include <string>

namespace lingchao {

// Where a stored music path leads on this machine.
struct ResolvedMediaPath {
    std::string path;     // the local file to open; empty when there is none
    std::string problem;  // why there is none, for the log
    bool mended = false;  // found only after turning the Windows separators '\' into '/'
};

// True for text that starts like a URI ("http:", "file:", "fd:"…): a stored path is never opened as a URI.
// A single drive letter ("C:") is not a scheme.
bool HasUriScheme(const std::string& text);

// Finds the local file a stored text names. A relative text is taken relative to `baseFolder` (the list's folder
// for a list entry; empty: the working folder). When the text as given names nothing and holds '\', the same text
// with '/' is tried. Folders, empty text and URIs name no file.
ResolvedMediaPath ResolveMediaPath(const std::string& text, const std::filesystem::path& baseFolder = {});

// True when the path ends with ".m3u", in any letter case.
bool IsMusicListPath(const std::string& path);

}  // namespace lingchao
