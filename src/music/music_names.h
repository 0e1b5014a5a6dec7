#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace lingchao {

// The file name a stored path ends with: the text after its last '\' or '/' ("D:\铃声\上课.mp3" gives "上课.mp3").
// The text is UTF-8 (decoded from GBK when read), so a GBK trail byte 0x5C never splits a character.
std::string StoredFileName(std::string_view storedPath);

// Two names share a key when Windows takes them for the same file: letter case folded, Unicode composed.
// A name that is not UTF-8 (copied from a Windows disk as raw GBK bytes) is decoded as GBK first.
std::string FileNameKey(std::string_view name);

// The files of the music folder and its subfolders by name, so that a path written on another computer
// ("D:\铃声\上课.mp3") can still find its file here. One scan is a snapshot: it never touches the disk again.
class MusicNames final {
public:
    // Limits of one scan: a music folder far past them is not a school's bell folder.
    static constexpr std::size_t kMaxFiles = 200000;
    static constexpr int kMaxDepth = 24;

    struct Match {
        std::filesystem::path path;  // the file chosen: the shallowest, then the first in name order
        int sameNames = 1;           // how many files of the folder have that name
    };

    // Walks `musicFolder`: regular files (links to files too), not into linked folders, hidden names left out.
    // A missing folder gives an empty snapshot.
    static std::shared_ptr<const MusicNames> Scan(const std::filesystem::path& musicFolder);

    // From files already known, relative to `musicFolder` (what Scan finds; tests).
    MusicNames(std::filesystem::path musicFolder, const std::vector<std::filesystem::path>& relativeFiles,
               std::vector<std::filesystem::path> folders = {});

    // The file of the same name as the stored path's last component; nullopt when there is none.
    std::optional<Match> Find(std::string_view storedPath) const;

    const std::filesystem::path& MusicFolder() const { return musicFolder_; }
    // Every file, full paths, shallowest first and then in name order.
    const std::vector<std::filesystem::path>& Files() const { return files_; }
    // The music folder and every folder under it that was walked (for watching them).
    const std::vector<std::filesystem::path>& Folders() const { return folders_; }

private:
    std::filesystem::path musicFolder_;
    std::vector<std::filesystem::path> files_;
    std::vector<std::filesystem::path> folders_;
    std::unordered_map<std::string, Match> byKey_;
};

// The snapshot that ResolveMediaPath looks in; null until one is installed. Both are safe from any thread.
void InstallMusicNames(std::shared_ptr<const MusicNames> names);
std::shared_ptr<const MusicNames> InstalledMusicNames();

}  // namespace lingchao
