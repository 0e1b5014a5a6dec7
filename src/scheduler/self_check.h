#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/media_probe.h"

namespace lingchao {

// Every "START" job of the group, with its music for `weekday` (1 = Monday ... 7 = Sunday), through the probe in
// one pass: music that several jobs name is checked once and its findings given to each of them. nullopt when
// `cancel` was set before the pass ended.
std::optional<std::vector<MusicProblem>> CheckTodaysMusic(const std::filesystem::path& groupFile, int weekday,
                                                          MediaProbe& probe, const CancelToken& cancel);
// The same, run to its end.
std::vector<MusicProblem> CheckTodaysMusic(const std::filesystem::path& groupFile, int weekday, MediaProbe& probe);

// The clock's tooltip: one line per problem, or "" when there is none. Notes are left out.
std::string ProblemsText(const std::vector<MusicProblem>& problems);

// The notes of files played only because they were found by name, with the file each plays as and, when
// several files share the name, which one: one line each, or "" when there is none.
std::string FoundByNameText(const std::vector<MusicProblem>& problems);

}  // namespace lingchao
