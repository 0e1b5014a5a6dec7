#pragma once

// Kills a child process at chosen points of a deterministic edit sequence over a job group.
// The child reports each point through a pipe and waits there for the parent, so a kill lands exactly where the
// test says: between two edits, or inside a save after any write, sync, rename or unlink of a file.

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

namespace lingchao::test {

using State = std::vector<std::uint8_t>;

inline constexpr int kCrashOps = 40;

// Group file for the start of the sequence.
void WriteStartGroup(const std::filesystem::path& file);

// Applies edits [from, to) of the sequence to the group in `folder`; `afterEach(i)` runs after edit i.
void RunOps(const std::filesystem::path& folder, int from, int to, const std::function<void(int)>& afterEach);

// The group file after 0, 1, ..., kCrashOps edits, from a run in this process.
std::vector<State> ReferenceStates();

// What the parent sees of a child.
enum class Point : char { Step = 'S', FileCall = 'F' };

// Runs `body` in a child process. The child stops at every step it reports with ReportStep() and, when
// `stopAtFileCalls`, after every write, sync, rename and unlink of a file (each write made short, so the content
// arrives in several pieces). At the n-th stop (from 1) the parent asks `killHere(n, point)`: true kills the
// child there. Returns the number of the stop it was killed at, or 0 when it ran to its end.
int RunChild(const std::function<void()>& body, bool stopAtFileCalls, const std::function<bool(int, Point)>& killHere);

// Inside a child of RunChild: stops at a step (does nothing elsewhere).
void ReportStep();

}  // namespace lingchao::test
