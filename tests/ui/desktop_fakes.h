#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/global_hotkeys.h"
#include "platform/instance_guard.h"
#include "platform/media_control.h"

namespace lingchao::test {

inline const char* HotkeyName(Hotkey key) { return key == Hotkey::ShowMainWindow ? "Ctrl+F12" : "Ctrl+Alt+Num0"; }

// Records grabs like an X server would hold them; `doubled` counts a grab of a combination already held.
class FakeHotkeys final : public GlobalHotkeys {
public:
    bool Available() const override { return available; }
    std::string UnavailableReason() const override { return available ? "" : "offscreen"; }
    bool Grab(Hotkey key) override {
        log.push_back(std::string("grab ") + HotkeyName(key));
        if (!available || refused[key]) return false;
        if (held[key]) ++doubled;
        held[key] = true;
        return true;
    }
    void Ungrab(Hotkey key) override {
        log.push_back(std::string("ungrab ") + HotkeyName(key));
        held[key] = false;
    }
    void SetHandler(std::function<void(Hotkey)> h) override { handler = std::move(h); }
    // What the X server would deliver: only a held combination reaches the handler.
    void Press(Hotkey key) {
        if (held[key] && handler) handler(key);
    }

    bool available = true;
    std::map<Hotkey, bool> refused;
    std::map<Hotkey, bool> held;
    std::vector<std::string> log;
    int doubled = 0;
    std::function<void(Hotkey)> handler;
};

class FakeMediaControl final : public MediaControl {
public:
    bool OpenDoor() override {
        commands.push_back("open");
        return driveAnswers;
    }
    bool CloseDoor() override {
        commands.push_back("close");
        return driveAnswers;
    }
    std::vector<std::string> commands;
    bool driveAnswers = false;  // like a machine without a drive
};

class FakeGuard final : public InstanceGuard {
public:
    GuardResult Acquire() override {
        ++acquires;
        if (outcome == GuardOutcome::Acquired) held = true;
        return {outcome, outcome == GuardOutcome::Unavailable ? "read-only folder" : ""};
    }
    void Release() override {
        ++releases;
        held = false;
    }
    GuardResult Reacquire() override { return Acquire(); }
    bool IsHeld() const override { return held; }

    GuardOutcome outcome = GuardOutcome::Acquired;
    bool held = false;
    int acquires = 0;
    int releases = 0;
};

}  // namespace lingchao::test
