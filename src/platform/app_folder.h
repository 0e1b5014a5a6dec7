#pragma once

#include <filesystem>

namespace lingchao {

// The folder the executable runs from: the program's data (default.dll, exit.dll, music/, job/) lives there.
std::filesystem::path ExecutableFolder();

}  // namespace lingchao
