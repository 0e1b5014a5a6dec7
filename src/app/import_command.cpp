#include "app/import_command.h"

#include <filesystem>
#include <iostream>
#include <system_error>

#include "music/music_names.h"
#include "music/old_files_import.h"
#include "music/path_tidy.h"
#include "platform/app_folder.h"
#include "platform/instance_guard.h"
#include "player/player_commands.h"
#include "store/example_group.h"

namespace lingchao {
namespace {

namespace fs = std::filesystem;

// What the tidy table would list, in one line: the import leaves the paths as the old computer wrote them.
void TellStrayPaths(const fs::path& appFolder) {
    const std::vector<StrayPath> rows = FindStrayPaths(appFolder, MusicNames::Scan(MusicFolder(appFolder)));
    if (rows.empty()) return;
    std::size_t found = 0;
    for (const StrayPath& row : rows) found += row.found.empty() ? 0 : 1;
    std::cout << "music paths that name no file here: " << rows.size() << " (" << found << " found by name, "
              << rows.size() - found << " not found; the window's 整理音乐路径… writes the found ones in)\n";
}

}  // namespace

int RunImportFromCommandLine(const std::string& oldFolder) {
    std::error_code ec;
    if (oldFolder.empty() || !fs::is_directory(oldFolder, ec)) {
        std::cerr << "lingchao: --import: '" << oldFolder << "' is not a folder\n";
        return 2;
    }
    std::string folderWarning;
    const fs::path appFolder = PrepareAppFolder(SeedAppFolder, &folderWarning);
    std::cout << "application folder: " << appFolder.string() << "\n";
    if (!folderWarning.empty()) std::cout << "warning: " << folderWarning << "\n";
    // The folder's own lock, as a running copy holds it: a copy running on another folder is no obstacle.
    FolderInstanceGuard guard(AppFolderGuardPath(appFolder));
    const GuardResult lock = guard.Acquire();
    if (lock.outcome == GuardOutcome::HeldByAnother) {
        std::cout.flush();
        std::cerr << "lingchao: --import: a running copy of the program uses " << appFolder.string()
                  << "; quit it first. Nothing was copied.\n";
        return 1;
    }
    if (lock.outcome == GuardOutcome::Unavailable) std::cout << "warning: " << lock.reason << "\n";

    ImportPlan plan = PlanImport(oldFolder, appFolder);
    if (!plan.refused.empty()) {
        std::cout.flush();
        std::cerr << "lingchao: --import: " << plan.refused << "\n";
        return 1;
    }
    for (ImportFile& file : plan.files) file.replace = true;
    const ImportResult result = RunImport(plan);

    std::cout << "imported from: " << fs::absolute(oldFolder, ec).lexically_normal().string() << "\n";
    if (!result.backupFailure.empty()) {
        std::cout << "NOT OK: nothing copied: the files it would replace could not be kept first: "
                  << result.backupFailure << "\n";
        return 1;
    }
    std::cout << "copied " << result.copied << " new file(s), replaced " << result.replaced << ", " << result.same
              << " already the same\n";
    if (!result.backup.empty()) std::cout << "backup of the replaced files: " << result.backup.string() << "\n";
    for (const auto& name : result.replacedNames) std::cout << "replaced: " << name << "\n";
    for (const auto& line : result.renamed) std::cout << "kept both, renamed: " << line << "\n";
    for (const auto& line : result.skipped) std::cout << "skipped (not what its name says): " << line << "\n";
    for (const auto& line : result.failed) std::cout << "failed: " << line << "\n";
    TellStrayPaths(appFolder);
    if (!result.failed.empty()) {
        std::cout << "NOT OK: " << result.failed.size() << " file(s) not written\n";
        return 1;
    }
    std::cout << "ok: imported\n";
    return 0;
}

}  // namespace lingchao
