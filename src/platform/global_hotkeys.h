#pragma once

#include <functional>
#include <memory>
#include <string>

namespace lingchao {

enum class Hotkey {
    ShowMainWindow,  // Ctrl+F12
    ToggleDoor,      // Ctrl+Alt+Numpad0
};

// System-wide key combinations that reach the program whichever window has the focus.
class GlobalHotkeys {
public:
    virtual ~GlobalHotkeys() = default;
    // False where the platform cannot grab keys (Wayland, offscreen); Grab then always fails.
    virtual bool Available() const = 0;
    // Why the backend is unavailable ("" when available), for the log.
    virtual std::string UnavailableReason() const = 0;
    // Grabs the combination, whatever the state of NumLock and CapsLock; false when not grabbed (another program
    // holds it, or unavailable). Grabbing a combination already held by this object changes nothing.
    virtual bool Grab(Hotkey key) = 0;
    // Lets the combination go; nothing when it is not held.
    virtual void Ungrab(Hotkey key) = 0;
    // Called on the user-interface thread for each press of a held combination.
    virtual void SetHandler(std::function<void(Hotkey)> handler) = 0;
};

// The backend for the running Qt platform: X11 key grabs on "xcb", an unavailable backend elsewhere.
// Needs a QGuiApplication.
std::unique_ptr<GlobalHotkeys> CreateSystemHotkeys();

}  // namespace lingchao
