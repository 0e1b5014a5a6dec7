#pragma once

#include <QObject>
#include <QPointer>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "base/dialogs.h"
#include "platform/global_hotkeys.h"
#include "platform/instance_guard.h"
#include "platform/media_control.h"
#include "ui/clock_menu.h"
#include "ui/clock_window.h"
#include "ui/rejian.h"
#include "ui/splash.h"

namespace lingchao {

// The program's desktop presence: single-instance check, splash, floating clock with its menu,
// global hotkeys and quitting. main() creates one after the QApplication and calls Start().
class DesktopShell final : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void()> showMainWindow;     // ShowMainWindow
        std::function<bool()> mainWindowVisible;  // is Form4 visible
        std::function<void()> play;
        std::function<void()> pause;
        std::function<void()> stop;
        std::function<void()> clockLoaded;  // the rest of the clock's load: shutdown settings, clock, index, tick
        std::function<void()> endProgram;   // default: QCoreApplication::exit(0)
        std::function<void()> tidy;         // the clock menu's 整理音乐路径…
    };
    // Platform pieces left null get the system ones (MakeInstanceGuard(appFolder), X11 hotkeys, /dev/cdrom).
    struct Platform {
        std::unique_ptr<InstanceGuard> guard;
        std::unique_ptr<GlobalHotkeys> hotkeys;
        std::unique_ptr<MediaControl> media;
    };

    DesktopShell(std::filesystem::path appFolder, Dialogs& dialogs, Hooks hooks, Platform platform = {});
    ~DesktopShell() override;

    // Single-instance check, null media file, splash. False when another copy runs: end the program then.
    bool Start();

    // Form1's load: topmost, hotkeys, then Hooks::clockLoaded. Start() runs it at the hand-over.
    void ShowClockWindow();

    void QuitProgram();
    void InstallHotkeys();
    void RemoveHotkeys();
    // The guard: the shutdown path releases it before asking to power off and takes it back when refused.
    InstanceGuard& guard() { return *guard_; }
    // Why this copy runs without the guard, for the clock; "" when it holds it.
    const std::string& unguarded() const { return unguarded_; }

    // Routes SchedulerHost::ShowClock; remembered until the clock exists.
    void ShowClock(const std::string& time, const std::string& weekdayCode);
    // The warning board on the clock (mark and tooltip, the mark coloured by `level`); remembered until the clock
    // exists.
    void ShowProblems(const std::string& text, WarningLevel level = WarningLevel::Urgent);
    // Today's and tomorrow's plan in the clock's tooltip, with its mark while today-only changes are in force.
    void ShowPlan(const std::string& plan, const std::string& todayChanges);
    // Offers 整理音乐路径… in the clock's menu (while a bell's path was found by name).
    void OfferTidy(bool offered);

    ClockWindow* clock() const { return clock_; }
    ClockMenu* clockMenu() const { return menu_.get(); }
    Splash* splash() const { return splash_; }
    Rejian& rejian() { return *rejian_; }

private:
    std::filesystem::path appFolder_;
    Hooks hooks_;
    std::unique_ptr<InstanceGuard> guard_;
    std::unique_ptr<GlobalHotkeys> hotkeys_;
    std::unique_ptr<MediaControl> media_;
    std::unique_ptr<Rejian> rejian_;
    std::unique_ptr<ClockMenu> menu_;
    QPointer<ClockWindow> clock_;
    QPointer<Splash> splash_;
    std::string time_ = "00:00";
    std::string weekday_ = "MON";
    std::string problems_;
    WarningLevel problemLevel_ = WarningLevel::None;
    std::string unguarded_;
    std::string plan_;
    std::string todayChanges_;
};

}  // namespace lingchao
