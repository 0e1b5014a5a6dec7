#pragma once

#include <filesystem>
#include <functional>

#include "base/dialogs.h"
#include "platform/global_hotkeys.h"
#include "platform/instance_guard.h"
#include "platform/media_control.h"

namespace lingchao {

enum class InstanceCheck { Proceed, EndProgram };

// Takes the single-instance guard. Another running copy: the box "程序正在运行！" and EndProgram.
// A guard that cannot be used at all is logged and the program goes on (it is not proof of another copy), with
// the warning for the clock in `unguarded` (when given; "" when the guard was taken).
InstanceCheck CheckSingleInstance(InstanceGuard& guard, Dialogs& dialogs, std::string* unguarded = nullptr);

// The clock's warning for a guard that cannot be used.
std::string UnguardedText(const std::string& reason);

// Creates or empties <appFolder>/music/null.dll; nothing when the music folder is missing.
void PrepareNullMediaFile(const std::filesystem::path& appFolder);

// The hotkeys, the CD door belief and quitting.
class Rejian final {
public:
    struct Hooks {
        std::function<void()> showMainWindow;
        std::function<bool()> mainWindowVisible;
        std::function<void()> endProgram;  // ends the process (e.g. QCoreApplication::exit)
    };

    Rejian(GlobalHotkeys& hotkeys, MediaControl& media, InstanceGuard& guard, Dialogs& dialogs, Hooks hooks);
    ~Rejian();
    Rejian(const Rejian&) = delete;
    Rejian& operator=(const Rejian&) = delete;

    // Removes any earlier installation, then grabs Ctrl+F12 and Ctrl+Alt+Numpad0.
    void InstallHotkeys();
    // Lets both combinations go; nothing when not installed.
    void RemoveHotkeys();
    bool hotkeysInstalled() const { return installed_; }

    // A press of a held combination.
    void HotkeyPressed(Hotkey key);

    // "确定退出铃潮吗？"; OK removes the hotkeys, releases the guard and ends the program. Returns true on OK.
    bool QuitProgram();

    bool cdDoorOpen() const { return cdDoorOpen_; }
    Dialogs& dialogs() { return dialogs_; }

private:
    GlobalHotkeys& hotkeys_;
    MediaControl& media_;
    InstanceGuard& guard_;
    Dialogs& dialogs_;
    Hooks hooks_;
    bool installed_ = false;
    bool cdDoorOpen_ = false;  // the last door command sent was "open"
    bool unavailableLogged_ = false;
};

}  // namespace lingchao
