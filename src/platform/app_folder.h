#pragma once

#include <filesystem>
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

// ChooseAppFolder for this process, with music/ and job/ created when missing.
std::filesystem::path PrepareAppFolder();

// True when files can be created in the folder.
bool IsWritableFolder(const std::filesystem::path& folder);

}  // namespace lingchao
