#include "music/music_names.h"

#include <QString>

#include <algorithm>
#include <iterator>
#include <mutex>
#include <system_error>

#include "base/text.h"
#include "store/gbk.h"

namespace lingchao {
namespace {

// Shallowest first, then folder by folder in byte order of the names.
bool NameOrderLess(const std::filesystem::path& a, const std::filesystem::path& b) {
    const auto depth = [](const std::filesystem::path& p) { return std::distance(p.begin(), p.end()); };
    const auto da = depth(a);
    const auto db = depth(b);
    if (da != db) return da < db;
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](const auto& x, const auto& y) { return x.native() < y.native(); });
}

std::mutex installedMutex;
std::shared_ptr<const MusicNames> installed;

}  // namespace

std::string StoredFileName(std::string_view storedPath) {
    const std::size_t cut = storedPath.find_last_of("\\/");
    return std::string(cut == std::string_view::npos ? storedPath : storedPath.substr(cut + 1));
}

std::string FileNameKey(std::string_view name) {
    const std::string utf8 = IsValidUtf8(name) ? std::string(name) : GbkToUtf8(name);
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    return text.normalized(QString::NormalizationForm_C).toCaseFolded().toStdString();
}

MusicNames::MusicNames(std::filesystem::path musicFolder, const std::vector<std::filesystem::path>& relativeFiles,
                       std::vector<std::filesystem::path> folders)
    : musicFolder_(std::move(musicFolder)), folders_(std::move(folders)) {
    std::vector<std::filesystem::path> sorted = relativeFiles;
    std::sort(sorted.begin(), sorted.end(), NameOrderLess);
    files_.reserve(sorted.size());
    for (const auto& relative : sorted) {
        const std::filesystem::path full = musicFolder_ / relative;
        files_.push_back(full);
        const std::string key = FileNameKey(relative.filename().native());
        if (key.empty()) continue;
        auto [it, isNew] = byKey_.try_emplace(key, Match{full, 1});
        if (!isNew) ++it->second.sameNames;
    }
}

std::shared_ptr<const MusicNames> MusicNames::Scan(const std::filesystem::path& musicFolder) {
    std::vector<std::filesystem::path> files;
    std::vector<std::filesystem::path> folders;
    std::error_code ec;
    if (std::filesystem::is_directory(musicFolder, ec)) {
        folders.push_back(musicFolder);
        std::filesystem::recursive_directory_iterator it(
            musicFolder, std::filesystem::directory_options::skip_permission_denied, ec);
        const std::filesystem::recursive_directory_iterator end;
        while (!ec && it != end && files.size() < kMaxFiles) {
            const std::filesystem::directory_entry& entry = *it;
            const std::string name = entry.path().filename().native();
            std::error_code statError;
            const bool hidden = name.empty() || name.front() == '.';
            if (entry.is_directory(statError) && !entry.is_symlink(statError)) {
                if (hidden || it.depth() + 1 >= kMaxDepth) {
                    it.disable_recursion_pending();
                } else {
                    folders.push_back(entry.path());
                }
            } else if (!hidden && entry.is_regular_file(statError)) {
                files.push_back(entry.path().lexically_relative(musicFolder));
            }
            it.increment(ec);
        }
    }
    return std::make_shared<const MusicNames>(musicFolder, files, std::move(folders));
}

std::optional<MusicNames::Match> MusicNames::Find(std::string_view storedPath) const {
    const std::string name = StoredFileName(storedPath);
    if (name.empty()) return std::nullopt;
    const auto it = byKey_.find(FileNameKey(name));
    if (it == byKey_.end()) return std::nullopt;
    return it->second;
}

void InstallMusicNames(std::shared_ptr<const MusicNames> names) {
    std::lock_guard lock(installedMutex);
    installed = std::move(names);
}

std::shared_ptr<const MusicNames> InstalledMusicNames() {
    std::lock_guard lock(installedMutex);
    return installed;
}

}  // namespace lingchao
