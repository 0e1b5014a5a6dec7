#include "player/music_list.h"

#include <algorithm>
#include <system_error>

#include "store/gbk.h"

namespace lingchao {

std::vector<std::string> ParseMusicList(std::string_view gbk, std::size_t maxEntries) {
    std::vector<std::string> entries;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < gbk.size() && entries.size() < maxEntries) {
        const char c = gbk[i];
        if (c == '\r' || c == '\n') {
            entries.push_back(GbkToUtf8(gbk.substr(start, i - start)));
            i += (c == '\r' && i + 1 < gbk.size() && gbk[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < gbk.size() && entries.size() < maxEntries) entries.push_back(GbkToUtf8(gbk.substr(start)));
    return entries;
}

std::optional<std::vector<std::string>> ReadMusicList(const std::filesystem::path& path, ReadProblem* problem) {
    const StoredFile file = ReadStoredFile(path, kMaxMusicListBytes);
    if (problem != nullptr) *problem = file.problem;
    if (!file.usable()) return std::nullopt;
    const std::string_view text(reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size());
    // One entry more than the bound tells a list that goes on from one that ends there.
    std::vector<std::string> entries = ParseMusicList(text, kMaxMusicListEntries + 1);
    if (entries.size() > kMaxMusicListEntries) {
        entries.resize(kMaxMusicListEntries);
        if (problem != nullptr) *problem = ReadProblem::TooLarge;
    }
    return entries;
}

Bytes EncodeMusicList(const std::vector<std::string>& entries) {
    Bytes out;
    for (const std::string& entry : entries) {
        std::string line = Utf8ToGbk(entry);
        std::replace_if(
            line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
        out.insert(out.end(), line.begin(), line.end());
        out.push_back('\r');
        out.push_back('\n');
    }
    return out;
}

bool WriteMusicList(const std::filesystem::path& path, const std::vector<std::string>& entries) {
    return ReplaceFileAtomically(path, EncodeMusicList(entries));
}

std::vector<std::string> MusicListNames(const std::filesystem::path& musicFolder) {
    static constexpr std::string_view kExtension = ".m3u";
    std::vector<std::string> names;
    std::error_code ec;
    std::filesystem::directory_iterator it(musicFolder, ec);
    if (ec) return names;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        const std::string file = it->path().filename().string();
        if (file.size() <= kExtension.size() || !file.ends_with(kExtension)) continue;
        std::string name = file.substr(0, file.size() - kExtension.size());
        if (IsSafeMusicListName(name)) names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string MusicListPath(const std::filesystem::path& musicFolder, const std::string& name) {
    return (musicFolder / (name + ".m3u")).string();
}

bool IsSafeMusicListName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    if (name.find("..") != std::string_view::npos) return false;
    return name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

bool IsMusicListInUse(const MediaPlayer& player, const std::string& listPath) { return player.FileName() == listPath; }

std::vector<std::string> PlayableEntries(const std::vector<std::string>& entries) {
    std::vector<std::string> out;
    for (const std::string& entry : entries) {
        const std::size_t first = entry.find_first_not_of(" \t");
        if (first == std::string::npos || entry[first] == '#') continue;
        out.push_back(entry.substr(first, entry.find_last_not_of(" \t") - first + 1));
    }
    return out;
}

}  // namespace lingchao
