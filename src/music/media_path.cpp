#include "music/media_path.h"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace lingchao {

namespace {

bool IsSchemeChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '+' || c == '-' || c == '.';
}

// A path is usable when it exists and is not a folder; sockets, fifos and devices fail later in the player.
std::string ProblemWith(const std::filesystem::path& path) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) return "no such file";
    if (std::filesystem::is_directory(status)) return "is a folder";
    return {};
}

std::filesystem::path Anchor(const std::string& text, const std::filesystem::path& baseFolder) {
    std::filesystem::path path(text);
    if (path.is_relative() && !baseFolder.empty()) path = baseFolder / path;
    return path;
}

}  // namespace

bool HasUriScheme(const std::string& text) {
    if (text.empty() || std::isalpha(static_cast<unsigned char>(text[0])) == 0) return false;
    std::size_t i = 1;
    while (i < text.size() && IsSchemeChar(text[i])) ++i;
    return i < text.size() && text[i] == ':' && i >= 2;
}

ResolvedMediaPath ResolveMediaPath(const std::string& text, const std::filesystem::path& baseFolder,
                                   const std::shared_ptr<const MusicNames>& names) {
    ResolvedMediaPath result;
    if (text.empty()) {
        result.problem = "empty path";
        return result;
    }
    if (HasUriScheme(text)) {
        result.problem = "not a local file path";
        return result;
    }
    const std::filesystem::path asGiven = Anchor(text, baseFolder);
    result.problem = ProblemWith(asGiven);
    if (result.problem.empty()) {
        result.path = asGiven.string();
        return result;
    }
    if (text.find('\\') != std::string::npos && result.problem == "no such file") {
        std::string slashed = text;
        std::replace(slashed.begin(), slashed.end(), '\\', '/');
        const std::filesystem::path mended = Anchor(slashed, baseFolder);
        if (ProblemWith(mended).empty()) {
            result.path = mended.string();
            result.problem.clear();
            result.mended = true;
            return result;
        }
    }
    if (result.problem != "no such file" || names == nullptr) return result;
    if (const auto match = names->Find(text); match && ProblemWith(match->path).empty()) {
        result.path = match->path.string();
        result.problem.clear();
        result.foundByName = true;
        result.sameNames = match->sameNames;
    }
    return result;
}

std::string PathForBellLog(const std::string& text) {
    const ResolvedMediaPath where = ResolveMediaPath(text);
    return where.foundByName ? where.path + " (found by name)" : text;
}

bool IsMusicListPath(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return tail == ".m3u";
}

}  // namespace lingchao
