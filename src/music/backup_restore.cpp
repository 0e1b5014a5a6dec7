#include "music/backup_restore.h"

#include <algorithm>
#include <ctime>
#include <system_error>

#include "base/backup_folder.h"
#include "base/file_util.h"
#include "music/old_files_import.h"

namespace lingchao {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxFiles = 200000;

// Only what the import and the tidy keep may be put back: nothing else of the folder is ever written from a backup.
bool OursToRestore(const std::string& name) {
    if (name == "default.dll" || name == "exit.dll") return true;
    if (name.starts_with("job/")) return name.ends_with(".sav") && name.find('/', 4) == std::string::npos;
    return name.starts_with("music/");
}

bool IsScratch(const fs::path& file) {
    const std::string name = file.filename().string();
    return name.starts_with(".") && name.ends_with(".new");
}

// The small stored files are read and checked on the bytes that are written; music is streamed.
bool PutBack(const fs::path& from, const fs::path& to, const std::string& name, std::string& why) {
    if (ReplaceOrder(name) == 0) return CopyFileWhole(from, to, false, &why);
    const StoredFile stored = ReadStoredFile(from, kDefaultReadCap);
    if (!stored.whole()) {
        why = "无法读取";
        return false;
    }
    if (std::string wrong = StoredShapeProblem(name, stored.bytes.size()); !wrong.empty()) {
        why = std::move(wrong);
        return false;
    }
    std::error_code ec;
    fs::create_directories(to.parent_path(), ec);
    std::string failure;
    if (!ReplaceFileAtomically(to, stored.bytes, &failure)) {
        const std::string prefix = "无法写入 " + to.string() + "：";
        why = "无法写入：" + (failure.starts_with(prefix) ? failure.substr(prefix.size()) : failure);
        return false;
    }
    return true;
}

}  // namespace

std::vector<BackupEntry> ListBackups(const fs::path& appFolder) {
    std::vector<BackupEntry> entries;
    std::error_code ec;
    fs::directory_iterator it(appFolder / kBackupFolder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_directory(typeError) || it->is_symlink(typeError)) continue;
        BackupEntry entry{it->path(), it->path().filename().string(), {}};
        std::error_code walkError;
        fs::recursive_directory_iterator walk(it->path(), fs::directory_options::skip_permission_denied, walkError);
        for (; !walkError && walk != fs::recursive_directory_iterator() && entry.files.size() < kMaxFiles;
             walk.increment(walkError)) {
            std::error_code statError;
            if (!walk->is_regular_file(statError) || walk->is_symlink(statError) || IsScratch(walk->path())) {
                continue;
            }
            entry.files.push_back(walk->path().lexically_relative(it->path()).generic_string());
        }
        std::sort(entry.files.begin(), entry.files.end());
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const BackupEntry& a, const BackupEntry& b) { return a.name > b.name; });
    return entries;
}

RestoreResult RestoreBackup(const fs::path& appFolder, const BackupEntry& entry) {
    RestoreResult result;
    std::vector<std::string> writes;
    for (const std::string& name : entry.files) {
        const fs::path from = entry.folder / name;
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(from, ec);
        if (!OursToRestore(name)) {
            result.skipped.push_back(name + "：不是铃潮的文件");
        } else if (!fs::is_regular_file(status)) {
            result.skipped.push_back(name + "：不是普通文件");
        } else if (std::string wrong = StoredShapeProblem(name, fs::file_size(from, ec)); !wrong.empty()) {
            result.skipped.push_back(name + "：" + wrong);
        } else if (SameFileBytes(from, appFolder / name)) {
            ++result.same;
        } else {
            writes.push_back(name);
        }
    }
    std::stable_sort(writes.begin(), writes.end(),
                     [](const std::string& a, const std::string& b) { return ReplaceOrder(a) < ReplaceOrder(b); });
    // What is here now is kept first, so that a restore can be undone like an import.
    BackupFolder backup(appFolder, "恢复前", std::time(nullptr));
    for (const std::string& name : writes) {
        std::error_code ec;
        const fs::file_status there = fs::symlink_status(appFolder / name, ec);
        if (!fs::exists(there) || fs::is_directory(there)) continue;
        std::string why;
        if (!backup.Keep(name, &why)) {
            result.backupFailure = why;
            return result;
        }
    }
    result.backup = backup.Path();
    result.backupName = backup.Name();
    for (const std::string& name : writes) {
        std::string why;
        if (!PutBack(entry.folder / name, appFolder / name, name, why)) {
            result.failed.push_back(name + "：" + why);
            continue;
        }
        ++result.restored;
        if (name == "default.dll") result.timetableChanged = true;
        if (name == "exit.dll") result.shutdownChanged = true;
    }
    return result;
}

std::string RestoreResultText(const RestoreResult& result, const BackupEntry& entry) {
    std::string text;
    if (!result.backupFailure.empty()) {
        text = "没有放回任何文件：本机现在的文件没能先备份（" + result.backupFailure + "）。";
    } else {
        text = "已从备份“" + entry.name + "”放回" + std::to_string(result.restored) + "个文件。";
        if (!result.backupName.empty()) {
            text += "\n放回前本机的这些文件已备份到“" + result.backupName + "”文件夹。";
        }
    }
    if (result.same > 0) text += "\n" + std::to_string(result.same) + "个文件本机的与备份相同，不用放回。";
    if (!result.skipped.empty()) {
        text += "\n以下文件没有放回：";
        for (const std::string& line : result.skipped) text += "\n" + line;
    }
    if (!result.failed.empty()) {
        text += "\n以下文件放回失败：";
        for (const std::string& line : result.failed) text += "\n" + line;
    }
    return text;
}

}  // namespace lingchao
