#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/dialogs.h"

namespace lingchao {

// One file of the old program's folder and where it goes in the application folder.
struct ImportFile {
    enum class Status {
        New,      // nothing of that name here yet
        Same,     // the same bytes are here already
        Differs,  // another file of that name is here: replaced only when the user agrees
        Bad,      // not what its name claims: never copied
    };
    std::filesystem::path from;
    std::filesystem::path to;
    std::string name;  // relative to the folders, as messages show it ("job/考试周.sav")
    std::uint64_t size = 0;
    Status status = Status::New;
    std::string why;       // Bad: what is wrong with it
    bool replace = false;  // Differs: the user agreed to replace it
};

struct ImportPlan {
    std::vector<ImportFile> files;
    std::string refused;  // why nothing at all can be taken from the folder ("" when something can)
};

// What the old program's folder (copied from its computer, names in any letter case) holds of ours:
// "default.dll", "exit.dll", "job/*.sav" and everything under "music/" (sounds and lists, ".m3u" written in
// lower case here; the old "null.dll" left out), each compared with what the application folder has. Links,
// devices and other odd files are Bad. Reads whole files to compare them: run it off the user-interface thread.
ImportPlan PlanImport(const std::filesystem::path& oldFolder, const std::filesystem::path& appFolder);

// Asks before anything is replaced: the timetable in use and the shutdown settings each on their own, the
// job groups and the music in one question. Sets `replace` from the answers.
void AskReplacements(ImportPlan& plan, Dialogs& dialogs);

struct ImportResult {
    int copied = 0;                    // new files copied
    int replaced = 0;                  // files replaced with the user's consent
    int same = 0;                      // already here, the same
    int kept = 0;                      // here and different, kept because the user said no
    std::vector<std::string> skipped;  // Bad files, "name：why"
    std::vector<std::string> failed;   // files that could not be written, "name：why"
    bool timetableChanged = false;     // "default.dll" was written: reload the list and the schedule
    bool shutdownChanged = false;      // "exit.dll" was written: reload the shutdown settings
    bool cancelled = false;
};

// Copies the new files and the ones agreed to be replaced, each through a scratch file renamed over the target:
// every music file and list first, then the job groups and "exit.dll", and "default.dll" last, so that the
// timetable in use changes in one step, once the music it names is in place. After a stop or a failed music copy
// "default.dll" is left as it was (and listed as failed). `progress(bytesDone, bytesTotal)` is called before each
// file and at the end; returning false stops before the next file. Safe to run on a worker thread.
ImportResult RunImport(const ImportPlan& plan, const std::function<bool(std::uint64_t, std::uint64_t)>& progress = {});

// What the import did, for the message box.
std::string ImportResultText(const ImportResult& result);

}  // namespace lingchao
