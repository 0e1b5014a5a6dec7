#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "base/media_probe.h"

namespace lingchao {

// Every "START" job of the group, with its music for `weekday` (1 = Monday ... 7 = Sunday), through the probe.
std::vector<MusicProblem> CheckTodaysMusic(const std::filesystem::path& groupFile, int weekday, MediaProbe& probe);

// The clock's tooltip: one line per problem, or "" when there is none.
std::string ProblemsText(const std::vector<MusicProblem>& problems);

}  // namespace lingchao
