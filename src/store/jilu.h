#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "base/job_list_view.h"
#include "store/group_file.h"

namespace lingchao {

inline constexpr const char* kDefaultGroup = "default.dll";

// What the job editor shows and hands back: the texts of its boxes and the states of its check boxes.
struct JobEditorFields {
    std::string state = "START";           // Combo1
    std::string number;                    // Text1(0)
    std::string name;                      // Text1(1)
    std::string time;                      // Text1(2)
    std::string date;                      // Text1(3)
    std::array<std::string, 8> music;      // Text2(0..7)
    std::array<std::int16_t, 8> checks{};  // Check1(0..7)
};

// File-level job routines. File names are relative to the application folder ("default.dll").
class Jilu final {
public:
    // `rebuildIndex` is the scheduler's BuildScheduleIndex, run at the end of every list reload.
    Jilu(std::filesystem::path appFolder, JobListView* list, std::function<void()> rebuildIndex);

    void SetList(JobListView* list) { list_ = list; }
    GroupFile Group(const std::string& file) const { return GroupFile(appFolder_ / file); }
    const std::filesystem::path& AppFolder() const { return appFolder_; }

    // Fills the list from the file (creating it empty when missing) and rebuilds the schedule index.
    // No row is selected afterwards.
    void LoadJobTable(const std::string& file);
    // The fields of record n, trimmed as the editor shows them.
    JobEditorFields LoadJobIntoEditor(const std::string& file, int n) const;
    // Writes the editor's job as record JobNo, reloads the list and selects the job's row.
    bool SaveJobFromEditor(const std::string& file, const JobEditorFields& fields);
    bool SetJobState(const std::string& file, const std::string& state, int n);
    bool SetAllJobStates(const std::string& file, const std::string& state);
    // Exchanges records n and n + step with their numbers kept equal to their places; no reload.
    bool SwapJobRecords(const std::string& file, int n, int step);
    // Removes record n of `count`, renumbering the later ones, through the copy file; no reload.
    bool DeleteJobRecord(const std::string& file, int n, int count);
    // Deletes the group file (clear all); no reload.
    bool RemoveGroupFile(const std::string& file);

    // Why the last change of a group file was not saved, in Chinese; "" when it was.
    const std::string& LastFailure() const { return lastFailure_; }
    // Called after every change of a group file with "" (saved) or LastFailure().
    void SetChangeReporter(std::function<void(const std::string& failure)> reporter) {
        reporter_ = std::move(reporter);
    }

private:
    bool Changed(bool ok, std::string failure);

    std::filesystem::path appFolder_;
    JobListView* list_;
    std::function<void()> rebuildIndex_;
    std::function<void(const std::string&)> reporter_;
    std::string lastFailure_;
};

// The record the editor's fields describe, as saving stores it (an empty date becomes "Everyday").
JobRecord JobFromEditor(const JobEditorFields& fields);

}  // namespace lingchao
