#pragma once

#include <filesystem>

#include "base/file_util.h"

namespace lingchao {

inline constexpr const char* kExampleGroupName = "示例作息.sav";

// A morning's timetable ringing the shipped bells in `musicFolder`: something a new user can open and hear.
Bytes ExampleGroup(const std::filesystem::path& musicFolder);

// Fills a newly made application folder: the shipped bells into music/ and the example group into job/.
// Files already there are kept.
void SeedAppFolder(const std::filesystem::path& appFolder, const std::filesystem::path& shippedMusic);

}  // namespace lingchao
