#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "music/music_names.h"

namespace lingchao {

// A stored music path that names no file on this computer, and the file of the music folder of the same name.
struct StrayPath {
    enum class Holder { Timetable, Group, List };
    Holder holder = Holder::Timetable;
    std::filesystem::path file;  // the file that holds the path
    int record = 0;              // job-group files: the job's record (1-based)
    int slot = 0;                // job-group files: 0 the job's music, 1..7 Monday's..Sunday's song
    std::size_t line = 0;        // music lists: the line (0-based)
    std::string owner;           // the job or the list, as the table names it
    std::string oldPath;
    std::string found;  // the file found by name; "" when there is none
    int sameNames = 0;  // how many files have that name (the first, see MusicNames, is `found`)
    // Why `found` cannot be written in place of the old path ("" when it can).
    std::string unwritable;
    bool CanTidy() const { return !found.empty() && unwritable.empty(); }
};

// Every stored path of the timetable in use ("default.dll"), of the job groups ("job/*.sav") and of the music
// lists (every ".m3u" under "music/") that names no file here, in that order, each with its file found by name
// in `names`. Paths that exist, blank fields, directives of lists and URIs are not listed.
std::vector<StrayPath> FindStrayPaths(const std::filesystem::path& appFolder,
                                      const std::shared_ptr<const MusicNames>& names);

struct TidyResult {
    int paths = 0;       // paths rewritten
    int notFound = 0;    // paths of the files to tidy for which no file was found by name: left as they were
    int unwritable = 0;  // paths of those files whose file found cannot be stored in their place: left too
    std::vector<std::filesystem::path> files;  // files rewritten
    std::vector<std::string> failures;         // one line per file or path that could not be changed, and why
    bool timetableChanged = false;             // "default.dll" was rewritten: reload the list and the schedule
    std::filesystem::path backup;              // where the files were kept before they changed ("" when none was)
    std::string backupName;                    // the same as messages name it: "backup/2026-12-07 075500 整理"
    std::string backupFailure;                 // why they could not be kept: then nothing was changed
};

// Writes each found file in place of its old path: in the timetable in use always, in the job groups and the
// music lists when `groupsAndLists`. Only the bytes of those path fields (or list lines) change. Every file about
// to change is first kept as it was in a new folder "backup/<date time> 整理" of `appFolder` (when one cannot be
// kept, nothing changes); then each is written whole through a scratch file. A path that changed since the scan
// is left alone and reported.
TidyResult TidyStrayPaths(const std::filesystem::path& appFolder, const std::vector<StrayPath>& rows,
                          bool groupsAndLists);

// The table's third column: the found file relative to the application folder, "未找到", or why it cannot be
// written.
std::string FoundColumnText(const StrayPath& row, const std::filesystem::path& appFolder);

// What the tidy did, for the message box.
std::string TidyResultText(const TidyResult& result);

}  // namespace lingchao
