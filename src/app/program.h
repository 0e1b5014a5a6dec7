#pragma once

#include <QTimer>
#include <filesystem>
#include <memory>

#include "bell/calendar_keeper.h"
#include "bell/runtime.h"
#include "bell/self_check_runner.h"
#include "base/dialogs.h"
#include "base/media_player.h"
#include "base/playback_watch.h"
#include "base/warning_board.h"
#include "platform/clock_sync.h"
#include "platform/instance_guard.h"
#include "platform/pulse_output.h"
#include "platform/shutdown_requester.h"
#include "platform/sysinfo_launcher.h"
#include "player/music_names_watcher.h"
#include "store/jilu.h"

class QCoreApplication;

namespace lingchao {

class DesktopShell;
class MprisService;
class Form4;
class ShutdownConfirmHost;
class TodayCommands;

// Loads Qt's own Chinese texts (确定, 取消, 是, 否 and the file dialog's); false when they are not installed.
bool InstallChineseTranslations(QCoreApplication& app);

// The program's parts and how they meet: the scheduler, the job store, the player and, with a display,
// the windows (splash, clock, main window, dialogs).
class Program final {
public:
    Program(std::filesystem::path appFolder, bool windows);
    ~Program();

    // Single-instance check, then the splash (or, without a display, the scheduler at once).
    // False when another copy runs: the program ends.
    bool Start();
    // Restores a shown main window, or reloads and shows a hidden one; nothing without windows.
    void ShowMainWindow();
    // The clock's warning mark: every cause of a silent day is put here with its reason.
    WarningBoard& warnings() { return warnings_; }

private:
    void BuildWindows();
    void OpenShutdownSettings();
    void OpenMusicLists();
    void OpenAbout();
    void ShutdownSequence();
    void ReportProblems(const std::vector<MusicProblem>& problems);
    void SoundOutputRead(const SoundOutputState& state);
    void IndexRebuilt();
    void StartMpris();
    void OpenTidy();
    void OpenImport();

    std::filesystem::path appFolder_;
    bool windows_;
    // The real player behind a watch of what plays, for the desktop's media controls.
    std::unique_ptr<PlaybackWatch> player_;
    std::string nullMedia_;
    Runtime runtime_;
    Jilu jilu_;
    std::unique_ptr<Dialogs> dialogs_;
    std::unique_ptr<Form4> form4_;
    std::unique_ptr<DesktopShell> shell_;
    std::unique_ptr<ShutdownConfirmHost> confirm_;
    std::unique_ptr<InstanceGuard> headlessGuard_;
    std::unique_ptr<SelfCheckRunner> selfCheck_;
    std::unique_ptr<MprisService> mpris_;
    // The music folder by name, for paths written on another computer; a change re-runs the self-check.
    std::unique_ptr<MusicNamesWatcher> musicNames_;
    bool problemsReported_ = false;
    // While the timetable cannot be read, it is looked at again every minute: mended, its bells ring again.
    QTimer timetableRetry_;
    // Everything that can cost a bell, shown on the clock (and logged without windows).
    WarningBoard warnings_;
    PulseOutputMonitor soundOutput_;
    std::string soundOutputLogged_;
    std::unique_ptr<ClockSyncWatch> clockSync_;
    LogindShutdownRequester requester_;
    PathSysInfoLauncher sysInfo_;
    // The school calendar: what each date rings; its today-only commands in the menus.
    std::unique_ptr<CalendarKeeper> calendar_;
    std::unique_ptr<TodayCommands> today_;
};

}  // namespace lingchao
