#include "ui/rejian.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "base/file_util.h"
#include "base/log.h"

namespace lingchao {

std::string UnguardedText(const std::string& reason) {
    return "无法确认只有一个铃潮在运行（" + reason + "）：若同时运行两个，每个铃声会响两次";
}

InstanceCheck CheckSingleInstance(InstanceGuard& guard, Dialogs& dialogs, std::string* unguarded) {
    const GuardResult result = guard.Acquire();
    if (unguarded != nullptr) unguarded->clear();
    switch (result.outcome) {
        case GuardOutcome::Acquired:
            return InstanceCheck::Proceed;
        case GuardOutcome::Unavailable:
            LogLine("running without a single-instance guard: " + result.reason);
            if (unguarded != nullptr) *unguarded = UnguardedText(result.reason);
            return InstanceCheck::Proceed;
        case GuardOutcome::HeldByAnother:
            break;
    }
    MessageRequest box;
    box.text = "程序正在运行！";
    box.title = "提示";
    box.icon = MessageIcon::Information;
    box.buttons = MessageButtons::Ok;
    box.systemModal = true;
    dialogs.Message(box);
    return InstanceCheck::EndProgram;
}

void PrepareNullMediaFile(const std::filesystem::path& appFolder) {
    std::error_code ec;
    const std::filesystem::path music = appFolder / "music";
    if (!std::filesystem::is_directory(music, ec)) return;
    // Never through a link: emptying "null.dll" must not empty another file of the user's.
    if (!MakeEmptyRegularFile(music / "null.dll")) {
        LogLine("cannot create " + (music / "null.dll").string() + ": " + std::strerror(errno));
    }
}

Rejian::Rejian(GlobalHotkeys& hotkeys, MediaControl& media, InstanceGuard& guard, Dialogs& dialogs, Hooks hooks)
    : hotkeys_(hotkeys), media_(media), guard_(guard), dialogs_(dialogs), hooks_(std::move(hooks)) {}

Rejian::~Rejian() { RemoveHotkeys(); }

void Rejian::InstallHotkeys() {
    RemoveHotkeys();
    if (!hotkeys_.Available()) {
        if (!unavailableLogged_) LogLine("global hotkeys unavailable: " + hotkeys_.UnavailableReason());
        unavailableLogged_ = true;
        return;
    }
    hotkeys_.SetHandler([this](Hotkey key) { HotkeyPressed(key); });
    // A combination held by another program simply does nothing; the other one still works.
    if (!hotkeys_.Grab(Hotkey::ShowMainWindow)) LogLine("Ctrl+F12 is held by another program");
    if (!hotkeys_.Grab(Hotkey::ToggleDoor)) LogLine("Ctrl+Alt+Numpad0 is held by another program");
    installed_ = true;
}

void Rejian::RemoveHotkeys() {
    if (!installed_) return;
    hotkeys_.Ungrab(Hotkey::ShowMainWindow);
    hotkeys_.Ungrab(Hotkey::ToggleDoor);
    hotkeys_.SetHandler({});
    installed_ = false;
}

void Rejian::HotkeyPressed(Hotkey key) {
    if (!installed_) return;
    switch (key) {
        case Hotkey::ShowMainWindow:
            // A visible main window is left where it is, even minimised or behind others.
            if (!(hooks_.mainWindowVisible && hooks_.mainWindowVisible()) && hooks_.showMainWindow)
                hooks_.showMainWindow();
            break;
        case Hotkey::ToggleDoor:
            // The belief flips whatever the drive did: the presses alternate open, close, open…
            if (cdDoorOpen_) {
                media_.CloseDoor();
                cdDoorOpen_ = false;
            } else {
                media_.OpenDoor();
                cdDoorOpen_ = true;
            }
            break;
    }
}

bool Rejian::QuitProgram() {
    MessageRequest box;
    box.text = "确定退出铃潮吗？";
    box.title = "退出";
    box.icon = MessageIcon::Question;
    box.buttons = MessageButtons::OkCancel;
    box.defaultButton = 1;
    if (dialogs_.Message(box) != MessageAnswer::Ok) return false;
    RemoveHotkeys();
    guard_.Release();
    if (hooks_.endProgram) hooks_.endProgram();
    return true;
}

}  // namespace lingchao
