#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include "base/dialogs.h"
#include "player/music_names.h"

class QWidget;

namespace lingchao {

// What the commands for files brought from another computer need of the program.
struct MovingServices {
    std::filesystem::path appFolder;
    Dialogs& dialogs;
    std::function<std::shared_ptr<const MusicNames>()> rescanNames;  // the music folder as it is now
    std::function<void()> timetableChanged;                          // reload the list and the schedule
    std::function<void()> shutdownChanged;                           // reload the shutdown settings
};

// "整理音乐路径…": the table of paths that name no file here, then, on 确定, the found files written in their place.
void RunTidyCommand(const MovingServices& services, QWidget* parent);

// "导入旧电脑的文件…": a folder is chosen, its timetable, shutdown settings, job groups and music copied in (asking
// before anything is replaced, skipping files that are not what they claim), a report, then the tidy table.
// The copying runs off the user-interface thread, so bells keep ringing meanwhile.
void RunImportCommand(const MovingServices& services, QWidget* parent);

}  // namespace lingchao
