#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace lingchao {

// The folder the executable runs from.
std::filesystem::path ExecutableFolder();

// Where the program keeps its data (default.dll, exit.dll, music/, job/): the executable's folder when it is
// writable (a portable copy), otherwise the per-user folder $XDG_DATA_HOME/lingchao (default
// ~/.local/share/lingchao). An installed copy (share/lingchao beside its bin folder, or under /usr) always
// uses the per-user folder. `xdgDataHome` and `home` are the environment's values.
std::filesystem::path ChooseAppFolder(const std::filesystem::path& executableFolder, const std::string& xdgDataHome,
                                      const std::string& home);

// ChooseAppFolder for this process, from its executable and environment; creates nothing.
std::filesystem::path CurrentAppFolder();

// Fills a per-user folder made at the first start: (new folder, the music the package ships).
using SeedFolder = std::function<void(const std::filesystem::path&, const std::filesystem::path&)>;

// ChooseAppFolder for this process, with music/ and job/ created when missing; a per-user folder made now is
// given to `seed` first. `warning` (when given) receives AppFolderWarning's text.
std::filesystem::path PrepareAppFolder(const SeedFolder& seed, std::string* warning = nullptr);

// What the clock must say about the chosen folder, in Chinese; "" when nothing: a portable copy whose own folder
// cannot be written moved to the per-user folder (another timetable than the one beside it), or the chosen folder
// itself cannot be written (no change would be saved).
std::string AppFolderWarning(const std::filesystem::path& executableFolder, const std::filesystem::path& chosen);

// A warning when other users can write the folder, its "music" or its "job" folder (they could change the
// timetable or the bells); "" otherwise.
std::string FolderPermissionWarning(const std::filesystem::path& appFolder);

// True when files can be created in the folder.
bool IsWritableFolder(const std::filesystem::path& folder);

}  // namespace lingchao
