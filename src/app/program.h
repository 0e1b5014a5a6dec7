#pragma once

#include <QObject>
#include <filesystem>
#include <functional>
#include <memory>

#include "base/dialogs.h"
#include "base/warning_board.h"
#include "bell/bell_thread.h"
#include "bell/queued_player.h"
#include "campus/campus_service.h"
#include "music/music_names_watcher.h"
#include "platform/clock_sync.h"
#include "platform/instance_guard.h"
#include "platform/logind_shutdown_requester.h"
#include "platform/signal_bus.h"
#include "platform/sysinfo_launcher.h"
#include "scheduler/clock.h"
#include "store/jilu.h"
#include "ui/moving_commands.h"
#include "web/bell_web_backend.h"

class QWidget;

namespace lingchao {

class DesktopShell;
class MprisService;
class Form4;
class ShutdownConfirmHost;
class TodayCommands;
class SignalDesk;
class WebDesk;
class CampusDesk;

// The program's parts and how they meet: the bell on its own thread, the job store and, with a display, the
// windows (splash, clock, main window, dialogs), which reach the bell only through queued calls.
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
    // The campus as lingchao.ini now sets it: the old link goes, a new one starts (or none, when it is off).
    void RestartCampus();
    // What the 校园 window shows; `on` false while the campus does not run.
    CampusView CampusNow() const;

private:
    void BuildWindows();
    void OpenShutdownSettings();
    void OpenMusicLists();
    void OpenAbout();
    void ShutdownSequence();
    void StartMpris();
    std::string CalendarReadOnly() const;
    void OpenTidy();
    void OpenImport();
    void OpenRestore();
    // What the import, the tidy and the restore need of the program; their boxes sit on the main window if shown.
    MovingServices Moving();
    QWidget* DialogParent() const;
    // Runs `work` on the windows' thread soon (what the bell publishes); dropped once the program is ending.
    void OnWindowsThread(std::function<void()> work);
    void PostToBell(std::function<void(Bell&)> work) { bell_->Post(std::move(work)); }
    // A drill or emergency request from `origin` ("this PC", "command line"), answered once the bell has.
    SignalBusService::Hook AskBell(std::string origin);

    std::filesystem::path appFolder_;
    bool windows_;
    // Home of the calls the bell posts to the windows' thread.
    QObject windowsHome_;
    // Everything that can cost a bell, shown on the clock (and logged without windows); set from both threads.
    WarningBoard warnings_;
    SystemClock clock_;
    std::unique_ptr<BellThread> bell_;
    // The bell's player, as the windows and the media controls command it.
    std::unique_ptr<QueuedPlayer> player_;
    Jilu jilu_;
    std::unique_ptr<Dialogs> dialogs_;
    std::unique_ptr<Form4> form4_;
    std::unique_ptr<DesktopShell> shell_;
    std::unique_ptr<ShutdownConfirmHost> confirm_;
    std::unique_ptr<InstanceGuard> headlessGuard_;
    std::unique_ptr<MprisService> mpris_;
    std::unique_ptr<SignalBusService> signalBus_;  // drills asked from the command line
    std::unique_ptr<SignalDesk> signals_;          // and from the windows
    // The music folder by name, for paths written on another computer; a change re-runs the self-check.
    std::unique_ptr<MusicNamesWatcher> musicNames_;
    std::unique_ptr<ClockSyncWatch> clockSync_;
    LogindShutdownRequester requester_;
    PathSysInfoLauncher sysInfo_;
    // The school calendar's today-only commands in the menus.
    std::unique_ptr<TodayCommands> today_;
    // The office page (off unless lingchao.ini or its window turns it on).
    std::unique_ptr<WebDesk> web_;
    // The campus link (off unless lingchao.ini's [campus] turns it on); a file it applies reaches the bell and
    // the main window as a change made here would.
    std::unique_ptr<CampusService> campus_;
    // The signal the bell sounds, as its outlet last said: for the office page and the campus.
    std::shared_ptr<SignalWatch> signalWatch_ = std::make_shared<SignalWatch>();
    // The 校园 window in the clock's menu.
    std::unique_ptr<CampusDesk> campusDesk_;
};

}  // namespace lingchao
