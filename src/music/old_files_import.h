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
        New,      // nothing of that name here yet (for "exit.dll": none, or an empty one, which holds no settings)
        Same,     // the same bytes are here already
        Differs,  // another file of that name is here: replaced only when the user agrees
        Bad,      // not what its name claims: never copied
    };
    std::filesystem::path from;
    std::filesystem::path to;
    std::string name;         // relative to the application folder, as messages show it ("job/考试周.sav")
    std::string source;       // relative to the old folder, as it is spelt there ("JOB/考试周.SAV")
    std::string renamedFrom;  // the name it would have had, taken by another file of the same name in another
                              // letter case; "" when it has its own
    std::uint64_t size = 0;
    Status status = Status::New;
    std::string why;       // Bad: what is wrong with it
    bool replace = false;  // Differs: the user agreed to replace it
};

struct ImportPlan {
    std::filesystem::path appFolder;
    std::vector<ImportFile> files;
    std::string refused;  // why nothing at all can be taken from the folder ("" when something can)
};

// What the old program's folder (copied from its computer, names in any letter case) holds of ours:
// "default.dll", "exit.dll", "job/*.sav" and everything under "music/" (sounds and lists, ".m3u" written in
// lower case here; the old "null.dll" left out), each compared with what the application folder has. Links,
// devices and other odd files are Bad. Names that differ only in letter case ("x.sav" and "x.SAV", "music/" and
// "MUSIC/") would land on one file: the one spelt most like here (else the first by name) keeps it, each other
// gets a name of its own ("x (2).sav"; a second timetable becomes the job group "job/default (2).sav"). Reads whole
// files to compare them: run it off the user-interface thread.
ImportPlan PlanImport(const std::filesystem::path& oldFolder, const std::filesystem::path& appFolder);

// Asks before anything is replaced: the timetable in use and the shutdown settings each on their own, the
// job groups and the music in one question. Sets `replace` from the answers.
void AskReplacements(ImportPlan& plan, Dialogs& dialogs);

struct ImportResult {
    int copied = 0;                          // new files copied
    int replaced = 0;                        // files replaced with the user's consent
    int same = 0;                            // already here, the same
    int kept = 0;                            // here and different, kept because the user said no
    std::vector<std::string> skipped;        // Bad files, "name：why"
    std::vector<std::string> failed;         // files that could not be written, "name：why"
    std::vector<std::string> renamed;        // kept under a name of their own, "JOB/x.SAV → job/x (2).sav"
    std::vector<std::string> replacedNames;  // the files of this computer replaced, by name
    std::filesystem::path backup;            // where this computer's replaced files were kept ("" when none was)
    std::string backupName;                  // the same as messages name it: "backup/2026-12-07 075500 导入"
    std::string backupFailure;               // why they could not be kept: then nothing at all was written
    bool timetableChanged = false;           // "default.dll" was written: reload the list and the schedule
    bool shutdownChanged = false;            // "exit.dll" was written: reload the shutdown settings
    bool cancelled = false;
};

// First keeps every file of this computer about to be replaced in a new folder "backup/<date time> 导入" (each
// whole and on disk before anything is replaced; when one cannot be kept nothing is written). Then copies the new
// files and the ones agreed to be replaced, each through a scratch file renamed over the target: every music file
// and list first, then the job groups and "exit.dll", and "default.dll" last, so that the timetable in use
// changes in one step, once the music it names is in place. After a stop or a failed music copy "default.dll" is
// left as it was (and listed as failed). `progress(bytesDone, bytesTotal)` is called before each file and at the
// end; returning false stops before the next file. Safe to run on a worker thread.
ImportResult RunImport(const ImportPlan& plan, const std::function<bool(std::uint64_t, std::uint64_t)>& progress = {});

// What the import did, for the message box.
std::string ImportResultText(const ImportResult& result);

// What a timetable ("default.dll"), a job group (".sav") or the shutdown settings ("exit.dll") of `size` bytes
// lacks to be one, by its name relative to the application folder; "" when it is one, or is none of them.
std::string StoredShapeProblem(const std::string& name, std::uint64_t size);

// Files are replaced in this order, lowest first: music, job groups, "exit.dll", "default.dll".
int ReplaceOrder(const std::string& name);

}  // namespace lingchao
