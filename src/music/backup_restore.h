#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace lingchao {

// A folder of "backup/" and the files it keeps.
struct BackupEntry {
    std::filesystem::path folder;
    std::string name;                // "2026-12-07 075500 导入"
    std::vector<std::string> files;  // relative to the folder, as in the application folder ("job/x.sav")
};

// Every folder under the application folder's "backup/", newest first (their names begin with the date and time).
// Links, and scratch files left by a copy that was cut off, are not listed.
std::vector<BackupEntry> ListBackups(const std::filesystem::path& appFolder);

struct RestoreResult {
    int restored = 0;                  // files put back
    int same = 0;                      // already as the backup keeps them
    std::vector<std::string> skipped;  // files of the backup that are not ours or not what they claim, "name：why"
    std::vector<std::string> failed;   // files that could not be written, "name：why"
    std::filesystem::path backup;      // where this computer's files were kept before ("" when none needed it)
    std::string backupName;            // the same as messages name it: "backup/2026-12-07 081500 恢复前"
    std::string backupFailure;         // why they could not be kept: then nothing was written
    bool timetableChanged = false;     // "default.dll" was written
    bool shutdownChanged = false;      // "exit.dll" was written
};

// Puts back every file `entry` keeps: the timetable in use, the shutdown settings, job groups and music (anything
// else, and a timetable or settings file of the wrong length, is skipped). This computer's files that differ are
// first kept in a new backup "<date time> 恢复前" (when that cannot be made, nothing changes); then each is
// written whole through a scratch file, the music first and "default.dll" last, as the import writes them.
RestoreResult RestoreBackup(const std::filesystem::path& appFolder, const BackupEntry& entry);

// What the restore did, for the message box.
std::string RestoreResultText(const RestoreResult& result, const BackupEntry& entry);

}  // namespace lingchao
