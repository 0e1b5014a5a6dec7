#include "platform/app_folder.h"

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

std::filesystem::path ChooseAppFolder(const std::filesystem::path& executableFolder, const std::string& xdgDataHome,
                                      const std::string& home) {
    // An installed copy (its shipped data beside it, or anything under /usr) keeps its data per user, also
    // when run by root, who can write anywhere.
    std::error_code ec;
    const bool installed = executableFolder.string().starts_with("/usr/") ||
                           std::filesystem::is_directory(executableFolder.parent_path() / "share/lingchao", ec);
    if (!installed && IsWritableFolder(executableFolder)) return executableFolder;
    // The XDG rule: an unset or relative XDG_DATA_HOME means ~/.local/share.
    std::filesystem::path base = xdgDataHome;
    if (base.empty() || base.is_relative()) base = std::filesystem::path(home.empty() ? "/tmp" : home) / ".local/share";
    return base / "lingchao";
}

std::filesystem::path CurrentAppFolder() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    return ChooseAppFolder(ExecutableFolder(), xdg != nullptr ? xdg : "", home != nullptr ? home : "");
}

std::filesystem::path PrepareAppFolder(const SeedFolder& seed) {
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
    return folder;
}

}  // namespace lingchao
