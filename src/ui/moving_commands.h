#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "base/dialogs.h"
#include "music/music_names.h"

class QAction;
class QWidget;

namespace lingchao {

// What the commands for files brought from another computer need of the program.
struct MovingServices {
    std::filesystem::path appFolder;
    Dialogs& dialogs;
    std::function<std::shared_ptr<const MusicNames>()> rescanNames;  // the music folder as it is now
    std::function<void()> timetableChanged;                          // reload the list and the schedule
    std::function<void()> shutdownChanged;  // reload the shutdown settings (unset: they take effect at the next start)
};

// "整理音乐路径…": the table of paths that name no file here, then, on 确定, the found files written in their place.
void RunTidyCommand(const MovingServices& services, QWidget* parent);

// Where the chooser of the old computer's folder opens: the first of <root>/media/<user>, <root>/run/media/<user>,
// <root>/media and <root>/mnt that is a folder with something in it (a USB stick is mounted there), else `home`.
// `user` "" leaves out the first two.
std::filesystem::path OldFilesStartFolder(const std::filesystem::path& root, const std::string& user,
                                          const std::filesystem::path& home);

// "导入旧电脑的文件…": a folder is chosen, its timetable, shutdown settings, job groups and music copied in (asking
// before anything is replaced, skipping files that are not what they claim), a report, then the tidy table.
// The copying runs off the user-interface thread, so bells keep ringing meanwhile. What it replaces is kept in a
// dated backup first.
void RunImportCommand(const MovingServices& services, QWidget* parent);

// "恢复…": the backups the import, the tidy and earlier restores made, newest first; the chosen one, once confirmed,
// is put back (this computer's files kept in a backup of their own first), then a report. `rescanNames` is unused.
void RunRestoreCommand(const MovingServices& services, QWidget* parent);

// Puts "恢复…" (objectName "restore") into `mainWindow`'s 文件 menu (objectName "file") right after
// "导入旧电脑的文件…" ("importold"), or at its end; triggering it calls `run`. Null when there is no such menu.
QAction* AddRestoreItem(QWidget* mainWindow, std::function<void()> run);

}  // namespace lingchao
