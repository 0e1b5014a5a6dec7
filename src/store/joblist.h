#pragma once

#include <functional>
#include <string>

#include "base/dialogs.h"
#include "base/media_player.h"
#include "store/jilu.h"

namespace lingchao {

// Opens the job editor modally on the given fields; returns when the editor is closed.
class JobEditorLauncher {
public:
    virtual ~JobEditorLauncher() = default;
    virtual void ShowModal(const std::string& caption, const JobEditorFields& fields) = 0;
};

// List-level job commands, always on "default.dll" and the main window's list.
class JobList final {
public:
    struct Services {
        Jilu& jilu;
        JobListView& list;
        Dialogs& dialogs;
        JobEditorLauncher& editor;
        MediaPlayer& player;
        std::function<std::string(const JobRecord&)> pickJobMusic;  // the scheduler's PickJobMusic
    };

    explicit JobList(Services services) : s_(std::move(services)) {}

    void MoveJobUp();
    void MoveJobDown();
    // Asks, then removes the selected job; true when it was removed.
    bool RemoveJob();
    void NewJob();
    void EditJob();
    // Plays job n's music for today at once, whatever its state, date and time; n < 1 does nothing.
    void RunJob(int n);

    // The main window's commands built on the routines above.
    void PlayJob();   // start the selected job
    void PauseJob();  // pause the selected job
    // A change that could not be saved shows "任务表没有保存！" with the reason (title "提示"), and the list is
    // reloaded from the file, so it shows the timetable as it is.
    // Start all / pause all; false (and nothing done) on an empty list or when the change was not saved.
    bool PlayAll();
    bool PauseAll();
    void RunSelectedJob();
    // Asks, then empties the list and deletes "default.dll"; no rebuild of the schedule index. When the file
    // cannot be deleted the list shows its jobs again.
    bool ClearJobs();

private:
    // Shows the failure box when !ok; returns ok.
    bool Saved(bool ok);
    void SetSelectedState(const std::string& state);

    Services s_;
};

}  // namespace lingchao
