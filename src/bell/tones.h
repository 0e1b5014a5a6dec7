#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace lingchao {

// The WAV bytes of a built-in tone (长鸣, 短鸣, 警报, 集合, 解除), carried by the program; empty for another name.
std::string_view ToneBytes(std::string_view name);

// A built-in tone as a file the player can open: written into `folder` (created when missing) unless the file there
// holds it already, so that a damaged or replaced copy is mended. "" and `why` when that cannot be done.
std::string ToneFile(std::string_view name, const std::filesystem::path& folder, std::string* why);

}  // namespace lingchao
