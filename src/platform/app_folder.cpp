#include "platform/app_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "base/log.h"

namespace lingchao {

std::filesystem::path ExecutableFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::filesystem::current_path(ec);
    return exe.parent_path();
}

bool IsWritableFolder(const std::filesystem::path& folder) { return ::access(folder.c_str(), W_OK | X_OK) == 0; }

namespace {

// An installed copy (its shipped data beside it, or anything under /usr) keeps its data per user, also when run
// by root, who can write anywhere.
bool IsInstalledCopy(const std::filesystem::path& executableFolder) {
    std::error_code ec;
    return executableFolder.string().starts_with("/usr/") ||
           std::filesystem::is_directory(executableFolder.parent_path() / "share/lingchao", ec);
}

}  // namespace

std::filesystem::path ChooseAppFolder(const std::filesystem::path& executableFolder, const std::string& xdgDataHome,
                                      const std::string& home) {
    if (!IsInstalledCopy(executableFolder) && IsWritableFolder(executableFolder)) return executableFolder;
    // The XDG rule: an unset or relative XDG_DATA_HOME means ~/.local/share.
    std::filesystem::path base = xdgDataHome;
    if (base.empty() || base.is_relative()) base = std::filesystem::path(home.empty() ? "/tmp" : home) / ".local/share";
    return base / "lingchao";
}

std::string AppFolderWarning(const std::filesystem::path& executableFolder, const std::filesystem::path& chosen) {
    if (!IsWritableFolder(chosen)) {
        return "程序文件夹 " + chosen.string() + " 无法写入：任务表、定时关机和音乐列表的修改都不会保存";
    }
    if (chosen != executableFolder && !IsInstalledCopy(executableFolder)) {
        return "程序所在的文件夹 " + executableFolder.string() + " 无法写入，铃潮改用 " + chosen.string() +
               "：这里的任务表不是程序旁边的那一个";
    }
    return {};
}

std::string FolderPermissionWarning(const std::filesystem::path& appFolder) {
    std::string open;
    for (const auto& folder : {appFolder, appFolder / "music", appFolder / "job"}) {
        struct stat st {};
        if (::lstat(folder.c_str(), &st) == 0 && (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
            open += (open.empty() ? "" : "、") + folder.string();
        }
    }
    if (open.empty()) return {};
    return "其他用户可以写入 " + open + "：他们能改动任务表和铃声。请去掉组和其他用户的写权限（chmod go-w）";
}

std::filesystem::path CurrentAppFolder() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    return ChooseAppFolder(ExecutableFolder(), xdg != nullptr ? xdg : "", home != nullptr ? home : "");
}

std::filesystem::path PrepareAppFolder(const SeedFolder& seed, std::string* warning) {
    const auto exeFolder = ExecutableFolder();
    const auto folder = CurrentAppFolder();
    std::error_code ec;
    if (folder != exeFolder && !std::filesystem::exists(folder)) {
        // First start of an installed copy: the bells and the example timetable the package ships.
        if (seed) seed(folder, exeFolder.parent_path() / "share/lingchao/music");
        LogLine("created the application folder " + folder.string());
    }
    for (const char* sub : {"music", "job"}) {
        std::filesystem::create_directories(folder / sub, ec);
        if (ec) LogLine("cannot create " + (folder / sub).string() + ": " + ec.message());
    }
    if (warning != nullptr) *warning = AppFolderWarning(exeFolder, folder);
    return folder;
}

}  // namespace lingchao
