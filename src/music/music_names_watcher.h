#pragma once

#include <QFileSystemWatcher>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "music/music_names.h"

namespace lingchao {

// Keeps the installed snapshot of the music folder's names (see InstallMusicNames) in step with the disk: one
// scan when made, then a fresh scan on a worker thread shortly after anything in the folder tree changes, so a
// bell never waits for a walk of the disk. Lives on the user-interface thread.
class MusicNamesWatcher final {
public:
    // Scans and installs at once. `changed` runs on this thread after each later scan has been installed.
    MusicNamesWatcher(std::filesystem::path musicFolder, std::function<void()> changed = {});
    ~MusicNamesWatcher();
    MusicNamesWatcher(const MusicNamesWatcher&) = delete;
    MusicNamesWatcher& operator=(const MusicNamesWatcher&) = delete;

    // Scans on this thread and installs the result, for a command that must see the folder as it is now.
    std::shared_ptr<const MusicNames> RescanNow();

private:
    void Changed();
    void StartWorker();
    void Install(std::shared_ptr<const MusicNames> names, unsigned generation);
    void Watch(const MusicNames& names);

    std::filesystem::path musicFolder_;
    std::function<void()> changed_;
    QFileSystemWatcher watcher_;
    QTimer settle_;
    std::thread worker_;
    bool running_ = false;
    bool pending_ = false;
    unsigned generation_ = 0;  // of the last scan begun
    unsigned installed_ = 0;   // of the scan installed: an older result arriving late is dropped
};

}  // namespace lingchao
